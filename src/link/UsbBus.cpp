#include "UsbBus.h"

#include <libusb.h>

#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint8_t PrinterClass = 7;
constexpr uint8_t GetDeviceIdRequest = 0;
constexpr uint8_t ClassInterfaceIn = 0xA1;
constexpr unsigned ControlTimeoutMs = 3000;
// Another program may hold the interface for one transfer; a claim waits that long for it.
constexpr auto ClaimPatience = std::chrono::milliseconds(2000);
constexpr auto ClaimRetry = std::chrono::milliseconds(2);

// The printer interface of a device: its number, alternate setting and bulk endpoints.
struct PrinterInterface
{
    int configIndex = 0;
    int number = -1;
    int altSetting = 0;
    unsigned char bulkOut = 0;
    unsigned char bulkIn = 0;
};

bool FindPrinterInterface(libusb_device* device, PrinterInterface& found)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return false;
    bool ok = false;
    for (int i = 0; i < config->bNumInterfaces && !ok; ++i) {
        const libusb_interface& iface = config->interface[i];
        for (int a = 0; a < iface.num_altsetting && !ok; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            if (alt.bInterfaceClass != PrinterClass)
                continue;
            found = PrinterInterface{};
            found.number = alt.bInterfaceNumber;
            found.altSetting = alt.bAlternateSetting;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                    found.bulkIn = found.bulkIn ? found.bulkIn : ep.bEndpointAddress;
                else
                    found.bulkOut = found.bulkOut ? found.bulkOut : ep.bEndpointAddress;
            }
            ok = true;
        }
    }
    libusb_free_config_descriptor(config);
    return ok;
}

// "usb:BUS-PORT.PORT...": stable while the device stays in the same socket, and unique.
std::string PathOf(libusb_device* device)
{
    uint8_t ports[8];
    const int count = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string path = "usb:" + std::to_string(libusb_get_bus_number(device));
    if (count <= 0)
        return path + "@" + std::to_string(libusb_get_device_address(device));
    for (int i = 0; i < count; ++i)
        path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return path;
}

// Holds the printer interface for one transfer. A kernel driver bound to it is detached first
// and stays detached.
class CClaim
{
public:
    CClaim(libusb_device_handle* handle, int number) : m_handle(handle), m_number(number)
    {
        if (libusb_kernel_driver_active(handle, number) == 1)
            libusb_detach_kernel_driver(handle, number);
        const auto deadline = std::chrono::steady_clock::now() + ClaimPatience;
        for (;;) {
            m_result = libusb_claim_interface(handle, number);
            if (m_result != LIBUSB_ERROR_BUSY || std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(ClaimRetry);
        }
    }
    ~CClaim()
    {
        if (m_result == 0)
            libusb_release_interface(m_handle, m_number);
    }
    CClaim(const CClaim&) = delete;
    CClaim& operator=(const CClaim&) = delete;
    int Result() const { return m_result; }

private:
    libusb_device_handle* m_handle;
    int m_number;
    int m_result;
};

} // namespace

struct CUsbBus::Device
{
    libusb_device_handle* handle = nullptr;
    PrinterInterface iface;
    bool gone = false;
};

