#pragma once

#include "MachineStatus.h"

#include <array>
#include <cstdint>

// Pure joystick arithmetic shared by the joystick device and the panel's joystick jog: what a
// reading means (direction code, Z button, button bits) and the relative move it asks for.

// What the joystick service reports about a device. X and Y readings run from the minimum to
// the maximum; the panel only recognises the two extremes, by equality.
struct JoystickCaps
{
    int xMin = 0;
    int xMax = 0;
    int yMin = 0; // "up"
    int yMax = 0; // "down"
    int numAxes = 0;
    int numButtons = 0;
    int periodMin = 0; // shortest polling period a capture accepts, ms
    int periodMax = 0; // longest polling period a capture accepts, ms
};

// Direction codes of the stick. -1 is centred; 0..7 as laid out below (x across, y down).
//            y min (up)   y between   y max (down)
//   x min        0            3            5
//   between      1           -1            6
//   x max        2            4            7
inline constexpr int kJoyCentred = -1;

// Z jog requested by the buttons: none, up (button 2 alone), down (button 3 alone).
inline constexpr int kJoyZNone = 0;
inline constexpr int kJoyZUp = 1;
inline constexpr int kJoyZDown = 2;

// Button n (1-based) is bit n-1 in a reading; button 5 is the step-size button.
constexpr uint32_t JoyButtonBit(int button)
{
    return uint32_t{1} << (button - 1);
}
inline constexpr uint32_t kJoyStepButton = JoyButtonBit(5); // 0x10

// Button event state word: the buttons now down in the low byte, the buttons that changed in
// the byte above (0x100 << n-1 for button n). Button 2 alone going down gives 0x202.
constexpr uint32_t JoyButtonState(uint32_t down, uint32_t changed)
{
    return (down & 0xFFu) | ((changed & 0xFFu) << 8);
}

namespace joystick_detail {
// [column by x][row by y]; see the table above.
inline constexpr std::array<std::array<int, 3>, 3> kDirectionCodes{{
    {0, 3, 5},
    {1, kJoyCentred, 6},
    {2, 4, 7},
}};

constexpr int Band(int reading, int minimum, int maximum)
{
    if (reading == minimum)
        return 0;
    if (reading == maximum)
        return 2;
    return 1;
}
} // namespace joystick_detail

// Direction code of a reading: only the exact extremes count; anything between is centred on
// that axis, so a stick resting a count short of the maximum does not jog.
constexpr int JoyDirection(int x, int y, const JoystickCaps& caps)
{
    using namespace joystick_detail;
    return kDirectionCodes[Band(x, caps.xMin, caps.xMax)][Band(y, caps.yMin, caps.yMax)];
}

// Z jog of a button-down state word: only button 2 or button 3 going down alone asks for Z;
// button 4 and every combination ask for nothing.
constexpr int JoyZFromButtonDown(uint32_t state)
{
    if (state == JoyButtonState(JoyButtonBit(2), JoyButtonBit(2)))
        return kJoyZUp;
    if (state == JoyButtonState(JoyButtonBit(3), JoyButtonBit(3)))
        return kJoyZDown;
    return kJoyZNone;
}

// Relative move of a joystick jog with step distance `distance`. Left is -X, right +X. Up is +Y
// when the cutter is moved (cursorYDir true) and -Y when the table is moved; down the opposite.
// Z up is +Z, Z down -Z.
constexpr AxisTriple JoyVector(int direction, int z, int32_t distance, bool cursorYDir)
{
    const bool left = direction == 0 || direction == 3 || direction == 5;
    const bool right = direction == 2 || direction == 4 || direction == 7;
    const bool up = direction == 0 || direction == 1 || direction == 2;
    const bool down = direction == 5 || direction == 6 || direction == 7;
    const int32_t upY = cursorYDir ? distance : -distance;

    AxisTriple vector{0, 0, 0};
    vector[0] = left ? -distance : (right ? distance : 0);
    vector[1] = up ? upY : (down ? -upY : 0);
    vector[2] = z == kJoyZUp ? distance : (z == kJoyZDown ? -distance : 0);
    return vector;
}
