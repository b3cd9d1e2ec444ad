#pragma once

#include "EmulatedMachine.h"
#include "UsbPrintLink.h"

// The USB link on the emulated machine: the device is found by its path on the emulated bus
// rather than through a print queue (the queue's way is tested with the print server).
class CEmulatedUsbLink : public CUsbPrintLink
{
public:
    explicit CEmulatedUsbLink(std::string path) : m_emulatedPath(std::move(path)) {}
    bool FindDevicePath(const std::string&, std::string& path) override
    {
        path = m_emulatedPath;
        return true;
    }

private:
    std::string m_emulatedPath;
};
