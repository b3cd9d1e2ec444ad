// The panel's operation handlers: jog keypad, move and origin buttons, spindle, cutting speed,
// pause and quit, joystick, and the window-menu dialogs. Each is reached from its control
// (CControlPanelDlg::OnButtonCommand, the radio groups, the up-down arrows, the window menu);
// the ones still empty here do nothing yet, and their controls are enabled and disabled by the
// state handling all the same.

#include "ControlPanelDlg.h"

void CControlPanelDlg::OnJogKey(int) {}
void CControlPanelDlg::OnMoveZ() {}
void CControlPanelDlg::OnMoveXY() {}
void CControlPanelDlg::OnMoveView() {}
void CControlPanelDlg::OnStop() {}
void CControlPanelDlg::OnSetOriginXY() {}
void CControlPanelDlg::OnSetOriginZ() {}

void CControlPanelDlg::OnSpindleOn() {}
void CControlPanelDlg::OnSpindleOff() {}
void CControlPanelDlg::OnSpeedAuto() {}
void CControlPanelDlg::OnSpeedManual() {}
void CControlPanelDlg::OnOverrideStep(int) {}
void CControlPanelDlg::OnPause() {}
void CControlPanelDlg::OnCancelJob() {}

void CControlPanelDlg::CaptureJoystick() {}
void CControlPanelDlg::ReleaseJoystick() {}

void CControlPanelDlg::ShowAboutBox(const QString&) {}
void CControlPanelDlg::OpenMaintenanceSheet() {}
