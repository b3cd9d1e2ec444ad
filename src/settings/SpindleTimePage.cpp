#include "SpindleTimePage.h"

#include "DataExchange.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "SettingValues.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
// Captions of the template's labels.
constexpr int HoursCaption = -1;
constexpr int MinutesCaption = -2;
constexpr int TotalTimeCaption = -3;

bool IsUnit(int unit)
{
    return unit >= 1 && unit <= CSpindleTimePage::Units;
}
} // namespace

CSpindleTimePage::CSpindleTimePage() : CPropertyPage(TemplateId), m_units(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(AddLabel(TotalTimeCaption), 0, 0, 1, 5);
    for (int unit = 1; unit <= Units; ++unit) {
        grid->addWidget(AddRadio(m_units, FirstRadio - 1 + unit, unit), unit, 0);
        for (int column : {1, 3}) {
            auto* time = new QLabel(this);
            time->setObjectName(
                QString::number((column == 1 ? FirstHours : FirstMinutes) - 1 + unit));
            time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            time->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            time->setMinimumWidth(70);
            grid->addWidget(time, unit, column);
            grid->addWidget(AddLabel(column == 1 ? HoursCaption : MinutesCaption), unit,
                            column + 1);
        }
    }
    QAbstractButton* reset = AddPushButton(Reset);
    grid->addWidget(reset, Units + 1, 3, 1, 2, Qt::AlignRight);
    grid->setRowStretch(Units + 2, 1);

    connect(m_units, &QButtonGroup::idClicked, this, [this](int unit) { OnUnitClicked(unit); });
    connect(reset, &QAbstractButton::clicked, this, [this] { OnReset(); });
}

bool CSpindleTimePage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    const int unit = m_machine->GetSpindleUnit();
    m_initialUnit = unit;
    m_selectedUnit = unit;
    CDataExchange dx(this, false);
    int shown = IsUnit(unit) ? unit : -1;
    ExchangeRadio(dx, m_units, shown);
    return true;
}

bool CSpindleTimePage::OnSetActive()
{
    RefreshTimes();
    return CPropertyPage::OnSetActive();
}

void CSpindleTimePage::RefreshTimes()
{
    const int fitted = m_machine->GetSpindleUnit();
    uint32_t seconds[Units] = {};
    for (int unit = 1; unit <= Units; ++unit) {
        SelectUnit(unit, false);
        SpindleTimeRecord record;
        if (m_machine->GetSpindleUnitTime(record))
            seconds[unit - 1] = static_cast<uint32_t>(record.seconds);
    }
    SelectUnit(fitted, false);
    for (int unit = 1; unit <= Units; ++unit) {
        const uint32_t time = seconds[unit - 1];
        static_cast<QLabel*>(GetControl(FirstHours - 1 + unit))
            ->setText(FormatSpindleCount(SpindleHours(time)));
        static_cast<QLabel*>(GetControl(FirstMinutes - 1 + unit))
            ->setText(FormatSpindleCount(SpindleMinutes(time)));
    }
}

void CSpindleTimePage::OnUnitClicked(int unit)
{
    m_selectedUnit = unit;
    SelectUnit(unit, false);
}

void CSpindleTimePage::OnReset()
{
    CPanelMessageBox box(FormatTemplate(LoadString(Str::ResetSpindleQuestion), {m_selectedUnit}),
                         BoxStyle::OkCancel, this);
    if (box.exec() != BoxResult::Ok)
        return;
    // The machine resets the unit it has selected, which the last click made the chosen one.
    m_machine->ResetSpindleUnitTime();
    RefreshTimes();
}

void CSpindleTimePage::Commit()
{
    SelectUnit(m_selectedUnit, true);
}

void CSpindleTimePage::Cancel()
{
    SelectUnit(m_initialUnit, false);
}

void CSpindleTimePage::SelectUnit(int unit, bool keep)
{
    if (IsUnit(unit))
        m_machine->SelectSpindleUnit(static_cast<uint8_t>(unit), keep ? 1 : 0);
}
