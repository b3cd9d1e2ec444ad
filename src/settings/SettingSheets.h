#pragma once

class CPanelAccess;

// The opening sequences of the panel's two sheets. The application calls them from its
// CPanelDialogs, after the panel's own guards.

// The Setup sheet (modeling-machine and correction pages): the spindle stops first; after OK the
// panel takes its unit, keypad direction and command set and the pages write what changed, in a
// fixed order; Cancel sends nothing more.
void RunSetupSheet(CPanelAccess& panel);

// The Maintenance sheet (spindle-time page, and the Confirm page while the machine is ready):
// after the sheet the spindle page commits (OK) or cancels, and the Confirm page stops what it
// still runs.
void RunMaintenanceSheet(CPanelAccess& panel);
