#pragma once

#include "PropertyPage.h"

#include <cstdint>

class CModelingMachine;
class QButtonGroup;

// The first page of the Maintenance sheet: the total rotation time of spindle units No.1 to
// No.8 in hours and minutes, the choice of the fitted unit, and the reset of the chosen unit's
// time. While the sheet is open every choice and every refresh selects units on the machine
// with keep 0; only Commit (after OK) makes the choice permanent (keep 1), and Cancel selects
// the unit read at the start again.
class CSpindleTimePage : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 153;
    static constexpr int Units = 8;
    static constexpr int FirstRadio = 1118;   // No.1 .. No.8: 1117 + unit
    static constexpr int FirstHours = 1129;   // 1128 + unit
    static constexpr int FirstMinutes = 1139; // 1138 + unit
    static constexpr int Reset = 1058;

    CSpindleTimePage();

    void SetMachine(CModelingMachine* machine) { m_machine = machine; }
    // After OK: the selected unit becomes the fitted one.
    void Commit();
    // After any other end: the unit read at the start is selected again.
    void Cancel();

    int GetInitialUnit() const { return m_initialUnit; }
    int GetSelectedUnit() const { return m_selectedUnit; }

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;

private:
    void RefreshTimes();
    void OnUnitClicked(int unit);
    void OnReset();
    // Sends a selection; units outside 1..8 (a failed read) are never sent.
    void SelectUnit(int unit, bool keep);

    CModelingMachine* m_machine = nullptr; // not owned
    int32_t m_initialUnit = 1;
    int32_t m_selectedUnit = 1;
    QButtonGroup* m_units;
};
