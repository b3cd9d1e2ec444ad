#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcTravel.h"

#include <QString>

class CCutDataFile;
class QWidget;

// The question asked before an NC program that leaves the machine's travel is sent: the file's
// name and, for each axis and side it leaves, by how much.
QString TravelQuestionText(const QString& name, const CNcTravelCheck& check);

// The program of a cutting-data file image (empty for an empty file).
CNcPath ReadFileProgram(const CCutDataFile& file, const CNcReadOptions& options);

// Asks in the panel message box (Yes / No, exclamation) whether to send a program that leaves
// the travel; true for Yes.
bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent);
