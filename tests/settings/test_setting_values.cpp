// The value rules of the settings pages, without widgets: one table per rule.
#include "SettingValues.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

TEST(SettingValues, TypedNumbersUseTheCLocaleNotationOnly)
{
    const std::pair<const char*, std::optional<double>> rows[] = {
        {"1.5", 1.5},
        {" 2 ", 2.0},
        {"-0.01", -0.01},
        {"+3", 3.0},
        {".5", 0.5},
        {"1e3", 1000.0},
        {"1,5", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"1.5x", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"1e999", std::nullopt},
        {"--1", std::nullopt},
    };
    for (const auto& [text, value] : rows)
        EXPECT_EQ(ParseNumber(text), value) << text;
    // The leading part of a text, as atof reads it.
    EXPECT_EQ(LeadingNumber("0.5 h"), 0.5);
    EXPECT_EQ(LeadingNumber("  12"), 12.0);
    EXPECT_EQ(LeadingNumber("---"), 0.0);
    EXPECT_EQ(FormatNumber(0.12), "0.12");
    EXPECT_EQ(FormatNumber(0.3937), "0.3937");
}

TEST(SettingValues, RoundingIsHalfAwayFromZeroAndHeldInRange)
{
    const std::pair<double, int32_t> rows[] = {
        {0.5, 1},
        {-0.5, -1},
        {1.49, 1},
        {-1.49, -1},
        {2.5, 3},
        {-2.5, -3},
        {1e12, std::numeric_limits<int32_t>::max()},
        {-1e12, std::numeric_limits<int32_t>::min()},
    };
    for (const auto& [x, rounded] : rows)
        EXPECT_EQ(RoundHalfAwayFromZero(x), rounded) << x;
}

TEST(SettingValues, FirmwareVersionDecidesThePowerOption)
{
    const std::pair<const char*, int> rows[] = {
        {"V110 ZR-40", 110}, {"V111 ZR-40", 111}, {"ZR-40 V1.2", 1}, {"123abc", 123},
        {"V 99", 99},        {"Vabc", 0},         {"", 0},           {"V-12", -12},
    };
    for (const auto& [text, version] : rows)
        EXPECT_EQ(FirmwareVersionNumber(text), version) << text;
    EXPECT_FALSE(HasAutoPowerOff(110));
    EXPECT_TRUE(HasAutoPowerOff(111));
}

TEST(SettingValues, WaitTimeSelectsTheChoiceItsHoursBeginWith)
{
    const QStringList choices = PowerOffChoices();
    EXPECT_EQ(choices, QStringList({"0.5", "1", "2", "3", "4", "5", "6", "12", "24"}));
    // 0 s reads "0", which only "0.5" begins with; 10 h and a failed read match nothing.
    const std::pair<int32_t, int> rows[] = {
        {0, 0}, {1800, 0}, {3600, 1}, {7200, 2}, {43200, 7}, {86400, 8}, {36000, -1}, {-1, -1},
    };
    for (const auto& [seconds, index] : rows)
        EXPECT_EQ(FindChoiceByPrefix(choices, PowerOffKey(seconds)), index) << seconds;
    EXPECT_EQ(FindChoiceByPrefix({"abc", "ABD"}, "ab"), 1); // from the second item, any case
    const std::pair<const char*, int32_t> seconds[] = {
        {"0.5", 1800}, {"1", 3600}, {"12", 43200}, {"24", 86400}, {"---", 0},
    };
    for (const auto& [text, value] : seconds)
        EXPECT_EQ(PowerOffSecondsOf(text), value) << text;
}

TEST(SettingValues, ToolOffsetsRoundToTheShownResolution)
{
    struct Row
    {
        int32_t micrometres;
        bool inch;
        double shown;
        int32_t back;
    };
    const Row rows[] = {
        {123, false, 0.12, 120},      {1000, true, 0.0394, 1001}, {10000, false, 10, 10000},
        {10000, true, 0.3937, 10000}, {-5, false, -0.01, -10},
    };
    for (const Row& row : rows) {
        const double shown = MicrometresToDisplay(row.micrometres, row.inch);
        EXPECT_EQ(FormatNumber(shown), FormatNumber(row.shown)) << row.micrometres;
        EXPECT_EQ(DisplayToMicrometres(shown, row.inch), row.back) << row.micrometres;
    }
    // Finer than shown, as typed.
    EXPECT_EQ(DisplayToMicrometres(0.123, false), 123);
}

TEST(SettingValues, CorrectionShowsOneStepBelowAndChecksTheTypedScale)
{
    const std::pair<int32_t, const char*> shown[] = {
        {1000000, "100.000"},
        {1000005, "100.000"},
        {1000006, "100.001"},
        {995000, "99.500"},
    };
    for (const auto& [scale, text] : shown)
        EXPECT_EQ(FormatCorrectionPercent(scale), text) << scale;
    const std::pair<double, int32_t> typed[] = {
        {100.0005, 1000005}, {99.5, 995000},      {100.5, 1005000},
        {99.4999, 994999},   {100.5001, 1005001},
    };
    for (const auto& [percent, scale] : typed) {
        EXPECT_EQ(CorrectionScaleOf(percent), scale) << percent;
        EXPECT_EQ(IsCorrectionInRange(scale), scale >= 995000 && scale <= 1005000) << percent;
    }
    EXPECT_EQ(FormatNumber(MinCorrectionPercent), "99.5");
    EXPECT_EQ(FormatNumber(MaxCorrectionPercent), "100.5");
}

TEST(SettingValues, SpindleTimesAreUnsignedHoursAndMinutes)
{
    struct Row
    {
        uint32_t seconds;
        const char* hours;
        const char* minutes;
    };
    const Row rows[] = {
        {3599, "0 ", "59 "},
        {3600, "1 ", "0 "},
        {90061, "25 ", "1 "},
        {0x80000000u, "596523 ", "14 "},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatSpindleCount(SpindleHours(row.seconds)), row.hours) << row.seconds;
        EXPECT_EQ(FormatSpindleCount(SpindleMinutes(row.seconds)), row.minutes) << row.seconds;
    }
}

} // namespace
