#include "SettingSheets.h"

#include "ConfirmPage.h"
#include "ControlPanelDlg.h"
#include "CorrectionSettingPage.h"
#include "ModelingMachine.h"
#include "ModelingMachineSettingPage.h"
#include "SettingSheet.h"
#include "SpindleTimePage.h"
#include "StringIds.h"

#include <optional>

void RunSetupSheet(CControlPanelDlg& panel)
{
    CModelingMachine* machine = panel.GetMachine();
    machine->SetSpindleRotation(0);

    // The pages are declared after the sheet, so that they go before it.
    CSettingSheet sheet(Str::SetupSheet, &panel);
    CModelingMachineSettingPage modeling;
    CCorrectionSettingPage correction;
    sheet.AddPage(&modeling);
    sheet.AddPage(&correction);
    modeling.SetUnit(panel.Metric ? 0 : 1);
    modeling.SetCursorYDir(panel.CursorYDir ? 1 : 0);
    modeling.SetMachine(machine);
    modeling.LoadFromMachine();
    correction.SetMachine(machine);
    correction.LoadFromMachine();
    if (sheet.exec() != QDialog::Accepted)
        return;

    panel.SetUnit(modeling.GetUnit() == 0);
    panel.SetCursorYDir(modeling.GetCursorYDir() != 0);
    panel.update();
    modeling.SaveToMachine();
    panel.SetCommandSet(modeling.GetCommandSet());
    panel.RefreshCommandSet();
    correction.SaveToMachine();
}

void RunMaintenanceSheet(CControlPanelDlg& panel)
{
    // The panel opens the sheet only when the machine allows it; the Confirm page's functions
    // need a ready machine.
    const bool ready = panel.GetStatus().State() == MachineState::Ready;
    CSettingSheet sheet(Str::Maintenance, &panel);
    CSpindleTimePage spindle;
    std::optional<CConfirmPage> confirm;
    sheet.AddPage(&spindle);
    if (ready) {
        confirm.emplace();
        sheet.AddPage(&*confirm);
    }
    spindle.SetMachine(panel.GetMachine());
    if (confirm)
        confirm->SetPanel(&panel);

    if (sheet.exec() == QDialog::Accepted)
        spindle.Commit();
    else
        spindle.Cancel();
    if (confirm)
        confirm->StopAll();
}
