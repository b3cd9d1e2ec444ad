#include "UsbBus.h"

#include <libusb.h>

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr uint8_t PrinterClass = 7;
constexpr uint8_t GetDeviceIdRequest = 0;
constexpr uint8_t ClassInterfaceIn = 0xA1;
constexpr uint8_t PrinterSubclass = 1;
constexpr uint8_t UnidirectionalProtocol = 1;
constexpr uint8_t BidirectionalProtocol = 2;
constexpr unsigned ControlTimeoutMs = 3000;

// The printer interface of a device: its number, alternate setting and bulk endpoints.
struct PrinterInterface
{
    int configIndex = 0;
    int number = -1;
    int altSetting = 0;
    unsigned char bulkOut = 0;
    unsigned char bulkIn = 0;
};

// The printer interface: the alternate setting of subclass 1 that speaks protocol 2
// (bidirectional) or, failing that, protocol 1 (unidirectional), with a bulk-out endpoint.
// Other protocols (IEEE 1284.4 and vendor ones) are not the machine's.
bool FindPrinterInterface(libusb_device* device, PrinterInterface& found)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return false;
    int bestProtocol = 0;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& iface = config->interface[i];
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            if (alt.bInterfaceClass != PrinterClass || alt.bInterfaceSubClass != PrinterSubclass ||
                (alt.bInterfaceProtocol != UnidirectionalProtocol &&
                 alt.bInterfaceProtocol != BidirectionalProtocol) ||
                alt.bInterfaceProtocol <= bestProtocol)
                continue;
            PrinterInterface candidate;
            candidate.number = alt.bInterfaceNumber;
            candidate.altSetting = alt.bAlternateSetting;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                unsigned char& slot = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                                          ? candidate.bulkIn
                                          : candidate.bulkOut;
                slot = slot ? slot : ep.bEndpointAddress;
            }
            if (candidate.bulkOut == 0)
                continue;
            found = candidate;
            bestProtocol = alt.bInterfaceProtocol;
        }
    }
    libusb_free_config_descriptor(config);
    return bestProtocol != 0;
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

// Claims the printer interface and selects its alternate setting. libusb detaches a kernel
// printer driver bound to it as part of the claim (auto-detach) and binds it again on release.
// A claim that another program holds fails at once with LIBUSB_ERROR_BUSY.
int ClaimPrinterInterface(libusb_device_handle* handle, const PrinterInterface& iface)
{
    const int result = libusb_claim_interface(handle, iface.number);
    if (result != 0 || iface.altSetting == 0)
        return result;
    const int selected = libusb_set_interface_alt_setting(handle, iface.number, iface.altSetting);
    if (selected != 0)
        libusb_release_interface(handle, iface.number);
    return selected;
}

// A request addressed to the interface carries the interface's number in the low byte of wIndex.
uint16_t InterfaceIndex(const PrinterInterface& iface, uint8_t requestType, uint16_t index)
{
    constexpr uint8_t RecipientMask = 0x1F;
    if ((requestType & RecipientMask) != LIBUSB_RECIPIENT_INTERFACE)
        return index;
    return static_cast<uint16_t>((index & 0xFF00) | (iface.number & 0xFF));
}

// Holds the printer interface for one bulk transfer, unless the handle already holds it.
class CClaim
{
public:
    CClaim(libusb_device_handle* handle, const PrinterInterface& iface, bool held)
        : m_handle(handle), m_number(iface.number),
          m_result(held ? 0 : ClaimPrinterInterface(handle, iface)), m_release(!held)
    {
    }
    ~CClaim()
    {
        if (m_result == 0 && m_release)
            libusb_release_interface(m_handle, m_number);
    }
    CClaim(const CClaim&) = delete;
    CClaim& operator=(const CClaim&) = delete;
    int Result() const { return m_result; }

private:
    libusb_device_handle* m_handle;
    int m_number;
    int m_result;
    bool m_release;
};

} // namespace

struct CUsbBus::Device
{
    libusb_device_handle* handle = nullptr;
    PrinterInterface iface;
    bool gone = false;
    // The interface is claimed until ReleaseInterface (a print job), not per transfer.
    bool held = false;
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
            static_cast<CUsbBus*>(self)->MarkChanged();
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
    if (m_changeFd != -1)
        close(m_changeFd);
}

