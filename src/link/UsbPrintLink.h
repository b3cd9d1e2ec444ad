#pragma once

#include "PrintSpooler.h"
#include "UsbDevice.h"
#include "VendorLink.h"

#include <string>
#include <vector>

// The link to a real machine on USB: the device primitives over the USB device, the machine
// list and the file output over the print spooler, the device-change notices from the bus's
// hotplug events.
class CUsbPrintLink : public CVendorLink
{
public:
    explicit CUsbPrintLink(bool overlapped = false);
    ~CUsbPrintLink() override;

    bool OutputFile(int fd, const std::string& path, const std::string& jobName) override;
    bool BulkWrite(const void* data, int length) override;
    int BulkRead(void* buffer, int length) override;
    std::string GetAccessDeniedDevice() const override { return m_device.GetAccessDeniedNode(); }
    bool IsOverlapped() const { return m_overlapped; }

    // Device-change notices: the USB bus's hotplug notices on the real machine.
    int GetNotificationFd() const override;
    void ProcessNotifications() override;

    bool FindDevicePath(const std::string& name, std::string& path) override;
    int OpenDevice(const std::string& name, const std::string& path) override;
    std::string DeviceLockName(int handle) override;
    bool CloseDevice(int handle) override;
    bool QueryDeviceId(int handle, char* buffer, int length) override;
    int VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                 int length) override;
    bool VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index, const void* data,
                   int length) override;

protected:
    bool ListPrinters(std::vector<PrinterEntry>& printers) override;

private:
    const bool m_overlapped;
    CUsbDevice m_device;
    CPrintSpooler m_spooler;
};
