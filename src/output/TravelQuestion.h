#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcTravel.h"

#include <QString>

class CCutDataFile;
class CMachineStatusDlg;
class CModelingMachine;
class QByteArray;
class QWidget;

// The question asked before an NC program that leaves the machine's travel is sent: the file's
// name and, for each axis and side it leaves, by how much.
QString TravelQuestionText(const QString& name, const CNcTravelCheck& check);

// The program of a cutting-data file image (empty for an empty file).
CNcPath ReadFileProgram(const CCutDataFile& file, const CNcReadOptions& options);

// Asks in the panel message box (Yes / No, exclamation) whether to send a program that leaves
// the travel; true for Yes.
bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent);

enum class TravelAnswer
{
    Send, // it fits, the user said Yes, it is no NC code, or the machine cannot tell its travel
    Skip, // the user said No: this file is not sent, the job goes on
    Stop, // the file could not be loaded (the user has been told): the job ends here
};

// Before the output job sends a file: an NC-code file whose program leaves the machine's travel
// from the panel's current origin (the machine's zero without a panel) is sent only when the
// user agrees. ZML-1 files are sent as they are.
TravelAnswer ConfirmTravelBeforeOutput(const QByteArray& path, CModelingMachine& machine,
                                       CMachineStatusDlg* panel, QWidget* parent);
// The same for a file already in memory (the test cut's files): Send or Skip.
TravelAnswer ConfirmTravel(const CCutDataFile& file, CModelingMachine& machine,
                           CMachineStatusDlg* panel, QWidget* parent);
