#include "UsbPrintLink.h"

#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace {
constexpr uint8_t VendorRequest = 1;
constexpr int DeviceIdBufferSize = 4096;
constexpr int DeviceIdReadLength = 4093;
// A vendor request carries at most this much payload (4093 bytes with its 4-byte header).
constexpr int MaximumVendorOut = 4089;
// The device answers vendor reads of at least this many bytes.
constexpr int MinimumVendorIn = 3;
constexpr const char* DefaultJobName = "RemoteController";
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

bool CUsbPrintLink::Close()
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
    m_key.clear();
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

// The device primitives of the real machine: the USB device and the print spooler.

bool CUsbPrintLink::ListPrinters(std::vector<PrinterEntry>& printers)
{
    return m_spooler.ListPrinters(printers);
}

bool CUsbPrintLink::FindDevicePath(const std::string& name, std::string& path)
{
    return m_device.FindPath(name, path);
}

int CUsbPrintLink::OpenDevice(const std::string& name, const std::string& path)
{
    return m_device.Open(name, path);
}

std::string CUsbPrintLink::DeviceLockName(int handle)
{
    const std::string identity = m_device.Identity(handle);
    return identity.empty() ? m_name : identity;
}

bool CUsbPrintLink::CloseDevice(int handle)
{
    return m_device.Close(handle);
}

bool CUsbPrintLink::QueryDeviceId(int handle, char* buffer, int length)
{
    return m_device.QueryDeviceId(handle, buffer, length);
}

int CUsbPrintLink::VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index,
                            void* buffer, int length)
{
    if (length < 0)
        return -1;
    if (length >= MinimumVendorIn)
        return m_device.ControlIn(handle, request, value, index, buffer, length);
    // Shorter reads go through a scratch buffer of the minimum size, of which the caller gets
    // what it asked for.
    uint8_t scratch[MinimumVendorIn] = {};
    if (m_device.ControlIn(handle, request, value, index, scratch, MinimumVendorIn) < 0)
        return -1;
    std::memcpy(buffer, scratch, static_cast<size_t>(length));
    return length;
}

bool CUsbPrintLink::VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                              const void* data, int length)
{
    if (length < 0 || length > MaximumVendorOut)
        return false;
    return m_device.ControlOut(handle, request, value, index, data, length);
}

bool CUsbPrintLink::OutputFile(int fd, const std::string&, const std::string& jobName)
{
    // Every piece handed to the spooler is reported, so the caller's windows keep painting
    // during a long hand-over.
    struct stat info = {};
    const int64_t total = fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
    return m_spooler.SendRawFile(
        m_name, fd, jobName.empty() ? DefaultJobName : jobName,
        [this, total](int64_t done) { ReportOutputProgress(done, total); });
}

bool CUsbPrintLink::BulkWrite(const void* data, int length)
{
    if (m_handle == -1)
        return false;
    return m_device.BulkWrite(m_handle, data, length);
}

int CUsbPrintLink::BulkRead(void* buffer, int length)
{
    // An overlapped link only starts reads and has no way to finish them, so it refuses.
    if (m_overlapped || m_handle == -1)
        return -1;
    return m_device.BulkRead(m_handle, buffer, length);
}

int CUsbPrintLink::GetNotificationFd() const
{
    return m_device.GetNotificationFd();
}

void CUsbPrintLink::ProcessNotifications()
{
    if (m_device.ProcessEvents())
        NotifyTarget(DeviceNodesChanged);
}
