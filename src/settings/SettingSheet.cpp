#include "SettingSheet.h"

#include "PropertyPage.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

CSettingSheet::CSettingSheet(int captionStringId, QWidget* parent)
    : QDialog(parent), m_tabs(new QTabBar(this)), m_stack(new QStackedWidget(this))
{
    setWindowTitle(LoadString(captionStringId));
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_stack->setObjectName(QStringLiteral("pages"));

    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("buttons"));
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    ok->setObjectName(QString::number(OkId));
    cancel->setObjectName(QString::number(CancelId));
    ok->setDefault(true);
    // The program's own captions, in the interface language.
    ok->setText(LoadString(Str::Ok));
    cancel->setText(LoadString(Str::Cancel));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_stack, 1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_tabs, &QTabBar::currentChanged, this, &CSettingSheet::OnTabChosen);
    auto step = [this](int delta) {
        const int count = GetPageCount();
        if (count > 1)
            SetActivePage((GetActiveIndex() + delta + count) % count);
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
            [step] { step(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this),
            &QShortcut::activated, this, [step] { step(-1); });
}

CSettingSheet::~CSettingSheet()
{
    // The pages are the opener's: give them back rather than deleting them with the sheet.
    for (const QPointer<CPropertyPage>& page : m_pages)
        if (page)
            page->setParent(nullptr);
}

void CSettingSheet::AddPage(CPropertyPage* page)
{
    m_pages.emplace_back(page);
    m_stack->addWidget(page);
    const QSignalBlocker blocker(m_tabs);
    m_tabs->addTab(page->GetTabCaption());
}

CPropertyPage* CSettingSheet::GetPage(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)].data()
                                                : nullptr;
}

int CSettingSheet::GetActiveIndex() const
{
    return m_stack->currentIndex();
}

CPropertyPage* CSettingSheet::GetActivePage() const
{
    return GetPage(GetActiveIndex());
}

bool CSettingSheet::SetActivePage(int index)
{
    if (!GetPage(index))
        return false;
    if (index != m_tabs->currentIndex())
        m_tabs->setCurrentIndex(index);
    return GetActiveIndex() == index;
}

void CSettingSheet::showEvent(QShowEvent* event)
{
    if (!m_initialised)
        OnInitDialog();
    QDialog::showEvent(event);
}

void CSettingSheet::OnInitDialog()
{
    m_initialised = true;
    const QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(0);
    m_stack->setCurrentIndex(0);
    if (CPropertyPage* first = GetPage(0))
        first->Activate();
}

void CSettingSheet::OnTabChosen(int index)
{
    const int active = GetActiveIndex();
    if (m_changingPage || index == active)
        return;
    m_changingPage = true;
    CPropertyPage* leaving = GetActivePage();
    if (leaving && !leaving->OnKillActive()) {
        // The page keeps the user; the tab goes back to it.
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(active);
    } else if (CPropertyPage* entering = GetPage(index)) {
        m_stack->setCurrentIndex(index);
        entering->Activate();
    }
    m_changingPage = false;
}

void CSettingSheet::accept()
{
    CPropertyPage* active = GetActivePage();
    if (active && !active->OnKillActive())
        return;
    QDialog::accept();
}

void CSettingSheet::reject()
{
    CPropertyPage* active = GetActivePage();
    if (active && !active->OnQueryCancel())
        return;
    QDialog::reject();
}
