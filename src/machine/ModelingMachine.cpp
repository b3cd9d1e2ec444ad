#include "ModelingMachine.h"

#include "DeviceLock.h"
#include "LinkFactory.h"
#include "RawBytes.h"
#include "UserFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A wait limit in the machine's sense: the loop goes on while at most limitMs have passed.
// Rounds after the first are paced a millisecond apart, so that a machine that is slow to
// accept or reply does not make the wait burn a core.
class CWaitTimer
{
public:
    explicit CWaitTimer(int limitMs) : m_start(Clock::now()), m_limit(limitMs) {}
    bool Running() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start)
                   .count() <= m_limit;
    }
    void Pace() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

private:
    Clock::time_point m_start;
    int m_limit;
};

constexpr int32_t PartsPerMillion = 1000000;

} // namespace

CModelingMachine::CModelingMachine() : CModelingMachine(CreateUsbPrintLink(), CreateSimulatorLink())
{
}

CModelingMachine::CModelingMachine(std::unique_ptr<CMachineLink> usbLink,
                                   std::unique_ptr<CMachineLink> simulatorLink)
    : m_usbLink(std::move(usbLink)), m_simulatorLink(std::move(simulatorLink)),
      m_link(m_usbLink.get())
{
}

// The links close themselves as they are destroyed: the simulator first, since its closing
// notice may reach a target that belongs to the owner.
CModelingMachine::~CModelingMachine()
{
    m_simulatorLink.reset();
    m_usbLink.reset();
}

bool CModelingMachine::IsSimulatorCurrent() const
{
    return m_link == m_simulatorLink.get();
}

// --- connection ------------------------------------------------------------------------------

int CModelingMachine::EnumerateMachines()
{
    return m_usbLink->EnumerateMachines(m_modelName, false);
}

void CModelingMachine::SwitchLink(CMachineLink* link)
{
    if (m_link != link)
        m_link->Close();
    m_link = link;
}

bool CModelingMachine::ProbeByteOrder()
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return false;
    uint8_t reply[4] = {};
    if (m_link->VendorRead(Cmd::GetByteOrder, reply, 4) != 4)
        return false;
    m_swap = LoadRaw<uint16_t>(reply + 2) != ByteOrderMarker;
    return LoadRaw<uint16_t>(reply) == 0;
}

bool CModelingMachine::SelectMachine(const std::string& name)
{
    m_link->SetName(name);
    if (!m_link->Open())
        return false;
    if (ProbeByteOrder())
        return true;
    m_link->Close();
    return false;
}

bool CModelingMachine::UseSimulator(DeviceChangeTarget target)
{
    CMachineLink* previous = m_link;
    const bool hasTarget = static_cast<bool>(target);
    m_simulatorLink->SetNotificationTarget(std::move(target));
    SwitchLink(m_simulatorLink.get());
    if (SelectMachine(m_modelName))
        return true;
    if (!hasTarget && previous != m_simulatorLink.get())
        SwitchLink(previous);
    return false;
}

void CModelingMachine::CloseMachine()
{
    SwitchLink(m_usbLink.get());
    m_usbLink->Close();
}

// --- byte order and payload buffer ----------------------------------------------------------

uint16_t CModelingMachine::Convert16(uint16_t value) const
{
    return m_swap ? static_cast<uint16_t>((value << 8) | (value >> 8)) : value;
}

uint32_t CModelingMachine::Convert32(uint32_t value) const
{
    return m_swap ? __builtin_bswap32(value) : value;
}

uint8_t* CModelingMachine::ReservePayload(size_t length)
{
    if (length >= m_payloadCapacity) {
        const size_t capacity = (length + 1024) / 1024 * 1024;
        std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[capacity]);
        if (!grown)
            return nullptr;
        if (m_payload)
            std::memcpy(grown.get(), m_payload.get(), m_payloadCapacity);
        m_payload = std::move(grown);
        m_payloadCapacity = capacity;
    }
    return m_payload.get();
}

int32_t CModelingMachine::MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    const int64_t absRemainder = remainder < 0 ? -remainder : remainder;
    const int64_t absDivisor = c < 0 ? -static_cast<int64_t>(c) : c;
    if (2 * absRemainder >= absDivisor)
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient > std::numeric_limits<int32_t>::max() ||
        quotient < std::numeric_limits<int32_t>::min())
        return -1;
    return static_cast<int32_t>(quotient);
}

