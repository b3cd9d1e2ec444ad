#include "UsbDevice.h"

#include "UsbBus.h"
#include "UsbDeviceMatch.h"

namespace {
constexpr uint8_t VendorIn = 0xC1;
constexpr uint8_t VendorOut = 0x41;
} // namespace

bool CUsbDevice::FindPath(const std::string& name, std::string& path)
{
    const std::optional<std::string> uri = m_spooler.GetDeviceUri(name);
    if (!uri)
        return false;
    m_target = ParseUsbDeviceUri(*uri);
    m_targetName = name;
    if (!m_target)
        return false;
    m_deniedNode.clear();
    const std::vector<UsbPrinterDevice> devices = CUsbBus::Instance().ListPrinters();
    const std::optional<std::string> found = MatchUsbDevice(*m_target, devices);
    if (!found) {
        for (const UsbPrinterDevice& device : devices)
            if (device.accessDenied && m_deniedNode.empty())
                m_deniedNode = device.node;
        return false;
    }
    path = *found;
    return true;
}

int CUsbDevice::Open(const std::string& name, const std::string& path)
{
    if (name != m_targetName) {
        const std::optional<std::string> uri = m_spooler.GetDeviceUri(name);
        m_target = uri ? ParseUsbDeviceUri(*uri) : std::nullopt;
        m_targetName = name;
    }
    const int handle = CUsbBus::Instance().Open(path);
    if (handle == -1 || !m_target)
        return handle;
    const std::optional<UsbPrinterDevice> device = CUsbBus::Instance().Describe(handle);
    if (!device || MatchUsbDevice(*m_target, {*device}) != path) {
        CUsbBus::Instance().Close(handle);
        return -1;
    }
    return handle;
}

std::string CUsbDevice::Identity(int handle)
{
    const std::optional<UsbPrinterDevice> device = CUsbBus::Instance().Describe(handle);
    if (!device)
        return {};
    return device->serial.empty() ? device->path : "serial " + device->serial;
}

bool CUsbDevice::Close(int handle)
{
    return CUsbBus::Instance().Close(handle);
}

bool CUsbDevice::QueryDeviceId(int handle, char* buffer, int length)
{
    return CUsbBus::Instance().QueryDeviceId(handle, buffer, length) >= 0;
}

int CUsbDevice::ControlIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                          int length)
{
    return CUsbBus::Instance().ControlIn(handle, VendorIn, request, value, index, buffer, length);
}

bool CUsbDevice::ControlOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                            const void* data, int length)
{
    return CUsbBus::Instance().ControlOut(handle, VendorOut, request, value, index, data, length);
}

bool CUsbDevice::BulkWrite(int handle, const void* data, int length)
{
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const int sent = CUsbBus::Instance().BulkWrite(handle, bytes, length, BulkTimeoutMs);
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= sent;
    }
    return true;
}

int CUsbDevice::BulkRead(int handle, void* buffer, int length)
{
    return CUsbBus::Instance().BulkRead(handle, buffer, length, BulkTimeoutMs);
}

int CUsbDevice::GetNotificationFd() const
{
    return CUsbBus::Instance().GetNotificationFd();
}

bool CUsbDevice::ProcessEvents()
{
    return CUsbBus::Instance().ProcessEvents();
}
