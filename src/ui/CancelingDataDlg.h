#pragma once

#include "MachineStatus.h"
#include "MachineWaitDlg.h"

// Shown while the machine skips the rest of a quit job; closes with 0 once the skipping bit
// (0x200) clears. Escape ends the wait early with 2 (cancelled).
class CCancelingDataDlg : public CMachineWaitDlg
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 134;
    static constexpr int MessageString = 21073;

    explicit CCancelingDataDlg(CModelingMachine* machine, QWidget* parent = nullptr);

protected:
    void OnTick() override;
    bool EscapeCancels() const override { return true; }

private:
    MachineStatus m_status;
};
