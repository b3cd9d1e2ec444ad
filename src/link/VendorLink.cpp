#include "VendorLink.h"

#include <strings.h>

namespace {
constexpr uint8_t VendorRequest = 1;
constexpr int DeviceIdBufferSize = 4096;
constexpr int DeviceIdReadLength = 4093;
} // namespace

CVendorLink::~CVendorLink()
{
    m_mutex.Destroy();
}

void CVendorLink::CloseHandleOnly()
{
    if (m_handle != -1) {
        CloseDevice(m_handle);
        m_handle = -1;
    }
}

void CVendorLink::NotifyTarget(unsigned event) const
{
    if (m_target)
        m_target(event);
}

bool CVendorLink::Open()
{
    if (m_name.empty())
        return false;
    if (!m_path.empty() && m_handle != -1)
        return true;
    CloseHandleOnly();
    const bool knownPath = !m_path.empty();
    if (!knownPath && !FindDevicePath(m_name, m_path))
        return false;
    m_handle = OpenDevice(m_name, m_path);
    // A path kept from before may lead nowhere now, or to another device (the machine was
    // plugged into another socket): the machine is looked for again.
    if (m_handle == -1 && knownPath) {
        m_path.clear();
        if (!FindDevicePath(m_name, m_path))
            return false;
        m_handle = OpenDevice(m_name, m_path);
    }
    if (m_handle == -1)
        return false;
    // A failed creation leaves no mutex, and every Lock then fails.
    m_key = DeviceLockName(m_handle);
    m_mutex.Create(m_key);
    return true;
}

bool CVendorLink::Close()
{
    m_name.clear();
    m_path.clear();
    m_key.clear();
    if (m_handle == -1)
        return true;
    const bool closed = CloseDevice(m_handle);
    m_handle = -1;
    return closed;
}

bool CVendorLink::CheckConnection()
{
    if (m_handle == -1)
        return false;
    char buffer[DeviceIdBufferSize] = {};
    if (QueryDeviceId(m_handle, buffer, DeviceIdReadLength))
        return true;
    CloseDevice(m_handle);
    m_handle = -1;
    return false;
}

bool CVendorLink::Reconnect()
{
    return CheckConnection() || Open();
}

bool CVendorLink::VendorWrite(uint16_t code, const void* data, int length)
{
    if (m_handle == -1)
        return false;
    return VendorOut(m_handle, VendorRequest, code, 0, data, length);
}

int CVendorLink::VendorRead(uint16_t code, void* buffer, int length)
{
    if (m_handle == -1)
        return -1;
    return VendorIn(m_handle, VendorRequest, code, 0, buffer, length);
}

bool CVendorLink::Lock(int ms)
{
    if (!m_mutex.Lock(ms))
        return false;
    ++m_lockDepth;
    return true;
}

void CVendorLink::Unlock()
{
    if (m_lockDepth <= 0)
        return;
    --m_lockDepth;
    m_mutex.Unlock();
}

void CVendorLink::SetName(const std::string& name)
{
    if (name == m_name)
        return;
    m_name = name;
    m_path.clear();
    m_key.clear();
}

int CVendorLink::EnumerateMachines(const std::string& driverName, bool checkPaths)
{
    m_machines.clear();
    std::vector<PrinterEntry> printers;
    if (!ListPrinters(printers))
        return -1;
    for (const PrinterEntry& printer : printers) {
        if (driverName.empty()) {
            m_machines.push_back(printer.name);
            continue;
        }
        if (strcasecmp(printer.driverName.c_str(), driverName.c_str()) != 0)
            continue;
        if (!checkPaths) {
            m_machines.push_back(printer.name);
            continue;
        }
        std::string path;
        if (!FindDevicePath(printer.name, path))
            continue;
        const int handle = OpenDevice(printer.name, path);
        if (handle != -1) {
            CloseDevice(handle);
            m_machines.push_back(printer.name);
        }
    }
    return static_cast<int>(m_machines.size());
}

std::optional<std::string> CVendorLink::GetMachineName(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_machines.size()))
        return std::nullopt;
    return m_machines[static_cast<size_t>(index)];
}
