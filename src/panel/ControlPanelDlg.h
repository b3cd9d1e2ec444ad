#pragma once

#include "JogButton.h"
#include "JoystickDevice.h"
#include "MachineStatusDlg.h"
#include "PanelDialogs.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QTimer>

#include <array>
#include <map>
#include <utility>
#include <vector>

class CColorLabel;
class CUpDownArrows;
class QButtonGroup;
class QComboBox;
class QLabel;
class QRadioButton;

// Control ids of the panel (dialog template 102). Every control of the panel carries its id as
// its object name ("1030" for the X+ key), so tests and other dialogs find it with
// findChild<QWidget*>("1030") or through CControlPanelDlg::GetControl(id).
namespace PanelId {
// position display and coordinate systems
constexpr int ShownSystemList = 1170;
constexpr int ValueX = 1004;
constexpr int ValueY = 1007;
constexpr int ValueZ = 1009;
constexpr int UnitX = 1047;
constexpr int UnitY = 1048;
constexpr int UnitZ = 1049;
constexpr int CommandSetLabel = 1005;
constexpr int SetOriginLabel = 1162;
constexpr int OriginSystemList = 1171;
// spindle
constexpr int SpindleLabel = 1010;
constexpr int SpindleValue = 1011;
constexpr int SpindleUnit = 1046;
constexpr int SpindleOn = 1172;
constexpr int SpindleOff = 1173;
// keypad: the upper and lower middle keys move Y (their sign follows CursorYDir)
constexpr int KeyYUpper = 1026;
constexpr int KeyYLower = 1032;
constexpr int KeyXMinus = 1028;
constexpr int KeyXPlus = 1030;
constexpr int KeyZPlus = 1024;
constexpr int KeyZMinus = 1027;
// The six keypad keys, in one list for every loop over them.
inline constexpr std::array KeypadKeys{KeyYUpper, KeyYLower, KeyXMinus,
                                       KeyXPlus,  KeyZPlus,  KeyZMinus};
constexpr int CursorStepLabel = 1161;
constexpr int StepContinue = 1164; // 1164 + CursorType
constexpr int StepX100 = 1165;
constexpr int StepX10 = 1166;
constexpr int StepX1 = 1167;
constexpr int MoveLabel = 1037;
constexpr int OriginLabel = 1160;
constexpr int MoveView = 1178;
constexpr int MoveXY = 1039;
constexpr int MoveZ = 1038;
constexpr int Stop = 1174;
constexpr int SetOriginXY = 1176;
constexpr int SetOriginZ = 1177;
// cutting speed, job
constexpr int CutLabel = 1163;
constexpr int CuttingSpeedLabel = 1012;
constexpr int SpeedAuto = 1168;
constexpr int SpeedManual = 1169;
constexpr int OverrideValue = 1013;
constexpr int OverrideArrows = 1014;
constexpr int PercentLabel = 1045;
constexpr int CancelJob = 40115;
constexpr int Pause = 1175;
constexpr int Setup = 1015;
constexpr int Cut = 1105;
// hidden commands the panel posts to itself
constexpr int WaitSetup = 1050;
constexpr int FatalError = 1063;
constexpr int PausedCommandError = 1064;
constexpr int CommandError = 1065;
constexpr int LastAutoPowerOff = 1182;
} // namespace PanelId

// Items of the panel's window menu (a context menu of the window on this platform, also opened
// with Shift+F10 or the Menu key).
namespace PanelMenu {
constexpr int About = 0x10;
constexpr int Maintenance = 0x30;
} // namespace PanelMenu