// A notice raised while a synchronous transfer handled libusb's events would find libusb's own
// descriptors drained already, and the owner would not look; the eventfd stays readable until
// ProcessEvents has handed the notice over.
void CUsbBus::MarkChanged()
{
    m_changed = true;
    if (m_changeFd != -1) {
        const uint64_t one = 1;
        (void)!write(m_changeFd, &one, sizeof one);
    }
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

void CUsbBus::ReadIdentity(Device& device, UsbPrinterDevice& printer)
{
    libusb_device_descriptor descriptor{};
    unsigned char text[256] = {};
    if (libusb_get_device_descriptor(libusb_get_device(device.handle), &descriptor) == 0 &&
        descriptor.iSerialNumber != 0 &&
        libusb_get_string_descriptor_ascii(device.handle, descriptor.iSerialNumber, text,
                                           sizeof text - 1) > 0)
        printer.serial = reinterpret_cast<char*>(text);
    char id[1024] = {};
    if (DeviceIdOf(device, id, sizeof id) > 0)
        printer.deviceId = id;
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
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(list[i]),
                      libusb_get_device_address(list[i]));
        printer.node = node;
        // The serial number and the device id need the device opened, which leaves a kernel
        // driver bound to it alone (neither request needs the interface); a device this user may
        // not open is listed without them.
        libusb_device_handle* handle = nullptr;
        const int opened = libusb_open(list[i], &handle);
        if (opened == 0) {
            Device device{handle, iface, false, false};
            ReadIdentity(device, printer);
            libusb_close(handle);
        } else if (opened == LIBUSB_ERROR_ACCESS) {
            printer.accessDenied = true;
        }
        printers.push_back(printer);
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    return printers;
}

std::optional<UsbPrinterDevice> CUsbBus::Describe(int handle)
{
    Device* device = Find(handle);
    if (!device)
        return std::nullopt;
    UsbPrinterDevice printer;
    printer.path = PathOf(libusb_get_device(device->handle));
    ReadIdentity(*device, printer);
    return printer;
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
        // A kernel driver is taken off the interface only for a claim, and given it back after.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        result = m_nextHandle++;
        m_devices.emplace(result, std::make_unique<Device>(Device{handle, iface, false, false}));
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
    if (it->second->held && !it->second->gone)
        libusb_release_interface(it->second->handle, it->second->iface.number);
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
    Device* device = Find(handle);
    return device ? DeviceIdOf(*device, buffer, length) : -1;
}

int CUsbBus::DeviceIdOf(Device& device, char* buffer, int length)
{
    if (!buffer || length < 3)
        return -1;
    // usbfs lets GET_DEVICE_ID addressed to a printer interface (interface and alternate setting
    // in wIndex) through without a claim, so it works while another program prints.
    std::vector<unsigned char> reply(static_cast<size_t>(length) + 1);
    const int got = libusb_control_transfer(
        device.handle, ClassInterfaceIn, GetDeviceIdRequest,
        static_cast<uint16_t>(device.iface.configIndex),
        static_cast<uint16_t>((device.iface.number << 8) | device.iface.altSetting), reply.data(),
        static_cast<uint16_t>(length), ControlTimeoutMs);
    if (Transfer(device, got) < 2)
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
    return Transfer(*device,
                    libusb_control_transfer(device->handle, requestType, request, value,
                                            InterfaceIndex(device->iface, requestType, index),
                                            static_cast<unsigned char*>(buffer),
                                            static_cast<uint16_t>(length), ControlTimeoutMs));
}

bool CUsbBus::ControlOut(int handle, uint8_t requestType, uint8_t request, uint16_t value,
                         uint16_t index, const void* data, int length)
{
    Device* device = Find(handle);
    if (!device || length < 0 || length > 0xFFFF)
        return false;
    // libusb does not write through the pointer of an OUT transfer.
    auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    return Transfer(*device, libusb_control_transfer(
                                 device->handle, requestType, request, value,
                                 InterfaceIndex(device->iface, requestType, index), bytes,
                                 static_cast<uint16_t>(length), ControlTimeoutMs)) == length;
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
    // The bulk pipes need the interface: while another program holds it (a print job), the
    // transfer fails at once rather than waiting for the job.
    CClaim claim(device->handle, device->iface, device->held);
    if (claim.Result() != 0)
        return Transfer(*device, claim.Result());
    int moved = 0;
    const int result = libusb_bulk_transfer(device->handle, endpoint, data, length, &moved,
                                            static_cast<unsigned>(timeoutMs));
    // A time-out is no failure: the caller learns how much went and decides.
    if (result == LIBUSB_ERROR_TIMEOUT)
        return moved;
    // A stalled endpoint stays halted until it is cleared; the next transfer then starts afresh.
    if (result == LIBUSB_ERROR_PIPE)
        libusb_clear_halt(device->handle, endpoint);
    return Transfer(*device, result) < 0 ? -1 : moved;
}

int CUsbBus::ClaimInterface(int handle)
{
    Device* device = Find(handle);
    if (!device)
        return ClaimFailed;
    if (device->held)
        return ClaimOk;
    const int result = ClaimPrinterInterface(device->handle, device->iface);
    if (result == 0) {
        device->held = true;
        return ClaimOk;
    }
    if (result == LIBUSB_ERROR_BUSY)
        return ClaimBusy;
    Transfer(*device, result);
    return ClaimFailed;
}

void CUsbBus::ReleaseInterface(int handle)
{
    Device* device = Find(handle);
    if (!device || !device->held)
        return;
    device->held = false;
    libusb_release_interface(device->handle, device->iface.number);
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
    if (m_changeFd == -1) {
        m_changeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_changeFd == -1)
            return -1;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_changeFd;
        epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_changeFd, &event);
    }
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
    if (m_changeFd != -1) {
        uint64_t count = 0;
        (void)!read(m_changeFd, &count, sizeof count);
    }
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}
