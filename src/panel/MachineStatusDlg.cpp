#include "MachineStatusDlg.h"

#include "ModelingMachine.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QShowEvent>
#include <QTimerEvent>

#include <chrono>
#include <limits>
#include <thread>

namespace {

constexpr uint32_t NoStatusWord = 0xFFFFFFFFu;

QString& ApplicationTitleStorage()
{
    static QString title;
    return title;
}

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

QString FormatDialogTitle(const QString& applicationName, const QString& text)
{
    if (text.isEmpty())
        return applicationName;
    return QStringLiteral("%1 [%2]").arg(applicationName, text);
}

CMachineStatusDlg::CMachineStatusDlg(CModelingMachine* machine, int templateId, QWidget* parent)
    : QDialog(parent), m_machine(machine), m_templateId(templateId)
{
}

CMachineStatusDlg::~CMachineStatusDlg() = default;

// --- window ---------------------------------------------------------------------------------

void CMachineStatusDlg::SetApplicationTitle(const QString& title)
{
    ApplicationTitleStorage() = title;
}

QString CMachineStatusDlg::GetApplicationTitle()
{
    const QString& title = ApplicationTitleStorage();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void CMachineStatusDlg::SetTitle(const QString& text)
{
    setWindowTitle(FormatDialogTitle(GetApplicationTitle(), text));
}

void CMachineStatusDlg::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

bool CMachineStatusDlg::OnInitDialog()
{
    m_initialised = true;
    OnStatusChanged(NoStatusWord, 0);
    OnStatus2Changed(NoStatusWord, 0);
    m_connected = m_machine->GetLink().Reconnect();
    if (m_connected)
        AfterConnect();
    WatchCurrentLink();
    if (m_pollTimer == 0)
        m_pollTimer = startTimer(PollIntervalMs);
    SetTitle(QString());
    return true;
}

void CMachineStatusDlg::AfterConnect()
{
    GetOrigin(m_coordSystem, m_origin);
    m_machine->GetSpindleRotation(m_spindleRotation.data());
    m_machine->GetMoveRange(m_rangeLow, m_rangeHigh);
    OnMachineConnected();
}

void CMachineStatusDlg::WatchCurrentLink()
{
    m_deviceWatcher.Watch(&m_machine->GetLink());
}

// --- polling --------------------------------------------------------------------------------

void CMachineStatusDlg::StartPolling()
{
    if (m_pollTimer != 0)
        return;
    m_status.stateWord = NoStatusWord;
    m_status.eventWord = NoStatusWord;
    OnStatusChanged(NoStatusWord, 0);
    m_pollTimer = startTimer(PollIntervalMs);
}

void CMachineStatusDlg::StopPolling()
{
    if (m_pollTimer != 0)
        killTimer(m_pollTimer);
    m_pollTimer = 0;
}

void CMachineStatusDlg::timerEvent(QTimerEvent* event)
{
    if (m_pollTimer == 0 || event->timerId() != m_pollTimer) {
        QDialog::timerEvent(event);
        return;
    }
    OnPollTimer();
}

QWidget* CMachineStatusDlg::WindowToClose()
{
    // The window the user is held in: the top of the modal stack, else the active window. When
    // neither is known (the program is not in front), the panel itself, so that closing does not
    // wait for the user to come back to the program.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return isVisible() ? window() : nullptr;
}

void CMachineStatusDlg::OnPollTimer()
{
    if (m_quit || m_reconnected) {
        QWidget* target = WindowToClose();
        if (target == window()) {
            m_reconnected = false;
            if (!m_quit)
                return;
        }
        // One window per tick: the close takes effect once the running handler has returned.
        if (target)
            QMetaObject::invokeMethod(target, "close", Qt::QueuedConnection);
    }
    // The link's notification descriptor changes when the link is reopened or switched.
    WatchCurrentLink();
    PollStatus();
}

AxisTriple CMachineStatusDlg::RelativePosition() const
{
    AxisTriple relative;
    for (size_t axis = 0; axis < 3; ++axis)
        relative[axis] = WrappingDifference(m_status.position[axis], m_origin[axis]);
    return relative;
}

void CMachineStatusDlg::PollStatus()
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
        OnStatusChanged(m_status.stateWord, m_status.stateWord ^ old.stateWord);
    if (m_status.eventWord != old.eventWord)
        OnStatus2Changed(m_status.eventWord, m_status.eventWord ^ old.eventWord);
}

void CMachineStatusDlg::ReadFullStatus(const MachineStatus& old)
{
    const bool force = s_forceNotify;
    if (force || m_status.position != old.position)
        OnPositionChanged(RelativePosition());
    if (force || m_status.spindleSpeed != old.spindleSpeed)
        OnSpindleChanged(m_status.spindleSpeed);
    if (force || m_status.override != old.override)
        OnOverrideChanged(m_status.override, true);
    if (force || m_status.byte27 != old.byte27)
        OnStatusByte27Changed(m_status.byte27);
    if (force || m_status.byte28 != old.byte28)
        OnStatusByte28Changed(m_status.byte28);
    FollowOrigin();
    s_forceNotify = false;
}

void CMachineStatusDlg::FollowOrigin()
{
    // The origin can be changed from outside (an NC program, another program on the machine),
    // so it is read on every complete poll.
    AxisTriple origin;
    if (GetOrigin(m_coordSystem, origin) && origin != m_origin) {
        m_origin = origin;
        OnPositionChanged(RelativePosition());
    }
}

// --- coordinate systems ---------------------------------------------------------------------

bool CMachineStatusDlg::GetOrigin(int number, AxisTriple& origin)
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

bool CMachineStatusDlg::SetOrigin(int number, const AxisTriple& origin)
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
        OnPositionChanged(RelativePosition());
    }
    return written;
}

