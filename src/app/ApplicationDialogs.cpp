#include "ApplicationDialogs.h"

#include "AboutDlg.h"
#include "CutDlg.h"
#include "JobDlg.h"
#include "PanelAccess.h"
#include "SettingSheets.h"

void CApplicationDialogs::RunSetupSheet(CPanelAccess& panel)
{
    ::RunSetupSheet(panel);
}

void CApplicationDialogs::RunMaintenanceSheet(CPanelAccess& panel)
{
    ::RunMaintenanceSheet(panel);
}

void CApplicationDialogs::RunCutDialog(CPanelAccess& panel)
{
    ::RunCutDialog(panel);
}

void CApplicationDialogs::RunAboutBox(CPanelAccess& panel, const QString& firmwareVersion)
{
    CAboutDlg about(firmwareVersion, panel.Window());
    about.exec();
}

bool CApplicationDialogs::HasJobWindow() const
{
    return CJobDlg::Current() != nullptr;
}

void CApplicationDialogs::ShowJobWindow()
{
    if (CJobDlg* window = CJobDlg::Current())
        window->ShowAgain();
}
