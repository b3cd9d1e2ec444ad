#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;

// Lets the user choose one of several machines at start-up. The names are shown sorted in a
// drop-down list with the first one selected; OK stores the selected name, Cancel leaves it
// empty.
class CMachineSelectDlg : public QDialog
{
    Q_OBJECT

public:
    // Control ids of template 135.
    static constexpr int TemplateId = 135;
    static constexpr int MachineListId = 1065;
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    explicit CMachineSelectDlg(const QStringList& machineNames, QWidget* parent = nullptr);

    // The name chosen with OK; empty after Cancel or before the dialog ran.
    const QString& GetSelectedName() const { return m_selectedName; }

    // The order of the drop-down list: alphabetical without regard to case, names that differ
    // only in case in code-point order so that the order never depends on the input order.
    static QStringList SortedNames(const QStringList& names);

public slots:
    void accept() override;
    void reject() override;

private:
    QComboBox* m_machineList;
    QString m_selectedName;
};
