#include "UsbPrintLink.h"

#include <cstring>
#include <sys/stat.h>

namespace {
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
