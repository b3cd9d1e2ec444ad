#include "FirmwareModel.h"

#include "MachineCommands.h"
#include "NcCodeTest.h"
#include "SimulatorProtocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A coordinate worked out in double, held to the 32-bit range (NaN counts as zero).
int32_t SaturateCoordinate(double value)
{
    if (!(value == value))
        return 0;
    return static_cast<int32_t>(
        std::clamp(std::round(value), double(INT32_MIN), double(INT32_MAX)));
}

// A time worked out in seconds, as a clock duration; held to about three years, so that a move
// that would take longer (a centre far away) cannot overflow the clock.
CFirmwareModel::Clock::duration MoveDuration(double seconds)
{
    if (!(seconds > 0))
        return {};
    return std::chrono::duration_cast<CFirmwareModel::Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e8)));
}

// The largest job file the simulator takes in.
constexpr off_t MaxJobFileSize = 64 << 20;

// Reads a job file: only a regular file (a folder, a pipe or a device would fail or never end),
// opened without waiting, no larger than the limit, in pieces up to the size it had when it was
// opened.
bool ReadJobFile(const std::string& path, std::string& data)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    bool read = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxJobFileSize;
    if (read) {
        data.resize(static_cast<size_t>(info.st_size));
        size_t have = 0;
        while (have < data.size()) {
            const ssize_t count =
                ::read(fd, data.data() + have, std::min<size_t>(data.size() - have, 65536));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            have += static_cast<size_t>(count);
        }
        data.resize(have);
    }
    close(fd);
    return read;
}
using Ms = std::chrono::milliseconds;

constexpr int IdlingRpm = 5000;
constexpr size_t LogLimit = 100000;
constexpr size_t ReplyLimit = 255;             // the reply length travels in one byte
constexpr int32_t NominalCorrection = 1000000; // measured and nominal values of 100 %
// A last line without terminator is taken once nothing has followed it for this long.
constexpr int PartialLineMs = 20;

// A unit's rotation time as the machine reports it: whole seconds in 32 unsigned bits, which
// wrap like the machine's own counter.
uint32_t UnitSecondsOnTheWire(double seconds)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(seconds));
}

const char* const DeviceId = "MFG:Quenby;MDL:ZR-40;CMD:ZML-1,NC;CLS:PRINTER;DES:ZR-40 simulator;";

std::string Hex(const uint8_t* bytes, size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

double Distance(const AxisTriple& a, const AxisTriple& b)
{
    double sum = 0;
    for (size_t i = 0; i < 3; ++i) {
        const double d = static_cast<double>(b[i]) - a[i];
        sum += d * d;
    }
    return std::sqrt(sum);
}

} // namespace

CFirmwareModel::CFirmwareModel(const FirmwareOptions& options, TimePoint now)
    : m_options(options), m_powerOnAt(now), m_lastAdvance(now), m_lastActivity(now),
      m_speed(std::max(1, options.axisSpeed)), m_extraOrigins(Cmd::ExtraWorkSystems)
{
    ResetSettings();
}

void CFirmwareModel::ResetSettings()
{
    m_settings = MachineSettings{};
    m_settings.commandSet = 1; // NC code
    m_userOrigin = {};
    m_exofsOrigin = {};
    std::fill(std::begin(m_workOrigins), std::end(m_workOrigins), AxisTriple{});
    std::fill(m_extraOrigins.begin(), m_extraOrigins.end(), AxisTriple{});
    std::fill(std::begin(m_toolOffsets), std::end(m_toolOffsets), 0);
    std::fill(std::begin(m_correction), std::end(m_correction), 1000000);
    std::memset(m_autoPowerOffTime, 0, sizeof m_autoPowerOffTime);
    m_override = 100;
    m_speedMode = 1;
}

// --- byte order -------------------------------------------------------------------------------

uint16_t CFirmwareModel::Load16(const uint8_t* b) const
{
    return m_options.bigEndian ? static_cast<uint16_t>(b[0] << 8 | b[1])
                               : static_cast<uint16_t>(b[1] << 8 | b[0]);
}

uint32_t CFirmwareModel::Load32(const uint8_t* b) const
{
    return m_options.bigEndian
               ? (uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3])
               : (uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0]);
}

void CFirmwareModel::Append16(std::vector<uint8_t>& out, uint16_t v) const
{
    const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
    if (m_options.bigEndian)
        out.insert(out.end(), {hi, lo});
    else
        out.insert(out.end(), {lo, hi});
}

void CFirmwareModel::Append32(std::vector<uint8_t>& out, uint32_t v) const
{
    if (m_options.bigEndian) {
        Append16(out, static_cast<uint16_t>(v >> 16));
        Append16(out, static_cast<uint16_t>(v));
    } else {
        Append16(out, static_cast<uint16_t>(v));
        Append16(out, static_cast<uint16_t>(v >> 16));
    }
}

void CFirmwareModel::AppendTriple(std::vector<uint8_t>& out, const AxisTriple& values) const
{
    for (int32_t v : values)
        Append32(out, static_cast<uint32_t>(v));
}

bool CFirmwareModel::PayloadTriple(const uint8_t* payload, size_t length, AxisTriple& values) const
{
    if (length != 12)
        return false;
    for (size_t i = 0; i < 3; ++i)
        values[i] = static_cast<int32_t>(Load32(payload + 4 * i));
    return true;
}

// --- state ------------------------------------------------------------------------------------

bool CFirmwareModel::JobActive() const
{
    return !m_jobs.empty() || !m_received.empty() || m_lineExecuting || m_lookahead ||
           m_testCutJob || m_skipUntil.has_value();
}

bool CFirmwareModel::ExecutingLine() const
{
    return m_lineExecuting || m_lookahead || !m_received.empty() || !m_jobs.empty();
}

