#include "MachineState.h"

#include "ModelingMachine.h"
#include "PanelIds.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace {

// Position minus origin with the wrap-around of the machine's 32-bit arithmetic, so that an odd
// reading cannot overflow.
int32_t WrappingDifference(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// A jog target beyond the 32-bit range is held at its end instead of wrapping to the far side.
int32_t SaturatingSum(int32_t a, int32_t b)
{
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(sum);
}

// Counts a running wait loop for as long as it lives, however it returns.
class ScopedCount
{
public:
    explicit ScopedCount(int& count) : m_count(count) { ++m_count; }
    ~ScopedCount() { --m_count; }
    ScopedCount(const ScopedCount&) = delete;
    ScopedCount& operator=(const ScopedCount&) = delete;

private:
    int& m_count;
};

} // namespace

CMachineState::CMachineState(CModelingMachine* machine, CMachineStateHooks& hooks)
    : m_machine(machine), m_hooks(hooks)
{
}

CMachineState::~CMachineState() = default;

// --- life -----------------------------------------------------------------------------------

void CMachineState::Start()
{
    m_hooks.OnStatusChanged(NoStatusWord, 0);
    m_hooks.OnStatus2Changed(NoStatusWord, 0);
    m_connected = m_machine->GetLink().Reconnect();
    if (m_connected)
        AfterConnect();
    WatchCurrentLink();
    if (m_pollTimer == 0)
        m_pollTimer = startTimer(PollIntervalMs);
}

void CMachineState::AfterConnect()
{
    GetOrigin(m_coordSystem, m_origin);
    m_machine->GetSpindleRotation(m_spindleRotation.data());
    m_machine->GetMoveRange(m_rangeLow, m_rangeHigh);
    m_hooks.OnMachineConnected();
}

void CMachineState::WatchCurrentLink()
{
    m_deviceWatcher.Watch(&m_machine->GetLink());
}

// --- polling --------------------------------------------------------------------------------

void CMachineState::StartPolling()
{
    if (m_pollTimer != 0)
        return;
    m_status.stateWord = NoStatusWord;
    m_status.eventWord = NoStatusWord;
    m_hooks.OnStatusChanged(NoStatusWord, 0);
    m_pollTimer = startTimer(PollIntervalMs);
}

void CMachineState::StopPolling()
{
    if (m_pollTimer != 0)
        killTimer(m_pollTimer);
    m_pollTimer = 0;
}

void CMachineState::timerEvent(QTimerEvent* event)
{
    if (m_pollTimer == 0 || event->timerId() != m_pollTimer) {
        QObject::timerEvent(event);
        return;
    }
    if (!m_hooks.OnPollTick())
        return;
    // The link's notification descriptor changes when the link is reopened or switched.
    WatchCurrentLink();
    PollStatus();
}

AxisTriple CMachineState::RelativePosition() const
{
    AxisTriple relative;
    for (size_t axis = 0; axis < 3; ++axis)
        relative[axis] = WrappingDifference(m_status.position[axis], m_origin[axis]);
    return relative;
}

void CMachineState::PollStatus()
{
    const MachineStatus old = m_status;
    MachineStatus fresh;
    const int count = m_connected ? m_machine->ReadMachineStatus(fresh) : -1;
    if (count < MachineStatus::WordsSize) {
        // No status: only the words are marked unknown, and everything is reported again once
        // reads succeed.
        m_status.stateWord = NoStatusWord;
        m_status.eventWord = NoStatusWord;
        s_forceNotify = true;
        return;
    }
    // A short record arrives with the position and the bytes from 20 on marked invalid.
    m_status = fresh;
    if (count >= MachineStatus::Size)
        ReadFullStatus(old);
    if (m_status.stateWord != old.stateWord)
        m_hooks.OnStatusChanged(m_status.stateWord, m_status.stateWord ^ old.stateWord);
    if (m_status.eventWord != old.eventWord) {
        // The unknown word (no status yet, or none readable) has every bit set; it is no report
        // of an operation error.
        if (m_status.eventWord != NoStatusWord && (m_status.eventWord & EventBit::OperationError))
            m_errorLatch = true;
        m_hooks.OnStatus2Changed(m_status.eventWord, m_status.eventWord ^ old.eventWord);
    }
    emit StatusRead();
}

