#include "CancelingDataDlg.h"

#include "ModelingMachine.h"

CCancelingDataDlg::CCancelingDataDlg(CModelingMachine* machine, QWidget* parent)
    : CMachineWaitDlg(machine, parent, MessageString, true, true)
{
}

void CCancelingDataDlg::OnTick()
{
    // Failed reads keep the wait going: only a machine that says it is done ends it.
    if (m_machine == nullptr || m_machine->ReadMachineStatus(m_status) < MachineStatus::WordsSize)
        return;
    if (!(m_status.stateWord & StateBit::SkippingData))
        done(0);
}