uint32_t CFirmwareModel::StateWord(TimePoint now)
{
    Advance(now);
    uint32_t state = MachineState::Ready;
    if (now < m_powerOnAt + Ms(m_options.initMs))
        state = now < m_powerOnAt + Ms(m_options.initMs / 2) ? 0 : 1;
    else if (m_forcedState)
        state = static_cast<uint32_t>(*m_forcedState);
    else if (m_emergencyStop)
        state = MachineState::EmergencyStop;
    else if (JobActive())
        state = MachineState::JobActive;
    uint32_t word = state;
    if (m_paused)
        word |= StateBit::Paused;
    if (m_commandErrorPending)
        word |= StateBit::CommandErrorPending;
    if (m_skipUntil)
        word |= StateBit::SkippingData;
    if (IsMoving())
        word |= StateBit::Moving;
    if (m_spindleOn || m_idling)
        word |= StateBit::SpindleRotating;
    return word;
}

bool CFirmwareModel::CanOperate(TimePoint now)
{
    const int state = State(now);
    return state == MachineState::Ready || state == MachineState::JobActive;
}

AxisTriple CFirmwareModel::Position(TimePoint now)
{
    Advance(now);
    return PositionAt(now);
}

void CFirmwareModel::SetAxisSpeed(int micrometresPerSecond)
{
    m_speed = std::max(1, micrometresPerSecond);
}

// --- motion -----------------------------------------------------------------------------------

AxisTriple CFirmwareModel::Clamp(AxisTriple target) const
{
    for (size_t i = 0; i < 3; ++i)
        target[i] = std::clamp(target[i], m_options.low[i], m_options.high[i]);
    return target;
}

AxisTriple CFirmwareModel::PositionAt(TimePoint now) const
{
    if (!m_motion)
        return m_position;
    const Motion& m = *m_motion;
    if (now >= m.end)
        return m.to;
    const double total = std::chrono::duration<double>(m.end - m.start).count();
    const double done = std::chrono::duration<double>(now - m.start).count();
    const double f = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 1.0;
    AxisTriple p{};
    if (m.arc) {
        const double angle = m.startAngle + m.sweep * f;
        const double radius = m.startRadius + (m.endRadius - m.startRadius) * f;
        p[0] = SaturateCoordinate(m.cx + radius * std::cos(angle));
        p[1] = SaturateCoordinate(m.cy + radius * std::sin(angle));
        p[2] = SaturateCoordinate(m.from[2] + (double(m.to[2]) - m.from[2]) * f);
        return p;
    }
    for (size_t i = 0; i < 3; ++i)
        p[i] = SaturateCoordinate(m.from[i] + (double(m.to[i]) - m.from[i]) * f);
    return p;
}

void CFirmwareModel::StartMotion(const AxisTriple& target, TimePoint now, bool fromJob, int speed)
{
    const AxisTriple from = PositionAt(now);
    Motion m;
    m.from = from;
    m.to = Clamp(target);
    m.start = now;
    const double seconds = Distance(m.from, m.to) / std::max(1, speed);
    m.end =
        now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    m.fromJob = fromJob;
    m.speed = std::max(1, speed);
    if (m_options.instantMotion)
        m.end = m.start;
    m_position = from;
    m_motion = m;
    if (m.from == m.to || m_options.instantMotion)
        FinishMotion();
}

void CFirmwareModel::StartArc(const AxisTriple& target, double cx, double cy, bool clockwise,
                              TimePoint now, int speed)
{
    StartMotion(target, now, true, speed);
    if (!m_motion)
        return;
    Motion& m = *m_motion;
    m.arc = true;
    m.clockwise = clockwise;
    m.cx = cx;
    m.cy = cy;
    m.startAngle = std::atan2(m.from[1] - cy, m.from[0] - cx);
    double sweep = std::atan2(m.to[1] - cy, m.to[0] - cx) - m.startAngle;
    constexpr double FullTurn = 2 * 3.14159265358979323846;
    if (clockwise && sweep >= 0)
        sweep -= FullTurn;
    else if (!clockwise && sweep <= 0)
        sweep += FullTurn;
    m.sweep = sweep;
    m.startRadius = std::hypot(m.from[0] - cx, m.from[1] - cy);
    m.endRadius = std::hypot(m.to[0] - cx, m.to[1] - cy);
    const double length = std::hypot((m.startRadius + m.endRadius) / 2 * std::abs(sweep),
                                     static_cast<double>(m.to[2]) - m.from[2]);
    m.end = now + MoveDuration(length / m.speed);
}

void CFirmwareModel::FinishMotion()
{
    if (!m_motion)
        return;
    m_position = m_motion->to;
    const bool test = m_motion->motorLoadTest;
    if (m_motion->fromJob)
        m_lineExecuting = false;
    m_motion.reset();
    if (test && m_motorLoadFails)
        m_eventWord |= EventBit::OperationError;
}

// Holds the axes where they are and keeps the interrupted target for the resume.
void CFirmwareModel::Pause(TimePoint now)
{
    if (!m_paused && m_motion) {
        m_pausedTarget = m_motion->to;
        m_pausedTargetFromJob = m_motion->fromJob;
        m_pausedSpeed = m_motion->speed;
        if (m_motion->arc)
            m_pausedArc = *m_motion;
        else
            m_pausedArc.reset();
        const bool fromJob = m_motion->fromJob;
        StopMotion(now);
        m_lineExecuting = fromJob;
    }
    m_paused = true;
}

void CFirmwareModel::StopMotion(TimePoint now)
{
    if (!m_motion)
        return;
    m_position = PositionAt(now);
    if (m_motion->fromJob)
        m_lineExecuting = false;
    m_motion.reset();
}

// --- time -------------------------------------------------------------------------------------

