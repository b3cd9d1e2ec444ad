#include "MachineSelectDlg.h"

#include "StringTable.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CMachineSelectDlg::CMachineSelectDlg(const QStringList& machineNames, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadCaption(TemplateId, 0));

    m_machineList = new QComboBox(this);
    m_machineList->setObjectName(QString::number(MachineListId));
    m_machineList->setEditable(false);
    m_machineList->addItems(SortedNames(machineNames));
    m_machineList->setCurrentIndex(m_machineList->count() > 0 ? 0 : -1);
    m_machineList->setMinimumContentsLength(24);
    m_machineList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* ok = new QPushButton(LoadCaption(TemplateId, OkId), this);
    ok->setObjectName(QString::number(OkId));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CMachineSelectDlg::accept);
    auto* cancel = new QPushButton(LoadCaption(TemplateId, CancelId), this);
    cancel->setObjectName(QString::number(CancelId));
    connect(cancel, &QPushButton::clicked, this, &CMachineSelectDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_machineList);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QStringList CMachineSelectDlg::SortedNames(const QStringList& names)
{
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return sorted;
}

void CMachineSelectDlg::accept()
{
    if (m_machineList->currentIndex() >= 0)
        m_selectedName = m_machineList->currentText();
    QDialog::accept();
}

void CMachineSelectDlg::reject()
{
    m_selectedName.clear();
    QDialog::reject();
}