// --- framing ------------------------------------------------------------------------------------

CommandStatus CModelingMachine::ReadCommandStatus()
{
    CommandStatus status;
    uint8_t reply[8];
    if (m_link->VendorRead(Cmd::GetCommandStatus, reply, 8) != 8)
        return status;
    status.word0 = Convert32(LoadRaw<uint32_t>(reply));
    status.word1 = Convert32(LoadRaw<uint32_t>(reply + 4));
    return status;
}

CommandStatus CModelingMachine::GetCommandStatus()
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return CommandStatus{};
    return ReadCommandStatus();
}

// Reads the command status (each read under its own lock) until busyBit is clear in word 1; a
// failed read, the error bit or the end of the wait limit fails.
bool CModelingMachine::WaitUntilClear(uint32_t busyBit)
{
    for (CWaitTimer timer(WaitLimitMs); timer.Running(); timer.Pace()) {
        const CommandStatus status = GetCommandStatus();
        if (!status.IsValid() || (status.word1 & CommandStatus::Error))
            return false;
        if (!(status.word1 & busyBit))
            return true;
    }
    return false;
}

bool CModelingMachine::WaitForCompletion()
{
    return WaitUntilClear(CommandStatus::Executing);
}

// The reply length announced in the command status; -1 on an error or when none comes. A
// failed status read carries the error bit, so it ends the wait too.
int CModelingMachine::WaitForReply()
{
    for (CWaitTimer timer(WaitLimitMs); timer.Running(); timer.Pace()) {
        const CommandStatus status = ReadCommandStatus();
        if (status.word1 & CommandStatus::Error)
            return -1;
        if (status.ReplyLength() != 0)
            return status.ReplyLength();
    }
    return -1;
}

bool CModelingMachine::SendCommand(uint16_t code, const void* payload, int length)
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return false;
    if (!m_link->VendorWrite(code, payload, length))
        return false;
    return WaitUntilClear(CommandStatus::NotAccepted);
}

bool CModelingMachine::SendCommand16(uint16_t code, const int16_t* values, int count)
{
    uint8_t* buffer = ReservePayload(static_cast<size_t>(count) * 2);
    if (!buffer)
        return false;
    for (int i = 0; i < count; ++i)
        StoreRaw(buffer + 2 * i, Convert16(static_cast<uint16_t>(values[i])));
    return SendCommand(code, buffer, count * 2);
}

bool CModelingMachine::SendCommand32(uint16_t code, const int32_t* values, int count)
{
    uint8_t* buffer = ReservePayload(static_cast<size_t>(count) * 4);
    if (!buffer)
        return false;
    for (int i = 0; i < count; ++i)
        StoreRaw(buffer + 4 * i, Convert32(static_cast<uint32_t>(values[i])));
    return SendCommand(code, buffer, count * 4);
}

bool CModelingMachine::SendCommandAndComplete(uint16_t code, const void* payload, int length)
{
    return SendCommand(code, payload, length) && WaitForCompletion();
}

int CModelingMachine::Query(uint16_t code, void* buffer, int length)
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return 0;
    if (!m_link->VendorWrite(code, nullptr, 0))
        return 0;
    const int replyLength = WaitForReply();
    if (replyLength < 0)
        return -1;
    const int count = std::min(length, replyLength);
    if (count <= 0)
        return 0;
    return m_link->VendorRead(Cmd::ReadReply, buffer, count);
}

bool CModelingMachine::QueryExact(uint16_t code, void* buffer, int length)
{
    return Query(code, buffer, length) == length;
}

bool CModelingMachine::Query16(uint16_t code, int16_t* values, int count)
{
    if (!QueryExact(code, values, count * 2))
        return false;
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<int16_t>(Convert16(static_cast<uint16_t>(values[i])));
    return true;
}

bool CModelingMachine::Query32(uint16_t code, int32_t* values, int count)
{
    if (!QueryExact(code, values, count * 4))
        return false;
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<int32_t>(Convert32(static_cast<uint32_t>(values[i])));
    return true;
}