void CFirmwareModel::AccumulateSpindle(TimePoint now)
{
    if (!(m_spindleOn || m_idling) || now <= m_lastAdvance)
        return;
    const double seconds = std::chrono::duration<double>(now - m_lastAdvance).count();
    m_totalSeconds += seconds;
    m_unitSeconds[m_fittedUnit] += seconds;
}

void CFirmwareModel::Advance(TimePoint now)
{
    if (!m_powered || now < m_lastAdvance)
        return;
    AccumulateSpindle(now);
    if (m_skipUntil && now >= *m_skipUntil) {
        m_skipUntil.reset();
    }
    if (m_executingUntil && now >= *m_executingUntil)
        m_executingUntil.reset();
    // Motions end and job lines follow one another, each at its own time.
    TimePoint at = m_lastAdvance;
    for (int guard = 0; guard < 100000; ++guard) {
        if (m_motion && m_motion->end <= now) {
            at = std::max(at, m_motion->end);
            FinishMotion();
        }
        if (m_motion || m_paused || m_skipUntil ||
            (m_jobs.empty() && m_received.empty() && !m_lookahead))
            break;
        if (!TakeLine(at, now) && !m_motion)
            break;
    }
    TakeLookahead(now);
    RunJobs(m_lastAdvance, now);
    m_lastAdvance = now;

    if (IsMoving() || m_spindleOn || m_idling || JobActive())
        m_lastActivity = now;
    // Auto power-off: an idle machine switches itself off after the set time.
    int32_t seconds = 0;
    std::memcpy(&seconds, m_autoPowerOffTime, sizeof seconds);
    if (seconds > 0 && now - m_lastActivity >= std::chrono::seconds(seconds) &&
        now >= m_powerOnAt + Ms(m_options.initMs)) {
        m_powered = false;
        m_autoPowerOffLast = true;
    }
}

// Data that is not NC code goes at a steady rate.
void CFirmwareModel::RunJobs(TimePoint from, TimePoint now)
{
    if (m_paused || m_skipUntil || m_jobs.empty() || m_jobs.front().nc)
        return;
    m_rawCredit += std::chrono::duration<double>(now - from).count() * m_options.rawBytesPerSecond;
    while (!m_jobs.empty() && !m_jobs.front().nc && m_rawCredit >= 1) {
        Job& job = m_jobs.front();
        const size_t left = job.data.size() - job.consumed;
        const size_t take = std::min(left, static_cast<size_t>(m_rawCredit));
        job.consumed += take;
        m_rawCredit -= static_cast<double>(take);
        if (job.consumed >= job.data.size()) {
            if (job.endless)
                job.consumed = 0;
            else
                m_jobs.pop_front();
        }
    }
    if (m_jobs.empty())
        m_rawCredit = 0;
}

// Takes the next NC line, from a file job first, then from the receive buffer.
bool CFirmwareModel::TakeLine(TimePoint at, TimePoint now)
{
    if (!m_jobs.empty()) {
        Job& job = m_jobs.front();
        if (!job.nc)
            return false;
        if (job.consumed >= job.data.size()) {
            m_jobs.pop_front();
            return true;
        }
        // Lines end as the program reader ends them; a NUL ends the program.
        const char* data = job.data.data();
        const char* end = data + job.data.size();
        const char* next = NextNcLine(ExecuteLine(data + job.consumed, end, at), end);
        job.consumed = next ? size_t(next - data) : job.data.size();
        return true;
    }
    if (m_lookahead) {
        const std::string line = std::move(*m_lookahead);
        m_lookahead.reset();
        ExecuteLine(line.data(), line.data() + line.size(), at);
        return true;
    }
    const std::optional<std::string> line = ReceiveLine(at, now);
    if (!line)
        return false;
    ExecuteLine(line->data(), line->data() + line->size(), at);
    return true;
}

std::optional<std::string> CFirmwareModel::ReceiveLine(TimePoint& at, TimePoint now)
{
    if (m_received.empty())
        return std::nullopt;
    size_t end = m_received.find('\n');
    if (end == std::string::npos) {
        if (now < m_lastReceived + Ms(PartialLineMs))
            return std::nullopt;
        at = std::max(at, m_lastReceived + Ms(PartialLineMs));
        end = m_received.size() - 1;
    }
    std::string line = m_received.substr(0, end + 1);
    m_received.erase(0, end + 1);
    m_receiveCounter += static_cast<uint32_t>(line.size());
    return line;
}

void CFirmwareModel::TakeLookahead(TimePoint now)
{
    if (!m_testCutOption || !m_lineExecuting || m_lookahead || m_paused || m_skipUntil)
        return;
    TimePoint at = now;
    m_lookahead = ReceiveLine(at, now);
}

// How the simulated machine reads its programs: numbers as written, and a "/" at the start of a
// line read over.
constexpr CNcReadOptions ProgramReadOptions{.blockSkip = false,
                                            .decimalMode = NcDecimalMode::CalculatorAll};

const AxisTriple& CFirmwareModel::ProgramOrigin(int system) const
{
    if (system >= CoordSystem::FirstWork && system <= CoordSystem::LastWork)
        return m_workOrigins[system - CoordSystem::FirstWork];
    if (system >= CoordSystem::FirstExtra && system <= CoordSystem::LastExtra)
        return m_extraOrigins[size_t(system - CoordSystem::FirstExtra)];
    return m_userOrigin;
}

CNcLineResult CFirmwareModel::ReadProgramLine(const char* begin, const char* end)
{
    const auto read = [&](int system) {
        CNcInterpreter interpreter(ProgramReadOptions);
        CNcModalState& state = interpreter.State();
        state = m_program;
        state.system = system;
        state.spindle = m_spindleOn;
        const AxisTriple& origin = ProgramOrigin(system);
        for (size_t axis = 0; axis < 3; ++axis)
            state.position[axis] = (double(m_position[axis]) - origin[axis]) / 1000;
        CNcLineResult result = interpreter.ReadLine(begin, end, 0);
        return std::pair(result, interpreter.State());
    };
    auto [result, state] = read(m_program.system);
    // A line that selects another coordinate system is read again from where the tool stands in
    // that one: the axes it does not name stay where they are.
    if (state.system != m_program.system)
        std::tie(result, state) = read(state.system);
    m_program = state;
    m_spindleOn = state.spindle;
    return result;
}

