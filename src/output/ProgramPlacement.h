#pragma once

#include "MachineStatus.h"
#include "NcInterpreter.h"
#include "NcTravel.h"

class CPanelAccess;
struct CNcPath;

// How the machine reads NC code, from its settings block: optional block skip (byte 4, 0 =
// enabled) and the reading of numbers without a decimal point (byte 2).
CNcReadOptions ReadOptionsFrom(const MachineSettings& settings);

// Rapid speed of the machine for the run-time estimate, mm per minute, from the panel's
// settings ("RapidSpeed"); the default fits the machine when nobody has set it.
double StoredRapidSpeed();

// Where a program stands on the machine: the origin the panel shows for segments before the
// program selects a coordinate system, and the origin of every system the program selects, read
// through the panel (a system whose origin cannot be read is placed by the shown origin).
CNcOrigins OriginsFor(const CNcPath& path, CPanelAccess& panel);