void CMachineState::ReadFullStatus(const MachineStatus& old)
{
    const bool force = s_forceNotify;
    if (force || m_status.position != old.position)
        m_hooks.OnPositionChanged(RelativePosition());
    if (force || m_status.spindleSpeed != old.spindleSpeed)
        m_hooks.OnSpindleChanged(m_status.spindleSpeed);
    if (force || m_status.override != old.override)
        m_hooks.OnOverrideChanged(m_status.override, true);
    if (force || m_status.byte27 != old.byte27)
        m_hooks.OnStatusByte27Changed(m_status.byte27);
    if (force || m_status.byte28 != old.byte28)
        m_hooks.OnStatusByte28Changed(m_status.byte28);
    FollowOrigin();
    s_forceNotify = false;
}

void CMachineState::FollowOrigin()
{
    // The origin can be changed from outside (an NC program, another program on the machine),
    // so it is read on every complete poll.
    AxisTriple origin;
    if (GetOrigin(m_coordSystem, origin) && origin != m_origin) {
        m_origin = origin;
        m_hooks.OnPositionChanged(RelativePosition());
    }
}

// --- coordinate systems ---------------------------------------------------------------------

bool CMachineState::GetOrigin(int number, AxisTriple& origin)
{
    origin = {0, 0, 0};
    AxisTriple read{0, 0, 0};
    bool ok = false;
    if (number == CoordSystem::Machine)
        return true;
    if (number == CoordSystem::User)
        ok = m_machine->GetUserOrigin(read);
    else if (number == CoordSystem::Exofs)
        ok = m_machine->GetExofsOrigin(read);
    else if (number >= CoordSystem::FirstWork && number < CoordSystem::FirstExtra)
        // 9 comes out as n = 60, which the command layer refuses.
        ok = m_machine->GetWorkOrigin(number + 51, read);
    else if (number >= CoordSystem::FirstExtra && number <= CoordSystem::LastExtra + 1)
        // 310 comes out as p = 301, likewise refused.
        ok = m_machine->GetExtraWorkOrigin(number - 9, read);
    if (ok)
        origin = read;
    return ok;
}

bool CMachineState::SetOrigin(int number, const AxisTriple& origin)
{
    bool written = false;
    if (number == CoordSystem::User)
        written = m_machine->SetUserOrigin(origin);
    else if (number == CoordSystem::Exofs)
        written = m_machine->SetExofsOrigin(origin);
    else if (number >= CoordSystem::FirstWork && number < CoordSystem::FirstExtra)
        written = m_machine->SetWorkOrigin(number + 51, origin);
    else if (number >= CoordSystem::FirstExtra && number <= CoordSystem::LastExtra + 1)
        written = m_machine->SetExtraWorkOrigin(number - 9, origin);
    // The display follows only an origin the machine has taken; machine coordinates keep 0, 0, 0.
    if (written && number == m_coordSystem) {
        m_origin = origin;
        m_hooks.OnPositionChanged(RelativePosition());
    }
    return written;
}

bool CMachineState::SelectCoordinateSystem(int number)
{
    if (number == m_coordSystem)
        return true;
    AxisTriple origin;
    if (!GetOrigin(number, origin))
        return false;
    m_coordSystem = number;
    m_origin = origin;
    m_hooks.OnPositionChanged(RelativePosition());
    return true;
}

void CMachineState::NotifyPosition()
{
    m_hooks.OnPositionChanged(RelativePosition());
}

// --- motion ---------------------------------------------------------------------------------

bool CMachineState::MoveRelative(const AxisTriple& delta, int16_t speed)
{
    AxisTriple position;
    if (!m_machine->GetPosition(position))
        return false;
    AxisTriple target;
    for (size_t axis = 0; axis < 3; ++axis)
        target[axis] = SaturatingSum(position[axis], delta[axis]);
    return m_machine->JogTo(speed, target);
}

bool CMachineState::TryMoveRelative(const AxisTriple& delta, int16_t speed)
{
    PollStatus();
    if (m_status.stateWord & StateBit::Moving)
        return false;
    return MoveRelative(delta, speed);
}

bool CMachineState::WaitWhileMoving(const WaitCallback& callback)
{
    return WaitWhileStateBit(StateBit::Moving, callback, false);
}

bool CMachineState::WaitWhileStatusBit40(const WaitCallback& callback)
{
    return WaitWhileStateBit(StateBit::CommandErrorPending, callback, true);
}

