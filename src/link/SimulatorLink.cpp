#include "SimulatorLink.h"

#include "SimulatorProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <sched.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace SimProtocol;

namespace {
using Clock = std::chrono::steady_clock;

constexpr int DeviceIdReplyLength = 4092;
// The smallest control area that still carries the four-byte prefix and some payload.
constexpr uint16_t MinControlCapacity = 8;

int RemainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

uint32_t RandomToken()
{
    uint32_t token = 0;
    if (getrandom(&token, sizeof token, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof token))
        token = static_cast<uint32_t>(std::random_device{}());
    return token;
}
} // namespace

CSimulatorLink::CSimulatorLink()
{
    OpenEvents();
    CreateNoticeSocket();
}

// The base destructor cannot reach this class's CloseDevice any more, so the block is closed
// here, with its disconnect event and notice.
CSimulatorLink::~CSimulatorLink()
{
    CloseHandleOnly();
    if (m_noticeFd >= 0)
        close(m_noticeFd);
}

bool CSimulatorLink::OpenEvents()
{
    bool all = true;
    for (int i = 0; i < EventCount; ++i)
        all = m_events[i].Open(AllEvents[i]) && all;
    return all;
}

void CSimulatorLink::CreateNoticeSocket()
{
    m_noticeFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_noticeFd < 0)
        return;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const uint32_t token = RandomToken();
        const std::string name = NoticeSocketName(getpid(), token);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (bind(m_noticeFd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            m_token = token;
            return;
        }
    }
    close(m_noticeFd);
    m_noticeFd = -1;
}

// Posted, not called: the target learns of the change later, on its own thread, when the
// owner processes its notices.
void CSimulatorLink::PostNotice()
{
    if (m_noticeFd >= 0)
        SendNotice(getpid(), m_token, DeviceNodesChanged);
}

void CSimulatorLink::ProcessNotifications()
{
    if (m_noticeFd < 0)
        return;
    uint32_t event = 0;
    for (;;) {
        const ssize_t received = recv(m_noticeFd, &event, sizeof event, MSG_DONTWAIT);
        if (received < 0)
            break;
        if (received == static_cast<ssize_t>(sizeof event))
            NotifyTarget(event);
    }
}

uint16_t CSimulatorLink::Get16(size_t offset) const
{
    uint16_t value;
    std::memcpy(&value, m_block.Data() + offset, sizeof value);
    return value;
}

void CSimulatorLink::Put16(size_t offset, uint16_t value)
{
    std::memcpy(m_block.Data() + offset, &value, sizeof value);
}

void CSimulatorLink::Put32(size_t offset, uint32_t value)
{
    std::memcpy(m_block.Data() + offset, &value, sizeof value);
}

bool CSimulatorLink::FindDevicePath(const std::string&, std::string& path)
{
    path.clear();
    return true;
}

int CSimulatorLink::OpenDevice(const std::string& name, const std::string&)
{
    // The simulator recreates its events when it starts, so names opened earlier may belong to
    // a simulator that has gone: open them afresh.
    OpenEvents();
    if (!m_block.Open(SharedMemoryName(name)))
        return -1;
    if (m_block.Size() <= Header::Path) {
        m_block.Close();
        return -1;
    }
    Put32(Header::ClientProcess, 0);
    Put32(Header::ClientToken, m_token);
    if (!(Byte(Header::Connected) & ConnectedBit)) {
        m_block.Close();
        return -1;
    }
    PostNotice();
    return m_block.Fd();
}

bool CSimulatorLink::CloseDevice(int handle)
{
    if (!m_block.IsOpen() || handle != m_block.Fd())
        return false;
    if (m_block.StillCovers() && (Byte(Header::Connected) & ConnectedBit)) {
        m_events[Disconnect].Set();
        PostNotice();
    }
    m_block.Close();
    return true;
}

bool CSimulatorLink::PrepareTransfer(int handle)
{
    if (!m_block.IsOpen() || handle != m_block.Fd() || !m_block.StillCovers())
        return false;
    // Written before every transfer, so that the simulator always sees who is asking even when
    // several programs share the block.
    Put32(Header::ClientProcess, static_cast<uint32_t>(getpid()));
    Put32(Header::ClientToken, m_token);
    return (Byte(Header::Connected) & ConnectedBit) != 0;
}

