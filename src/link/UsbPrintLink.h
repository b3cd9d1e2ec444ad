#pragma once

#include "DeviceMutex.h"
#include "MachineLink.h"
#include "PrintSpooler.h"
#include "UsbDevice.h"

#include <optional>
#include <string>
#include <vector>

// The link to a real machine on USB. It also holds the fields and the common operations
// (open, close, connection check, vendor transfers, lock) written once over the device
// primitives, which the simulator link inherits and only replaces the primitives of.
class CUsbPrintLink : public CMachineLink
{
public:
    explicit CUsbPrintLink(bool overlapped = false);
    ~CUsbPrintLink() override;

    bool Open() override;
    bool Close() override;
    bool CheckConnection() override;
    bool Reconnect() override;
    bool OutputFile(int fd, const std::string& path, const std::string& jobName) override;
    bool VendorWrite(uint16_t code, const void* data, int length) override;
    int VendorRead(uint16_t code, void* buffer, int length) override;
    bool BulkWrite(const void* data, int length) override;
    int BulkRead(void* buffer, int length) override;
    std::string GetName() const override { return m_name; }
    std::string GetMachineKey() const override { return m_key.empty() ? m_name : m_key; }
    std::string GetAccessDeniedDevice() const override { return m_device.GetAccessDeniedNode(); }
    bool Lock(int ms) override;
    void Unlock() override;

    void SetName(const std::string& name) override;
    int EnumerateMachines(const std::string& driverName, bool checkPaths) override;
    std::optional<std::string> GetMachineName(int index) const override;

    int GetDeviceHandle() const { return m_handle; }
    const std::string& GetDevicePath() const { return m_path; }
    int GetLockDepth() const { return m_lockDepth; }
    bool IsOverlapped() const { return m_overlapped; }

    // Device-change notices: the USB bus's hotplug notices on the real machine.
    void SetNotificationTarget(DeviceChangeTarget target) override { m_target = std::move(target); }
    bool HasNotificationTarget() const override { return static_cast<bool>(m_target); }
    int GetNotificationFd() const override;
    void ProcessNotifications() override;

    // The device primitives.
    virtual bool FindDevicePath(const std::string& name, std::string& path);
    virtual int OpenDevice(const std::string& name, const std::string& path);
    // The name of the device lock of the open machine: what identifies the machine itself, so
    // that two queues of one machine share one lock.
    virtual std::string DeviceLockName(int handle);
    virtual bool CloseDevice(int handle);
    virtual bool QueryDeviceId(int handle, char* buffer, int length);
    virtual int VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                         int length);
    virtual bool VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                           const void* data, int length);

protected:
    // The printers of the local print system, in its order; false when they cannot be listed.
    virtual bool ListPrinters(std::vector<PrinterEntry>& printers);
    // Hands a notice to the target, if one is set.
    void NotifyTarget(unsigned event) const;
    // Closes the device without forgetting name and path; shared by the destructors.
    void CloseHandleOnly();

    int m_handle = -1;
    std::string m_name;
    std::string m_path;
    const bool m_overlapped;
    CDeviceMutex m_mutex;
    // The machine's key (DeviceLockName) from the last Open.
    std::string m_key;
    int m_lockDepth = 0;
    std::vector<std::string> m_machines;
    DeviceChangeTarget m_target;

private:
    CUsbDevice m_device;
    CPrintSpooler m_spooler;
};
