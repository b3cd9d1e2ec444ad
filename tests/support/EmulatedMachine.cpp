#include "EmulatedMachine.h"

#include "FirmwareModel.h"
#include "MachineCommands.h"

#include <umockdev.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

constexpr int SetupSize = 8;

std::string SysPathOf(int port)
{
    return "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port);
}

std::string DevNodeOf(int port)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", port);
    return node;
}

// Device (string 3 is the serial number, 0 for none), configuration, printer interface (class 7,
// subclass 1, bidirectional) and its two bulk endpoints.
std::string Description(int port, bool withSerial)
{
    const std::string number = std::to_string(port);
    char devnum[8];
    std::snprintf(devnum, sizeof devnum, "%03d", port);
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/1-" + number + "\n" + "N: bus/usb/001/" +
           devnum + "\n" +
           "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\n" +
           "E: DEVNUM=" + devnum + "\nE: DEVNAME=/dev/bus/usb/001/" + devnum + "\n" +
           "A: busnum=1\\n\nA: devnum=" + number + "\\n\nA: speed=480\\n\n" +
           "A: bConfigurationValue=1\\n\nA: product=ZR-40\\n\n" +
           "H: descriptors=12010002000000400912402000010102" + (withSerial ? "03" : "00") + "01" +
           "09022000010100c032" + "090400000207010200" + "0705010200020007058202000200\n";
}

std::vector<uint8_t> StringDescriptor(int index, const std::string& serial)
{
    if (index == 0)
        return {4, 3, 0x09, 0x04};
    const std::string text = index == 1 ? "Quenby" : index == 2 ? "ZR-40" : serial;
    std::vector<uint8_t> out{0, 3};
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    out[0] = static_cast<uint8_t>(out.size());
    return out;
}

// One emulated bus per process: libusb reads it once, so every unit of a test joins it.
UMockdevTestbed* g_testbed = nullptr;
int g_units = 0;

} // namespace

struct CEmulatedMachine::State
{
    mutable std::mutex mutex;
    UMockdevIoctlBase* handler = nullptr;
    CEmulatedMachine::Options options;
    // A kernel printer driver exists for the device (usblp), so a re-attach binds it again.
    bool hasDriver = false;
    CFirmwareModel model{FirmwareOptions{.initMs = 0}, CFirmwareModel::Clock::now()};
    // URBs answered and not yet reaped, per connection: each process reaps only its own.
    std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> done;
    bool answering = true;
    bool unplugged = false;
    // The connection (one open device file) that holds the printer interface, as usbfs keeps a
    // claim per open file; null when no program holds it.
    UMockdevIoctlClient* claimant = nullptr;
    // A kernel printer driver bound to the interface (usblp), and what was done to it.
    bool driverBound = false;
    int driverDetaches = 0;
    int driverAttaches = 0;
    int busyRefusals = 0;
    // Bulk-out: the bytes the device still takes (its buffer), a URB that waits for room, and a
    // stalled endpoint.
    size_t bulkOutRoom = SIZE_MAX;
    struct Waiting
    {
        UMockdevIoctlClient* client;
        UMockdevIoctlData* urb;
        std::vector<uint8_t> bytes;
    };
    std::deque<Waiting> waiting;
    bool bulkOutStalled = false;
    int haltsCleared = 0;
    std::vector<uint8_t> bulkOut;
    std::vector<size_t> perClaim;
    int transfers = 0;
    int statusReads = 0;
    int bulkOutDelayMs = 0;

    // What usbfs checks before a transfer on the printer interface: a claim by this connection,
    // else a claim made for it on the spot, which fails while another connection or a kernel
    // driver holds the interface.
    bool CheckInterface(UMockdevIoctlClient* client)
    {
        if (claimant == client)
            return true;
        if (claimant || driverBound) {
            ++busyRefusals;
            return false;
        }
        Claim(client);
        return true;
    }

    void Claim(UMockdevIoctlClient* client)
    {
        claimant = client;
        perClaim.push_back(0);
    }

    void Release()
    {
        claimant = nullptr;
        if (!perClaim.empty() && perClaim.back() == 0)
            perClaim.pop_back();
    }

