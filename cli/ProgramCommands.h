#pragma once

class CModelingMachine;

// The commands that look at an NC program without driving the machine: `check` and `simulate`.
// They use the NC path library and the standard library only, so they run without a display.

// zr40ctl check FILE [--calculator]: extents, the travel check against `machine` (none: not
// checked), run time and the reader's warnings. argv[0] is the command. Returns the exit status.
int CheckProgram(int argc, char** argv, CModelingMachine* machine);

// zr40ctl simulate FILE --tool flat|ball --diameter MM [--resolution MM] [--stock-top MM]
// [--max-depth MM] [--calculator] --out PART(.pgm|.stl). Returns the exit status.
int SimulateProgram(int argc, char** argv);
