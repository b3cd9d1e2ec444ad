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

// The block is closed here, with its disconnect event: the base destructor cannot reach this
// class's CloseDevice any more.
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
        const std::string name = NoticeSocketName(m_process, token);
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
        SendNotice(m_process, m_token, DeviceNodesChanged);
}

void CSimulatorLink::ProcessNotifications()
{
    if (m_noticeFd < 0)
        return;
    // Everything waiting is taken first and handed on once: a target that reconnects (and so
    // runs transfers, and may hear of new changes meanwhile) is asked to look once, not once
    // for every notice that piled up while it was busy.
    bool received = false;
    uint32_t last = 0;
    for (;;) {
        uint32_t event = 0;
        const ssize_t count = recv(m_noticeFd, &event, sizeof event, MSG_DONTWAIT);
        if (count < 0)
            break;
        if (count == static_cast<ssize_t>(sizeof event)) {
            received = true;
            last = event;
        }
    }
    if (received)
        NotifyTarget(last);
}

bool CSimulatorLink::ReadBlock(size_t offset, void* data, size_t length)
{
    if (m_block.Read(offset, data, length))
        return true;
    m_blockFault = true;
    std::memset(data, 0, length);
    return false;
}

bool CSimulatorLink::WriteBlock(size_t offset, const void* data, size_t length)
{
    if (m_block.Write(offset, data, length))
        return true;
    m_blockFault = true;
    return false;
}

uint8_t CSimulatorLink::Byte(size_t offset)
{
    uint8_t value = 0;
    ReadBlock(offset, &value, sizeof value);
    return value;
}

bool CSimulatorLink::FindDevicePath(const std::string&, std::string& path)
{
    path.clear();
    return true;
}

int CSimulatorLink::OpenDevice(const std::string& name, const std::string&)
{
    // A simulator found gone is reported by this one failed open, as a pulled cable would be,
    // even when a new simulator has taken its place meanwhile: that one is another machine,
    // which the owner takes up only after it has told the user.
    if (m_lossUnreported) {
        m_lossUnreported = false;
        return -1;
    }
    // The simulator recreates its events when it starts, so names opened earlier may belong to
    // a simulator that has gone: open them afresh.
    OpenEvents();
    if (!m_block.Open(SharedMemoryName(name)))
        return -1;
    m_blockFault = false;
    // A block left behind by a killed simulator still says "connected": only a block whose
    // simulator lives is opened.
    if (m_block.Size() <= Header::Path || !m_block.IsServed()) {
        m_block.Close();
        return -1;
    }
    const uint32_t client[2] = {0, m_token};
    WriteBlock(Header::ClientProcess, client, sizeof client);
    if (!(Byte(Header::Connected) & ConnectedBit) || m_blockFault) {
        m_block.Close();
        return -1;
    }
    // Only a simulator that answers is taken up: one that has stopped answering would hold
    // every transaction of the reconnection for the whole handshake time.
    char id[64];
    if (!QueryDeviceId(m_block.Fd(), id, sizeof id)) {
        m_block.Close();
        return -1;
    }
    return m_block.Fd();
}

bool CSimulatorLink::CloseDevice(int handle)
{
    if (!m_block.IsOpen() || handle != m_block.Fd())
        return false;
    // The link's own closing is no device change: it posts no notice, so that an owner that
    // reconnects on notices is not sent round again by its own reconnection.
    if (m_block.StillCovers() && (Byte(Header::Connected) & ConnectedBit))
        m_events[Disconnect].Set();
    m_block.Close();
    return true;
}

void CSimulatorLink::LoseDevice()
{
    m_block.Close();
    // While an open is still probing the block, nothing was taken up yet and nothing is lost.
    if (m_handle == -1)
        return;
    m_handle = -1;
    m_lossUnreported = true;
    PostNotice();
}