// The program's main window: a picture of the machine's front panel with the position read-out,
// the jog keypad, origin and move buttons, spindle and speed controls, Pause, Cancel, Setup and
// Cut. It reads the machine state from every status change, enables its controls by that state,
// raises the wait, alarm and notice boxes by posting hidden commands to itself, and handles the
// loss and return of the machine.
//
// Contract with the start-up: construct the panel with the machine (already selected and
// opened; the panel does not own it), run exec(), then destroy the panel before the machine.
// The settings are loaded by the constructor and saved whenever the panel ends (close request,
// Escape, or "End" after a lost connection). QCoreApplication's organisation and application
// names choose the settings store; CMachineStatusDlg::SetApplicationTitle the window title.
class CControlPanelDlg : public CMachineStatusDlg
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 102;
    static constexpr int SkinBitmapId = 130;
    static constexpr QSize ClientSize{680, 360};
    // The keypad centre, drawn from the pressed half when CursorYDir is false.
    static constexpr QRect KeypadCentre{QPoint(244, 124), QPoint(282, 171)};
    // White read-outs; grey for the spindle speed while the spindle stands and for the override
    // in automatic mode.
    static QColor ValueColour() { return {255, 255, 255}; }
    static QColor InactiveColour() { return {192, 192, 192}; }
    // Plain captions and radio texts: light, since the face behind them is dark.
    static QColor CaptionColour() { return {214, 218, 224}; }

    CControlPanelDlg(CModelingMachine* machine, QWidget* parent = nullptr);
    ~CControlPanelDlg() override;

    // --- the five persisted settings ---------------------------------------------------------
    bool Metric = true;             // display unit: millimetres, else inches
    int CursorType = 0;             // jog step 0..3: Continue, x100, x10, x1
    int CoordinateSystem = 1;       // coordinate system shown
    int SetOrgCoordinateSystem = 1; // coordinate system whose origin Set Origin writes
    bool CursorYDir = true;         // the upper middle key moves Y plus

    // The sheets, the Cut dialog and the about box belong to the layers above this one; the
    // application hands the panel the object that opens them (not owned; it outlives the panel's
    // run). Without one, those buttons and menu items do nothing.
    void SetDialogs(CPanelDialogs* dialogs) { m_dialogs = dialogs; }

    void LoadSettings();
    void SaveSettings();
    // Reads or writes the five values in their fixed order; a CursorType outside 0..3 is held
    // at the nearer end of the range when loaded.
    void ExchangeSettings(bool load);

    // --- position display and coordinate systems -------------------------------------------
    // Switches the display unit; the values are redrawn at once.
    void SetUnit(bool metric);
    void SetCursorYDir(bool cursorYDir);
    // Takes a command set read from the machine; anything but 0, 1 or 2 is ignored.
    void SetCommandSet(int commandSet);
    // The command-set text and both coordinate-system lists, rebuilt for m_commandSet.
    void RefreshCommandSet();
    // Fills target with the entries (text and number) and the selection of the shown list.
    void CopyCoordinateList(QComboBox* target) const;
    // Selects entry index of the shown list as if the user had chosen it.
    void SelectShownSystem(int index);

    // --- what other dialogs read -------------------------------------------------------------
    int GetCommandSet() const { return m_commandSet; }
    int GetSpeedMode() const { return m_speedMode; }
    // 1 Abort, 2 Continue: the answer to the last paused command-error box.
    int GetLastErrorAnswer() const { return m_lastErrorAnswer; }
    bool IsErrorReported() const { return m_errorReported; }
    bool IsPowerOffPending() const { return m_powerOffPending; }
    bool IsPauseShown() const { return m_pauseShown; }
    bool GetErrorLatch() const { return m_errorLatch; }
    void ClearErrorLatch() { m_errorLatch = false; }
    bool IsJoystickJogging() const { return m_joyJogging; }
    bool IsJoystickCaptured() const { return m_joyId != -1; }
    bool IsJoystickTimerRunning() const { return m_joyTimer.isActive(); }
    QWidget* GetControl(int id) const;
    CJogButton* GetButton(int id) const;

    // A window-menu command, matched on its value with the low four bits cleared.
    void OnSysCommand(int command);

