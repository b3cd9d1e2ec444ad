#pragma once

#include "PropertyPage.h"

#include <QDateTime>

#include <functional>

class CPanelAccess;
class CModelingMachine;
class QButtonGroup;

// The second page of the Maintenance sheet, offered while the machine is ready: its buttons act
// on the machine at once. "Display" shows the machine's settings report, "Clear" clears the
// machine's settings and switches it off, the motor-load test moves one axis to the end of its
// travel and tests it against the load, and idling turns the spindle for ten minutes and then
// brings the table back to the XY origin. The page works through the panel: its status cache,
// its wait loop and its error latch.
//
// The test runs inside its button's handler; its waits keep dispatching events, so Stop and
// the sheet's buttons work meanwhile. Idling runs on a 1000 ms timer. Every way out of the page
// (another tab, Cancel, closing the sheet, StopAll after the sheet) stops what runs, and the
// destructor always puts the machine back into its normal operation mode.
class CConfirmPage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 154;
    static constexpr int Display = 1153;
    static constexpr int Clear = 1154;
    static constexpr int AxisX = 1155; // 1156 Y, 1157 Z
    static constexpr int MotorLoadStart = 1149;
    static constexpr int MotorLoadStop = 1179;
    static constexpr int IdlingStart = 1152;
    static constexpr int IdlingStop = 1180;
    static constexpr int IdleTickMs = 1000;
    static constexpr qint64 IdleLimitSeconds = 600;
    // How long the return after idling waits for the machine to finish what it executes.
    static constexpr int ReturnWaitLimitMs = 10000;

    // The wall clock of the idling limit and of the report's time stamp; tests put their own
    // in place (an empty function restores the system's clock).
    using TimeSource = std::function<QDateTime()>;
    static void SetTimeSource(TimeSource source);
    static QDateTime Now();

    CConfirmPage();
    ~CConfirmPage() override;

    // The panel, and with it the machine; true.
    bool SetPanel(CPanelAccess* panel);
    // Stops a motor-load test or idling that is running.
    void StopAll();

    bool IsMotorLoadRunning() const { return m_motorLoadRunning; }
    bool IsIdling() const { return m_idling; }
    bool IsIdleTimerRunning() const { return m_idleTimer != 0; }

    bool OnKillActive() override;
    bool OnQueryCancel() override;

protected:
    bool OnInitDialog() override;
    void timerEvent(QTimerEvent* event) override;

private:
    void StopRunning();
    void KillIdleTimer();
    bool IsBusy() const;
    void ClearErrorLatch();
    void ShowResult(int stringId, uint32_t style);

    void OnDisplay();
    void OnClear();
    void OnMotorLoadStart();
    void OnMotorLoadStop();
    void OnIdlingStart();
    void OnIdlingStop();
    void OnIdleTick();
    // False when it gave up on a machine that stayed busy, without the return.
    bool ReturnToXYOrigin();

    CPanelAccess* m_panel = nullptr;       // not owned
    CModelingMachine* m_machine = nullptr; // not owned
    int m_loadAxis = 0;
    bool m_motorLoadRunning = false;
    bool m_idling = false;
    qint64 m_idleStart = 0; // seconds since the epoch
    int m_idleTimer = 0;
    QButtonGroup* m_axes;
};
