#pragma once

#include <array>
#include <cstdint>

// One entry of the jog step selection ("Continue", "x100", "x10", "x1"): how far each key event
// or joystick tick moves, how often a held key repeats, and whether a step waits for the
// previous one to finish.
struct JogStep
{
    int32_t distance;     // micrometres per key event
    int repeatIntervalMs; // key repeat while held; 0: as often as the button allows (10 ms)
    bool waitsForStop;    // true: refused while the axes move; false: sent even while moving
};

// Indexed by CursorType. In "Continue" every repeat sets a target 1 mm beyond wherever the
// tool is, so the axis keeps running while the key is held and stops soon after its release.
inline constexpr std::array<JogStep, 4> kJogSteps{{
    {1000, 100, false}, // Continue
    {1000, 0, true},    // x100
    {100, 150, true},   // x10
    {10, 150, true},    // x1
}};

inline constexpr int kJogStepCount = static_cast<int>(kJogSteps.size());

// The step of a CursorType; a value outside the table is held at its nearer end.
constexpr const JogStep& JogStepOf(int cursorType)
{
    const int index =
        cursorType < 0 ? 0 : (cursorType >= kJogStepCount ? kJogStepCount - 1 : cursorType);
    return kJogSteps[static_cast<size_t>(index)];
}