int CModelingMachine::GetStatusRecord(void* buffer, int length)
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return -1;
    const int count = m_link->VendorRead(Cmd::GetMachineStatus, buffer, length);
    auto* bytes = static_cast<uint8_t*>(buffer);
    auto convert32At = [&](int offset) {
        StoreRaw(bytes + offset, Convert32(LoadRaw<uint32_t>(bytes + offset)));
    };
    if (count >= MachineStatus::WordsSize) {
        convert32At(0);
        convert32At(4);
    }
    if (count >= MachineStatus::Size) {
        for (int offset = 8; offset <= 20; offset += 4)
            convert32At(offset);
        StoreRaw(bytes + 24, Convert16(LoadRaw<uint16_t>(bytes + 24)));
    }
    return count;
}

int CModelingMachine::ReadMachineStatus(MachineStatus& status)
{
    uint8_t record[MachineStatus::Size] = {};
    const int count = GetStatusRecord(record, MachineStatus::Size);
    status = MachineStatus::Decode(record, count);
    return count;
}

bool CModelingMachine::WriteRawData(const void* data, int length)
{
    return m_link->BulkWrite(data, length);
}

bool CModelingMachine::SendFile(const std::string& path, const std::string& jobName, int* openError,
                                const CMachineLink::OutputProgress& progress)
{
    int error = 0;
    const int fd = OpenUserFile(path.c_str(), UserFileAccess::Read, error);
    // A shared lock keeps cooperating writers off the file while it is being sent; a file
    // another program holds locked is a sharing violation, reported as such.
    if (fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
    }
    if (error != 0) {
        if (openError)
            *openError = error;
        return false;
    }
    m_link->SetOutputProgress(progress);
    const bool sent = m_link->OutputFile(fd, path, jobName);
    m_link->SetOutputProgress({});
    close(fd);
    return sent;
}

bool CModelingMachine::GetReceiveCounter(uint32_t counter[2])
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return false;
    uint8_t reply[8];
    if (m_link->VendorRead(Cmd::GetReceiveCounter, reply, 8) != 8)
        return false;
    counter[0] = Convert32(LoadRaw<uint32_t>(reply));
    counter[1] = Convert32(LoadRaw<uint32_t>(reply + 4));
    return true;
}

bool CModelingMachine::ClearErrorFlag()
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    return lock.IsLocked() && m_link->VendorWrite(Cmd::ClearErrorFlag, nullptr, 0);
}

// --- the command table ----------------------------------------------------------------------

std::optional<std::string> CModelingMachine::GetFirmwareVersion()
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return std::nullopt;
    if (!SendCommand(Cmd::GetFirmwareVersion, nullptr, 0))
        return std::nullopt;
    const int replyLength = WaitForReply();
    if (replyLength < 0)
        return std::nullopt;
    char text[FirmwareReplyMax];
    const int count =
        m_link->VendorRead(Cmd::ReadReply, text, std::min(replyLength, FirmwareReplyMax));
    if (count <= 0)
        return std::nullopt;
    return std::string(text, strnlen(text, static_cast<size_t>(count)));
}

bool CModelingMachine::QueryTriple(uint16_t code, AxisTriple& values)
{
    return Query32(code, values.data(), 3);
}

bool CModelingMachine::SendTriple(uint16_t code, const AxisTriple& values, bool complete)
{
    if (!SendCommand32(code, values.data(), 3))
        return false;
    return !complete || WaitForCompletion();
}

bool CModelingMachine::GetPosition(AxisTriple& position)
{
    return QueryTriple(Cmd::GetPosition, position);
}

bool CModelingMachine::GetMoveRange(AxisTriple& low, AxisTriple& high)
{
    int32_t values[6];
    if (!Query32(Cmd::GetMoveRange, values, 6))
        return false;
    std::copy(values, values + 3, low.begin());
    std::copy(values + 3, values + 6, high.begin());
    return true;
}

bool CModelingMachine::SetCuttingSpeed(int percent)
{
    const uint8_t value = static_cast<uint8_t>(std::clamp(percent, 0, 255));
    return SendCommand(Cmd::SetCuttingSpeed, &value, 1);
}

bool CModelingMachine::GetUserOrigin(AxisTriple& origin)
{
    return QueryTriple(Cmd::GetUserOrigin, origin);
}

bool CModelingMachine::SetUserOrigin(const AxisTriple& origin)
{
    return SendTriple(Cmd::SetUserOrigin, origin, true);
}

