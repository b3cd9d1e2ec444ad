#pragma once

#include <QWidget>

class CDataExchange;
class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// One page of a CSettingSheet. A page holds values only: the opener fills them before the
// sheet runs and reads them back after OK. The sheet creates the page's content the first time
// the page becomes active (OnInitDialog, which shows the values), tells it when it becomes
// active again (OnSetActive, which shows them again), asks it before it is left (OnKillActive,
// which takes the values from the controls and may refuse) and before the sheet is cancelled
// (OnQueryCancel).
//
// Every control carries its id as its object name ("1052"), so that tests and the page itself
// find it with GetControl(id).
class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyPage(int templateId, QWidget* parent = nullptr);

    int GetTemplateId() const { return m_templateId; }
    // The tab's caption: the template's title.
    QString GetTabCaption() const;
    bool IsCreated() const { return m_created; }
    QWidget* GetControl(int id) const;

    // --- what the sheet calls -----------------------------------------------------------
    // The page becomes the active one: OnInitDialog the first time, then always OnSetActive.
    void Activate();
    // The page is about to be left (another tab, or OK): false keeps it.
    virtual bool OnKillActive();
    // The sheet is about to be cancelled: false keeps it open.
    virtual bool OnQueryCancel();

    // Runs the data exchange; false when a value was refused (the user has been told).
    bool UpdateData(bool saveAndValidate);

protected:
    // Shows the values; true.
    virtual bool OnInitDialog();
    // Shows the values again (not on the first activation, which OnInitDialog has done).
    virtual bool OnSetActive();
    virtual void DoDataExchange(CDataExchange& dx);

    // --- building the content -------------------------------------------------------------
    // A static with the template's caption of control id (labels without an id of their own
    // have negative ids in the template).
    QLabel* AddLabel(int id);
    QGroupBox* AddGroupBox(int id);
    QRadioButton* AddRadio(QButtonGroup* group, int id, int value);
    QAbstractButton* AddPushButton(int id);
    QLineEdit* AddEdit(int id);
    QString Caption(int id) const;

private:
    template <class Control> Control* Named(Control* control, int id);

    const int m_templateId;
    bool m_created = false;
    bool m_firstSetActive = true;
};