    // Takes what the device has room for of a bulk-out URB; true when all of it went.
    bool TakeBulkOut(usbdevfs_urb& urb, const std::vector<uint8_t>& bytes)
    {
        const size_t offered = bytes.size() - static_cast<size_t>(urb.actual_length);
        const size_t taken = std::min(offered, bulkOutRoom);
        if (bulkOutRoom != SIZE_MAX)
            bulkOutRoom -= taken;
        const auto* from = bytes.data() + urb.actual_length;
        bulkOut.insert(bulkOut.end(), from, from + taken);
        if (claimant && !perClaim.empty())
            perClaim.back() += taken;
        urb.actual_length += static_cast<int>(taken);
        return taken == offered;
    }

    // Hands waiting bulk-out URBs the room the device now has, in their order.
    void FeedWaiting()
    {
        while (!waiting.empty()) {
            Waiting& front = waiting.front();
            auto* urb = reinterpret_cast<usbdevfs_urb*>(front.urb->data);
            if (!TakeBulkOut(*urb, front.bytes))
                return;
            done[front.client].push_back(front.urb);
            waiting.pop_front();
        }
    }

    // Runs one URB against the model; the URB's status and length are filled in. False when the
    // URB waits for room on the bulk-out endpoint and is answered later.
    bool Answer(UMockdevIoctlClient* client, UMockdevIoctlData* urbData, usbdevfs_urb& urb,
                uint8_t* buffer)
    {
        ++transfers;
        const auto now = CFirmwareModel::Clock::now();
        urb.actual_length = 0;
        urb.status = 0;
        if (!answering) {
            urb.status = -EPIPE;
            return true;
        }
        if (urb.type == USBDEVFS_URB_TYPE_BULK) {
            if (urb.endpoint & 0x80) {
                const auto data = model.BulkIn(static_cast<size_t>(urb.buffer_length), now);
                std::memcpy(buffer, data.data(), data.size());
                urb.actual_length = static_cast<int>(data.size());
                return true;
            }
            if (bulkOutStalled) {
                urb.status = -EPIPE;
                return true;
            }
            if (bulkOutDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(bulkOutDelayMs));
            std::vector<uint8_t> bytes(buffer, buffer + urb.buffer_length);
            if (waiting.empty() && TakeBulkOut(urb, bytes))
                return true;
            waiting.push_back({client, urbData, std::move(bytes)});
            return false;
        }
        const uint8_t type = buffer[0];
        const uint8_t request = buffer[1];
        const uint16_t value = static_cast<uint16_t>(buffer[2] | buffer[3] << 8);
        const uint16_t length = static_cast<uint16_t>(buffer[6] | buffer[7] << 8);
        uint8_t* data = buffer + SetupSize;
        std::vector<uint8_t> reply;
        if (type == 0x80 && request == 6 && (value >> 8) == 3 && (value & 0xFF) < 4) {
            reply = StringDescriptor(value & 0xFF, options.serial);
        } else if ((type == 0xA1 && request == 0) || (type == 0xC1 && request == 1)) {
            if (type == 0xC1 && value == Cmd::GetMachineStatus)
                ++statusReads;
            reply = model.ControlIn(type, value, length, now);
        } else if (type == 0x41 && request == 1) {
            model.ControlOut(value, data, length, now);
            urb.actual_length = length;
            return true;
        } else {
            urb.status = -EPIPE;
            return true;
        }
        const size_t n = std::min<size_t>(reply.size(), length);
        std::memcpy(data, reply.data(), n);
        urb.actual_length = static_cast<int>(n);
        return true;
    }

    // usbfs passes vendor requests and the printer-class GET_DEVICE_ID addressed to a printer
    // interface without looking at claims; other requests to the interface need it.
    static bool NeedsInterface(const uint8_t* setup)
    {
        const uint8_t type = setup[0];
        const uint16_t index = static_cast<uint16_t>(setup[4] | setup[5] << 8);
        if ((type & 0x60) == 0x40)
            return false;
        if (type == 0xA1 && setup[1] == 0 && index == 0)
            return false;
        return (type & 0x1F) == 0x01;
    }