// The C callbacks libusb calls, with the object as user data.
struct UsbCallbacks
{
    static int LIBUSB_CALL Hotplug(libusb_context*, libusb_device* device, libusb_hotplug_event,
                                   void* self)
    {
        PrinterInterface iface;
        // A device whose descriptors cannot be read any more is reported too: a change that is
        // not needed costs one connection check, a missed one a machine that seems to stay.
        libusb_config_descriptor* config = nullptr;
        const bool readable = libusb_get_config_descriptor(device, 0, &config) == 0;
        if (readable)
            libusb_free_config_descriptor(config);
        if (!readable || FindPrinterInterface(device, iface))
            static_cast<CUsbBus*>(self)->m_changed = true;
        return 0;
    }
    static void LIBUSB_CALL PollfdAdded(int fd, short events, void* self)
    {
        epoll_event event{};
        event.events = 0;
        if (events & POLLIN)
            event.events |= EPOLLIN;
        if (events & POLLOUT)
            event.events |= EPOLLOUT;
        event.data.fd = fd;
        epoll_ctl(static_cast<CUsbBus*>(self)->m_epollFd, EPOLL_CTL_ADD, fd, &event);
    }
    static void LIBUSB_CALL PollfdRemoved(int fd, void* self)
    {
        epoll_ctl(static_cast<CUsbBus*>(self)->m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
    }
};

CUsbBus& CUsbBus::Instance()
{
    static CUsbBus devices;
    return devices;
}

CUsbBus::CUsbBus() = default;

// The handles go before the context, and the context before the descriptor it reports into.
CUsbBus::~CUsbBus()
{
    for (auto& [handle, device] : m_devices)
        libusb_close(device->handle);
    m_devices.clear();
    if (m_context) {
        libusb_set_pollfd_notifiers(m_context, nullptr, nullptr, nullptr);
        libusb_exit(m_context);
    }
    if (m_epollFd != -1)
        close(m_epollFd);
}

bool CUsbBus::EnsureContext()
{
    if (m_context)
        return true;
    if (m_initFailed)
        return false;
    if (libusb_init(&m_context) != 0) {
        m_context = nullptr;
        m_initFailed = true;
        return false;
    }
    return true;
}

CUsbBus::Device* CUsbBus::Find(int handle)
{
    const auto it = m_devices.find(handle);
    if (it == m_devices.end() || it->second->gone)
        return nullptr;
    return it->second.get();
}

std::vector<UsbPrinterDevice> CUsbBus::ListPrinters()
{
    std::vector<UsbPrinterDevice> printers;
    if (!EnsureContext())
        return printers;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        PrinterInterface iface;
        if (!FindPrinterInterface(list[i], iface))
            continue;
        UsbPrinterDevice printer;
        printer.path = PathOf(list[i]);
        // The serial number and the device id need the device opened; a device this user may
        // not open is listed without them.
        libusb_device_descriptor descriptor{};
        libusb_device_handle* handle = nullptr;
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
            libusb_open(list[i], &handle) == 0) {
            unsigned char text[256] = {};
            if (descriptor.iSerialNumber != 0 &&
                libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text,
                                                   sizeof text - 1) > 0)
                printer.serial = reinterpret_cast<char*>(text);
            // Handle 0 is never given out: it lends the device id query to this device.
            Device device{handle, iface, false};
            m_devices.emplace(0, std::make_unique<Device>(device));
            char id[1024] = {};
            if (QueryDeviceId(0, id, sizeof id) > 0)
                printer.deviceId = id;
            m_devices.erase(0);
            libusb_close(handle);
        }
        printers.push_back(printer);
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    return printers;
}

int CUsbBus::Open(const std::string& path)
{
    if (path.empty() || !EnsureContext())
        return -1;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &list);
    int result = -1;
    for (ssize_t i = 0; i < count && result == -1; ++i) {
        PrinterInterface iface;
        if (PathOf(list[i]) != path || !FindPrinterInterface(list[i], iface))
            continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(list[i], &handle) != 0)
            break;
        result = m_nextHandle++;
        m_devices.emplace(result, std::make_unique<Device>(Device{handle, iface, false}));
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    return result;
}

bool CUsbBus::Close(int handle)
{
    const auto it = m_devices.find(handle);
    if (it == m_devices.end())
        return false;
    libusb_close(it->second->handle);
    m_devices.erase(it);
    return true;
}

int CUsbBus::Transfer(Device& device, int result)
{
    if (result >= 0)
        return result;
    // "No device" is a disconnect: every later call on the handle fails at once.
    if (result == LIBUSB_ERROR_NO_DEVICE)
        device.gone = true;
    return -1;
}

int CUsbBus::QueryDeviceId(int handle, char* buffer, int length)
{
    if (!buffer || length < 3)
        return -1;
    Device* device = Find(handle);
    if (!device)
        return -1;
    CClaim claim(device->handle, device->iface.number);
    if (claim.Result() != 0)
        return Transfer(*device, claim.Result());
    std::vector<unsigned char> reply(static_cast<size_t>(length) + 1);
    const int got = libusb_control_transfer(
        device->handle, ClassInterfaceIn, GetDeviceIdRequest,
        static_cast<uint16_t>(device->iface.configIndex),
        static_cast<uint16_t>((device->iface.number << 8) | device->iface.altSetting), reply.data(),
        static_cast<uint16_t>(length), ControlTimeoutMs);
    if (Transfer(*device, got) < 2)
        return -1;
    // The text follows a big-endian length that counts itself; a device that reports more than
    // it sent is taken at what arrived.
    int textLength = ((reply[0] << 8) | reply[1]) - 2;
    if (textLength < 0 || textLength > got - 2)
        textLength = got - 2;
    textLength = std::min(textLength, length - 1);
    std::memcpy(buffer, reply.data() + 2, static_cast<size_t>(textLength));
    buffer[textLength] = '\0';
    return textLength;
}