bool CSimulatorLink::BeginTransfer(int handle, bool control)
{
    if (!m_block.IsOpen() || handle != m_block.Fd())
        return false;
    m_blockFault = false;
    if (!m_block.IsServed() || !m_block.StillCovers()) {
        LoseDevice();
        return false;
    }
    // Written before every transfer, so that the simulator always sees who is asking even when
    // several programs share the block; a control transfer writes them with its setup.
    if (!control) {
        const uint32_t client[2] = {static_cast<uint32_t>(m_process), m_token};
        WriteBlock(Header::ClientProcess, client, sizeof client);
    }
    // The header's fixed fields in one read; the transfer takes the areas' places from it.
    ReadBlock(0, m_header, sizeof m_header);
    const bool connected = (m_header[Header::Connected] & ConnectedBit) != 0;
    if (m_blockFault || (!connected && !m_block.IsServed())) {
        LoseDevice();
        return false;
    }
    return connected;
}

bool CSimulatorLink::EndTransfer(bool succeeded)
{
    if (!m_block.IsOpen())
        return false;
    // A failed transfer asks whether anybody still serves the block: a killed simulator leaves
    // no answer behind, only its abandoned block.
    if (m_blockFault || (!succeeded && !m_block.IsServed())) {
        LoseDevice();
        return false;
    }
    return succeeded;
}

std::optional<CSimulatorLink::AreaView> CSimulatorLink::FindArea(size_t headerOffset)
{
    AreaView area;
    uint16_t offset = 0;
    std::memcpy(&offset, m_header + headerOffset, sizeof offset);
    area.offset = offset;
    // An area may neither overlap the header nor reach past the end of the block.
    if (area.offset <= Header::Path || area.offset + Area::Data > m_block.Size())
        return std::nullopt;
    // The packet size and the capacity lie side by side at the area's start.
    static_assert(Area::Capacity == Area::MaxPacket + 2);
    uint16_t sizes[2] = {};
    ReadBlock(area.offset + Area::MaxPacket, sizes, sizeof sizes);
    area.maxPacket = sizes[0];
    area.capacity = sizes[1];
    if (area.capacity == 0 || area.offset + Area::Data + area.capacity > m_block.Size())
        return std::nullopt;
    return area;
}

int CSimulatorLink::ReadAnswer(const AreaView& area, void* out, int wanted)
{
    // The data length, the stage flag and the data follow each other: one read takes them all.
    static_assert(Area::Stage == Area::DataLength + 2 && Area::Data == Area::Stage + 1);
    const size_t room = std::min(static_cast<size_t>(std::max(wanted, 0)), size_t{area.capacity});
    m_answer.resize(Area::Data - Area::DataLength + room);
    if (!ReadBlock(area.offset + Area::DataLength, m_answer.data(), m_answer.size()))
        return -1;
    uint16_t length = 0;
    std::memcpy(&length, m_answer.data(), sizeof length);
    if (length > area.capacity)
        return -1;
    const size_t taken = std::min(size_t{length}, room);
    if (taken > 0)
        std::memcpy(out, m_answer.data() + (Area::Data - Area::DataLength), taken);
    return length;
}

void CSimulatorLink::ClearStage(size_t areaOffset, uint8_t stage)
{
    const uint8_t fields[Area::Data - Area::DataLength] = {0, 0, stage};
    WriteBlock(areaOffset + Area::DataLength, fields, sizeof fields);
}

bool CSimulatorLink::Exchange(EventIndex request, EventIndex acknowledge,
                              Clock::time_point transferDeadline)
{
    if (m_blockFault)
        return false;
    // The events come in pairs, one pair per pipe, in the pipes' order.
    const size_t pipe = static_cast<size_t>(request) / 2;
    const auto sequence = static_cast<uint8_t>(++m_sequence[pipe]);
    SetByte(Header::RequestSequence + pipe, sequence);
    m_events[acknowledge].Reset();
    if (m_blockFault || !m_events[request].Set())
        return false;
    const auto deadline =
        std::min(Clock::now() + std::chrono::milliseconds(ExchangeTimeoutMs), transferDeadline);
    for (;;) {
        if (!m_events[acknowledge].Wait(RemainingMs(deadline)))
            return false;
        // A late answer to a request given up earlier is not the answer to this one.
        if (Byte(Header::AnswerSequence + pipe) == sequence)
            return !m_blockFault;
        // Nor may a stream of late answers hold the wait open beyond its limit.
        if (m_blockFault || Clock::now() >= deadline)
            return false;
    }
}

