#pragma once

#include "MachineStatus.h"
#include "PropertyPage.h"

#include <array>
#include <cstdint>

class CModelingMachine;
class QButtonGroup;
class QComboBox;

// The first page of the Setup sheet: the machine's command set, the panel's unit and keypad Y
// direction, and the machine's auto power-off wait time; its "NC Code setting..." button opens
// the NC code sheet on copies of the machine's settings block and tool-diameter offsets. The
// opener loads the machine's values before the sheet runs (LoadFromMachine) and, after OK,
// writes back what changed (SaveToMachine); the unit and direction belong to the panel, which
// the opener updates itself.
class CModelingMachineSettingPage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 10001;
    // Control ids.
    static constexpr int CommandSetZml = 1052; // then 1053 NC code, 1054 both
    static constexpr int NcCodeSetting = 1066;
    static constexpr int Millimetres = 1059; // 1060 inches
    static constexpr int MoveTable = 1061;   // 1062 move cutter
    static constexpr int PowerOffCombo = 1181;
    static constexpr int PowerOffLabel = 1183;
    static constexpr int HoursLabel = 1184;
    static constexpr int ToolOffsetCount = 8;
    using ToolOffsets = std::array<int32_t, ToolOffsetCount>;

    CModelingMachineSettingPage();

    void SetMachine(CModelingMachine* machine) { m_machine = machine; }
    // 0 millimetres, 1 inches.
    void SetUnit(int unit) { m_unit = unit; }
    int GetUnit() const { return m_unit; }
    // 0 move the table, 1 move the cutter.
    void SetCursorYDir(int cursorYDir) { m_cursorYDir = cursorYDir; }
    int GetCursorYDir() const { return m_cursorYDir; }
    // 0 ZML-1, 1 NC code, 2 both (-1 before the machine was read).
    int GetCommandSet() const { return m_commandSet; }

    // Reads the settings block, the eight tool-diameter offsets and the auto power-off time;
    // failed reads keep what the page held (the time becomes -1).
    void LoadFromMachine();
    // Writes the settings block, the offsets and the wait time, each only when it changed.
    void SaveToMachine();

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;

private:
    void CreateControls();
    void EnableNcCodeSetting();
    void FillPowerOffChoices();
    void OnCommandSetClicked();
    void OnNcCodeSetting();
    void OnPowerOffChoice();

    MachineSettings m_settings;
    ToolOffsets m_toolOffsets{};
    bool m_settingsChanged = false;
    bool m_toolOffsetsChanged = false;
    bool m_powerOffChanged = false;
    int32_t m_powerOffSeconds = -1;
    QComboBox* m_powerOffCombo = nullptr;
    int m_unit = -1;
    int m_cursorYDir = -1;
    int m_commandSet = -1;
    CModelingMachine* m_machine = nullptr; // not owned

    QButtonGroup* m_commandSetGroup;
    QButtonGroup* m_unitGroup;
    QButtonGroup* m_cursorYDirGroup;
};
