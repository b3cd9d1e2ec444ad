#pragma once

#include "MachineStatus.h"
#include "MachineWaitDlg.h"

// Shown while the machine initialises; closes with 0 as soon as the machine reports a state
// beyond initialisation or stops answering. Enter and Escape do nothing.
class CWaitSetupDlg : public CMachineWaitDlg
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 131;
    static constexpr int MessageString = 21049;

    explicit CWaitSetupDlg(CModelingMachine* machine, QWidget* parent = nullptr);

protected:
    void OnTick() override;

private:
    MachineStatus m_status;
};
