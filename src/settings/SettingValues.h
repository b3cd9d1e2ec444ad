#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

// The value rules of the settings pages as pure functions: how the machine's numbers are shown,
// how typed text becomes a number again, and which values are allowed. The pages only move
// values between these functions, the machine and their controls.

// --- numbers as typed and shown ------------------------------------------------------------

// A number typed into an edit box: blanks around it, an optional sign, digits with the C
// locale's decimal point, an optional exponent. The values are the machine's, so the desktop's
// locale plays no part. Nothing when the text is anything else (also infinities and NaN).
std::optional<double> ParseNumber(const QString& text);
// The leading numeric part of a text (blanks, sign, digits, point, exponent), 0 when there is
// none, as the C library's atof reads it.
double LeadingNumber(const QString& text);
// A floating-point value as an edit box shows it: up to 15 significant digits ("%.15g").
QString FormatNumber(double value);
// x rounded half away from zero (x + 0.5 truncated for x >= 0, x - 0.5 truncated below 0),
// held at the ends of the 32-bit range.
int32_t RoundHalfAwayFromZero(double x);

// --- modeling-machine page: the power option -----------------------------------------------

// The firmware's version number: the three characters after the first "V" of its text (the
// first three of the text when there is no "V"), read as a decimal integer from their leading
// part; 0 when they hold no digits.
int FirmwareVersionNumber(const std::string& firmwareText);
// Firmware up to this version has no auto power-off.
constexpr int LastVersionWithoutPowerOff = 110;
bool HasAutoPowerOff(int firmwareVersion);
// The wait-time choices in hours, in list order: "0.5", "1", "2", "3", "4", "5", "6", "12", "24".
QStringList PowerOffChoices();
// The text a wait time in seconds is looked up by: its hours formatted with "%g".
QString PowerOffKey(int32_t seconds);
// The item a combo box's prefix search selects: the first whose text begins with key (case
// insensitive), searching from the second item to the last and then the first; -1 for none.
int FindChoiceByPrefix(const QStringList& items, const QString& key);
// Seconds of a chosen item's text: its leading number times 3600, truncated toward zero.
int32_t PowerOffSecondsOf(const QString& choice);

// --- tool-diameter offsets -------------------------------------------------------------------

// Micrometres as shown: 0.01 mm or 0.0001 inch steps (the quotient rounded as MulDiv does).
double MicrometresToDisplay(int32_t micrometres, bool inch);
// A shown value back in micrometres, rounded half away from zero.
int32_t DisplayToMicrometres(double value, bool inch);
// The largest offset, 10 mm, as shown (10 or 0.3937).
constexpr int32_t MaxToolOffsetMicrometres = 10000;

// --- distance correction ---------------------------------------------------------------------

// Scales are 1,000,000 + the correction in parts per million; 1,000,000 is 100.000 %.
constexpr int32_t NeutralScale = 1000000;
constexpr int32_t MinCorrectionScale = 995000;  // 99.5 %
constexpr int32_t MaxCorrectionScale = 1005000; // 100.5 %
// The bounds as the range message names them (one step below 99.5 and 100.5, "%.15g").
constexpr double MinCorrectionPercent = 99.49999999999999;
constexpr double MaxCorrectionPercent = 100.49999999999999;
bool IsCorrectionInRange(int32_t scale);
// A scale as shown: scale x 9.999999999999999e-05 with "%.3f" (one step below 0.0001, so
// 1,000,005 shows as 100.000 and 1,000,006 as 100.001).
QString FormatCorrectionPercent(int32_t scale);
// A typed percentage as a scale: x 10000, rounded half away from zero.
int32_t CorrectionScaleOf(double percent);

// --- spindle rotation times ------------------------------------------------------------------

// Whole hours and the minutes beyond them of a time in seconds, as unsigned divisions.
uint32_t SpindleHours(uint32_t seconds);
uint32_t SpindleMinutes(uint32_t seconds);
// A count as the time statics show it: "%d " (with the trailing blank).
QString FormatSpindleCount(uint32_t count);
