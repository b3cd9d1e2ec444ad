#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"

#include <cstdint>

// Reads a whole NC program, given as bytes (a cutting-data file's image), into its motions in
// one pass. Lines end as the file images count them: CR LF, a lone CR or a lone LF; a NUL byte
// ends the program with a warning. Segment lines are the line indexes of the image. With
// `progress`, the bytes read so far are published there, and a cancel request ends the read
// early with what was read until then.
CNcPath ReadNcProgram(const char* data, uint64_t size, const CNcReadOptions& options = {},
                      CNcProgress* progress = nullptr);

// Micrometres of a length in mm, rounded to the nearest. Positions are checked against the
// 32-bit range before they get here.
inline int32_t ToMicrometres(double mm)
{
    const double units = mm * 1000.0;
    return int32_t(units < 0 ? units - 0.5 : units + 0.5);
}
