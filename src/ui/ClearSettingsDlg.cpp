#include "ClearSettingsDlg.h"

#include "ModelingMachine.h"

CClearSettingsDlg::CClearSettingsDlg(CModelingMachine* machine, QWidget* parent)
    : CMachineWaitDlg(machine, parent, MessageString, false, true)
{
}

void CClearSettingsDlg::OnTick()
{
    if (m_machine == nullptr)
        return;
    // The first read tells whether the machine answers at all, the second whether it still
    // executes; a failed second read carries every bit and so keeps the wait.
    const CommandStatus first = m_machine->GetCommandStatus();
    const CommandStatus second = m_machine->GetCommandStatus();
    if (first.IsValid() && !(second.word1 & CommandStatus::Executing))
        done(0);
}
