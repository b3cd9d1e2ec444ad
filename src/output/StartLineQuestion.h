#pragma once

#include "NcStartLine.h"

#include <QString>

#include <optional>
#include <string_view>

class CCutDataFile;
class QWidget;

// Why a program cannot start at the line chosen, for the user (line numbers from 1);
// `lastLine` is the program's last line index, for a line past its end.
QString StartLineRefusalText(const CNcStartLine& start, uint64_t lastLine);

// The confirmation before a job from a line: the lead-in and the line it joins (its text as
// the program has it, `joinText`).
QString StartLineConfirmText(const CNcStartLine& start, std::string_view joinText);

// Shows the confirmation in the panel message box; true when the user says OK.
bool ConfirmStartLine(const CNcStartLine& start, std::string_view joinText, QWidget* parent);

// Builds the start of a program at a line on a worker thread: the lines before it are read
// once, which takes seconds for a program of millions of lines. Meanwhile the panel goes on
// polling and repainting; after half a second a progress window named after the program appears
// whose Cancel gives up (the result then says Cancelled). `data` must outlive the call.
CNcStartLine BuildStartLineWithProgress(const char* data, uint64_t size,
                                        const CNcReadOptions& options, uint64_t line,
                                        const QString& name, QWidget* parent);

// The whole question for a start at `line` of the program in `file`: builds it with progress,
// shows the reason a line is refused, or the lead-in for the user to confirm. The start when
// the user said OK; nothing when refused, cancelled or declined.
std::optional<CNcStartLine> AskStartLine(const CCutDataFile& file, const CNcReadOptions& options,
                                         uint64_t line, QWidget* parent);