// Runs a line as the program reader reads it: straight lines (G0 at the axis speed, G1 at the
// programmed feed scaled by the override) and arcs in the XY plane (G2 / G3 with I, J or R; in
// another plane the arc is run as a straight line), absolute or incremental, in millimetres or
// inches, in the user system, G54..G59 or G54.1 P1..P300; the spindle words M3 / M4 / M5. A line
// the reader refuses moves nothing.
const char* CFirmwareModel::ExecuteLine(const char* begin, const char* end, TimePoint at)
{
    const CNcLineResult result = ReadProgramLine(begin, end);
    if (!result.moved)
        return result.stop;
    const CNcMove& move = result.move;
    const AxisTriple& origin = ProgramOrigin(move.system);
    // Worked out in double and held to the coordinates' range: a move of any size only sends
    // the axis as far as it can go (the travel limits then hold it).
    const auto machine = [&](const std::array<double, 3>& mm) {
        AxisTriple point;
        for (size_t axis = 0; axis < 3; ++axis)
            point[axis] = SaturateCoordinate(origin[axis] + mm[axis] * 1000);
        return point;
    };
    const AxisTriple target = machine(move.end);
    int speed = m_speed;
    if (move.motion != NcMotion::Rapid) {
        // The programmed feed (mm per minute), never faster than the axes can go, then the
        // override.
        const double feed =
            move.feed > 0 ? std::min(move.feed * 1000 / 60, double(m_speed)) : double(m_speed);
        speed = std::max(1, static_cast<int>(std::lround(feed * m_override / 100)));
    }
    m_lineExecuting = true;
    const bool arc = move.motion == NcMotion::ArcCw || move.motion == NcMotion::ArcCcw;
    if (arc && move.plane == NcPlane::XY) {
        const double cx = origin[0] + move.centre[0] * 1000;
        const double cy = origin[1] + move.centre[1] * 1000;
        // A centre beyond any coordinate makes the arc a straight line for all it matters.
        if (std::abs(cx) < 1e9 && std::abs(cy) < 1e9) {
            StartArc(target, cx, cy, move.motion == NcMotion::ArcCw, at, speed);
            return result.stop;
        }
    }
    StartMotion(target, at, true, speed);
    return result.stop;
}

void CFirmwareModel::QuitJobs(TimePoint now)
{
    StopMotion(now);
    m_jobs.clear();
    m_received.clear();
    m_lineExecuting = false;
    m_lookahead.reset();
    m_pausedTarget.reset();
    m_pausedArc.reset();
    m_testCutJob = false;
    m_skipUntil = now + Ms(m_options.quitSkipMs);
}

// --- transfers --------------------------------------------------------------------------------

void CFirmwareModel::Record(uint16_t code, const uint8_t* payload, size_t length)
{
    if (m_log.size() >= LogLimit)
        m_log.erase(m_log.begin(), m_log.begin() + LogLimit / 10);
    char head[16];
    std::snprintf(head, sizeof head, "0x%04X", code);
    std::string line = head;
    if (length > 0)
        line += " " + Hex(payload, length);
    m_log.push_back(line);
}

void CFirmwareModel::Reply(std::vector<uint8_t> bytes)
{
    if (bytes.size() > ReplyLimit)
        bytes.resize(ReplyLimit);
    m_reply = std::move(bytes);
}

void CFirmwareModel::Complete(TimePoint now, int ms)
{
    m_executingUntil = now + Ms(ms);
}

void CFirmwareModel::ControlOut(uint16_t code, const uint8_t* payload, size_t length, TimePoint now)
{
    if (!m_powered)
        return;
    Advance(now);
    Record(code, payload, length);
    if (code == Cmd::ClearErrorFlag) {
        m_eventWord &= ~EventBit::OperationError;
        return;
    }
    m_commandFailed = false;
    m_reply.clear();
    m_executingUntil.reset();
    m_acceptedAt = now + Ms(m_options.acceptMs);
    if (m_refusedCode != 0 && code == m_refusedCode)
        return Refuse();
    HandleCommand(code, payload, length, now);
}

AxisTriple* CFirmwareModel::OriginOf(int number)
{
    if (number == CoordSystem::User)
        return &m_userOrigin;
    if (number == CoordSystem::Exofs)
        return &m_exofsOrigin;
    if (number >= CoordSystem::FirstWork && number <= CoordSystem::LastWork)
        return &m_workOrigins[number - CoordSystem::FirstWork];
    // On the wire the extra systems P1..P300 are numbered from 9.
    if (number >= CoordSystem::FirstExtra - 1 && number <= CoordSystem::LastExtra - 1)
        return &m_extraOrigins[static_cast<size_t>(number - (CoordSystem::FirstExtra - 1))];
    return nullptr;
}

