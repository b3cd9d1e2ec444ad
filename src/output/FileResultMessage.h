#pragma once

#include "FileResult.h"

class QWidget;

// Shows a failed file operation in the message its failure calls for, in a box owned by parent:
// the not-found alarm, the standard file-error message with the errno, or the bad-format
// message. Returns whether the operation succeeded (nothing is shown then).
bool ReportFileResult(QWidget* parent, const CFileResult& result);
