#pragma once

#include "PanelDialogs.h"

// The dialogs the application opens for the panel: the settings sheets, the Cut dialog and the
// about box. This is where the panel meets the layers above it; the panel knows only
// CPanelDialogs.
class CApplicationDialogs : public CPanelDialogs
{
public:
    void RunSetupSheet(CPanelAccess& panel) override;
    void RunMaintenanceSheet(CPanelAccess& panel) override;
    void RunCutDialog(CPanelAccess& panel) override;
    void RunAboutBox(CPanelAccess& panel, const QString& firmwareVersion) override;
    bool HasJobWindow() const override;
    void ShowJobWindow() override;
};
