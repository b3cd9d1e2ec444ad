#include "UsbPrintLink.h"

#include <cstring>
#include <strings.h>

namespace {
constexpr uint8_t VendorRequest = 1;
constexpr int DeviceIdBufferSize = 4096;
constexpr int DeviceIdReadLength = 4093;
} // namespace

CUsbPrintLink::CUsbPrintLink(bool overlapped) : m_overlapped(overlapped) {}

CUsbPrintLink::~CUsbPrintLink()
{
    CloseHandleOnly();
    m_mutex.Destroy();
}

void CUsbPrintLink::CloseHandleOnly()
{
    if (m_handle != -1) {
        CloseDevice(m_handle);
        m_handle = -1;
    }
}

void CUsbPrintLink::NotifyTarget(unsigned event) const
{
    if (m_target)
        m_target(event);
}

bool CUsbPrintLink::Open()
{
    if (m_name.empty())
        return false;
    if (!m_path.empty() && m_handle != -1)
        return true;
    CloseHandleOnly();
    if (m_path.empty() && !FindDevicePath(m_name, m_path))
        return false;
    m_handle = OpenDevice(m_name, m_path);
    if (m_handle == -1)
        return false;
    // A failed creation leaves no mutex, and every Lock then fails.
    m_mutex.Create(m_name);
    return true;
}

bool CUsbPrintLink::Close()
{
    m_name.clear();
    m_path.clear();
    if (m_handle == -1)
        return true;
    const bool closed = CloseDevice(m_handle);
    m_handle = -1;
    return closed;
}

bool CUsbPrintLink::CheckConnection()
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

bool CUsbPrintLink::Reconnect()
{
    return CheckConnection() || Open();
}

bool CUsbPrintLink::VendorWrite(uint16_t code, const void* data, int length)
{
    if (m_handle == -1)
        return false;
    return VendorOut(m_handle, VendorRequest, code, 0, data, length);
}

int CUsbPrintLink::VendorRead(uint16_t code, void* buffer, int length)
{
    if (m_handle == -1)
        return -1;
    return VendorIn(m_handle, VendorRequest, code, 0, buffer, length);
}

bool CUsbPrintLink::Lock(int ms)
{
    if (!m_mutex.Lock(ms))
        return false;
    ++m_lockDepth;
    return true;
}

void CUsbPrintLink::Unlock()
{
    if (m_lockDepth <= 0)
        return;
    --m_lockDepth;
    m_mutex.Unlock();
}

void CUsbPrintLink::SetName(const std::string& name)
{
    if (name == m_name)
        return;
    m_name = name;
    m_path.clear();
}

int CUsbPrintLink::EnumerateMachines(const std::string& driverName, bool checkPaths)
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

std::optional<std::string> CUsbPrintLink::GetMachineName(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_machines.size()))
        return std::nullopt;
    return m_machines[static_cast<size_t>(index)];
}

// The USB transport itself is not wired yet: every device primitive reports "no device", the
// print system lists no printers, and the bulk pipes and the spooler refuse.

bool CUsbPrintLink::ListPrinters(std::vector<PrinterEntry>& printers)
{
    printers.clear();
    return true;
}

bool CUsbPrintLink::FindDevicePath(const std::string&, std::string&)
{
    return false;
}

int CUsbPrintLink::OpenDevice(const std::string&, const std::string&)
{
    return -1;
}

bool CUsbPrintLink::CloseDevice(int)
{
    return false;
}

bool CUsbPrintLink::QueryDeviceId(int, char*, int)
{
    return false;
}

int CUsbPrintLink::VendorIn(int, uint8_t, uint16_t, uint16_t, void*, int)
{
    return -1;
}

bool CUsbPrintLink::VendorOut(int, uint8_t, uint16_t, uint16_t, const void*, int)
{
    return false;
}

bool CUsbPrintLink::OutputFile(int, const std::string&, const std::string&)
{
    return false;
}

bool CUsbPrintLink::BulkWrite(const void*, int)
{
    return false;
}

int CUsbPrintLink::BulkRead(void*, int)
{
    return -1;
}