bool CMachineState::WaitWhileStateBit(uint32_t bit, const WaitCallback& callback,
                                      bool callbackStops)
{
    if (m_waitsEnded)
        return false;
    PollStatus();
    const ScopedCount running(m_waitDepth);
    while (m_status.stateWord & bit) {
        if (m_quit || m_reconnected || !m_connected || m_waitsEnded)
            return false;
        if (callback && callback()) {
            if (callbackStops)
                return false;
            m_machine->StopOperation();
        }
        // One batch of events per round, blocking until there is one: the poll timer keeps the
        // cache current, and nothing spins while the machine moves. The callback's rounds are
        // paced by the same events, so a callback that dispatches nothing cannot hang the wait.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void CMachineState::EndWaits()
{
    m_waitsEnded = true;
    // A wait blocked for the next event sees the flag at once, not at the next poll (which a
    // closing window no longer has).
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

void CMachineState::SpinWait(int ms)
{
    // Sleeps rather than spins: nothing is dispatched either way, and the core stays free.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto limit = std::chrono::milliseconds(ms);
    for (;;) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (elapsed > limit)
            return;
        std::this_thread::sleep_for(limit - elapsed + std::chrono::milliseconds(1));
    }
}

// --- device changes -------------------------------------------------------------------------

void CMachineState::OnDeviceChange(unsigned event)
{
    if (event != DeviceNodesChanged || !m_connected)
        return;
    CMachineLink& link = m_machine->GetLink();
    if (link.Reconnect())
        return;
    m_connected = false;
    m_hooks.OnMachineLost();
    for (;;) {
        if (m_hooks.AskReconnect() == CMachineStateHooks::AnswerGiveUp) {
            m_quit = true;
            return;
        }
        if (m_machine->GetLink().Reconnect()) {
            GetOrigin(m_coordSystem, m_origin);
            m_connected = true;
            AfterConnect();
            m_reconnected = true;
            WatchCurrentLink();
            return;
        }
    }
}

// --- the panel's reaction to the machine's state -------------------------------------------

namespace {

// One row per machine state: what the panel enables and does while the machine is in it.
struct StateRow
{
    int state;
    unsigned groups;       // while the axes stand
    unsigned movingGroups; // while they move
    int command;           // posted on every report of the state
    bool readCommandSet;   // the command set is read again and the lists rebuilt
    int errorCommand;      // the box for a pending command error, 0 for none
    bool errorWhenPaused;  // that box is for a paused job (else for a machine not paused)
    bool pauseFollows;     // the Pause picture follows the paused bit
    bool findHeld;         // a held button stays enabled
};

using namespace PanelGroup;

constexpr std::array StateRows{
    StateRow{MachineState::Initialising0, None, None, PanelId::WaitSetup, false, 0, false, false,
             false},
    StateRow{MachineState::Initialising1, None, None, PanelId::WaitSetup, false, 0, false, false,
             false},
    StateRow{MachineState::Ready, Operation | Values | SpeedRadios, Values | SpeedRadios | Stop, 0,
             true, PanelId::CommandError, false, true, true},
    StateRow{MachineState::JobActive, Values | Cancel | Pause, Values | Cancel | Pause, 0, true,
             PanelId::PausedCommandError, true, true, false},
    StateRow{MachineState::EmergencyStop, None, None, PanelId::FatalError, false, 0, false, false,
             false},
};

} // namespace

int CMachineState::FollowPause(bool paused)
{
    if (paused == m_pauseShown)
        return -1;
    m_pauseShown = paused;
    return paused ? 1 : 0;
}

PanelReaction CMachineState::ReactTo(uint32_t word)
{
    PanelReaction reaction;
    const int state = static_cast<int>(word & StateBit::StateMask);
    const auto row = std::find_if(StateRows.begin(), StateRows.end(),
                                  [state](const StateRow& r) { return r.state == state; });
    if (row != StateRows.end()) {
        const bool paused = word & StateBit::Paused;
        reaction.groups = (word & StateBit::Moving) ? row->movingGroups : row->groups;
        reaction.command = row->command;
        reaction.readCommandSet = row->readCommandSet;
        reaction.findHeld = row->findHeld;
        if (row->errorCommand != 0 && paused == row->errorWhenPaused &&
            (word & StateBit::CommandErrorPending) && !m_errorReported) {
            reaction.command = row->errorCommand;
            m_errorReported = true;
        }
        if (row->pauseFollows)
            reaction.pausePicture = FollowPause(paused);
    }
    if (m_powerOffPending && (reaction.groups & Values)) {
        m_powerOffPending = false;
        reaction.powerOffNotice = true;
    }
    return reaction;
}

void CMachineState::TakeAutoPowerOffCount(int count)
{
    if (count != -1 && count != m_powerOffCount) {
        m_powerOffCount = count;
        m_powerOffPending = count > 0;
    }
}
