#include "ApplicationDialogs.h"

#include "AboutDlg.h"
#include "ControlPanelDlg.h"
#include "CutDlg.h"

// The sheets open nothing until the settings layer provides them.
void CApplicationDialogs::RunSetupSheet(CControlPanelDlg&) {}

void CApplicationDialogs::RunMaintenanceSheet(CControlPanelDlg&) {}

void CApplicationDialogs::RunCutDialog(CControlPanelDlg& panel)
{
    ::RunCutDialog(panel);
}

void CApplicationDialogs::RunAboutBox(CControlPanelDlg& panel, const QString& firmwareVersion)
{
    CAboutDlg about(firmwareVersion, &panel);
    about.exec();
}