bool CFirmwareModel::HandleOriginCommand(uint16_t code, const uint8_t* payload, size_t length,
                                         TimePoint now)
{
    AxisTriple* origin = nullptr;
    bool set = false;
    if (code == Cmd::GetExofsOrigin) {
        origin = &m_exofsOrigin;
    } else if (code >= Cmd::GetWorkOriginBase && code < Cmd::GetWorkOriginBase + 6) {
        origin = &m_workOrigins[code - Cmd::GetWorkOriginBase];
    } else if (code >= Cmd::GetExtraWorkOriginBase &&
               code < Cmd::GetExtraWorkOriginBase + Cmd::ExtraWorkSystems) {
        origin = &m_extraOrigins[code - Cmd::GetExtraWorkOriginBase];
    } else if (code == Cmd::SetExofsOrigin) {
        origin = &m_exofsOrigin;
        set = true;
    } else if (code >= Cmd::SetWorkOriginBase && code < Cmd::SetWorkOriginBase + 6) {
        origin = &m_workOrigins[code - Cmd::SetWorkOriginBase];
        set = true;
    } else if (code >= Cmd::SetExtraWorkOriginBase &&
               code < Cmd::SetExtraWorkOriginBase + Cmd::ExtraWorkSystems) {
        origin = &m_extraOrigins[code - Cmd::SetExtraWorkOriginBase];
        set = true;
    } else {
        return false;
    }
    if (!set) {
        std::vector<uint8_t> out;
        AppendTriple(out, *origin);
        Reply(out);
    } else if (AxisTriple values{}; PayloadTriple(payload, length, values)) {
        *origin = values;
        Complete(now, m_options.completionMs);
    } else {
        Refuse();
    }
    return true;
}

