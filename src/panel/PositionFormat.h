#pragma once

#include <QString>

#include <cstdint>

// The read-outs of the panel as text: positions in millimetres or inches, the spindle speed, the
// cutting-speed override and the command-set text, each with the placeholder shown while there
// is nothing to show.

// Machine length units (0.001 mm) per displayed unit, as the single-precision constants the
// read-out has always used. The product with the position is formed in double precision, so the
// factor's own rounding shows: -5 units give -0.0050000002 mm, which rounds to "-0.01".
constexpr float MillimetresPerUnit = 0.001f;
constexpr float InchesPerUnit = 0.000039370083f;

// "%.2f" of the millimetres or "%.3f" of the inches.
QString FormatPosition(int32_t units, bool metric);
// "---.--" (mm) or "--.---" (inch).
QString PositionPlaceholder(bool metric);
// "mm" or "inch".
QString UnitLabel(bool metric);

// "%d" of the speed while connected, else "----".
QString FormatSpindleSpeed(bool connected, int32_t value);
// "%d" of the percent while connected and above 0, else "---".
QString FormatOverride(bool connected, int percent);

// "ZML-1" (set 0) or "NC Code" (set 1) while connected; "ZML-1/NC Code" otherwise.
QString CommandSetText(bool connected, int commandSet);