std::optional<CSimulatorLink::AreaView> CSimulatorLink::FindArea(size_t headerOffset) const
{
    AreaView area;
    area.offset = Get16(headerOffset);
    // An area may neither overlap the header nor reach past the end of the mapping.
    if (area.offset <= Header::Path || area.offset + Area::Data > m_block.Size())
        return std::nullopt;
    area.maxPacket = Get16(area.offset + Area::MaxPacket);
    area.capacity = Get16(area.offset + Area::Capacity);
    if (area.capacity == 0 || area.offset + Area::Data + area.capacity > m_block.Size())
        return std::nullopt;
    return area;
}

int CSimulatorLink::AnsweredLength(const AreaView& area) const
{
    const uint16_t length = Get16(area.offset + Area::DataLength);
    return length <= area.capacity ? length : -1;
}

bool CSimulatorLink::Exchange(EventIndex request, EventIndex acknowledge)
{
    // The events come in pairs, one pair per pipe, in the pipes' order.
    const size_t pipe = static_cast<size_t>(request) / 2;
    const auto sequence = static_cast<uint8_t>(++m_sequence[pipe]);
    SetByte(Header::RequestSequence + pipe, sequence);
    m_events[acknowledge].Reset();
    if (!m_events[request].Set())
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ExchangeTimeoutMs);
    for (;;) {
        if (!m_events[acknowledge].Wait(RemainingMs(deadline)))
            return false;
        if (!m_block.StillCovers())
            return false;
        // A late answer to a request given up earlier is not the answer to this one.
        if (Byte(Header::AnswerSequence + pipe) == sequence)
            return true;
    }
}

void CSimulatorLink::SetUpControl(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                                  uint16_t length)
{
    SetByte(Header::SetupActive, 1);
    SetByte(Header::RequestType, type);
    SetByte(Header::Request, request);
    Put16(Header::Value, value);
    Put16(Header::Index, index);
    Put16(Header::Length, length);
}

bool CSimulatorLink::VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                               const void* data, int length)
{
    if (length < 0 || length > 0xFFFF - 4 || (length > 0 && !data) || !PrepareTransfer(handle))
        return false;
    const std::optional<AreaView> area = FindArea(Header::ControlArea);
    if (!area || area->capacity < MinControlCapacity)
        return false;
    const size_t at = area->offset;
    uint8_t* areaData = m_block.Data() + at + Area::Data;
    const auto* payload = static_cast<const uint8_t*>(data);

    SetUpControl(TypeVendorOut, request, value, index, static_cast<uint16_t>(length + 4));
    const bool setUp = Exchange(ControlRequest, ControlAcknowledge);
    SetByte(Header::SetupActive, 0);
    if (!setUp)
        return false;

    // First data stage: the request and the value, then as much payload as fits.
    SetByte(at + Area::Stage, 1);
    areaData[0] = request;
    areaData[1] = static_cast<uint8_t>(value >> 8);
    areaData[2] = static_cast<uint8_t>(value & 0xFF);
    areaData[3] = 0;
    int sent = std::min(length, area->capacity - 4);
    if (sent > 0)
        std::memcpy(areaData + 4, payload, static_cast<size_t>(sent));
    Put16(at + Area::DataLength, static_cast<uint16_t>(sent + 4));
    if (!Exchange(ControlRequest, ControlAcknowledge))
        return false;
    while (sent < length) {
        const int piece = std::min(length - sent, static_cast<int>(area->capacity));
        SetByte(at + Area::Stage, 1);
        std::memcpy(areaData, payload + sent, static_cast<size_t>(piece));
        Put16(at + Area::DataLength, static_cast<uint16_t>(piece));
        if (!Exchange(ControlRequest, ControlAcknowledge))
            return false;
        sent += piece;
    }
    // Status stage.
    SetByte(at + Area::Stage, 0);
    Put16(at + Area::DataLength, 0);
    return Exchange(ControlRequest, ControlAcknowledge);
}

int CSimulatorLink::ControlIn(int handle, uint8_t type, uint8_t request, uint16_t value,
                              uint16_t index, void* buffer, int length)
{
    if (length < 0 || length > 0xFFFF || (length > 0 && !buffer) || !PrepareTransfer(handle))
        return -1;
    const std::optional<AreaView> area = FindArea(Header::ControlArea);
    if (!area || area->maxPacket == 0)
        return -1;
    const size_t at = area->offset;
    auto* out = static_cast<uint8_t*>(buffer);

    SetUpControl(type, request, value, index, static_cast<uint16_t>(length));
    const bool setUp = Exchange(ControlRequest, ControlAcknowledge);
    SetByte(Header::SetupActive, 0);
    if (!setUp)
        return -1;

    SetByte(at + Area::Stage, 0);
    int total = 0;
    while (total < length) {
        if (!Exchange(ControlRequest, ControlAcknowledge))
            return -1;
        const int packet = AnsweredLength(*area);
        if (packet < 0)
            return -1;
        const int taken = std::min(packet, length - total);
        if (taken > 0)
            std::memcpy(out + total, m_block.Data() + at + Area::Data, static_cast<size_t>(taken));
        total += taken;
        // A short (or empty) packet ends the data stage early.
        if (packet == 0 || packet % area->maxPacket != 0)
            break;
    }
    SetByte(at + Area::Stage, 1);
    Put16(at + Area::DataLength, 0);
    if (!Exchange(ControlRequest, ControlAcknowledge))
        return -1;
    return total;
}

