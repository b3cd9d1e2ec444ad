#include "CutterCompensationPage.h"

#include "DataExchange.h"
#include "ResourceImages.h"
#include "SettingValues.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace {
// Captions of the template's headings and row numbers.
constexpr int NumberHeading = -1;
constexpr int OffsetHeading = -2;
constexpr int FirstRowLabel = -3; // "1" .. "8": -3 .. -10
} // namespace

CCutterCompensationPage::CCutterCompensationPage() : CPropertyPage(TemplateId)
{
    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap::fromImage(LoadBitmapResource(PictureBitmap)));
    auto* grid = new QGridLayout;
    grid->addWidget(AddLabel(NumberHeading), 0, 0);
    grid->addWidget(AddLabel(OffsetHeading), 0, 1);
    for (int row = 0; row < Rows; ++row) {
        grid->addWidget(AddLabel(FirstRowLabel - row), row + 1, 0);
        m_edits[static_cast<size_t>(row)] = AddEdit(FirstEdit + row);
        grid->addWidget(m_edits[static_cast<size_t>(row)], row + 1, 1);
        grid->addWidget(AddLabel(UnitLabels[static_cast<size_t>(row)]), row + 1, 2);
    }
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addLayout(grid);
}

bool CCutterCompensationPage::OnInitDialog()
{
    for (size_t i = 0; i < Rows; ++i)
        m_offsetValues[i] = MicrometresToDisplay(m_toolOffsets[i], m_inch);
    m_minOffset = MicrometresToDisplay(0, m_inch);
    m_maxOffset = MicrometresToDisplay(MaxToolOffsetMicrometres, m_inch);
    CPropertyPage::OnInitDialog();
    const QString unit = LoadString(m_inch ? Str::Inch : Str::Millimetre);
    for (int id : UnitLabels)
        static_cast<QLabel*>(GetControl(id))->setText(unit);
    return true;
}

void CCutterCompensationPage::DoDataExchange(CDataExchange& dx)
{
    for (size_t i = 0; i < Rows; ++i) {
        ExchangeNumber(dx, m_edits[i], m_offsetValues[i]);
        CheckRange(dx, m_edits[i], m_offsetValues[i], m_minOffset, m_maxOffset);
    }
    if (dx.Failed())
        return;
    for (size_t i = 0; i < Rows; ++i)
        m_toolOffsets[i] = DisplayToMicrometres(m_offsetValues[i], m_inch);
}