void CSimulatorLink::SetUpControl(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                                  uint16_t length)
{
    // The client's fields lie just before the setup fields: both go in one write.
    static_assert(Header::SetupActive == Header::ClientToken + 4);
    constexpr size_t Start = Header::ClientProcess;
    uint8_t setup[Header::ControlArea - Start] = {};
    const uint32_t client[2] = {static_cast<uint32_t>(m_process), m_token};
    std::memcpy(setup, client, sizeof client);
    setup[Header::SetupActive - Start] = 1;
    setup[Header::RequestType - Start] = type;
    setup[Header::Request - Start] = request;
    std::memcpy(setup + (Header::Value - Start), &value, sizeof value);
    std::memcpy(setup + (Header::Index - Start), &index, sizeof index);
    std::memcpy(setup + (Header::Length - Start), &length, sizeof length);
    WriteBlock(Start, setup, sizeof setup);
}

bool CSimulatorLink::VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                               const void* data, int length)
{
    if (length < 0 || length > 0xFFFF - 4 || (length > 0 && !data) || !BeginTransfer(handle, true))
        return false;
    return EndTransfer(
        ControlOut(request, value, index, static_cast<const uint8_t*>(data), length));
}

bool CSimulatorLink::ControlOut(uint8_t request, uint16_t value, uint16_t index,
                                const uint8_t* payload, int length)
{
    const std::optional<AreaView> area = FindArea(Header::ControlArea);
    if (!area || area->capacity < MinControlCapacity)
        return false;
    const size_t at = area->offset;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TransferTimeoutMs);

    SetUpControl(TypeVendorOut, request, value, index, static_cast<uint16_t>(length + 4));
    const bool setUp = Exchange(ControlRequest, ControlAcknowledge, deadline);
    SetByte(Header::SetupActive, 0);
    if (!setUp)
        return false;

    // First data stage: the request and the value, then as much payload as fits.
    std::vector<uint8_t> stage(Area::Data + area->capacity);
    uint8_t* stageData = stage.data() + Area::Data;
    stageData[0] = request;
    stageData[1] = static_cast<uint8_t>(value >> 8);
    stageData[2] = static_cast<uint8_t>(value & 0xFF);
    stageData[3] = 0;
    int sent = std::min(length, area->capacity - 4);
    if (sent > 0)
        std::memcpy(stageData + 4, payload, static_cast<size_t>(sent));
    int stageLength = sent + 4;
    for (;;) {
        // The data length, the stage flag and the data go in one write.
        const auto dataLength = static_cast<uint16_t>(stageLength);
        std::memcpy(stage.data() + Area::DataLength, &dataLength, sizeof dataLength);
        stage[Area::Stage] = 1;
        WriteBlock(at + Area::DataLength, stage.data() + Area::DataLength,
                   Area::Data - Area::DataLength + static_cast<size_t>(stageLength));
        if (!Exchange(ControlRequest, ControlAcknowledge, deadline))
            return false;
        if (sent >= length)
            break;
        stageLength = std::min(length - sent, static_cast<int>(area->capacity));
        std::memcpy(stageData, payload + sent, static_cast<size_t>(stageLength));
        sent += stageLength;
    }
    // Status stage.
    ClearStage(at, 0);
    return Exchange(ControlRequest, ControlAcknowledge, deadline);
}

int CSimulatorLink::ControlInTransfer(int handle, uint8_t type, uint8_t request, uint16_t value,
                                      uint16_t index, void* buffer, int length)
{
    if (length < 0 || length > 0xFFFF || (length > 0 && !buffer) || !BeginTransfer(handle, true))
        return -1;
    const int count = ControlIn(type, request, value, index, static_cast<uint8_t*>(buffer), length);
    return EndTransfer(count >= 0) ? count : -1;
}

int CSimulatorLink::ControlIn(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                              uint8_t* out, int length)
{
    const std::optional<AreaView> area = FindArea(Header::ControlArea);
    if (!area || area->maxPacket == 0)
        return -1;
    const size_t at = area->offset;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TransferTimeoutMs);

    SetUpControl(type, request, value, index, static_cast<uint16_t>(length));
    const bool setUp = Exchange(ControlRequest, ControlAcknowledge, deadline);
    SetByte(Header::SetupActive, 0);
    if (!setUp)
        return -1;

    SetByte(at + Area::Stage, 0);
    int total = 0;
    while (total < length) {
        if (!Exchange(ControlRequest, ControlAcknowledge, deadline))
            return -1;
        const int packet = ReadAnswer(*area, out + total, length - total);
        if (packet < 0)
            return -1;
        total += std::min(packet, length - total);
        // A short (or empty) packet ends the data stage early.
        if (packet == 0 || packet % area->maxPacket != 0)
            break;
    }
    ClearStage(at, 1);
    if (!Exchange(ControlRequest, ControlAcknowledge, deadline))
        return -1;
    return total;
}