bool CMachineStatusDlg::SelectCoordinateSystem(int number)
{
    if (number == m_coordSystem)
        return true;
    AxisTriple origin;
    if (!GetOrigin(number, origin))
        return false;
    m_coordSystem = number;
    m_origin = origin;
    OnPositionChanged(RelativePosition());
    return true;
}

void CMachineStatusDlg::NotifyPosition()
{
    OnPositionChanged(RelativePosition());
}

// --- motion ---------------------------------------------------------------------------------

bool CMachineStatusDlg::MoveRelative(const AxisTriple& delta, int16_t speed)
{
    AxisTriple position;
    if (!m_machine->GetPosition(position))
        return false;
    AxisTriple target;
    for (size_t axis = 0; axis < 3; ++axis)
        target[axis] = SaturatingSum(position[axis], delta[axis]);
    return m_machine->JogTo(speed, target);
}

bool CMachineStatusDlg::TryMoveRelative(const AxisTriple& delta, int16_t speed)
{
    PollStatus();
    if (m_status.stateWord & StateBit::Moving)
        return false;
    return MoveRelative(delta, speed);
}

bool CMachineStatusDlg::WaitWhileMoving(const WaitCallback& callback)
{
    return WaitWhileStateBit(StateBit::Moving, callback, false);
}

bool CMachineStatusDlg::WaitWhileStatusBit40(const WaitCallback& callback)
{
    return WaitWhileStateBit(StateBit::CommandErrorPending, callback, true);
}

bool CMachineStatusDlg::WaitWhileStateBit(uint32_t bit, const WaitCallback& callback,
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

void CMachineStatusDlg::EndWaits()
{
    m_waitsEnded = true;
    // A wait blocked for the next event sees the flag at once, not at the next poll (which a
    // closing window no longer has).
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

void CMachineStatusDlg::SpinWait(int ms)
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

void CMachineStatusDlg::OnDeviceChange(unsigned event)
{
    if (event != DeviceNodesChanged || !m_connected)
        return;
    CMachineLink& link = m_machine->GetLink();
    if (link.Reconnect())
        return;
    m_connected = false;
    OnMachineLost();
    for (;;) {
        if (AskReconnect() == AnswerGiveUp) {
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

// --- hook defaults --------------------------------------------------------------------------

int CMachineStatusDlg::AskReconnect()
{
    return AnswerRetry;
}

void CMachineStatusDlg::OnMachineLost() {}
void CMachineStatusDlg::OnMachineConnected() {}
void CMachineStatusDlg::OnPositionChanged(const AxisTriple&) {}
void CMachineStatusDlg::OnSpindleChanged(int32_t) {}
void CMachineStatusDlg::OnStatusByte28Changed(uint8_t) {}
void CMachineStatusDlg::OnOverrideChanged(uint8_t, bool) {}
void CMachineStatusDlg::OnStatusByte27Changed(uint8_t) {}
void CMachineStatusDlg::OnStatusChanged(uint32_t, uint32_t) {}
void CMachineStatusDlg::OnStatus2Changed(uint32_t, uint32_t) {}
