#include "DataExchange.h"

#include "PanelMessageBox.h"
#include "SettingValues.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>

namespace {

// The framework's validation messages: exclamation icon, OK.
void ShowValidationMessage(QWidget* parent, const QString& text)
{
    CPanelMessageBox box(text, BoxStyle::ExclamationOk, parent);
    box.exec();
}

} // namespace

void CDataExchange::Fail(QWidget* control)
{
    m_failed = true;
    if (!control)
        return;
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
}

void ExchangeRadio(CDataExchange& dx, QButtonGroup* group, int& value)
{
    if (dx.Failed())
        return;
    if (dx.IsSaving()) {
        // No button checked: the value had none and the user chose none, so it stays as it
        // was; reading -1 here would turn the machine's byte into 0xFF.
        if (group->checkedId() != -1)
            value = group->checkedId();
        return;
    }
    if (QAbstractButton* button = group->button(value)) {
        button->setChecked(true);
        return;
    }
    // No button for the value: none is checked, which an exclusive group only allows for a moment.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

void ExchangeNumber(CDataExchange& dx, QLineEdit* edit, double& value)
{
    if (dx.Failed())
        return;
    if (!dx.IsSaving()) {
        edit->setText(FormatNumber(value));
        return;
    }
    const std::optional<double> typed = ParseNumber(edit->text());
    if (!typed) {
        ShowValidationMessage(dx.GetPage(), LoadString(Str::EnterNumber));
        dx.Fail(edit);
        return;
    }
    value = *typed;
}

void CheckRange(CDataExchange& dx, QLineEdit* edit, double value, double min, double max)
{
    if (dx.Failed() || !dx.IsSaving())
        return;
    if (value < min || value > max)
        FailRange(dx, edit, min, max);
}

void FailRange(CDataExchange& dx, QLineEdit* edit, double min, double max)
{
    ShowValidationMessage(
        dx.GetPage(),
        LoadString(Str::EnterNumberBetween).arg(FormatNumber(min), FormatNumber(max)));
    dx.Fail(edit);
}