int CSimulatorLink::VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index,
                             void* buffer, int length)
{
    return ControlInTransfer(handle, TypeVendorIn, request, value, index, buffer, length);
}

bool CSimulatorLink::QueryDeviceId(int handle, char* buffer, int length)
{
    if (!buffer || length <= 0)
        return false;
    uint8_t reply[DeviceIdReplyLength];
    const int count = ControlInTransfer(handle, TypeClassIn, 0, 0, 0, reply, DeviceIdReplyLength);
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
    if (length < 0 || (length > 0 && !data) || !BeginTransfer(m_handle))
        return false;
    return EndTransfer(BulkWritePieces(static_cast<const uint8_t*>(data), length));
}

bool CSimulatorLink::BulkWritePieces(const uint8_t* bytes, int length)
{
    const std::optional<AreaView> area = FindArea(Header::BulkOutArea);
    if (!area)
        return false;
    const size_t at = area->offset;
    std::vector<uint8_t> piece(Area::Data + area->capacity);
    int sent = 0;
    // The simulator marks its area busy while it cannot take more; the piece is tried again at
    // once, but a simulator that stays busy for longer than any answer may take fails the write
    // instead of holding the caller forever.
    auto busySince = Clock::time_point{};
    while (sent < length) {
        const uint8_t flags = Byte(Header::Flags);
        if (m_blockFault)
            return false;
        if (flags & BulkOutBusy) {
            const auto now = Clock::now();
            if (busySince == Clock::time_point{})
                busySince = now;
            else if (now - busySince > std::chrono::milliseconds(ExchangeTimeoutMs))
                return false;
            sched_yield();
            continue;
        }
        busySince = {};
        const int size = std::min(length - sent, static_cast<int>(area->capacity));
        const auto dataLength = static_cast<uint16_t>(size);
        std::memcpy(piece.data() + Area::DataLength, &dataLength, sizeof dataLength);
        piece[Area::Stage] = 1;
        std::memcpy(piece.data() + Area::Data, bytes + sent, static_cast<size_t>(size));
        WriteBlock(at + Area::DataLength, piece.data() + Area::DataLength,
                   Area::Data - Area::DataLength + static_cast<size_t>(size));
        if (!Exchange(BulkOutRequest, BulkOutAcknowledge))
            return false;
        sent += size;
    }
    return true;
}

int CSimulatorLink::BulkRead(void* buffer, int length)
{
    if (length < 0 || (length > 0 && !buffer) || !BeginTransfer(m_handle))
        return -1;
    const int count = BulkReadPiece(buffer, length);
    return EndTransfer(count >= 0) ? count : -1;
}

int CSimulatorLink::BulkReadPiece(void* buffer, int length)
{
    const std::optional<AreaView> area = FindArea(Header::BulkInArea);
    if (!area)
        return -1;
    if (!Exchange(BulkInRequest, BulkInAcknowledge))
        return -1;
    SetByte(area->offset + Area::Stage, 0);
    const int available = ReadAnswer(*area, buffer, length);
    return available < 0 ? -1 : std::min(available, length);
}

bool CSimulatorLink::OutputFile(int, const std::string& path, const std::string&)
{
    if (path.empty() || path.find('\0') != std::string::npos || !BeginTransfer(m_handle))
        return false;
    return EndTransfer(OutputPath(path));
}

bool CSimulatorLink::OutputPath(const std::string& path)
{
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
    WriteBlock(Header::Path, fullPath.c_str(), fullPath.size() + 1);
    // The simulator says whether it took the file: one it cannot read is a failed transfer.
    SetByte(Header::OutputFileResult, 0);
    return Exchange(OutputFileRequest, OutputFileAcknowledge) &&
           Byte(Header::OutputFileResult) == 1 && !m_blockFault;
}
