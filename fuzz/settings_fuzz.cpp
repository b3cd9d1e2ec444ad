// The settings pages' value rules with arbitrary typed text and arbitrary doubles: parsing gives
// finite numbers only, what is shown parses back, and every conversion to the machine's
// integers stays defined however large, small or odd the value ("1e308", "nan", "-0").
#include "SettingValues.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void Convert(double value)
{
    (void)RoundHalfAwayFromZero(value);
    (void)DisplayToMicrometres(value, false);
    (void)DisplayToMicrometres(value, true);
    (void)CorrectionScaleOf(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        Convert(raw);
        (void)PowerOffKey(int32_t(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 |
                                  uint32_t(data[2]) << 8 | data[3]));
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)FirmwareVersionNumber(bytes);
    for (const QString& text : {QString::fromUtf8(bytes.data(), qsizetype(size)),
                                QString::fromLatin1(bytes.data(), qsizetype(size))}) {
        if (const std::optional<double> value = ParseNumber(text)) {
            Check(std::isfinite(*value));
            const std::optional<double> shown = ParseNumber(FormatNumber(*value));
            Check(shown.has_value());
            Convert(*value);
        }
        Convert(LeadingNumber(text));
        (void)PowerOffSecondsOf(text);
        const int choice = FindChoiceByPrefix(PowerOffChoices(), text);
        Check(choice >= -1 && choice < PowerOffChoices().size());
    }
    return 0;
}
