#pragma once

#include "DeviceChangeWatcher.h"
#include "MachineStatus.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>

class CModelingMachine;

// What the owner of a CMachineState is told. The change hooks come in this order on a poll;
// every hook defaults to doing nothing.
class CMachineStateHooks
{
public:
    // AskReconnect answers: try again, or give up and close.
    static constexpr int AnswerRetry = 6;
    static constexpr int AnswerGiveUp = 7;

    virtual ~CMachineStateHooks() = default;

    // Each poll-timer tick, before the status is read; false skips this tick's read.
    virtual bool OnPollTick() { return true; }
    // Asked after the machine was lost, before every reconnection attempt; AnswerGiveUp ends.
    virtual int AskReconnect() { return AnswerRetry; }
    virtual void OnMachineLost() {}
    virtual void OnMachineConnected() {}
    // The position minus the current origin.
    virtual void OnPositionChanged(const AxisTriple&) {}
    virtual void OnSpindleChanged(int32_t) {}
    virtual void OnStatusByte28Changed(uint8_t) {}
    // The cutting-speed override; fromMachine is true when a status read reported it.
    virtual void OnOverrideChanged(uint8_t, bool) {}
    virtual void OnStatusByte27Changed(uint8_t) {}
    virtual void OnStatusChanged(uint32_t, uint32_t) {}
    virtual void OnStatus2Changed(uint32_t, uint32_t) {}
};

// The enabling groups of the panel's controls; a control belongs to one of them or to none.
namespace PanelGroup {
constexpr unsigned None = 0;
constexpr unsigned Operation = 1u << 0; // keypad, move, origin, spindle, Setup, Cut
constexpr unsigned Values = 1u << 1;    // the read-outs and the command-set text
constexpr unsigned Cancel = 1u << 2;
constexpr unsigned Pause = 1u << 3;
constexpr unsigned Stop = 1u << 4;
constexpr unsigned SpeedRadios = 1u << 5;
} // namespace PanelGroup

// How the panel answers a status word: the groups it enables and what it does besides.
struct PanelReaction
{
    unsigned groups = PanelGroup::None;
    int command = 0;             // hidden command to post (a PanelId), 0 for none
    bool readCommandSet = false; // read the command set and rebuild the lists
    int pausePicture = -1;       // -1 leave Pause as drawn, 0 release it, 1 latch it
    bool findHeld = false;       // a held button stays enabled whatever its group says
    bool powerOffNotice = false; // post the last-auto-power-off notice
};