int32_t CModelingMachine::GetAutoPowerOffTime()
{
    uint8_t reply[4] = {};
    if (Query(Cmd::GetAutoPowerOffTime, reply, 4) <= 0)
        return -1;
    return LoadRaw<int32_t>(reply);
}

bool CModelingMachine::SetAutoPowerOffTime(int32_t seconds)
{
    uint8_t payload[4];
    StoreRaw(payload, seconds);
    return SendCommand(Cmd::SetAutoPowerOffTime, payload, 4);
}

bool CModelingMachine::PauseCutting()
{
    return SendCommand(Cmd::PauseCutting, nullptr, 0);
}

bool CModelingMachine::ResumeCutting()
{
    return SendCommand(Cmd::ResumeCutting, nullptr, 0);
}

bool CModelingMachine::QuitCutting()
{
    return SendCommand(Cmd::QuitCutting, nullptr, 0);
}

bool CModelingMachine::StopOperation()
{
    return SendCommand(Cmd::StopOperation, nullptr, 0);
}

bool CModelingMachine::SetOperationMode(uint8_t mode)
{
    return SendCommand(Cmd::SetOperationMode, &mode, 1);
}

bool CModelingMachine::SendMove(uint16_t code, int16_t parameter, const AxisTriple& target)
{
    uint8_t* buffer = ReservePayload(16);
    if (!buffer)
        return false;
    StoreRaw(buffer, Convert16(static_cast<uint16_t>(parameter)));
    StoreRaw(buffer + 2, Convert16(0));
    for (size_t axis = 0; axis < 3; ++axis)
        StoreRaw(buffer + 4 + 4 * axis, Convert32(static_cast<uint32_t>(target[axis])));
    return SendCommand(code, buffer, 16);
}

bool CModelingMachine::MoveTo(int16_t parameter, const AxisTriple& target)
{
    return SendMove(Cmd::MoveTo, parameter, target);
}

bool CModelingMachine::JogTo(int16_t parameter, const AxisTriple& target)
{
    return SendMove(Cmd::JogTo, parameter, target);
}

bool CModelingMachine::MoveToViewPosition(int16_t parameter)
{
    return SendCommand16(Cmd::MoveToViewPosition, &parameter, 1);
}

bool CModelingMachine::GetDistanceCorrection(AxisTriple& correctionPpm)
{
    int32_t values[6];
    if (!Query32(Cmd::GetDistanceCorrection, values, 6))
        return false;
    for (size_t axis = 0; axis < 3; ++axis)
        correctionPpm[axis] =
            MulDiv(values[axis], PartsPerMillion, values[axis + 3]) - PartsPerMillion;
    return true;
}

bool CModelingMachine::SetDistanceCorrection(const AxisTriple& correctionPpm)
{
    const int32_t values[6] = {correctionPpm[0] + PartsPerMillion,
                               correctionPpm[1] + PartsPerMillion,
                               correctionPpm[2] + PartsPerMillion,
                               PartsPerMillion,
                               PartsPerMillion,
                               PartsPerMillion};
    return SendCommand32(Cmd::SetDistanceCorrection, values, 6) && WaitForCompletion();
}

int CModelingMachine::GetAutoPowerOffFlag()
{
    uint8_t value = 0;
    return QueryExact(Cmd::GetAutoPowerOffFlag, &value, 1) ? value : -1;
}

bool CModelingMachine::SetCuttingSpeedMode(uint8_t automatic)
{
    return SendCommand(Cmd::SetCuttingSpeedMode, &automatic, 1);
}

int CModelingMachine::GetCuttingSpeedMode()
{
    uint8_t value = 0;
    return QueryExact(Cmd::GetCuttingSpeedMode, &value, 1) ? value : -1;
}

bool CModelingMachine::GetSystemReport(const std::function<void(const char*, int)>& sink)
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return false;
    if (!m_link->VendorWrite(Cmd::GetSystemReport, nullptr, 0) ||
        !WaitUntilClear(CommandStatus::NotAccepted))
        return false;
    char chunk[ReportChunk];
    // A machine that keeps answering with empty reads would otherwise hold the panel forever:
    // give up when no data has come for as long as any other wait may last.
    auto lastData = Clock::now();
    for (;;) {
        const int count = m_link->BulkRead(chunk, ReportChunk);
        if (count < 0)
            return false;
        sink(chunk, count);
        if (count > 0) {
            if (chunk[count - 1] == '\0')
                return true;
            lastData = Clock::now();
        } else if (Clock::now() - lastData > std::chrono::milliseconds(WaitLimitMs)) {
            return false;
        }
    }
}

