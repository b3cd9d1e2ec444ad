#pragma once

class CPanelAccess;
class QString;

// The dialogs the panel opens but does not own: the Setup and Maintenance sheets and the Cut
// dialog work through the panel (its status cache, wait loops, error latch, coordinate lists),
// so they live in the layers above it. The application hands the panel one object that opens
// them; the panel calls it from its handlers, after its own guards, and never includes the
// layers that implement it.
class CPanelDialogs
{
public:
    virtual ~CPanelDialogs() = default;

    // The Setup button, after the panel's guards (the sheet runs its own opening sequence).
    virtual void RunSetupSheet(CPanelAccess& panel) = 0;
    // The window menu's maintenance item, in a state that allows it.
    virtual void RunMaintenanceSheet(CPanelAccess& panel) = 0;
    // The Cut button, after the panel's guards.
    virtual void RunCutDialog(CPanelAccess& panel) = 0;
    // The window menu's about item, with the firmware text read from the machine.
    virtual void RunAboutBox(CPanelAccess& panel, const QString& firmwareVersion) = 0;
    // The window menu's job item: whether the window of the job Output handed over last is
    // there to be shown again, and showing it. Without one the item is not offered.
    virtual bool HasJobWindow() const { return false; }
    virtual void ShowJobWindow() {}
};
