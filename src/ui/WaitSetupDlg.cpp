#include "WaitSetupDlg.h"

#include "ModelingMachine.h"

CWaitSetupDlg::CWaitSetupDlg(CModelingMachine* machine, QWidget* parent)
    : CMachineWaitDlg(machine, parent, MessageString, true, false)
{
}

void CWaitSetupDlg::OnTick()
{
    // A read of fewer than 8 bytes leaves the state word at -1, whose state bits (7) end the
    // wait: a machine that does not answer is not initialising any more.
    if (m_machine == nullptr || m_machine->ReadMachineStatus(m_status) < MachineStatus::WordsSize)
        m_status.stateWord = 0xFFFFFFFFu;
    if (m_status.State() > MachineState::Initialising1)
        done(0);
}
