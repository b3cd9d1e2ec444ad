#pragma once

#include <QString>

// The texts of the machine's alarms, built from the string table. Each ends with the error line
// "(Error : %03d)" that carries a fixed number per alarm, so that a user can quote it.

namespace ConnectionErrorKind {
constexpr int NoMachine = 1;  // start-up found no machine
constexpr int NoResponse = 2; // the machine stopped answering
constexpr int NotFound = 3;   // a named machine was not found
} // namespace ConnectionErrorKind

namespace CommandErrorKind {
constexpr int NotPaused = 2; // the error came without a job being paused for it
constexpr int Paused = 3;    // the machine paused a running job for the error
} // namespace CommandErrorKind

// The command-error code of the spindle overload; while it is pending the keypad does not jog.
constexpr int SpindleOverloadError = 153;

// The message and the error line, joined by the template "%s\n(Error : %03d)".
QString FormatErrorLine(const QString& message, int number);

QString FormatConnectionError(int kind, const QString& name);
// code: the emergency-stop code, word 1 of GetFatalError.
QString FormatEmergencyStop(int code);
// code: the reply of GetCommandError. A kind other than NotPaused and Paused gives an empty
// message with the code itself as the number.
QString FormatCommandError(int code, int kind);