int CUsbBus::ControlIn(int handle, uint8_t requestType, uint8_t request, uint16_t value,
                       uint16_t index, void* buffer, int length)
{
    Device* device = Find(handle);
    if (!device || length < 0 || length > 0xFFFF)
        return -1;
    CClaim claim(device->handle, device->iface.number);
    if (claim.Result() != 0)
        return Transfer(*device, claim.Result());
    return Transfer(*device,
                    libusb_control_transfer(device->handle, requestType, request, value, index,
                                            static_cast<unsigned char*>(buffer),
                                            static_cast<uint16_t>(length), ControlTimeoutMs));
}

bool CUsbBus::ControlOut(int handle, uint8_t requestType, uint8_t request, uint16_t value,
                         uint16_t index, const void* data, int length)
{
    Device* device = Find(handle);
    if (!device || length < 0 || length > 0xFFFF)
        return false;
    CClaim claim(device->handle, device->iface.number);
    if (claim.Result() != 0)
        return Transfer(*device, claim.Result()) >= 0;
    // libusb does not write through the pointer of an OUT transfer.
    auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    return Transfer(*device, libusb_control_transfer(device->handle, requestType, request, value,
                                                     index, bytes, static_cast<uint16_t>(length),
                                                     ControlTimeoutMs)) == length;
}

int CUsbBus::BulkWrite(int handle, const void* data, int length, int timeoutMs)
{
    // libusb does not write through the buffer of an OUT transfer.
    return Bulk(handle, false, const_cast<unsigned char*>(static_cast<const unsigned char*>(data)),
                length, timeoutMs);
}

int CUsbBus::BulkRead(int handle, void* buffer, int length, int timeoutMs)
{
    return Bulk(handle, true, static_cast<unsigned char*>(buffer), length, timeoutMs);
}

int CUsbBus::Bulk(int handle, bool in, unsigned char* data, int length, int timeoutMs)
{
    Device* device = Find(handle);
    const unsigned char endpoint = device ? (in ? device->iface.bulkIn : device->iface.bulkOut) : 0;
    if (endpoint == 0 || length < 0)
        return -1;
    CClaim claim(device->handle, device->iface.number);
    if (claim.Result() != 0)
        return Transfer(*device, claim.Result());
    int moved = 0;
    const int result = libusb_bulk_transfer(device->handle, endpoint, data, length, &moved,
                                            static_cast<unsigned>(timeoutMs));
    // A time-out is no failure: the caller learns how much went and decides.
    if (result == LIBUSB_ERROR_TIMEOUT)
        return moved;
    return Transfer(*device, result) < 0 ? -1 : moved;
}

int CUsbBus::GetNotificationFd()
{
    if (m_hotplugRegistered)
        return m_epollFd;
    if (!EnsureContext() || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return -1;
    if (m_epollFd == -1)
        m_epollFd = epoll_create1(EPOLL_CLOEXEC);
    if (m_epollFd == -1)
        return -1;
    // libusb's own descriptors (its event pipe, timer and open devices) tell when it has
    // something to hand over; the epoll descriptor gathers them into one.
    libusb_set_pollfd_notifiers(m_context, UsbCallbacks::PollfdAdded, UsbCallbacks::PollfdRemoved,
                                this);
    if (const libusb_pollfd** fds = libusb_get_pollfds(m_context)) {
        for (const libusb_pollfd** fd = fds; *fd; ++fd)
            UsbCallbacks::PollfdAdded((*fd)->fd, (*fd)->events, this);
        libusb_free_pollfds(fds);
    }
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    if (libusb_hotplug_register_callback(
            m_context, static_cast<libusb_hotplug_event>(events),
            static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
            LIBUSB_HOTPLUG_MATCH_ANY, UsbCallbacks::Hotplug, this, nullptr) != LIBUSB_SUCCESS)
        return -1;
    m_hotplugRegistered = true;
    return m_epollFd;
}

bool CUsbBus::ProcessEvents()
{
    if (m_context) {
        timeval zero{};
        libusb_handle_events_timeout_completed(m_context, &zero, nullptr);
    }
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}
