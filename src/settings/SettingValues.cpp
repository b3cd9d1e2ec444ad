#include "SettingValues.h"

#include "ModelingMachine.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The text without the blanks before it, as UTF-8; characters outside ASCII end a number.
std::string AfterBlanks(const QString& text)
{
    int first = 0;
    while (first < text.size() && text.at(first).isSpace())
        ++first;
    return text.mid(first).toStdString();
}

// The longest number at the start of s (an optional sign, then what from_chars takes); the
// characters used, 0 when there is no number.
size_t ReadLeadingDouble(const std::string& s, double& value)
{
    size_t at = 0;
    bool negative = false;
    if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
        negative = s[at] == '-';
        ++at;
    }
    // Only digits and a point may start the number: from_chars would also take "inf" and "nan".
    if (at >= s.size() || !(std::isdigit(static_cast<unsigned char>(s[at])) || s[at] == '.'))
        return 0;
    double magnitude = 0;
    const auto [end, error] =
        std::from_chars(s.data() + at, s.data() + s.size(), magnitude, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small for a double: infinity or 0, as the C library reads it.
        const std::string used(s.data() + at, end);
        const size_t exponent = used.find_first_of("eE");
        const bool tiny = exponent != std::string::npos && exponent + 1 < used.size() &&
                          used[exponent + 1] == '-';
        magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (error != std::errc()) {
        return 0;
    }
    value = negative ? -magnitude : magnitude;
    return static_cast<size_t>(end - s.data());
}

} // namespace

std::optional<double> ParseNumber(const QString& text)
{
    const std::string s = text.trimmed().toStdString();
    double value = 0;
    const size_t used = ReadLeadingDouble(s, value);
    if (used == 0 || used != s.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double LeadingNumber(const QString& text)
{
    double value = 0;
    return ReadLeadingDouble(AfterBlanks(text), value) > 0 ? value : 0;
}

QString FormatNumber(double value)
{
    return QString::asprintf("%.15g", value);
}

int32_t RoundHalfAwayFromZero(double x)
{
    const double rounded = x >= 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5);
    if (std::isnan(rounded))
        return 0;
    if (rounded <= std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (rounded >= std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
}

// --- power option ----------------------------------------------------------------------------

int FirmwareVersionNumber(const std::string& firmwareText)
{
    const size_t v = firmwareText.find('V');
    const std::string digits =
        v == std::string::npos ? firmwareText.substr(0, 3) : firmwareText.substr(v + 1, 3);
    size_t at = 0;
    while (at < digits.size() && std::isspace(static_cast<unsigned char>(digits[at])))
        ++at;
    bool negative = false;
    if (at < digits.size() && (digits[at] == '+' || digits[at] == '-'))
        negative = digits[at++] == '-';
    int value = 0;
    for (; at < digits.size() && std::isdigit(static_cast<unsigned char>(digits[at])); ++at)
        value = value * 10 + (digits[at] - '0');
    return negative ? -value : value;
}

bool HasAutoPowerOff(int firmwareVersion)
{
    return firmwareVersion > LastVersionWithoutPowerOff;
}

QStringList PowerOffChoices()
{
    QStringList choices;
    for (double hours : {0.5, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 12.0, 24.0})
        choices << QString::asprintf("%g", hours);
    return choices;
}

QString PowerOffKey(int32_t seconds)
{
    return QString::asprintf("%g", seconds * 0.0002777777777777778);
}

int FindChoiceByPrefix(const QStringList& items, const QString& key)
{
    const int count = static_cast<int>(items.size());
    for (int step = 1; step <= count; ++step) {
        const int index = step % count;
        if (items.at(index).startsWith(key, Qt::CaseInsensitive))
            return index;
    }
    return -1;
}

int32_t PowerOffSecondsOf(const QString& choice)
{
    const double seconds = std::trunc(LeadingNumber(choice) * 3600);
    if (!(std::abs(seconds) < 2147483648.0))
        return seconds < 0 ? std::numeric_limits<int32_t>::min()
                           : std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(seconds);
}

// --- tool-diameter offsets -------------------------------------------------------------------

double MicrometresToDisplay(int32_t micrometres, bool inch)
{
    return inch ? CModelingMachine::MulDiv(micrometres, 10000, 25400) * 0.0001
                : CModelingMachine::MulDiv(micrometres, 100, 1000) * 0.01;
}

int32_t DisplayToMicrometres(double value, bool inch)
{
    return RoundHalfAwayFromZero(value * (inch ? 25400 : 1000));
}

// --- distance correction ---------------------------------------------------------------------

bool IsCorrectionInRange(int32_t scale)
{
    return scale >= MinCorrectionScale && scale <= MaxCorrectionScale;
}

QString FormatCorrectionPercent(int32_t scale)
{
    return QString::asprintf("%.3f", scale * 9.999999999999999e-05);
}

int32_t CorrectionScaleOf(double percent)
{
    return RoundHalfAwayFromZero(percent * 10000);
}

// --- spindle rotation times ------------------------------------------------------------------

uint32_t SpindleHours(uint32_t seconds)
{
    return seconds / 3600;
}

uint32_t SpindleMinutes(uint32_t seconds)
{
    return seconds / 60 % 60;
}

QString FormatSpindleCount(uint32_t count)
{
    return QString::number(count) + QLatin1Char(' ');
}