void CFirmwareModel::HandleCommand(uint16_t code, const uint8_t* payload, size_t length,
                                   TimePoint now)
{
    if (HandleOriginCommand(code, payload, length, now))
        return;
    if (code >= Cmd::GetToolOffsetBase && code < Cmd::GetToolOffsetBase + Cmd::ToolOffsets) {
        std::vector<uint8_t> out;
        Append32(out, static_cast<uint32_t>(m_toolOffsets[code - Cmd::GetToolOffsetBase]));
        Reply(out);
        return;
    }
    if (code >= Cmd::SetToolOffsetBase && code < Cmd::SetToolOffsetBase + Cmd::ToolOffsets) {
        if (length != 4)
            return Refuse();
        m_toolOffsets[code - Cmd::SetToolOffsetBase] = static_cast<int32_t>(Load32(payload));
        Complete(now, m_options.completionMs);
        return;
    }
    std::vector<uint8_t> out;
    switch (code) {
    case Cmd::GetFirmwareVersion: {
        const std::string& text = m_options.firmwareText;
        out.assign(text.begin(), text.end());
        out.push_back(0);
        Reply(out);
        break;
    }
    case Cmd::GetPosition:
        AppendTriple(out, Position(now));
        Reply(out);
        break;
    case Cmd::GetMoveRange:
        AppendTriple(out, m_options.low);
        AppendTriple(out, m_options.high);
        Reply(out);
        break;
    case Cmd::SetCuttingSpeed:
        if (length != 1)
            return Refuse();
        m_override = static_cast<uint8_t>(std::clamp<int>(payload[0], 10, 200));
        break;
    case Cmd::GetUserOrigin:
        AppendTriple(out, m_userOrigin);
        Reply(out);
        break;
    case Cmd::SetUserOrigin:
        if (!PayloadTriple(payload, length, m_userOrigin))
            return Refuse();
        Complete(now, m_options.completionMs);
        break;
    case Cmd::GetAutoPowerOffTime:
        Reply({std::begin(m_autoPowerOffTime), std::end(m_autoPowerOffTime)});
        break;
    case Cmd::SetAutoPowerOffTime:
        if (length != 4)
            return Refuse();
        std::memcpy(m_autoPowerOffTime, payload, 4);
        m_lastActivity = now;
        break;
    case Cmd::PauseCutting:
        Pause(now);
        break;
    case Cmd::ResumeCutting:
        m_paused = false;
        if (m_pausedTarget) {
            // The interrupted move goes on at the speed it had, an arc around its centre.
            if (m_pausedArc)
                StartArc(*m_pausedTarget, m_pausedArc->cx, m_pausedArc->cy, m_pausedArc->clockwise,
                         now, m_pausedSpeed);
            else
                StartMotion(*m_pausedTarget, now, m_pausedTargetFromJob, m_pausedSpeed);
            m_pausedTarget.reset();
            m_pausedArc.reset();
        }
        break;
    case Cmd::QuitCutting:
        if (JobActive() || m_pausedTarget)
            QuitJobs(now);
        break;
    case Cmd::StopOperation:
        StopMotion(now);
        m_pausedTarget.reset();
        m_idling = false;
        break;
    case Cmd::SetOperationMode:
        if (length != 1)
            return Refuse();
        m_operationMode = payload[0];
        if (m_operationMode != OperationMode::TestCut)
            m_testCutJob = false;
        break;
    case Cmd::MoveTo:
    case Cmd::JogTo: {
        if (length != 16 || !CanOperate(now) || JobActive())
            return Refuse();
        AxisTriple target{};
        for (size_t i = 0; i < 3; ++i)
            target[i] = static_cast<int32_t>(Load32(payload + 4 + 4 * i));
        StartMotion(target, now, false, m_speed);
        break;
    }
    case Cmd::MoveToViewPosition:
        if (length != 2 || !CanOperate(now) || JobActive())
            return Refuse();
        StartMotion({m_options.low[0], m_options.high[1], m_options.high[2]}, now, false, m_speed);
        break;
    case Cmd::MoveToOrigin: {
        if (length != 6 || !CanOperate(now) || JobActive())
            return Refuse();
        const int number = static_cast<int16_t>(Load16(payload));
        const int mask = static_cast<int16_t>(Load16(payload + 2));
        AxisTriple origin{};
        if (number != CoordSystem::Machine) {
            const AxisTriple* found = OriginOf(number);
            if (!found)
                return Refuse();
            origin = *found;
        }
        AxisTriple target = PositionAt(now);
        for (size_t axis = 0; axis < 3; ++axis)
            if (mask & (1 << axis))
                target[axis] = origin[axis];
        StartMotion(target, now, false, m_speed);
        break;
    }
    case Cmd::GetDistanceCorrection:
        for (int32_t v : m_correction)
            Append32(out, static_cast<uint32_t>(v));
        Reply(out);
        break;
    case Cmd::SetDistanceCorrection:
        if (length != 24)
            return Refuse();
        for (size_t i = 0; i < 6; ++i) {
            const auto v = static_cast<int32_t>(Load32(payload + 4 * i));
            if (v <= 0)
                return Refuse();
            m_correction[i] = v;
        }
        Complete(now, m_options.completionMs);
        break;
    case Cmd::GetAutoPowerOffFlag:
        Reply({m_autoPowerOffFlag});
        break;
    case Cmd::SetCuttingSpeedMode:
        if (length != 1 || payload[0] > 1)
            return Refuse();
        m_speedMode = payload[0];
        break;
    case Cmd::GetCuttingSpeedMode:
        Reply({m_speedMode});
        break;
    case Cmd::GetSystemReport:
        m_report = SystemReport();
        m_report.push_back('\0');
        m_reportSent = 0;
        break;
    case Cmd::GetFatalError:
        Append16(out, m_emergencyStop ? 1 : 0);
        Append16(out, static_cast<uint16_t>(m_fatalCode));
        Append16(out, 0);
        Append16(out, 0);
        Append16(out, 0);
        Reply(out);
        break;
    case Cmd::GetCommandError:
        Append16(out, static_cast<uint16_t>(m_commandErrorPending ? m_commandErrorCode : 0));
        Reply(out);
        break;
    case Cmd::ClearCommandError:
        m_commandErrorPending = false;
        m_commandErrorCode = 0;
        break;
    case Cmd::ClearSettings:
        ResetSettings();
        Complete(now, m_options.clearSettingsMs);
        break;
    case Cmd::GetSpindleTime:
        Append32(out, 0);
        Append32(out, static_cast<uint32_t>(m_totalSeconds));
        Append16(out, 0);
        for (int i = 0; i < 3; ++i)
            Append16(out, 0);
        Reply(out);
        break;
    case Cmd::ResetSpindleTime:
        m_totalSeconds = 0;
        Complete(now, m_options.completionMs);
        break;
    case Cmd::TestMotorLoadX:
    case Cmd::TestMotorLoadY:
    case Cmd::TestMotorLoadZ: {
        if (length != 8 || !CanOperate(now) || JobActive() || IsMoving())
            return Refuse();
        const auto travel = static_cast<int32_t>(Load32(payload + 4));
        AxisTriple target = PositionAt(now);
        // Any travel only takes the axis as far as it can go (the travel limits then hold it).
        int32_t& axis = target[code - Cmd::TestMotorLoadX];
        axis = SaturateCoordinate(double(axis) + travel);
        StartMotion(target, now, false, m_speed);
        if (m_motion)
            m_motion->motorLoadTest = true;
        else if (m_motorLoadFails)
            m_eventWord |= EventBit::OperationError;
        break;
    }
    case Cmd::StartIdling:
        if (length != 1 || !CanOperate(now) || JobActive())
            return Refuse();
        m_idling = true;
        break;
    case Cmd::PowerOff:
        PowerOff(false, now);
        break;
    case Cmd::ResetSpindleUnitTime:
        m_unitSeconds[m_selectedUnit] = 0;
        Complete(now, m_options.completionMs);
        break;
    case Cmd::GetSpindleUnitTime:
        Append32(out, static_cast<uint32_t>(m_selectedUnit));
        Append32(out, UnitSecondsOnTheWire(m_unitSeconds[m_selectedUnit]));
        Append16(out, 0);
        for (int i = 0; i < 3; ++i)
            Append16(out, 0);
        Reply(out);
        break;
    case Cmd::SelectSpindleUnit:
        if (length != 2 || payload[0] < 1 || payload[0] > 8 || payload[1] > 1)
            return Refuse();
        m_selectedUnit = payload[0];
        if (payload[1] == 1)
            m_fittedUnit = payload[0];
        break;
    case Cmd::GetSpindleUnit:
        Reply({static_cast<uint8_t>(m_selectedUnit)});
        break;
    case Cmd::GetSpindleRotation:
        Append32(out, static_cast<uint32_t>(m_spindleOn || m_idling ? m_options.spindleRpm : 0));
        Append32(out, m_spindleOn ? 1000u : 0u);
        Reply(out);
        break;
    case Cmd::SetSpindleRotation: {
        if (length != 4)
            return Refuse();
        const auto value = static_cast<int32_t>(Load32(payload));
        if (value != 0 && (!CanOperate(now) || State(now) == MachineState::JobActive))
            return Refuse();
        m_spindleOn = value != 0;
        break;
    }
    case Cmd::GetMachineSettings:
        out.resize(sizeof m_settings);
        std::memcpy(out.data(), &m_settings, sizeof m_settings);
        Reply(out);
        break;
    case Cmd::SetMachineSettings:
        if (length != sizeof m_settings)
            return Refuse();
        std::memcpy(&m_settings, payload, sizeof m_settings);
        Complete(now, m_options.completionMs);
        break;
    case Cmd::SetTestCutOption:
        if (length != 1)
            return Refuse();
        m_testCutOption = payload[0] != 0;
        break;
    default:
        Refuse();
        break;
    }
}

