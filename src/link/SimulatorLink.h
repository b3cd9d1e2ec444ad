#pragma once

#include "UsbPrintLink.h"

// The link to the machine simulator, a separate process on this computer that owns a named
// shared-memory block; each transfer step is handed over through a pair of named events.
class CSimulatorLink : public CUsbPrintLink
{
public:
    CSimulatorLink();
    ~CSimulatorLink() override;

    bool OutputFile(int fd, const std::string& path, const std::string& jobName) override;
    bool BulkWrite(const void* data, int length) override;
    int BulkRead(void* buffer, int length) override;

    int GetNotificationFd() const override;
    void ProcessNotifications() override;

    bool FindDevicePath(const std::string& name, std::string& path) override;
    int OpenDevice(const std::string& name, const std::string& path) override;
    bool CloseDevice(int handle) override;
    bool QueryDeviceId(int handle, char* buffer, int length) override;
    int VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                 int length) override;
    bool VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index, const void* data,
                   int length) override;
};
