#pragma once

class CModelingMachine;

// The panel program as main runs it: the Qt application, the command line, the start-up on
// the real machine links and the real panel. Returns the process's exit code.
int RunPanelProgram(int argc, char** argv);

// Runs the control panel on machine until the user closes it.
void RunControlPanel(CModelingMachine& machine);
