#pragma once

#include <QString>

class QButtonGroup;
class QLineEdit;
class QWidget;

// One run of a page's data exchange: into the controls (load) or out of them (save, with
// validation). The first failure ends it: the control that failed takes the focus (an edit box
// with its text selected), the user has been told why, and the rest of the exchange is skipped.
class CDataExchange
{
public:
    CDataExchange(QWidget* page, bool saveAndValidate) : m_page(page), m_save(saveAndValidate) {}

    bool IsSaving() const { return m_save; }
    bool Failed() const { return m_failed; }
    // True while the exchange still runs.
    bool Continues() const { return !m_failed; }
    QWidget* GetPage() const { return m_page; }

    // Ends the exchange at control, which takes the focus.
    void Fail(QWidget* control);

private:
    QWidget* m_page;
    bool m_save;
    bool m_failed = false;
};

// A radio group whose buttons carry the ids 0, 1, 2, ...: checks the button of value (none for
// a value that has no button), or reads the checked one's id; while none is checked the value
// is kept as it is.
void ExchangeRadio(CDataExchange& dx, QButtonGroup* group, int& value);

// A floating-point edit box: shows value with up to 15 significant digits; reads a number in
// the C locale's notation, and for any other text shows "Please enter a number." and fails.
void ExchangeNumber(CDataExchange& dx, QLineEdit* edit, double& value);

// When saving: fails with the range message "Please enter a number between %1 and %2." (the
// bounds with up to 15 significant digits) unless min <= value <= max.
void CheckRange(CDataExchange& dx, QLineEdit* edit, double value, double min, double max);

// Shows the range message for these bounds and fails at edit.
void FailRange(CDataExchange& dx, QLineEdit* edit, double min, double max);
