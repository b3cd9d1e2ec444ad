#pragma once

#include "NcStartLine.h"

#include <QString>

#include <string_view>

class QWidget;

// Why a program cannot start at the line chosen, for the user (line numbers from 1);
// `lastLine` is the program's last line index, for a line past its end.
QString StartLineRefusalText(const CNcStartLine& start, uint64_t lastLine);

// The confirmation before a job from a line: the lead-in and the line it joins (its text as
// the program has it, `joinText`).
QString StartLineConfirmText(const CNcStartLine& start, std::string_view joinText);

// Shows the confirmation in the panel message box; true when the user says OK.
bool ConfirmStartLine(const CNcStartLine& start, std::string_view joinText, QWidget* parent);
