#pragma once

#include "DeviceMutex.h"
#include "DevicePrimitives.h"
#include "MachineLink.h"

#include <optional>
#include <string>
#include <vector>

// The link's common operations (open, close, connection check, vendor transfers, lock, machine
// selection), written once over the device primitives. The real machine's link and the
// simulator's link are its siblings: each implements the primitives and the bulk pipe, the
// file output and the device-change notices of its own device.
//
// The destructor cannot reach a derived class's CloseDevice any more, so each concrete link
// closes its device in its own destructor (CloseHandleOnly).
class CVendorLink : public CMachineLink, public CDevicePrimitives
{
public:
    CVendorLink() = default;
    ~CVendorLink() override;
    CVendorLink(const CVendorLink&) = delete;
    CVendorLink& operator=(const CVendorLink&) = delete;

    bool Open() override;
    bool Close() override;
    bool CheckConnection() override;
    bool Reconnect() override;
    bool VendorWrite(uint16_t code, const void* data, int length) override;
    int VendorRead(uint16_t code, void* buffer, int length) override;
    std::string GetName() const override { return m_name; }
    std::string GetMachineKey() const override { return m_key.empty() ? m_name : m_key; }
    bool Lock(int ms) override;
    void Unlock() override;

    void SetName(const std::string& name) override;
    int EnumerateMachines(const std::string& driverName, bool checkPaths) override;
    std::optional<std::string> GetMachineName(int index) const override;

    void SetNotificationTarget(DeviceChangeTarget target) override { m_target = std::move(target); }
    bool HasNotificationTarget() const override { return static_cast<bool>(m_target); }

    int GetDeviceHandle() const { return m_handle; }
    const std::string& GetDevicePath() const { return m_path; }
    int GetLockDepth() const { return m_lockDepth; }

protected:
    // Hands a notice to the target, if one is set.
    void NotifyTarget(unsigned event) const;
    // Closes the device without forgetting name and path; shared by the destructors.
    void CloseHandleOnly();

    int m_handle = -1;
    std::string m_name;
    std::string m_path;
    CDeviceMutex m_mutex;
    // The machine's key (DeviceLockName) from the last Open.
    std::string m_key;
    int m_lockDepth = 0;
    std::vector<std::string> m_machines;
    DeviceChangeTarget m_target;
};
