#pragma once

#include "DeviceChangeWatcher.h"
#include "MachineStatus.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CModelingMachine;

// The window title for an application name and an optional text: "name [text]", or the name
// alone when the text is empty.
QString FormatDialogTitle(const QString& applicationName, const QString& text);

// Dialog base that ties a window to the live machine. It keeps a cached copy of the machine's
// status record refreshed every 200 ms, turns each refresh into calls of the change hooks below,
// keeps the current coordinate system and its origin, moves the axes relatively, runs the nested
// wait loops that keep the window working while the machine moves, and handles the machine being
// unplugged and plugged in again. Derived dialogs decide what to show; this class decides when.
//
// Everything runs on the UI thread. The wait loops and the modal dialogs that hooks open dispatch
// events, so timer ticks (and with them PollStatus), clicks and device-change events run nested
// inside a waiting handler: callers re-read every piece of state after a wait returns.
class CMachineStatusDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 200;
    // AskReconnect answers: try again, or give up and close.
    static constexpr int AnswerRetry = 6;
    static constexpr int AnswerGiveUp = 7;

    // A wait-loop callback: asked once per round; what true means depends on the loop.
    using WaitCallback = std::function<bool()>;

    CMachineStatusDlg(CModelingMachine* machine, int templateId, QWidget* parent = nullptr);
    ~CMachineStatusDlg() override;

    // --- status ---------------------------------------------------------------------------
    // One status refresh with its notifications.
    void PollStatus();
    // Starts the poll timer when none runs, reporting the status word as unknown first so that
    // the next good read is reported as a change.
    void StartPolling();
    void StopPolling();
    bool IsPolling() const { return m_pollTimer != 0; }

    // Makes the next complete status read report every field as changed, in every dialog.
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

    // --- device changes -------------------------------------------------------------------
    // A device-change notice of the current link (event 7: device nodes changed), delivered on
    // the UI thread by the link's notification target.
    void OnDeviceChange(unsigned event);

    // --- window -----------------------------------------------------------------------------
    // Title: the application name, with " [text]" when text is not empty.
    void SetTitle(const QString& text);
    // The name titles start with; by default QCoreApplication::applicationName().
    static void SetApplicationTitle(const QString& title);
    static QString GetApplicationTitle();

    // --- what other dialogs read ------------------------------------------------------------
    CModelingMachine* GetMachine() const { return m_machine; }
    int GetTemplateId() const { return m_templateId; }
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

protected:
    // Runs once before the window is first shown: reports the status words as unknown, checks
    // the connection, starts polling and sets the title. Derived dialogs call it first.
    virtual bool OnInitDialog();
    // After a (re)connection: origin, spindle rotation words and move range, then
    // OnMachineConnected().
    void AfterConnect();

    // --- hooks, in this order; all default to doing nothing -------------------------------
    // Asked after the machine was lost, before every reconnection attempt; AnswerGiveUp ends.
    virtual int AskReconnect();
    virtual void OnMachineLost();
    virtual void OnMachineConnected();
    // The position minus the current origin.
    virtual void OnPositionChanged(const AxisTriple& relative);
    virtual void OnSpindleChanged(int32_t value);
    virtual void OnStatusByte28Changed(uint8_t value);
    // The cutting-speed override; fromMachine is true when a status read reported it.
    virtual void OnOverrideChanged(uint8_t percent, bool fromMachine);
    virtual void OnStatusByte27Changed(uint8_t value);
    virtual void OnStatusChanged(uint32_t newWord, uint32_t changedBits);
    virtual void OnStatus2Changed(uint32_t newWord, uint32_t changedBits);

    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    CModelingMachine* const m_machine; // not owned
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

private:
    void OnPollTimer();
    void ReadFullStatus(const MachineStatus& old);
    void FollowOrigin();
    bool WaitWhileStateBit(uint32_t bit, const WaitCallback& callback, bool callbackStops);
    QWidget* WindowToClose();
    void WatchCurrentLink();
    AxisTriple RelativePosition() const;

    const int m_templateId;
    bool m_initialised = false;
    bool m_waitsEnded = false;
    int m_waitDepth = 0; // wait loops running, nested inside one another
    CDeviceChangeWatcher m_deviceWatcher;

    static inline bool s_forceNotify = false;
};
