#include "ModelingMachineSettingPage.h"

#include "CutterCompensationPage.h"
#include "DataExchange.h"
#include "ModelingMachine.h"
#include "NCCodeSettingPage.h"
#include "SettingSheet.h"
#include "SettingValues.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cstring>

namespace {
// Captions of the template's group boxes.
constexpr int CommandSetGroup = -1;
constexpr int UnitGroup = -2;
constexpr int DirectionGroup = -3;
constexpr int PowerOptionGroup = -4;
} // namespace

CModelingMachineSettingPage::CModelingMachineSettingPage()
    : CPropertyPage(TemplateId), m_commandSetGroup(new QButtonGroup(this)),
      m_unitGroup(new QButtonGroup(this)), m_cursorYDirGroup(new QButtonGroup(this))
{
    CreateControls();
}

void CModelingMachineSettingPage::CreateControls()
{
    auto* commandSet = AddGroupBox(CommandSetGroup);
    auto* commandSetLayout = new QVBoxLayout(commandSet);
    for (int value = 0; value < 3; ++value)
        commandSetLayout->addWidget(AddRadio(m_commandSetGroup, CommandSetZml + value, value));
    QAbstractButton* ncCode = AddPushButton(NcCodeSetting);
    commandSetLayout->addWidget(ncCode, 0, Qt::AlignRight);

    auto* unit = AddGroupBox(UnitGroup);
    auto* unitLayout = new QVBoxLayout(unit);
    for (int value = 0; value < 2; ++value)
        unitLayout->addWidget(AddRadio(m_unitGroup, Millimetres + value, value));

    auto* direction = AddGroupBox(DirectionGroup);
    auto* directionLayout = new QVBoxLayout(direction);
    for (int value = 0; value < 2; ++value)
        directionLayout->addWidget(AddRadio(m_cursorYDirGroup, MoveTable + value, value));

    auto* power = AddGroupBox(PowerOptionGroup);
    auto* powerLayout = new QHBoxLayout(power);
    m_powerOffCombo = new QComboBox(this);
    m_powerOffCombo->setObjectName(QString::number(PowerOffCombo));
    // The English template lets the user type into the field; only a choice from the list has
    // an effect.
    m_powerOffCombo->setEditable(!IsJapaneseUi());
    m_powerOffCombo->setInsertPolicy(QComboBox::NoInsert);
    powerLayout->addWidget(AddLabel(PowerOffLabel));
    powerLayout->addWidget(m_powerOffCombo);
    powerLayout->addWidget(AddLabel(HoursLabel));
    powerLayout->addStretch();

    auto* layout = new QGridLayout(this);
    layout->addWidget(commandSet, 0, 0, 2, 1);
    layout->addWidget(unit, 0, 1);
    layout->addWidget(direction, 1, 1);
    layout->addWidget(power, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);

    connect(m_commandSetGroup, &QButtonGroup::idClicked, this, [this] { OnCommandSetClicked(); });
    // The unit is read at once, so that the NC code sheet shows the offsets in it.
    for (QButtonGroup* group : {m_unitGroup, m_cursorYDirGroup})
        connect(group, &QButtonGroup::idClicked, this, [this] { UpdateData(true); });
    connect(ncCode, &QAbstractButton::clicked, this, [this] { OnNcCodeSetting(); });
    // A change of the selection only: choosing the item already selected changes nothing.
    connect(m_powerOffCombo, &QComboBox::currentIndexChanged, this, [this] { OnPowerOffChoice(); });
}

void CModelingMachineSettingPage::DoDataExchange(CDataExchange& dx)
{
    ExchangeRadio(dx, m_unitGroup, m_unit);
    ExchangeRadio(dx, m_cursorYDirGroup, m_cursorYDir);
    ExchangeRadio(dx, m_commandSetGroup, m_commandSet);
}