std::vector<uint8_t> CFirmwareModel::ControlIn(uint8_t requestType, uint16_t code, size_t length,
                                               TimePoint now)
{
    std::vector<uint8_t> out;
    if (!m_powered)
        return out;
    Advance(now);
    if (requestType == SimProtocol::TypeClassIn) {
        const size_t textLength = std::strlen(DeviceId);
        out.push_back(static_cast<uint8_t>((textLength + 2) >> 8));
        out.push_back(static_cast<uint8_t>(textLength + 2));
        out.insert(out.end(), DeviceId, DeviceId + textLength);
    } else {
        switch (code) {
        case Cmd::GetCommandStatus: {
            uint32_t word0 = StateWord(now);
            if (m_operationMode == OperationMode::TestCut) {
                word0 |= StateBit::LineReady;
                if (ExecutingLine())
                    word0 |= StateBit::LineBusy;
            }
            word0 |= m_extraStatusBits;
            uint32_t word1 = 0;
            if (now < m_acceptedAt) {
                // Not taken yet: neither its outcome nor its reply shows.
                word1 |= CommandStatus::NotAccepted;
            } else {
                if (m_commandFailed)
                    word1 |= CommandStatus::Error;
                if (m_executingUntil || m_idling)
                    word1 |= CommandStatus::Executing;
                word1 |= static_cast<uint32_t>(m_reply.size()) << 24;
            }
            Append32(out, word0);
            Append32(out, word1);
            break;
        }
        case Cmd::GetByteOrder:
            Append16(out, 0);
            Append16(out, ByteOrderMarker);
            break;
        case Cmd::ReadReply:
            out = m_reply;
            m_reply.clear();
            break;
        case Cmd::GetMachineStatus: {
            const AxisTriple p = Position(now);
            Append32(out, StateWord(now));
            Append32(out, m_eventWord);
            AppendTriple(out, p);
            Append32(out, static_cast<uint32_t>(m_spindleOn || m_idling
                                                    ? (m_idling ? IdlingRpm : m_options.spindleRpm)
                                                    : 0));
            Append16(out, 0);
            out.push_back(m_override);
            out.push_back(m_speedMode);
            out.push_back(m_operationMode);
            out.insert(out.end(), {0, 0, 0});
            break;
        }
        case Cmd::GetReceiveCounter:
            Append32(out, m_receiveCounter);
            Append32(out, static_cast<uint32_t>(ReceiveBufferSize -
                                                std::min(ReceiveBufferSize, m_received.size())));
            break;
        default:
            break;
        }
    }
    if (out.size() > length)
        out.resize(length);
    return out;
}

size_t CFirmwareModel::BulkOut(const uint8_t* data, size_t length, TimePoint now)
{
    if (!m_powered)
        return 0;
    Advance(now);
    const size_t room = ReceiveBufferSize - std::min(ReceiveBufferSize, m_received.size());
    const size_t taken = std::min(room, length);
    if (taken == 0)
        return 0;
    if (m_log.size() < LogLimit)
        m_log.push_back("bulk-out " + Hex(data, taken));
    if (m_skipUntil) {
        // Data that arrives while the machine skips after a quit is taken in and dropped.
        m_receiveCounter += static_cast<uint32_t>(taken);
        return taken;
    }
    m_received.append(reinterpret_cast<const char*>(data), taken);
    m_lastReceived = now;
    if (m_operationMode == OperationMode::TestCut)
        m_testCutJob = true;
    Advance(now);
    return taken;
}

std::vector<uint8_t> CFirmwareModel::BulkIn(size_t max, TimePoint now)
{
    Advance(now);
    std::vector<uint8_t> out;
    if (m_reportSent >= m_report.size())
        return out;
    const size_t count = std::min(max, m_report.size() - m_reportSent);
    out.assign(m_report.begin() + static_cast<std::ptrdiff_t>(m_reportSent),
               m_report.begin() + static_cast<std::ptrdiff_t>(m_reportSent + count));
    m_reportSent += count;
    if (m_reportSent >= m_report.size()) {
        m_report.clear();
        m_reportSent = 0;
    }
    return out;
}

bool CFirmwareModel::OutputFile(const std::string& path, TimePoint now)
{
    if (!m_powered)
        return false;
    Advance(now);
    if (m_log.size() < LogLimit)
        m_log.push_back("output-file " + path);
    Job job;
    if (!ReadJobFile(path, job.data))
        return false;
    job.nc = IsNcCode(job.data.data(), job.data.size());
    if (job.data.empty())
        return true;
    m_jobs.push_back(std::move(job));
    Advance(now);
    return true;
}

void CFirmwareModel::ClientDisconnected(TimePoint now)
{
    Advance(now);
    if (m_log.size() < LogLimit)
        m_log.push_back("disconnect");
}

// --- faults ---------------------------------------------------------------------------------

void CFirmwareModel::EmergencyStop(int code, TimePoint now)
{
    Advance(now);
    StopMotion(now);
    m_spindleOn = false;
    m_idling = false;
    m_jobs.clear();
    m_received.clear();
    m_lookahead.reset();
    m_lineExecuting = false;
    m_emergencyStop = true;
    m_fatalCode = code;
}

void CFirmwareModel::InjectCommandError(int code, bool pause, TimePoint now)
{
    Advance(now);
    m_commandErrorCode = code;
    m_commandErrorPending = true;
    if (pause)
        Pause(now);
}

bool CFirmwareModel::ForceState(int state, TimePoint now)
{
    if (state < 0 || state > int(StateBit::StateMask))
        return false;
    Advance(now);
    switch (state) {
    case MachineState::Initialising0:
    case MachineState::Initialising1:
        m_forcedState.reset();
        m_emergencyStop = false;
        m_powerOnAt = now;
        break;
    case MachineState::Ready:
        m_forcedState.reset();
        m_emergencyStop = false;
        m_fatalCode = 0;
        m_paused = false;
        StopMotion(now);
        m_jobs.clear();
        m_received.clear();
        m_lookahead.reset();
        m_lineExecuting = false;
        m_testCutJob = false;
        m_skipUntil.reset();
        m_powerOnAt = now - Ms(m_options.initMs);
        break;
    case MachineState::JobActive: {
        m_forcedState.reset();
        Job job;
        job.nc = false;
        job.data.assign(4096, '\0');
        job.endless = true;
        m_jobs.push_back(std::move(job));
        break;
    }
    case MachineState::EmergencyStop:
        EmergencyStop(m_fatalCode, now);
        break;
    default:
        m_forcedState = state;
        break;
    }
    return true;
}

