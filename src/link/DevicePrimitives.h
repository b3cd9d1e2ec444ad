#pragma once

#include "PrinterEntry.h"

#include <cstdint>
#include <string>
#include <vector>

// What a vendor-transfer link needs of its device: find it, open it, name it for the lock, ask
// for its identification, hand it vendor requests, and list the machines installed. The real
// machine (USB device and print spooler), the simulator's shared block and the tests' device
// models each implement these; the link's common operations are written once over them
// (CVendorLink). Every primitive reports failure by its result, never by throwing.
class CDevicePrimitives
{
public:
    virtual ~CDevicePrimitives() = default;

    // The path of the named machine's device; false when it cannot be found.
    virtual bool FindDevicePath(const std::string& name, std::string& path) = 0;
    // A handle of the opened device; -1 on failure.
    virtual int OpenDevice(const std::string& name, const std::string& path) = 0;
    // The name of the device lock of the open machine: what identifies the machine itself, so
    // that two queues of one machine share one lock.
    virtual std::string DeviceLockName(int handle) = 0;
    virtual bool CloseDevice(int handle) = 0;
    virtual bool QueryDeviceId(int handle, char* buffer, int length) = 0;
    virtual int VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                         int length) = 0;
    virtual bool VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                           const void* data, int length) = 0;
    // The machines installed, in the order the system lists them; false when they cannot be
    // listed.
    virtual bool ListPrinters(std::vector<PrinterEntry>& printers) = 0;
};