// The live machine as the windows see it, without a window of its own: a cached copy of the
// status record refreshed every 200 ms, each refresh turned into calls of the owner's hooks, the
// current coordinate system and its origin, relative moves, the nested wait loops that keep the
// program working while the machine moves, the loss and return of the machine, the latch of an
// operation error, and the panel's reaction to each status word.
//
// Everything runs on the UI thread. The wait loops and the modal dialogs that hooks open dispatch
// events, so timer ticks (and with them PollStatus), clicks and device-change events run nested
// inside a waiting handler: callers re-read every piece of state after a wait returns.
class CMachineState : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 200;
    // The status words while none is known: every bit set.
    static constexpr uint32_t NoStatusWord = 0xFFFFFFFFu;

    // A wait-loop callback: asked once per round; what true means depends on the loop.
    using WaitCallback = std::function<bool()>;

    CMachineState(CModelingMachine* machine, CMachineStateHooks& hooks);
    ~CMachineState() override;

    // Reports the status words as unknown, checks the connection, reads what a connection
    // brings, watches the link and starts polling.
    void Start();
    // After a (re)connection: origin, spindle rotation words and move range, then the owner's
    // OnMachineConnected.
    void AfterConnect();

    // --- status ---------------------------------------------------------------------------
    // One status refresh with its notifications.
    void PollStatus();
    // Starts the poll timer when none runs, reporting the status word as unknown first so that
    // the next good read is reported as a change.
    void StartPolling();
    void StopPolling();
    bool IsPolling() const { return m_pollTimer != 0; }

    // Makes the next complete status read report every field as changed, in every window.
    static void RequestForceNotify() { s_forceNotify = true; }
    static bool IsForceNotifyPending() { return s_forceNotify; }

    // --- coordinate systems -----------------------------------------------------------------
    // Origin of a coordinate system in machine coordinates. 0 gives 0, 0, 0 without asking the
    // machine; unknown numbers and failed reads give 0, 0, 0 and false.
    bool GetOrigin(int number, AxisTriple& origin);
    // Writes the origin of a coordinate system; when it is the current one the display follows
    // at once. False when nothing was written (machine coordinates, unknown numbers, failures).
    bool SetOrigin(int number, const AxisTriple& origin);
    // Makes number the current coordinate system; false (and nothing changed) when its origin
    // cannot be read. Selecting the current one again is true and notifies nothing.
    bool SelectCoordinateSystem(int number);
    // Reports the cached position relative to the current origin again (after a unit change).
    void NotifyPosition();

    // --- motion -----------------------------------------------------------------------------
    // Jogs by delta from the position the machine reports now, even while the axes still move.
    // False when the position cannot be read or the jog is not accepted.
    bool MoveRelative(const AxisTriple& delta, int16_t speed);
    // As MoveRelative, but refused (false) while the freshly polled status shows the axes moving.
    bool TryMoveRelative(const AxisTriple& delta, int16_t speed);
    // Nested wait while the axes move. Without callback each round dispatches the events that
    // arrive (blocking until there is one). With callback, a true answer sends StopOperation and
    // the wait goes on. False when the machine was lost, came back, or the user gave up.
    bool WaitWhileMoving(const WaitCallback& callback = {});
    // The same wait on the command-error bit 0x40; a callback answering true ends it with false.
    bool WaitWhileStatusBit40(const WaitCallback& callback = {});
    // Ends every wait loop running now and refuses every later one (false), as when the
    // machine is lost: the window is closing and nothing may keep its handlers waiting.
    void EndWaits();
    bool IsWaiting() const { return m_waitDepth > 0; }
    // Waits until more than ms milliseconds have passed without dispatching any event.
    static void SpinWait(int ms);

    // --- loss and return of the machine ----------------------------------------------------
    // A device-change notice of the current link (event 7: device nodes changed). When the link
    // cannot be reopened the machine counts as lost and the owner is asked, until it gives up
    // (quitting) or the link comes back (reconnected).
    void OnDeviceChange(unsigned event);
    // The owner has closed what the reconnection asked it to close.
    void ClearReconnected() { m_reconnected = false; }

    // --- the operation-error latch ------------------------------------------------------------
    // Set by every status read whose event word reports an operation error; cleared only by
    // whoever handles the error.
    bool GetErrorLatch() const { return m_errorLatch; }
    void ClearErrorLatch() { m_errorLatch = false; }

    // --- the panel's reaction to the machine's state ---------------------------------------
    // What the panel does for a status word. It also keeps what has already been done: an error
    // box posted once is not posted again until EndErrorReport, the Pause picture follows the
    // paused bit only when it changes, and the auto-power-off notice is posted once.
    PanelReaction ReactTo(uint32_t word);
    // The error box of the last report has been answered (or found nothing to show).
    void EndErrorReport() { m_errorReported = false; }
    bool IsErrorReported() const { return m_errorReported; }
    bool IsPauseShown() const { return m_pauseShown; }
    // The machine's auto-power-off count, as read after a connection (-1 when unread): a new
    // count above 0 asks for the notice once the read-outs show values.
    void TakeAutoPowerOffCount(int count);
    bool IsPowerOffPending() const { return m_powerOffPending; }
    // 1 Abort, 2 Continue: the answer to the last paused command-error box.
    int GetLastErrorAnswer() const { return m_lastErrorAnswer; }
    void SetLastErrorAnswer(int answer) { m_lastErrorAnswer = answer; }

    // --- what the windows read --------------------------------------------------------------
    CModelingMachine* GetMachine() const { return m_machine; }
    const MachineStatus& GetStatus() const { return m_status; }
    bool IsConnected() const { return m_connected; }
    bool IsReconnected() const { return m_reconnected; }
    bool IsQuitting() const { return m_quit; }
    int GetCoordSystem() const { return m_coordSystem; }
    const AxisTriple& GetCurrentOrigin() const { return m_origin; }
    const std::array<int32_t, 2>& GetSpindleRotationWords() const { return m_spindleRotation; }
    const AxisTriple& GetRangeLow() const { return m_rangeLow; }
    const AxisTriple& GetRangeHigh() const { return m_rangeHigh; }
    const CDeviceChangeWatcher& GetDeviceChangeWatcher() const { return m_deviceWatcher; }

signals:
    // A status read has brought the state words (and, for a complete record, the position),
    // after the owner's hooks have heard of the changes: windows above the panel that follow
    // the machine (the job window) read the status cache here instead of asking the machine.
    void StatusRead();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void ReadFullStatus(const MachineStatus& old);
    void FollowOrigin();
    bool WaitWhileStateBit(uint32_t bit, const WaitCallback& callback, bool callbackStops);
    void WatchCurrentLink();
    AxisTriple RelativePosition() const;
    int FollowPause(bool paused);

    CModelingMachine* const m_machine; // not owned
    CMachineStateHooks& m_hooks;
    MachineStatus m_status;
    bool m_connected = false;
    bool m_reconnected = false;
    bool m_quit = false;
    int m_pollTimer = 0; // id of the status timer, 0 = none
    int m_coordSystem = -1;
    AxisTriple m_origin{0, 0, 0};
    std::array<int32_t, 2> m_spindleRotation{0, 0};
    AxisTriple m_rangeLow{0, 0, 0};
    AxisTriple m_rangeHigh{0, 0, 0};
    bool m_waitsEnded = false;
    int m_waitDepth = 0; // wait loops running, nested inside one another
    bool m_errorLatch = false;
    bool m_errorReported = false;
    bool m_pauseShown = false;
    int m_powerOffCount = 0;
    bool m_powerOffPending = false;
    int m_lastErrorAnswer = 0;
    CDeviceChangeWatcher m_deviceWatcher;

    static inline bool s_forceNotify = false;
};