bool CModelingMachine::GetFatalError(int16_t words[5])
{
    CDeviceLock lock(*m_link, LockTimeoutMs);
    if (!lock.IsLocked())
        return false;
    if (!m_link->VendorWrite(Cmd::GetFatalError, nullptr, 0))
        return false;
    const int replyLength = WaitForReply();
    if (replyLength < 0)
        return false;
    uint8_t reply[10] = {};
    const int wanted = std::min(replyLength, 10);
    if (m_link->VendorRead(Cmd::ReadReply, reply, wanted) != wanted)
        return false;
    for (int i = 0; i < 5; ++i)
        words[i] = static_cast<int16_t>(Convert16(LoadRaw<uint16_t>(reply + 2 * i)));
    return true;
}

bool CModelingMachine::GetCommandError(int16_t& code)
{
    return Query16(Cmd::GetCommandError, &code, 1);
}

bool CModelingMachine::ClearCommandError()
{
    return SendCommand(Cmd::ClearCommandError, nullptr, 0);
}

bool CModelingMachine::ClearSettings()
{
    return SendCommandAndComplete(Cmd::ClearSettings, nullptr, 0);
}

bool CModelingMachine::QuerySpindleRecord(uint16_t code, SpindleTimeRecord& record)
{
    uint8_t reply[16];
    if (Query(code, reply, 16) != 16)
        return false;
    record.word0 = static_cast<int32_t>(Convert32(LoadRaw<uint32_t>(reply)));
    record.seconds = static_cast<int32_t>(Convert32(LoadRaw<uint32_t>(reply + 4)));
    record.word8 = static_cast<int16_t>(Convert16(LoadRaw<uint16_t>(reply + 8)));
    for (size_t i = 0; i < 3; ++i)
        record.words10[i] = static_cast<int16_t>(Convert16(LoadRaw<uint16_t>(reply + 10 + 2 * i)));
    return true;
}

bool CModelingMachine::GetSpindleTime(SpindleTimeRecord& record)
{
    return QuerySpindleRecord(Cmd::GetSpindleTime, record);
}

bool CModelingMachine::ResetSpindleTime()
{
    return SendCommandAndComplete(Cmd::ResetSpindleTime, nullptr, 0);
}

bool CModelingMachine::SendMotorLoadTest(uint16_t code, int16_t first, int16_t second,
                                         int32_t travel)
{
    uint8_t* buffer = ReservePayload(8);
    if (!buffer)
        return false;
    StoreRaw(buffer, Convert16(static_cast<uint16_t>(first)));
    StoreRaw(buffer + 2, Convert16(static_cast<uint16_t>(second)));
    StoreRaw(buffer + 4, Convert32(static_cast<uint32_t>(travel)));
    return SendCommand(code, buffer, 8);
}

bool CModelingMachine::TestMotorLoadX(int16_t first, int16_t second, int32_t travel)
{
    return SendMotorLoadTest(Cmd::TestMotorLoadX, first, second, travel);
}

bool CModelingMachine::TestMotorLoadY(int16_t first, int16_t second, int32_t travel)
{
    return SendMotorLoadTest(Cmd::TestMotorLoadY, first, second, travel);
}

bool CModelingMachine::TestMotorLoadZ(int16_t first, int16_t second, int32_t travel)
{
    return SendMotorLoadTest(Cmd::TestMotorLoadZ, first, second, travel);
}

bool CModelingMachine::StartIdling(uint8_t parameter)
{
    return SendCommand(Cmd::StartIdling, &parameter, 1);
}

// Power-off must get through even while another program holds the device mutex, so it takes
// no lock and does not wait for the machine to accept it.
bool CModelingMachine::PowerOff(int32_t parameter)
{
    uint8_t payload[4];
    StoreRaw(payload, Convert32(static_cast<uint32_t>(parameter)));
    return m_link->VendorWrite(Cmd::PowerOff, payload, 4);
}

bool CModelingMachine::ResetSpindleUnitTime()
{
    return SendCommandAndComplete(Cmd::ResetSpindleUnitTime, nullptr, 0);
}

