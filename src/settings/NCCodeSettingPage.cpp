#include "NCCodeSettingPage.h"

#include "DataExchange.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
// Captions of the template's headings.
constexpr int OffsetTypeHeading = -1;
constexpr int DecimalPointHeading = -2;
constexpr int BlockSkipHeading = -3;
} // namespace

CNCCodeSettingPage::CNCCodeSettingPage()
    : CPropertyPage(TemplateId), m_offsetTypeGroup(new QButtonGroup(this)),
      m_decimalModeGroup(new QButtonGroup(this)), m_blockSkipGroup(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    auto addHeading = [this, layout](int id) {
        layout->addWidget(AddLabel(id));
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        layout->addWidget(line);
    };
    auto addRadios = [this, layout](QButtonGroup* group, int firstId, int count) {
        auto* row = new QHBoxLayout;
        for (int value = 0; value < count; ++value)
            row->addWidget(AddRadio(group, firstId + value, value));
        row->addStretch();
        layout->addLayout(row);
    };
    addHeading(OffsetTypeHeading);
    addRadios(m_offsetTypeGroup, OffsetTypeA, 2);
    addHeading(DecimalPointHeading);
    auto* methods = new QVBoxLayout;
    for (int value = 0; value < 4; ++value)
        methods->addWidget(AddRadio(m_decimalModeGroup, ConventionalMethod + value, value));
    layout->addLayout(methods);
    addHeading(BlockSkipHeading);
    addRadios(m_blockSkipGroup, BlockSkipEnabled, 2);
    layout->addStretch();
}

void CNCCodeSettingPage::SetSettings(const MachineSettings& settings)
{
    m_settings = settings;
    m_offsetType = settings.ncToolOffsetType;
    m_decimalMode = settings.ncDecimalPoint;
    m_blockSkip = settings.ncOptionalBlockSkip;
}

MachineSettings CNCCodeSettingPage::GetSettings()
{
    m_settings.ncToolOffsetType = static_cast<uint8_t>(m_offsetType);
    m_settings.ncOptionalBlockSkip = static_cast<uint8_t>(m_blockSkip);
    m_settings.ncDecimalPoint = static_cast<uint8_t>(m_decimalMode);
    return m_settings;
}

void CNCCodeSettingPage::DoDataExchange(CDataExchange& dx)
{
    ExchangeRadio(dx, m_offsetTypeGroup, m_offsetType);
    ExchangeRadio(dx, m_decimalModeGroup, m_decimalMode);
    ExchangeRadio(dx, m_blockSkipGroup, m_blockSkip);
}
