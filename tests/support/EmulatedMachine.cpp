#include "EmulatedMachine.h"

#include "FirmwareModel.h"
#include "MachineCommands.h"

#include <umockdev.h>

#include <cerrno>
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

constexpr const char* SysPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
constexpr const char* DevNode = "/dev/bus/usb/001/002";
constexpr int SetupSize = 8;

// Device, configuration, printer interface (class 7, bidirectional) and its two bulk endpoints.
constexpr const char* Description = "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2\n"
                                    "N: bus/usb/001/002\n"
                                    "E: SUBSYSTEM=usb\n"
                                    "E: DEVTYPE=usb_device\n"
                                    "E: DRIVER=usb\n"
                                    "E: BUSNUM=001\n"
                                    "E: DEVNUM=002\n"
                                    "E: DEVNAME=/dev/bus/usb/001/002\n"
                                    "A: busnum=1\\n\n"
                                    "A: devnum=2\\n\n"
                                    "A: speed=480\\n\n"
                                    "A: bConfigurationValue=1\\n\n"
                                    "A: product=ZR-40\\n\n"
                                    "H: descriptors=120100020000004009124020000101020301"
                                    "09022000010100c032"
                                    "090400000207010200"
                                    "0705010200020007058202000200\n";

const char* const Strings[] = {nullptr, "Quenby", "ZR-40", CEmulatedMachine::Serial};

std::vector<uint8_t> StringDescriptor(int index)
{
    if (index == 0)
        return {4, 3, 0x09, 0x04};
    std::vector<uint8_t> out{0, 3};
    for (const char* c = Strings[index]; *c; ++c) {
        out.push_back(static_cast<uint8_t>(*c));
        out.push_back(0);
    }
    out[0] = static_cast<uint8_t>(out.size());
    return out;
}

} // namespace

struct CEmulatedMachine::State
{
    mutable std::mutex mutex;
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    CFirmwareModel model{FirmwareOptions{.initMs = 0}, CFirmwareModel::Clock::now()};
    // URBs answered and not yet reaped, per connection: each process reaps only its own.
    std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> done;
    bool answering = true;
    bool unplugged = false;
    bool claimed = false;
    std::vector<uint8_t> bulkOut;
    std::vector<size_t> perClaim;
    int transfers = 0;
    int statusReads = 0;
    int bulkOutDelayMs = 0;

    // Runs one URB against the model; the URB's status and length are filled in.
    void Answer(usbdevfs_urb& urb, uint8_t* buffer)
    {
        ++transfers;
        const auto now = CFirmwareModel::Clock::now();
        urb.actual_length = 0;
        urb.status = 0;
        if (!answering) {
            urb.status = -EPIPE;
            return;
        }
        if (urb.type == USBDEVFS_URB_TYPE_BULK) {
            if (urb.endpoint & 0x80) {
                const auto data = model.BulkIn(static_cast<size_t>(urb.buffer_length), now);
                std::memcpy(buffer, data.data(), data.size());
                urb.actual_length = static_cast<int>(data.size());
            } else {
                if (bulkOutDelayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(bulkOutDelayMs));
                bulkOut.insert(bulkOut.end(), buffer, buffer + urb.buffer_length);
                if (claimed && !perClaim.empty())
                    perClaim.back() += static_cast<size_t>(urb.buffer_length);
                urb.actual_length = urb.buffer_length;
            }
            return;
        }
        const uint8_t type = buffer[0];
        const uint8_t request = buffer[1];
        const uint16_t value = static_cast<uint16_t>(buffer[2] | buffer[3] << 8);
        const uint16_t length = static_cast<uint16_t>(buffer[6] | buffer[7] << 8);
        uint8_t* data = buffer + SetupSize;
        std::vector<uint8_t> reply;
        if (type == 0x80 && request == 6 && (value >> 8) == 3 && (value & 0xFF) < 4) {
            reply = StringDescriptor(value & 0xFF);
        } else if ((type == 0xA1 && request == 0) || (type == 0xC1 && request == 1)) {
            if (type == 0xC1 && value == Cmd::GetMachineStatus)
                ++statusReads;
            reply = model.ControlIn(type, value, length, now);
        } else if (type == 0x41 && request == 1) {
            model.ControlOut(value, data, length, now);
            urb.actual_length = length;
            return;
        } else {
            urb.status = -EPIPE;
            return;
        }
        const size_t n = std::min<size_t>(reply.size(), length);
        std::memcpy(data, reply.data(), n);
        urb.actual_length = static_cast<int>(n);
    }

    static void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* state = static_cast<State*>(self);
        std::lock_guard lock(state->mutex);
        state->Drop(client);
    }

    void Drop(UMockdevIoctlClient* client)
    {
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
        case USBDEVFS_GETDRIVER:
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_CLAIMINTERFACE:
            claimed = true;
            perClaim.push_back(0);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
            claimed = false;
            if (!perClaim.empty() && perClaim.back() == 0)
                perClaim.pop_back();
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
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
            Answer(*urb, buffer->data);
            g_object_unref(buffer);
            done[client].push_back(urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
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
        case USBDEVFS_DISCARDURB:
            // Every URB is answered when it is submitted; there is nothing left to discard.
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        default:
            return FALSE;
        }
    }
};

CEmulatedMachine::CEmulatedMachine() : m_state(std::make_unique<State>())
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "umockdev"))
        throw std::runtime_error("the emulated USB bus needs the program run by umockdev-wrapper");
    m_state->testbed = umockdev_testbed_new();
    m_state->handler = umockdev_ioctl_base_new();
    g_signal_connect(m_state->handler, "handle-ioctl", G_CALLBACK(State::OnIoctl), m_state.get());
    g_signal_connect(m_state->handler, "client-vanished", G_CALLBACK(State::OnVanished),
                     m_state.get());
    // The handler is in place before the device appears, so that nobody opens it unanswered.
    if (!umockdev_testbed_attach_ioctl(m_state->testbed, DevNode, m_state->handler, nullptr) ||
        !umockdev_testbed_add_from_string(m_state->testbed, Description, nullptr))
        throw std::runtime_error("the emulated USB device could not be added");
}

CEmulatedMachine::~CEmulatedMachine()
{
    {
        std::lock_guard lock(m_state->mutex);
        while (!m_state->done.empty())
            m_state->Drop(m_state->done.begin()->first);
    }
    g_object_unref(m_state->testbed);
    g_object_unref(m_state->handler);
}

std::string CEmulatedMachine::GetPath() const
{
    return "usb:1-2";
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
    umockdev_testbed_uevent(m_state->testbed, SysPath, "remove");
}
