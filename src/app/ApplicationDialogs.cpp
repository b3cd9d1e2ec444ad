#include "ApplicationDialogs.h"

#include "AboutDlg.h"
#include "ControlPanelDlg.h"
#include "CutDlg.h"
#include "SettingSheets.h"

void CApplicationDialogs::RunSetupSheet(CControlPanelDlg& panel)
{
    ::RunSetupSheet(panel);
}

void CApplicationDialogs::RunMaintenanceSheet(CControlPanelDlg& panel)
{
    ::RunMaintenanceSheet(panel);
}

void CApplicationDialogs::RunCutDialog(CControlPanelDlg& panel)
{
    ::RunCutDialog(panel);
}

void CApplicationDialogs::RunAboutBox(CControlPanelDlg& panel, const QString& firmwareVersion)
{
    CAboutDlg about(firmwareVersion, &panel);
    about.exec();
}
