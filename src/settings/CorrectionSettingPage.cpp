#include "CorrectionSettingPage.h"

#include "DataExchange.h"
#include "ModelingMachine.h"
#include "ResourceImages.h"
#include "SettingValues.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

namespace {
// Captions of the template's texts without ids of their own.
constexpr int WarningText = -1;
constexpr int DistanceGroup = -2;
constexpr int FirstAxisLabel = -3;    // "X(&X):", "Y(&Y):", "Z(&Z):": -3 .. -5
constexpr int FirstPercentLabel = -6; // "%": -6 .. -8
} // namespace

CCorrectionSettingPage::CCorrectionSettingPage() : CPropertyPage(TemplateId)
{
    m_scale.fill(NeutralScale);

    auto* picture = new QLabel(this);
    picture->setObjectName(QString::number(PictureId));
    picture->setPixmap(QPixmap::fromImage(LoadBitmapResource(PictureBitmap)));
    QLabel* warning = AddLabel(WarningText);
    warning->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(warning, 1);

    QGroupBox* group = AddGroupBox(DistanceGroup);
    auto* grid = new QGridLayout(group);
    for (int axis = 0; axis < 3; ++axis) {
        QLabel* label = AddLabel(FirstAxisLabel - axis);
        QLineEdit* edit = AddEdit(Edits[static_cast<size_t>(axis)]);
        label->setBuddy(edit);
        m_edits[static_cast<size_t>(axis)] = edit;
        grid->addWidget(label, axis, 0);
        grid->addWidget(edit, axis, 1);
        grid->addWidget(AddLabel(FirstPercentLabel - axis), axis, 2);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(group);
    layout->addStretch();
}

bool CCorrectionSettingPage::LoadFromMachine()
{
    m_scale.fill(NeutralScale);
    m_machineCorrection.reset();
    AxisTriple correction{0, 0, 0};
    if (m_machine->GetDistanceCorrection(correction)) {
        m_machineCorrection = correction;
        for (size_t axis = 0; axis < 3; ++axis) {
            const int64_t scale = int64_t{correction[axis]} + NeutralScale;
            // Only values the page would accept are shown; anything else shows as neutral.
            if (scale >= MinCorrectionScale && scale <= MaxCorrectionScale)
                m_scale[axis] = static_cast<int32_t>(scale);
        }
    }
    m_changed = false;
    m_axisChanged.fill(false);
    return true;
}

bool CCorrectionSettingPage::SaveToMachine()
{
    if (!m_changed)
        return true;
    AxisTriple correction{0, 0, 0};
    if (m_machineCorrection)
        correction = *m_machineCorrection;
    else if (!m_machine->GetDistanceCorrection(correction))
        return true;
    for (size_t axis = 0; axis < 3; ++axis)
        if (m_axisChanged[axis])
            correction[axis] = m_scale[axis] - NeutralScale;
    m_machine->SetDistanceCorrection(correction);
    return true;
}

bool CCorrectionSettingPage::OnKillActive()
{
    const std::array<int32_t, 3> kept = m_scale;
    if (!UpdateData(true)) {
        // The axes before the refused one were already taken; forget them, so that they still
        // count as changes when the page is left with every value valid.
        m_scale = kept;
        return false;
    }
    for (size_t axis = 0; axis < 3; ++axis)
        if (m_scale[axis] != kept[axis]) {
            m_axisChanged[axis] = true;
            m_changed = true;
        }
    return true;
}

void CCorrectionSettingPage::DoDataExchange(CDataExchange& dx)
{
    for (size_t axis = 0; axis < 3 && dx.Continues(); ++axis) {
        QLineEdit* edit = m_edits[axis];
        if (!dx.IsSaving()) {
            edit->setText(FormatCorrectionPercent(m_scale[axis]));
            continue;
        }
        // A field the user left as shown keeps the machine's value: the text shows it to only
        // three decimals, and reading it back would change a value nobody edited. A field the
        // user typed into is read, even when the typed text equals the shown one.
        if (!edit->isModified() && edit->text() == FormatCorrectionPercent(m_scale[axis]))
            continue;
        double percent = 0;
        ExchangeNumber(dx, edit, percent);
        if (dx.Failed())
            return;
        const int32_t scale = CorrectionScaleOf(percent);
        if (!IsCorrectionInRange(scale)) {
            FailRange(dx, edit, MinCorrectionPercent, MaxCorrectionPercent);
            return;
        }
        m_scale[axis] = scale;
    }
}
