#include "SettingSheets.h"

#include "ConfirmPage.h"
#include "CorrectionSettingPage.h"
#include "ModelingMachine.h"
#include "ModelingMachineSettingPage.h"
#include "PanelAccess.h"
#include "SettingSheet.h"
#include "SpindleTimePage.h"
#include "StringIds.h"

#include <optional>

void RunSetupSheet(CPanelAccess& panel)
{
    CModelingMachine* machine = panel.GetMachine();
    machine->SetSpindleRotation(0);

    // The pages are declared after the sheet, so that they go before it.
    CSettingSheet sheet(Str::SetupSheet, panel.Window());
    CModelingMachineSettingPage modeling;
    CCorrectionSettingPage correction;
    sheet.AddPage(&modeling);
    sheet.AddPage(&correction);
    modeling.SetUnit(panel.IsMetric() ? 0 : 1);
    modeling.SetCursorYDir(panel.IsCursorYDir() ? 1 : 0);
    modeling.SetMachine(machine);
    modeling.LoadFromMachine();
    correction.SetMachine(machine);
    correction.LoadFromMachine();
    if (sheet.exec() != QDialog::Accepted)
        return;

    panel.SetUnit(modeling.GetUnit() == 0);
    panel.SetCursorYDir(modeling.GetCursorYDir() != 0);
    panel.Window()->update();
    modeling.SaveToMachine();
    panel.SetCommandSet(modeling.GetCommandSet());
    panel.RefreshCommandSet();
    correction.SaveToMachine();
}

void RunMaintenanceSheet(CPanelAccess& panel)
{
    // The panel opens the sheet only when the machine allows it; the Confirm page's functions
    // need a ready machine.
    const bool ready = panel.GetStatus().State() == MachineState::Ready;
    CSettingSheet sheet(Str::Maintenance, panel.Window());
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