    static void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* state = static_cast<State*>(self);
        std::lock_guard lock(state->mutex);
        // Closing the device file ends its claim, as in usbfs.
        if (state->claimant == client)
            state->Release();
        state->Drop(client);
    }

    void Drop(UMockdevIoctlClient* client)
    {
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (it->client == client) {
                g_object_unref(it->urb);
                it = waiting.erase(it);
            } else {
                ++it;
            }
        }
        const auto it = done.find(client);
        if (it == done.end())
            return;
        for (UMockdevIoctlData* urb : it->second)
            g_object_unref(urb);
        done.erase(it);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<State*>(self)->HandleIoctl(client);
    }

    gboolean HandleIoctl(UMockdevIoctlClient* client)
    {
        std::lock_guard lock(mutex);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (unplugged && request != USBDEVFS_REAPURB && request != USBDEVFS_REAPURBNDELAY) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            const guint32 caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                 USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(d->data, &caps, sizeof caps);
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER: {
            const char* driver = claimant ? "usbfs" : driverBound ? "usblp" : nullptr;
            if (!driver) {
                umockdev_ioctl_client_complete(client, -1, ENODATA);
                return TRUE;
            }
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
            auto* get = reinterpret_cast<usbdevfs_getdriver*>(d->data);
            std::snprintf(get->driver, sizeof get->driver, "%s", driver);
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
            if (claimant && claimant != client) {
                ++busyRefusals;
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            if (!claimant && driverBound) {
                ++busyRefusals;
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            if (!claimant)
                Claim(client);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_DISCONNECT_CLAIM: {
            // libusb's auto-detach: a kernel driver is taken off, a claim of another program
            // (driver "usbfs", which libusb excepts) is not.
            if (claimant && claimant != client) {
                ++busyRefusals;
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            if (driverBound) {
                driverBound = false;
                ++driverDetaches;
            }
            if (!claimant)
                Claim(client);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_RELEASEINTERFACE:
            if (claimant != client) {
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            Release();
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const int code = reinterpret_cast<usbdevfs_ioctl*>(d->data)->ioctl_code;
            g_object_unref(d);
            if (code == static_cast<int>(USBDEVFS_DISCONNECT)) {
                if (!driverBound) {
                    umockdev_ioctl_client_complete(client, -1, ENODATA);
                    return TRUE;
                }
                driverBound = false;
                ++driverDetaches;
                umockdev_ioctl_client_complete(client, 0, 0);
            } else if (code == static_cast<int>(USBDEVFS_CONNECT)) {
                if (claimant || driverBound) {
                    umockdev_ioctl_client_complete(client, -1, EBUSY);
                    return TRUE;
                }
                driverBound = hasDriver;
                driverAttaches += hasDriver ? 1 : 0;
                // The kernel's answer: 1 when a driver took the interface, 0 when none did.
                umockdev_ioctl_client_complete(client, hasDriver ? 1 : 0, 0);
            } else {
                umockdev_ioctl_client_complete(client, -1, ENOTTY);
            }
            return TRUE;
        }
        case USBDEVFS_CLEAR_HALT:
            bulkOutStalled = false;
            ++haltsCleared;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_RESET:
        case USBDEVFS_RESETEP:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData* urbData =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            UMockdevIoctlData* buffer =
                umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                            static_cast<gsize>(urb->buffer_length), nullptr);
            const bool needsInterface =
                urb->type == USBDEVFS_URB_TYPE_BULK ||
                (urb->buffer_length >= SetupSize && NeedsInterface(buffer->data));
            if (needsInterface && !CheckInterface(client)) {
                g_object_unref(buffer);
                g_object_unref(urbData);
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            const bool answered = Answer(client, urbData, *urb, buffer->data);
            g_object_unref(buffer);
            if (answered)
                done[client].push_back(urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB: {
            // A URB still waiting for room is given back with what went so far, as a cancelled
            // transfer; every other URB was answered already.
            const gulong address = *reinterpret_cast<gulong*>(arg->data);
            for (auto it = waiting.begin(); it != waiting.end(); ++it) {
                if (it->urb->client_addr != address)
                    continue;
                reinterpret_cast<usbdevfs_urb*>(it->urb->data)->status = -ENOENT;
                done[it->client].push_back(it->urb);
                waiting.erase(it);
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            std::deque<UMockdevIoctlData*>& answered = done[client];
            if (answered.empty()) {
                umockdev_ioctl_client_complete(client, -1, unplugged ? ENODEV : EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* urbData = answered.front();
            answered.pop_front();
            UMockdevIoctlData* pointer =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
            umockdev_ioctl_data_set_ptr(pointer, 0, urbData);
            g_object_unref(pointer);
            g_object_unref(urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }
};

CEmulatedMachine::CEmulatedMachine() : CEmulatedMachine(Options{}) {}

CEmulatedMachine::CEmulatedMachine(const Options& options) : m_state(std::make_unique<State>())
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "umockdev"))
        throw std::runtime_error("the emulated USB bus needs the program run by umockdev-wrapper");
    m_state->options = options;
    m_state->hasDriver = options.driverBound;
    m_state->driverBound = options.driverBound;
    if (!g_testbed)
        g_testbed = umockdev_testbed_new();
    ++g_units;
    m_state->handler = umockdev_ioctl_base_new();
    g_signal_connect(m_state->handler, "handle-ioctl", G_CALLBACK(State::OnIoctl), m_state.get());
    g_signal_connect(m_state->handler, "client-vanished", G_CALLBACK(State::OnVanished),
                     m_state.get());
    // The handler is in place before the device appears, so that nobody opens it unanswered.
    if (!umockdev_testbed_attach_ioctl(g_testbed, DevNodeOf(options.port).c_str(), m_state->handler,
                                       nullptr) ||
        !umockdev_testbed_add_from_string(
            g_testbed, Description(options.port, !options.serial.empty()).c_str(), nullptr))
        throw std::runtime_error("the emulated USB device could not be added");
}

CEmulatedMachine::~CEmulatedMachine()
{
    {
        std::lock_guard lock(m_state->mutex);
        while (!m_state->done.empty())
            m_state->Drop(m_state->done.begin()->first);
        while (!m_state->waiting.empty())
            m_state->Drop(m_state->waiting.front().client);
    }
    g_object_unref(m_state->handler);
    if (--g_units == 0) {
        g_object_unref(g_testbed);
        g_testbed = nullptr;
    }
}

std::string CEmulatedMachine::GetPath() const
{
    return "usb:1-" + std::to_string(m_state->options.port);
}

std::vector<std::string> CEmulatedMachine::GetLog() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->model.Log();
}

std::vector<uint8_t> CEmulatedMachine::GetBulkOut() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->bulkOut;
}

size_t CEmulatedMachine::GetBulkOutSize() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->bulkOut.size();
}

std::vector<size_t> CEmulatedMachine::GetBulkOutPerClaim() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->perClaim;
}

int CEmulatedMachine::GetTransferCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->transfers;
}

int CEmulatedMachine::GetStatusReads() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->statusReads;
}

void CEmulatedMachine::ClearRecord()
{
    std::lock_guard lock(m_state->mutex);
    m_state->model.ClearLog();
    m_state->bulkOut.clear();
    m_state->perClaim.clear();
    m_state->transfers = 0;
    m_state->statusReads = 0;
    m_state->bulkOutDelayMs = 0;
    m_state->bulkOutRoom = SIZE_MAX;
    m_state->bulkOutStalled = false;
    m_state->haltsCleared = 0;
    m_state->busyRefusals = 0;
    m_state->driverDetaches = 0;
    m_state->driverAttaches = 0;
    m_state->FeedWaiting();
}

void CEmulatedMachine::SetBulkOutRoom(size_t bytes)
{
    std::lock_guard lock(m_state->mutex);
    m_state->bulkOutRoom = bytes;
    m_state->FeedWaiting();
}

void CEmulatedMachine::StallBulkOut()
{
    std::lock_guard lock(m_state->mutex);
    m_state->bulkOutStalled = true;
}

CEmulatedMachine::Record CEmulatedMachine::GetRecord() const
{
    std::lock_guard lock(m_state->mutex);
    Record record;
    record.claimed = m_state->claimant != nullptr;
    record.busyRefusals = m_state->busyRefusals;
    record.driverBound = m_state->driverBound;
    record.driverDetaches = m_state->driverDetaches;
    record.driverAttaches = m_state->driverAttaches;
    record.haltsCleared = m_state->haltsCleared;
    record.waitingUrbs = static_cast<int>(m_state->waiting.size());
    return record;
}

void CEmulatedMachine::SetBulkOutDelay(int ms)
{
    std::lock_guard lock(m_state->mutex);
    m_state->bulkOutDelayMs = ms;
}

void CEmulatedMachine::SetAnswering(bool answering)
{
    std::lock_guard lock(m_state->mutex);
    m_state->answering = answering;
}

void CEmulatedMachine::Unplug()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->unplugged = true;
    }
    umockdev_testbed_uevent(g_testbed, SysPathOf(m_state->options.port).c_str(), "remove");
}