protected:
    bool OnInitDialog() override;

    int AskReconnect() override;
    void OnMachineLost() override;
    void OnMachineConnected() override;
    void OnPositionChanged(const AxisTriple& relative) override;
    void OnSpindleChanged(int32_t value) override;
    void OnOverrideChanged(uint8_t percent, bool fromMachine) override;
    void OnStatusChanged(uint32_t newWord, uint32_t changedBits) override;
    bool IsPositionShown() const;
    void OnStatus2Changed(uint32_t newWord, uint32_t changedBits) override;

    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Every way the panel ends (close request, Escape, the reconnection's "End") comes through
    // here, so the close handling runs once before the dialog ends.
    void done(int result) override;

    // --- button handlers; the jog, spindle, speed and joystick handling fills these -----------
    void OnJogKey(int id);
    void OnMoveZ();
    void OnMoveXY();
    void OnMoveView();
    void OnStop();
    void OnSetOriginXY();
    void OnSetOriginZ();
    void OnStepRadio(int cursorType);
    // The repeat interval of the six keys for CursorType.
    void ApplyRepeatIntervals();
    // The next jog step (wrapping from "x1" to "Continue"), as the joystick's step button asks.
    void CycleCursorType();
    void OnSpindleOn();
    void OnSpindleOff();
    void OnSpeedAuto();
    void OnSpeedManual();
    void OnOverrideStep(int delta);
    void OnPause();
    void OnCancelJob();
    void OnSetup();
    void OnCut();
    void CaptureJoystick();
    void ReleaseJoystick();
    void OnJoyMove(int x, int y);
    void OnJoyButtonDown(quint32 state);
    void OnJoyButtonUp(quint32 state);
    void OnJoyTick();
    void OnJoyRemoved();

    // The panel's state, as the state handling and the handlers keep it.
    int m_commandSet = -1;
    int m_speedMode = 1;
    bool m_quitRequested = false;
    bool m_errorReported = false;
    bool m_pauseShown = false;
    // The read-out shows values (not placeholders); redrawn when that changes with the state.
    bool m_positionShown = false;
    bool m_errorLatch = false;
    int m_powerOffCount = 0;
    bool m_powerOffPending = false;
    int m_lastErrorAnswer = 0;

    // Joystick jog.
    static constexpr int JoyTickMs = 150;
    CJoystickDevice m_joystick;
    CPanelDialogs* m_dialogs = nullptr;
    int m_joyId = -1;  // 0 once the first joystick was captured
    QTimer m_joyTimer; // the jog tick, running only with a captured joystick
    JoystickCaps m_joyCaps;
    int m_joyDirection = kJoyCentred;
    int m_joyZ = kJoyZNone;
    bool m_joyJogging = false;
    bool m_joyStepLatch = false; // the step button was seen down (each press steps once)

private:
    void CreateControls();
    CJogButton* AddButton(int id, const QRect& rect, JogFaceKind kind);
    CColorLabel* AddValue(int id, const QRect& rect);
    QLabel* AddStatic(int id, const QRect& rect);
    QRadioButton* AddRadio(QButtonGroup* group, int id, const QRect& rect);
    void LoadSkin();
    void AttachFaces();
    void SetFontsAndColours();
    void PaintRadioBackgrounds();
    void SetUnitLabels();
    void CheckSpeedModeRadio();

    // The state table: enabling groups, held button, posted commands.
    void UpdateControls(uint32_t word);
    void EnableControl(int id, bool enable);
    int FindHeldButton() const;
    void ReadCommandSet();
    void DrawPause(bool pressed);

    // Hidden commands run as queued calls, after the handler that posted them has returned.
    void PostCommand(int id);
    void OnHiddenCommand(int id);
    void OnWaitSetup();
    void OnFatalError();
    void OnPausedCommandError();
    void OnCommandError();
    void OnLastAutoPowerOff();

    void RebuildShownList();
    void RebuildOriginList();
    void OnShownSystemConfirmed();
    void OnOriginSystemConfirmed();

    void OnButtonCommand(int id);
    // Jog and move helpers of the operation handlers.
    void JogBy(const AxisTriple& vector);
    bool IsKeypadKeyHeld() const;
    bool JoystickMayStart() const;
    // A release button's common guards: no joystick jog, focus, no longer held.
    bool TakeReleasedButton(int id);
    void ShowWindowMenu(const QPoint& globalPos);
    void InstallDeviceChangeTarget();
    void RemoveDeviceChangeTarget();

    QPixmap m_skin;
    std::map<int, QWidget*> m_controls;
    std::vector<std::pair<CJogButton*, JogFaceKind>> m_faceButtons;
    QComboBox* m_shownList = nullptr;
    QComboBox* m_originList = nullptr;
    CUpDownArrows* m_overrideArrows = nullptr;
    QButtonGroup* m_stepGroup = nullptr;
    QButtonGroup* m_speedGroup = nullptr;
    QColor m_stepBackground;
    QColor m_speedBackground;
    bool m_closeHandled = false;
    CMachineLink* m_notifiedLink = nullptr; // the link whose notices this panel receives
};
