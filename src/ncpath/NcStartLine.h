#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Why a program cannot be started from a line.
enum class NcStartRefusal : uint8_t
{
    None,
    PastEnd,      // the program has no such line
    InsideArc,    // the line continues arcs whose motion an earlier line named
    InsideCycle,  // a canned cycle rules the line: where its moves begin is the cycle's matter
    UnknownStart, // a line before it was not understood: where the tool stands is not known
    Cancelled,    // the user gave up while the lines before it were read
};

// A job that starts a program at one of its lines: the lead-in that rebuilds the state the
// lines before it leave and brings the tool there safely, and where the program's own bytes
// take over.
struct CNcStartLine
{
    NcStartRefusal refusal = NcStartRefusal::None;
    uint64_t cause = 0; // refused: the line index the refusal is about (the arc's, the cycle's)

    uint64_t line = 0;       // the line the program joins at (index, 0 for the first)
    uint64_t joinOffset = 0; // its first byte in the program
    std::string leadIn;      // lines of NC code, each ending in LF, the first one "%"
    CNcModalState state;     // the state the lines before it leave (position: the join point)
    double safeZ = 0;        // mm, in the frame of the state's coordinate system

    bool Ok() const { return refusal == NcStartRefusal::None; }
};

// Builds the start of the program `data` (size bytes) at line index `line`. The lead-in sets
// the modal state the lines before it leave (units, plane, coordinate system, feed, spindle
// speed and direction, tool-diameter offset mode), runs the spindle as the program had it,
// rises to a safe height (`topZ`, mm in the program's frame, when given, else the highest Z the
// program reached before the line), travels rapidly to the line's start in XY, goes down to its
// Z at the program's feed, and then restores the distance mode and the motion in force. Every
// number is written with a decimal point, so that it means the same in every decimal mode.
// `progress` counts the bytes read; a cancel request ends it with NcStartRefusal::Cancelled.
CNcStartLine BuildNcStartLine(const char* data, uint64_t size, const CNcReadOptions& options,
                              uint64_t line, std::optional<double> topZ = std::nullopt,
                              CNcProgress* progress = nullptr);

// The program's bytes from the joined line to its end, which follow the lead-in unchanged.
std::string_view NcStartLineRest(const CNcStartLine& start, const char* data, uint64_t size);
