#pragma once

#include "NcInterpreter.h"
#include "NcTravel.h"

#include <QString>

class CCutDataFile;
class QWidget;

// The question asked before an NC program that leaves the machine's travel is sent: the file's
// name and, for each axis and side it leaves, by how much.
QString TravelQuestionText(const QString& name, const CNcTravelCheck& check);

// Where an NC-code file's program stands against the machine's travel from the given origins.
CNcTravelCheck CheckFileTravel(const CCutDataFile& file, const CNcReadOptions& options,
                               const CNcOrigins& origins, const NcPoint& travelLow,
                               const NcPoint& travelHigh);

// Asks in the panel message box (Yes / No, exclamation) whether to send a program that leaves
// the travel; true for Yes.
bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent);
