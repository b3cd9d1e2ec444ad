#include "PropertyPage.h"

#include "DataExchange.h"
#include "StringTable.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

CPropertyPage::CPropertyPage(int templateId, QWidget* parent)
    : QWidget(parent), m_templateId(templateId)
{
    setObjectName(QString::number(templateId));
}

QString CPropertyPage::GetTabCaption() const
{
    return Caption(0);
}

QWidget* CPropertyPage::GetControl(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CPropertyPage::Activate()
{
    if (!m_created) {
        m_created = true;
        OnInitDialog();
    }
    OnSetActive();
}

bool CPropertyPage::OnKillActive()
{
    return UpdateData(true);
}

bool CPropertyPage::OnQueryCancel()
{
    return true;
}

bool CPropertyPage::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

bool CPropertyPage::OnInitDialog()
{
    UpdateData(false);
    return true;
}

bool CPropertyPage::OnSetActive()
{
    // The first activation follows OnInitDialog, which has just shown the values.
    if (m_firstSetActive)
        m_firstSetActive = false;
    else
        UpdateData(false);
    return true;
}

void CPropertyPage::DoDataExchange(CDataExchange&) {}

QString CPropertyPage::Caption(int id) const
{
    return LoadCaption(m_templateId, id);
}

template <class Control> Control* CPropertyPage::Named(Control* control, int id)
{
    control->setObjectName(QString::number(id));
    return control;
}

QLabel* CPropertyPage::AddLabel(int id)
{
    return Named(new QLabel(Caption(id), this), id);
}

QGroupBox* CPropertyPage::AddGroupBox(int id)
{
    return Named(new QGroupBox(Caption(id), this), id);
}

QRadioButton* CPropertyPage::AddRadio(QButtonGroup* group, int id, int value)
{
    auto* radio = Named(new QRadioButton(Caption(id), this), id);
    group->addButton(radio, value);
    return radio;
}

QAbstractButton* CPropertyPage::AddPushButton(int id)
{
    auto* button = Named(new QPushButton(Caption(id), this), id);
    // Enter on a focused page button presses that button (it is the sheet's default while it
    // has the focus) and never the sheet's OK; Enter elsewhere on the page is OK.
    button->setAutoDefault(true);
    return button;
}

QLineEdit* CPropertyPage::AddEdit(int id)
{
    return Named(new QLineEdit(this), id);
}
