#pragma once

#include "ControlPanelOperations.h"
#include "JogButton.h"
#include "MachineStatusDlg.h"
#include "PanelAccess.h"
#include "PanelDialogs.h"
#include "PanelFace.h"
#include "PanelIds.h"
#include "PanelJog.h"

#include <QColor>
#include <QPixmap>
#include <QRect>

#include <array>
#include <map>
#include <span>
#include <utility>
#include <vector>

class CColorLabel;
class CUpDownArrows;
class QButtonGroup;
class QComboBox;
class QLabel;
class QRadioButton;

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
class CControlPanelDlg : public CMachineStatusDlg, public CPanelAccess, public CPanelFace
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
    // --- options, stored beside them ---------------------------------------------------------
    bool KeyboardJog = false; // the arrow and page keys jog (window menu "Keyboard jog")

    // The sheets, the Cut dialog and the about box belong to the layers above this one; the
    // application hands the panel the object that opens them (not owned; it outlives the panel's
    // run). Without one, those buttons and menu items do nothing.
    void SetDialogs(CPanelDialogs* dialogs) { m_dialogs = dialogs; }

    void LoadSettings();
    void SaveSettings();
    // Reads or writes the five values in their fixed order, then the options; a CursorType
    // outside 0..3 is held at the nearer end of the range when loaded.
    void ExchangeSettings(bool load);
    // Switches keyboard jog on or off (the window menu's check item).
    void SetKeyboardJog(bool on);

    // --- position display and coordinate systems -------------------------------------------
    // Switches the display unit; the values are redrawn at once.
    void SetUnit(bool metric) override;
    void SetCursorYDir(bool cursorYDir) override;
    // Takes a command set read from the machine; anything but 0, 1 or 2 is ignored.
    void SetCommandSet(int commandSet) override;
    // The command-set text and both coordinate-system lists, rebuilt for m_commandSet.
    void RefreshCommandSet() override;
    // Fills target with the entries (text and number) and the selection of the shown list.
    void CopyCoordinateList(QComboBox* target) const override;
    // Selects entry index of the shown list as if the user had chosen it.
    void SelectShownSystem(int index) override;

    // --- what other dialogs read -------------------------------------------------------------
    int GetCommandSet() const { return m_commandSet; }
    QWidget* GetControl(int id) const override;
    CJogButton* GetButton(int id) const override;
    // The keypad and joystick jog.
    const CPanelJog& Jog() const { return m_jog; }

    // --- CPanelAccess: what the dialogs above the panel use ----------------------------------
    QWidget* Window() override { return this; }
    CModelingMachine* GetMachine() const override { return CMachineStatusDlg::GetMachine(); }
    const MachineStatus& GetStatus() const override { return CMachineStatusDlg::GetStatus(); }
    const CMachineState& GetMachineState() const override { return State(); }
    using WaitCallback = CMachineStatusDlg::WaitCallback;
    bool WaitWhileMoving(const WaitCallback& callback = {}) override
    {
        return CMachineStatusDlg::WaitWhileMoving(callback);
    }
    bool GetOrigin(int number, AxisTriple& origin) override
    {
        return CMachineStatusDlg::GetOrigin(number, origin);
    }
    const AxisTriple& GetCurrentOrigin() const override
    {
        return CMachineStatusDlg::GetCurrentOrigin();
    }
    const AxisTriple& GetRangeLow() const override { return CMachineStatusDlg::GetRangeLow(); }
    const AxisTriple& GetRangeHigh() const override { return CMachineStatusDlg::GetRangeHigh(); }
    void OnDeviceChange(unsigned event) override { CMachineStatusDlg::OnDeviceChange(event); }
    bool GetErrorLatch() const override { return State().GetErrorLatch(); }
    void ClearErrorLatch() override { State().ClearErrorLatch(); }
    int GetLastErrorAnswer() const override { return State().GetLastErrorAnswer(); }
    bool IsMetric() const override { return Metric; }
    bool IsCursorYDir() const override { return CursorYDir; }

    // --- CPanelFace: what the jog and the operation buttons use ------------------------------
    void DrawPause(bool pressed) override;
    void ShowOverride(uint8_t percent) override { OnOverrideChanged(percent, false); }
    void CycleCursorType() override;
    int GetCursorType() const override { return CursorType; }
    int GetCoordinateSystem() const override { return CoordinateSystem; }
    int GetSetOrgCoordinateSystem() const override { return SetOrgCoordinateSystem; }

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

    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Every way the panel ends (close request, Escape, the reconnection's "End") comes through
    // here, so the close handling runs once before the dialog ends.
    void done(int result) override;

    // --- the handlers of the window's own buttons ------------------------------------------
    void OnStepRadio(int cursorType);
    // The repeat interval of the six keys for CursorType.
    void ApplyRepeatIntervals();
    void OnSpeedAuto();
    void OnSpeedManual();
    void OnSetup();
    void OnCut();

    // The panel's state, as the state handling and the handlers keep it.
    int m_commandSet = -1;
    int m_speedMode = 1;
    // The read-out shows values (not placeholders); redrawn when that changes with the state.
    bool m_positionShown = false;
    CPanelDialogs* m_dialogs = nullptr;
    CPanelJog m_jog;
    CPanelOperations m_operations;

private:
    struct ControlRow;
    // The face, one row per control.
    static std::span<const ControlRow> Controls();
    void CreateControls();
    CJogButton* AddButton(const ControlRow& row);
    QComboBox* AddList(int id, const QRect& rect);
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
    void ShowWindowMenu(const QPoint& globalPos);
    // Whether the window menu offers the job window: one is there and a job runs.
    bool IsJobWindowOffered() const;
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