int CSimulatorLink::VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index,
                             void* buffer, int length)
{
    return ControlIn(handle, TypeVendorIn, request, value, index, buffer, length);
}

bool CSimulatorLink::QueryDeviceId(int handle, char* buffer, int length)
{
    if (!buffer || length <= 0)
        return false;
    uint8_t reply[DeviceIdReplyLength];
    const int count = ControlIn(handle, TypeClassIn, 0, 0, 0, reply, DeviceIdReplyLength);
    if (count < 2)
        return false;
    // The first two bytes are the identification's length prefix.
    const int text = std::min(count - 2, length - 1);
    std::memcpy(buffer, reply + 2, static_cast<size_t>(text));
    buffer[text] = '\0';
    return true;
}

bool CSimulatorLink::BulkWrite(const void* data, int length)
{
    if (length < 0 || (length > 0 && !data) || !PrepareTransfer(m_handle))
        return false;
    const std::optional<AreaView> area = FindArea(Header::BulkOutArea);
    if (!area)
        return false;
    const size_t at = area->offset;
    const auto* bytes = static_cast<const uint8_t*>(data);
    int sent = 0;
    // The simulator marks its area busy while it cannot take more; the piece is tried again at
    // once, but a simulator that stays busy for longer than any answer may take fails the write
    // instead of holding the caller forever.
    auto busySince = Clock::time_point{};
    while (sent < length) {
        if (Byte(Header::Flags) & BulkOutBusy) {
            const auto now = Clock::now();
            if (busySince == Clock::time_point{})
                busySince = now;
            else if (now - busySince > std::chrono::milliseconds(ExchangeTimeoutMs))
                return false;
            sched_yield();
            continue;
        }
        busySince = {};
        const int piece = std::min(length - sent, static_cast<int>(area->capacity));
        SetByte(at + Area::Stage, 1);
        Put16(at + Area::DataLength, static_cast<uint16_t>(piece));
        std::memcpy(m_block.Data() + at + Area::Data, bytes + sent, static_cast<size_t>(piece));
        if (!Exchange(BulkOutRequest, BulkOutAcknowledge))
            return false;
        sent += piece;
    }
    return true;
}

int CSimulatorLink::BulkRead(void* buffer, int length)
{
    if (length < 0 || (length > 0 && !buffer) || !PrepareTransfer(m_handle))
        return -1;
    const std::optional<AreaView> area = FindArea(Header::BulkInArea);
    if (!area)
        return -1;
    if (!Exchange(BulkInRequest, BulkInAcknowledge))
        return -1;
    SetByte(area->offset + Area::Stage, 0);
    const int available = AnsweredLength(*area);
    if (available < 0)
        return -1;
    const int count = std::min(available, length);
    if (count > 0)
        std::memcpy(buffer, m_block.Data() + area->offset + Area::Data, static_cast<size_t>(count));
    return count;
}

bool CSimulatorLink::OutputFile(int, const std::string& path, const std::string&)
{
    if (path.empty() || path.find('\0') != std::string::npos || !PrepareTransfer(m_handle))
        return false;
    // The simulator opens the file itself, from its own working folder: hand it a full path.
    std::string fullPath = path;
    if (!path.starts_with('/')) {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd))
            return false;
        fullPath = std::string(cwd) + "/" + path;
    }
    // The path room ends where the first area begins.
    size_t roomEnd = m_block.Size();
    for (size_t header : {Header::ControlArea, Header::BulkOutArea, Header::BulkInArea}) {
        const std::optional<AreaView> area = FindArea(header);
        if (!area)
            return false;
        roomEnd = std::min(roomEnd, area->offset);
    }
    if (fullPath.size() + 1 > roomEnd - Header::Path)
        return false;
    std::memcpy(m_block.Data() + Header::Path, fullPath.c_str(), fullPath.size() + 1);
    return Exchange(OutputFileRequest, OutputFileAcknowledge);
}
