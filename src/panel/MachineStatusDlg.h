#pragma once

#include "MachineState.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

class CModelingMachine;

// The window title for an application name and an optional text: "name [text]", or the name
// alone when the text is empty.
QString FormatDialogTitle(const QString& applicationName, const QString& text);

// Dialog base that ties a window to the live machine. It keeps one CMachineState (the status
// cache and its 200 ms poll, the coordinate system and its origin, the motion waits, the
// reconnection, the error latch) and turns its notices into calls of the change hooks below.
// Derived dialogs decide what to show; the state decides when. The window's own part is the
// title and, while the machine is lost or gone, closing the windows the user is held in.
class CMachineStatusDlg : public QDialog, public CMachineStateHooks
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = CMachineState::PollIntervalMs;

    // A wait-loop callback: asked once per round; what true means depends on the loop.
    using WaitCallback = CMachineState::WaitCallback;

    CMachineStatusDlg(CModelingMachine* machine, int templateId, QWidget* parent = nullptr);
    ~CMachineStatusDlg() override;

    // The machine's state as this window keeps it.
    CMachineState& State() { return m_state; }
    const CMachineState& State() const { return m_state; }

    // --- status (CMachineState) -------------------------------------------------------------
    void PollStatus() { m_state.PollStatus(); }
    void StartPolling() { m_state.StartPolling(); }
    void StopPolling() { m_state.StopPolling(); }
    static void RequestForceNotify() { CMachineState::RequestForceNotify(); }

    // --- coordinate systems (CMachineState) -------------------------------------------------
    bool GetOrigin(int number, AxisTriple& origin) { return m_state.GetOrigin(number, origin); }
    bool SetOrigin(int number, const AxisTriple& origin)
    {
        return m_state.SetOrigin(number, origin);
    }
    bool SelectCoordinateSystem(int number) { return m_state.SelectCoordinateSystem(number); }
    void NotifyPosition() { m_state.NotifyPosition(); }

    // --- motion (CMachineState) -------------------------------------------------------------
    bool MoveRelative(const AxisTriple& delta, int16_t speed)
    {
        return m_state.MoveRelative(delta, speed);
    }
    bool TryMoveRelative(const AxisTriple& delta, int16_t speed)
    {
        return m_state.TryMoveRelative(delta, speed);
    }
    bool WaitWhileMoving(const WaitCallback& callback = {})
    {
        return m_state.WaitWhileMoving(callback);
    }
    bool WaitWhileStatusBit40(const WaitCallback& callback = {})
    {
        return m_state.WaitWhileStatusBit40(callback);
    }
    void EndWaits() { m_state.EndWaits(); }
    bool IsWaiting() const { return m_state.IsWaiting(); }
    static void SpinWait(int ms) { CMachineState::SpinWait(ms); }

    // --- device changes (CMachineState) -----------------------------------------------------
    void OnDeviceChange(unsigned event) { m_state.OnDeviceChange(event); }

    // --- window -----------------------------------------------------------------------------
    // Title: the application name, with " [text]" when text is not empty.
    void SetTitle(const QString& text);
    // The name titles start with; by default QCoreApplication::applicationName().
    static void SetApplicationTitle(const QString& title);
    static QString GetApplicationTitle();

    // --- what other dialogs read ------------------------------------------------------------
    CModelingMachine* GetMachine() const { return m_machine; }
    int GetTemplateId() const { return m_templateId; }
    const MachineStatus& GetStatus() const { return m_state.GetStatus(); }
    bool IsConnected() const { return m_state.IsConnected(); }
    const AxisTriple& GetCurrentOrigin() const { return m_state.GetCurrentOrigin(); }
    const AxisTriple& GetRangeLow() const { return m_state.GetRangeLow(); }
    const AxisTriple& GetRangeHigh() const { return m_state.GetRangeHigh(); }

protected:
    // Runs once before the window is first shown: reports the status words as unknown, checks
    // the connection, starts polling and sets the title. Derived dialogs call it first.
    virtual bool OnInitDialog();
    void AfterConnect() { m_state.AfterConnect(); }

    // --- hooks (CMachineStateHooks), in this order; all default to doing nothing ------------
    // While the machine is lost or gone, closes one window the user is held in per tick; the
    // status is read when none is left to close.
    bool OnPollTick() override;
    int AskReconnect() override;
    void OnMachineLost() override;
    void OnMachineConnected() override;
    void OnPositionChanged(const AxisTriple& relative) override;
    void OnSpindleChanged(int32_t value) override;
    void OnStatusByte28Changed(uint8_t value) override;
    void OnOverrideChanged(uint8_t percent, bool fromMachine) override;
    void OnStatusByte27Changed(uint8_t value) override;
    void OnStatusChanged(uint32_t newWord, uint32_t changedBits) override;
    void OnStatus2Changed(uint32_t newWord, uint32_t changedBits) override;

    void showEvent(QShowEvent* event) override;

    CModelingMachine* const m_machine; // not owned

private:
    QWidget* WindowToClose();

    const int m_templateId;
    bool m_initialised = false;
    CMachineState m_state;
};