void CModelingMachineSettingPage::LoadFromMachine()
{
    m_machine->GetMachineSettings(m_settings);
    m_commandSet = m_settings.commandSet;
    for (int n = 1; n <= ToolOffsetCount; ++n)
        m_machine->GetToolOffset(n, m_toolOffsets[static_cast<size_t>(n - 1)]);
    m_powerOffSeconds = m_machine->GetAutoPowerOffTime();
    m_settingsChanged = false;
    m_toolOffsetsChanged = false;
    m_powerOffChanged = false;
}

void CModelingMachineSettingPage::SaveToMachine()
{
    if (m_commandSet != m_settings.commandSet) {
        m_settings.commandSet = static_cast<uint8_t>(m_commandSet);
        m_settingsChanged = true;
    }
    if (m_settingsChanged)
        m_machine->SetMachineSettings(m_settings);
    if (m_toolOffsetsChanged)
        for (int n = 1; n <= ToolOffsetCount; ++n)
            m_machine->SetToolOffset(n, m_toolOffsets[static_cast<size_t>(n - 1)]);
    if (m_powerOffChanged)
        m_machine->SetAutoPowerOffTime(m_powerOffSeconds);
}

bool CModelingMachineSettingPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    EnableNcCodeSetting();
    FillPowerOffChoices();
    return true;
}

void CModelingMachineSettingPage::EnableNcCodeSetting()
{
    GetControl(NcCodeSetting)->setEnabled(m_commandSet == 1 || m_commandSet == 2);
}

void CModelingMachineSettingPage::FillPowerOffChoices()
{
    // Filling and preselecting are no choice of the user's.
    const QSignalBlocker blocker(m_powerOffCombo);
    const std::string firmware = m_machine->GetFirmwareVersion().value_or(std::string());
    if (!HasAutoPowerOff(FirmwareVersionNumber(firmware))) {
        m_powerOffCombo->addItem(LoadString(Str::Dashes), 0);
        m_powerOffCombo->setCurrentIndex(0);
        for (int id : {PowerOffCombo, PowerOffLabel, HoursLabel})
            GetControl(id)->setEnabled(false);
        return;
    }
    const QStringList choices = PowerOffChoices();
    for (int i = 0; i < choices.size(); ++i)
        m_powerOffCombo->addItem(choices.at(i), i);
    // A time that could not be read selects nothing: the machine keeps it unless the user
    // chooses one.
    if (m_powerOffSeconds == -1) {
        m_powerOffCombo->setCurrentIndex(-1);
        return;
    }
    const int found = FindChoiceByPrefix(choices, PowerOffKey(m_powerOffSeconds));
    m_powerOffCombo->setCurrentIndex(found < 0 ? 0 : found);
    // A time the list does not offer becomes the first choice, written on OK.
    if (found < 0)
        OnPowerOffChoice();
}

void CModelingMachineSettingPage::OnCommandSetClicked()
{
    UpdateData(true);
    EnableNcCodeSetting();
}

void CModelingMachineSettingPage::OnPowerOffChoice()
{
    const int index = m_powerOffCombo->currentIndex();
    if (index < 0)
        return;
    m_powerOffSeconds = PowerOffSecondsOf(m_powerOffCombo->itemText(index));
    m_powerOffChanged = true;
}

void CModelingMachineSettingPage::OnNcCodeSetting()
{
    CSettingSheet sheet(Str::NcCodeSheet, this);
    CNCCodeSettingPage ncCode;
    CCutterCompensationPage offsets;
    sheet.AddPage(&ncCode);
    sheet.AddPage(&offsets);
    ncCode.SetSettings(m_settings);
    offsets.SetInch(m_unit != 0);
    offsets.SetToolOffsets(m_toolOffsets);
    if (sheet.exec() != QDialog::Accepted)
        return;
    // Nothing goes to the machine here: the values travel with the Setup sheet's OK.
    const MachineSettings edited = ncCode.GetSettings();
    if (std::memcmp(&edited, &m_settings, sizeof edited) != 0) {
        m_settings = edited;
        m_settingsChanged = true;
    }
    if (offsets.GetToolOffsets() != m_toolOffsets) {
        m_toolOffsets = offsets.GetToolOffsets();
        m_toolOffsetsChanged = true;
    }
}