bool CFirmwareModel::SetSpindleUnitSeconds(int unit, uint32_t seconds)
{
    if (unit < 1 || unit > 8)
        return false;
    m_unitSeconds[unit] = seconds;
    return true;
}

bool CFirmwareModel::PresetCorrection(const AxisTriple& ppm)
{
    for (int32_t value : ppm)
        if (value <= -NominalCorrection || value > INT32_MAX - NominalCorrection)
            return false;
    for (size_t axis = 0; axis < 3; ++axis) {
        m_correction[axis] = NominalCorrection + ppm[axis];
        m_correction[axis + 3] = NominalCorrection;
    }
    return true;
}

void CFirmwareModel::PowerOff(bool automatic, TimePoint now)
{
    if (!m_powered)
        return;
    Advance(now);
    m_powered = false;
    m_autoPowerOffLast = automatic;
}

// Power-on runs the initialisation again; motion, jobs, errors and the spindle are gone, the
// settings stay.
void CFirmwareModel::PowerOn(TimePoint now)
{
    if (m_powered)
        return;
    m_powered = true;
    m_powerOnAt = now;
    m_lastAdvance = now;
    m_lastActivity = now;
    m_motion.reset();
    m_pausedTarget.reset();
    m_jobs.clear();
    m_received.clear();
    m_lookahead.reset();
    m_lineExecuting = false;
    m_testCutJob = false;
    m_skipUntil.reset();
    m_paused = false;
    m_emergencyStop = false;
    m_forcedState.reset();
    m_commandErrorPending = false;
    m_spindleOn = false;
    m_idling = false;
    m_operationMode = OperationMode::Normal;
    m_reply.clear();
    m_executingUntil.reset();
    m_commandFailed = false;
    m_autoPowerOffFlag =
        m_autoPowerOffLast ? static_cast<uint8_t>(m_autoPowerOffFlag % 255 + 1) : 0;
    m_autoPowerOffLast = false;
}

// --- inspection -------------------------------------------------------------------------------

std::string CFirmwareModel::SystemReport() const
{
    static const char* const commandSets[] = {"ZML-1", "NC code", "ZML-1/NC code"};
    std::ostringstream r;
    r << "ZR-40 settings report\r\n";
    r << "Firmware        : " << m_options.firmwareText << "\r\n";
    r << "Command set     : "
      << (m_settings.commandSet < 3 ? commandSets[m_settings.commandSet] : "unknown") << "\r\n";
    r << "Decimal point   : " << int(m_settings.ncDecimalPoint) << "\r\n";
    r << "Offset type     : " << (m_settings.ncToolOffsetType ? "B" : "A") << "\r\n";
    r << "Block skip      : " << (m_settings.ncOptionalBlockSkip ? "disabled" : "enabled")
      << "\r\n";
    r << "Travel X        : " << m_options.low[0] << " .. " << m_options.high[0] << " um\r\n";
    r << "Travel Y        : " << m_options.low[1] << " .. " << m_options.high[1] << " um\r\n";
    r << "Travel Z        : " << m_options.low[2] << " .. " << m_options.high[2] << " um\r\n";
    r << "Correction      : " << m_correction[0] << " " << m_correction[1] << " " << m_correction[2]
      << " / " << m_correction[3] << " " << m_correction[4] << " " << m_correction[5] << "\r\n";
    for (int i = 0; i < Cmd::ToolOffsets; ++i)
        r << "Tool offset " << i + 1 << "   : " << m_toolOffsets[i] << " um\r\n";
    r << "User origin     : " << m_userOrigin[0] << " " << m_userOrigin[1] << " " << m_userOrigin[2]
      << "\r\n";
    r << "EXOFS           : " << m_exofsOrigin[0] << " " << m_exofsOrigin[1] << " "
      << m_exofsOrigin[2] << "\r\n";
    for (int i = 0; i < 6; ++i)
        r << "G" << 54 + i << "             : " << m_workOrigins[i][0] << " " << m_workOrigins[i][1]
          << " " << m_workOrigins[i][2] << "\r\n";
    r << "Fitted spindle  : unit " << m_fittedUnit << "\r\n";
    for (int unit = 1; unit <= 8; ++unit)
        r << "Spindle unit " << unit << "  : " << UnitSecondsOnTheWire(m_unitSeconds[unit])
          << " s\r\n";
    r << "Spindle total   : " << static_cast<long>(m_totalSeconds) << " s\r\n";
    return r.str();
}

std::string CFirmwareModel::StatusText(TimePoint now)
{
    const uint32_t word = StateWord(now);
    const AxisTriple p = Position(now);
    char text[1024];
    std::snprintf(text, sizeof text,
                  "state: %u\n"
                  "position: %d %d %d\n"
                  "spindle: %d\n"
                  "override: %u\n"
                  "mode: %s\n"
                  "operation-mode: %u\n"
                  "state-word: 0x%08x\n"
                  "event-word: 0x%08x\n"
                  "command-error: %d\n"
                  "fatal-error: %d\n"
                  "receive-counter: %u\n"
                  "powered: %d\n"
                  "byte-order: %s\n",
                  word & StateBit::StateMask, p[0], p[1], p[2],
                  m_spindleOn || m_idling ? (m_idling ? IdlingRpm : m_options.spindleRpm) : 0,
                  m_override, m_speedMode == 1 ? "auto" : "manual", m_operationMode, word,
                  m_eventWord, m_commandErrorPending ? m_commandErrorCode : 0,
                  m_emergencyStop ? m_fatalCode : 0, m_receiveCounter, m_powered ? 1 : 0,
                  m_options.bigEndian ? "big" : "little");
    return text;
}
