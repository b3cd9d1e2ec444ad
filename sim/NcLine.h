#pragma once

#include <array>
#include <optional>
#include <string_view>

// The words of one NC line that the simulated machine acts on; a word the line does not hold
// stays empty. Comments in parentheses and everything after a semicolon are ignored, letters
// may be lower case and blanks may stand anywhere.
struct NcLineWords
{
    std::optional<int> motion;                   // 0..3 from G0..G3
    std::optional<bool> incremental;             // G91 true, G90 false
    std::optional<bool> inches;                  // G20 true, G21 false
    std::optional<int> workSystem;               // 0..5 from G54..G59
    std::optional<bool> spindle;                 // M3 / M4 on, M5 off
    std::array<std::optional<double>, 3> axes;   // X, Y, Z
    std::array<std::optional<double>, 2> centre; // I, J: arc centre relative to the start
    std::optional<double> radius;                // R: arc radius (negative: the longer arc)
    std::optional<double> feed;                  // F, per minute in the line's unit

    bool HasAxes() const { return axes[0] || axes[1] || axes[2]; }
};

NcLineWords ParseNcLine(std::string_view line);

// The centre of an arc in the XY plane from start to end (micrometres): from the centre words
// (I, J relative to the start, already in micrometres) or from the radius. None when the words
// describe no arc (no centre words and no radius, or a radius too short for the chord).
std::optional<std::array<double, 2>> ArcCentre(const std::array<double, 2>& start,
                                               const std::array<double, 2>& end,
                                               const std::array<std::optional<double>, 2>& offset,
                                               std::optional<double> radius, bool clockwise);
