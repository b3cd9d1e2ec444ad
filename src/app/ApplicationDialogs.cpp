#include "ApplicationDialogs.h"

#include "AboutDlg.h"
#include "ControlPanelDlg.h"

// The sheets and the Cut dialog open nothing until the settings and output layers provide them.
void CApplicationDialogs::RunSetupSheet(CControlPanelDlg&) {}

void CApplicationDialogs::RunMaintenanceSheet(CControlPanelDlg&) {}

void CApplicationDialogs::RunCutDialog(CControlPanelDlg&) {}

void CApplicationDialogs::RunAboutBox(CControlPanelDlg& panel, const QString& firmwareVersion)
{
    CAboutDlg about(firmwareVersion, &panel);
    about.exec();
}
