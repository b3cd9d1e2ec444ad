#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"

#include <cstdint>
#include <functional>

// Reads a whole NC program, given as bytes (a cutting-data file's image), into its motions in
// one pass. Lines end as the file images count them: CR LF, a lone CR or a lone LF; a NUL byte
// ends the program with a warning. Segment lines are the line indexes of the image. With
// `progress`, the bytes read so far are published there, and a cancel request ends the read
// early with what was read until then.
CNcPath ReadNcProgram(const char* data, uint64_t size, const CNcReadOptions& options = {},
                      CNcProgress* progress = nullptr);

// A program read a piece at a time: where the reader stands in it, and what it carries from one
// piece to the next.
struct CNcReadCursor
{
    CNcReadCursor(const char* data, uint64_t size, const CNcReadOptions& options = {})
        : interpreter(options), begin(data), p(data), end(data + size), done(size == 0)
    {
    }

    CNcInterpreter interpreter;
    const char* begin; // the program's first byte
    const char* p;     // where the next line begins (where the program ended, once done)
    const char* end;   // the end of the program's bytes
    uint64_t line = 0; // the index of the next line
    double feed = -1;  // the feed and the system of the last move appended
    int system = -1;
    bool done; // the program has ended: its end, a NUL byte, the line limit or a cancel
    CNcLineResult result;
};

// Reads lines from the cursor on, as ReadNcProgram does, appending their moves (with the feed
// and system changes and the arc centres) and warnings to path, until the program ends or,
// with a limit, until the next line begins at or beyond it.
void ReadNcLines(CNcReadCursor& cursor, CNcPath& path, const char* limit = nullptr,
                 CNcProgress* progress = nullptr);

// How a program is cut for reading on several threads.
struct CNcParallelRead
{
    unsigned threads = 0;         // 0: one per processor
    uint64_t pieceBytes = 0;      // 0: one per thread, at least 4 MiB; smaller for the tests
    uint64_t checkpointBytes = 0; // 0: 1 MiB; where a piece can be joined after a wrong start
    uint64_t guessBytes = 0;      // 0: 64 MiB; how far back the lines are read to guess a start
    // Where line `index` (below `lines`) begins, when the caller knows it already (a file
    // image's line index): each piece's first line is then looked up there instead of counting
    // the line breaks before it. The lines must end as the reader ends them.
    std::function<uint64_t(uint64_t index)> lineStart;
    uint64_t lines = 0;
};

// The same result as ReadNcProgram, read on several threads: the program is cut at line starts,
// each piece read from the state its neighbour most likely leaves, and the pieces joined in
// order. Where a piece began from another state than the one the lines before it really leave,
// its lines are read again from the true state until the two agree at one of its checkpoints.
// `progress` counts the bytes read by all threads; a cancel request ends the read early with
// the pieces joined until then.
CNcPath ReadNcProgramParallel(const char* data, uint64_t size, const CNcReadOptions& options = {},
                              CNcProgress* progress = nullptr, const CNcParallelRead& how = {});

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