bool CModelingMachine::GetSpindleUnitTime(SpindleTimeRecord& record)
{
    return QuerySpindleRecord(Cmd::GetSpindleUnitTime, record);
}

bool CModelingMachine::SelectSpindleUnit(uint8_t unit, uint8_t keep)
{
    const uint8_t payload[2] = {unit, keep};
    return SendCommand(Cmd::SelectSpindleUnit, payload, 2);
}

int CModelingMachine::GetSpindleUnit()
{
    uint8_t value = 0;
    return QueryExact(Cmd::GetSpindleUnit, &value, 1) ? value : -1;
}

bool CModelingMachine::GetSpindleRotation(int32_t words[2])
{
    return Query32(Cmd::GetSpindleRotation, words, 2);
}

bool CModelingMachine::SetSpindleRotation(int32_t value)
{
    return SendCommand32(Cmd::SetSpindleRotation, &value, 1);
}

bool CModelingMachine::GetMachineSettings(MachineSettings& settings)
{
    uint8_t reply[sizeof(MachineSettings)];
    if (Query(Cmd::GetMachineSettings, reply, sizeof reply) != static_cast<int>(sizeof reply))
        return false;
    std::memcpy(&settings, reply, sizeof reply);
    return true;
}

bool CModelingMachine::SetMachineSettings(const MachineSettings& settings)
{
    return SendCommandAndComplete(Cmd::SetMachineSettings, &settings, sizeof settings);
}

bool CModelingMachine::GetExofsOrigin(AxisTriple& origin)
{
    return QueryTriple(Cmd::GetExofsOrigin, origin);
}

bool CModelingMachine::GetWorkOrigin(int n, AxisTriple& origin)
{
    if (n < Cmd::FirstWorkSystem || n > Cmd::LastWorkSystem)
        return false;
    return QueryTriple(static_cast<uint16_t>(Cmd::GetWorkOriginBase + (n - Cmd::FirstWorkSystem)),
                       origin);
}

bool CModelingMachine::GetExtraWorkOrigin(int p, AxisTriple& origin)
{
    if (p < 1 || p > Cmd::ExtraWorkSystems)
        return false;
    return QueryTriple(static_cast<uint16_t>(Cmd::GetExtraWorkOriginBase + (p - 1)), origin);
}

bool CModelingMachine::SetExofsOrigin(const AxisTriple& origin)
{
    return SendTriple(Cmd::SetExofsOrigin, origin, true);
}

bool CModelingMachine::SetWorkOrigin(int n, const AxisTriple& origin)
{
    if (n < Cmd::FirstWorkSystem || n > Cmd::LastWorkSystem)
        return false;
    return SendTriple(static_cast<uint16_t>(Cmd::SetWorkOriginBase + (n - Cmd::FirstWorkSystem)),
                      origin, true);
}

bool CModelingMachine::SetExtraWorkOrigin(int p, const AxisTriple& origin)
{
    if (p < 1 || p > Cmd::ExtraWorkSystems)
        return false;
    return SendTriple(static_cast<uint16_t>(Cmd::SetExtraWorkOriginBase + (p - 1)), origin, true);
}

bool CModelingMachine::SetTestCutOption(int enabled)
{
    const uint8_t value = enabled != 0 ? 1 : 0;
    return SendCommand(Cmd::SetTestCutOption, &value, 1);
}

bool CModelingMachine::GetToolOffset(int i, int32_t& offset)
{
    if (i < 1 || i > Cmd::ToolOffsets)
        return false;
    return Query32(static_cast<uint16_t>(Cmd::GetToolOffsetBase + (i - 1)), &offset, 1);
}

bool CModelingMachine::SetToolOffset(int i, int32_t offset)
{
    if (i < 1 || i > Cmd::ToolOffsets)
        return false;
    return SendCommand32(static_cast<uint16_t>(Cmd::SetToolOffsetBase + (i - 1)), &offset, 1) &&
           WaitForCompletion();
}

bool CModelingMachine::MoveToOrigin(int coordSystem, int16_t axisMask, int16_t parameter)
{
    const int16_t number = static_cast<int16_t>(
        coordSystem >= CoordSystem::FirstExtra ? coordSystem - 1 : coordSystem);
    const int16_t values[3] = {number, axisMask, parameter};
    return SendCommand16(Cmd::MoveToOrigin, values, 3);
}
