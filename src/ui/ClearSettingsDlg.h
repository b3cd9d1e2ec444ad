#pragma once

#include "MachineWaitDlg.h"

// Shown while the machine clears its settings; closes with 0 once the command status answers
// and no longer shows the executing bit. Enter and Escape do nothing.
class CClearSettingsDlg : public CMachineWaitDlg
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 156;
    static constexpr int MessageString = 21008;

    explicit CClearSettingsDlg(CModelingMachine* machine, QWidget* parent = nullptr);

protected:
    void OnTick() override;
};
