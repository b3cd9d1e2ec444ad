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
// 32-bit range before they get here, but points derived from them (the centre of an arc with a
// huge radius) are not: those saturate instead of overflowing the conversion; NaN gives 0.
inline int32_t ToMicrometres(double mm)
{
    const double units = mm * 1000.0;
    const double rounded = units < 0 ? units - 0.5 : units + 0.5;
    if (rounded >= -2147483648.0 && rounded <= 2147483647.0) [[likely]]
        return int32_t(rounded);
    return rounded > 0 ? INT32_MAX : rounded < 0 ? INT32_MIN : 0;
}
