#pragma once

#include "NcPath.h"
#include "NcWarning.h"

#include <array>
#include <cstdint>

// How numbers without a decimal point are read (the machine's NC-code setting, byte 2):
// "conventional" numbers count the least increment (0.001 mm or 0.0001 inch for lengths,
// 1 mm/min or 0.01 inch/min for feeds); "calculator" numbers are taken as written.
enum class NcDecimalMode : uint8_t
{
    Conventional = 0,
    CalculatorAll = 1,
    CalculatorFeed = 2,
    CalculatorAxes = 3,
};

struct CNcReadOptions
{
    bool blockSkip = true; // lines that begin with "/" are skipped (the machine's byte 4 = 0)
    NcDecimalMode decimalMode = NcDecimalMode::Conventional;
    std::array<double, 3> start{0, 0, 0}; // where the tool stands when the program begins, mm
};

// What one line leaves behind for the next: the modal state of the program.
struct CNcModalState
{
    std::array<double, 3> position{0, 0, 0}; // mm, in the frame of `system`
    int motion = -1;                         // 0..3 for G0..G3; -1 none (start, G80, cycles)
    NcPlane plane = NcPlane::XY;
    bool absolute = true;
    bool inch = false;
    double feed = 0;       // mm per minute
    int system = -1;       // coordinate-system number (3..8 G54..G59, 10.. P1..); -1 not selected
    bool spindle = false;  // M3 or M4 on, M5 off
    bool reverse = false;  // the last spindle start was M4
    double speed = -1;     // the last S word as written; -1 none yet
    int compensation = 40; // tool-diameter offset mode: 40 off, 41 left, 42 right
    double offset = -1;    // the last D word as written; -1 none yet
    bool cycle = false;    // a canned cycle rules the lines that follow (until G80 or G0..G3)
};

// A move of one line, in mm, in the frame of `system`.
struct CNcMove
{
    NcMotion motion = NcMotion::Rapid;
    NcPlane plane = NcPlane::XY;
    std::array<double, 3> start{};
    std::array<double, 3> end{};
    std::array<double, 3> centre{}; // arcs only
    double feed = 0;                // mm per minute, feed moves and arcs
    int system = -1;
    uint8_t axes = 0;           // the axis words on the line: bit 0 X, bit 1 Y, bit 2 Z
    bool motionWritten = false; // the line names its G0..G3 itself (else it comes from before)
};

struct CNcLineResult
{
    bool moved = false;
    CNcMove move;
    bool warned = false;
    CNcWarning warning;
    // Where the line's content ended: at `end`, or at a line terminator or NUL byte before it.
    const char* stop = nullptr;
};

// Where the line after one that stopped at `stop` (a line's `CNcLineResult::stop`) begins: past
// its CR LF, lone CR or lone LF. nullptr when the program ends there, at `end` or at a NUL byte.
inline const char* NextNcLine(const char* stop, const char* end)
{
    if (stop == end || *stop == '\0')
        return nullptr;
    if (*stop == '\r' && stop + 1 != end && stop[1] == '\n')
        ++stop;
    return stop + 1;
}

// Runs NC code one line at a time against a modal state. A line that holds something it does
// not understand changes nothing and reports a warning, so that what it does report is a path
// the machine would also take. The simulator and the whole-file reader share it.
class CNcInterpreter
{
public:
    explicit CNcInterpreter(const CNcReadOptions& options = {});

    CNcModalState& State() { return m_state; }
    const CNcModalState& State() const { return m_state; }

    // Interprets the line that begins at `begin`; it ends at `end`, or before that at the first
    // CR, LF or NUL byte. `line` is only used for the warning.
    CNcLineResult ReadLine(const char* begin, const char* end, uint64_t line);
    // The same into a result that the caller keeps from line to line (the whole-file reader).
    void ReadLine(const char* begin, const char* end, uint64_t line, CNcLineResult& result);

private:
    // The words of a line whose content ends at `stop`; `terminated`: a stop byte lies there.
    template <bool terminated>
    void ReadWords(const char* p, const char* stop, CNcLineResult& result);

    CNcReadOptions m_options;
    CNcModalState m_state;
};
