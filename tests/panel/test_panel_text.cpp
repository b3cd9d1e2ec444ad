// The panel's texts as pure functions: the alarm messages with their error numbers, the position
// formats and placeholders, the command-set text and the entries of the coordinate-system lists.

#include "AlarmText.h"
#include "CoordinateLists.h"
#include "PositionFormat.h"
#include "StringTable.h"
#include "TextFormat.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

QString Q(const char* text)
{
    return QString::fromUtf8(text);
}

std::vector<std::pair<QString, int>> Entries(const CoordinateEntries& entries)
{
    std::vector<std::pair<QString, int>> flat;
    for (const CoordinateEntry& entry : entries)
        flat.emplace_back(entry.text, entry.number);
    return flat;
}

TEST(TextFormat, FillsPrintfConversionsFromTheArguments)
{
    EXPECT_EQ(FormatTemplate(Q("%s\n(Error : %03d)"), {Q("msg"), 4}), Q("msg\n(Error : 004)"));
    EXPECT_EQ(FormatTemplate(Q("%03d"), {1234}), Q("1234"));
    EXPECT_EQ(FormatTemplate(Q("%03d|%d|%4d"), {-7, -7, 12}), Q("-07|-7|  12"));
    EXPECT_EQ(FormatTemplate(Q("G%d"), {54}), Q("G54"));
    EXPECT_EQ(FormatTemplate(Q("100%% %x %"), {}), Q("100% %x %"));
    // A template asking for more than it is given leaves the fields empty; extras are ignored.
    EXPECT_EQ(FormatTemplate(Q("[%s][%s]"), {Q("a")}), Q("[a][]"));
    EXPECT_EQ(FormatTemplate(Q("[%s]"), {Q("a"), Q("b")}), Q("[a]"));
}

// --- connection errors --------------------------------------------------------------------

TEST(AlarmText, ConnectionErrorsCarryTheirNumbers)
{
    EXPECT_EQ(FormatConnectionError(ConnectionErrorKind::NoMachine, {}),
              Q("No modeling machine was found.\nIf the power is off, then switch it on.\n"
                "If the cable is unconnected, then connect it.\n(Error : 002)"));
    // The no-response text keeps the carriage return of its string.
    EXPECT_EQ(FormatConnectionError(ConnectionErrorKind::NoResponse, Q("ZR-40")),
              Q("No response is returned from machine.\r\nMake sure that the connection cable "
                "is connected securely and the machine is switched on.\n(Error : 001)"));
    EXPECT_EQ(FormatConnectionError(ConnectionErrorKind::NotFound, Q("ZR-40 (2)")),
              Q("ZR-40 (2) was not found.\n(Error : 012)"));
    EXPECT_EQ(FormatConnectionError(0, Q("x")), Q("The unkown error has occured.\n(Error : 999)"));
    EXPECT_EQ(FormatConnectionError(4, Q("x")), FormatConnectionError(0, Q("y")));
}

// --- emergency stops ----------------------------------------------------------------------

const char* const RestartAdvice =
    "\n\nSwitch the equipment off, then back on.\nIf the symptom persists, a malfunction may "
    "have occurred. Switch off the equipment's main power\nand contact your local vendor or "
    "Quenby sales center.";

TEST(AlarmText, EmergencyStopOfEveryCode)
{
    struct Case
    {
        int code;
        const char* detail;
        const char* advice;
        const char* number;
    };
    const std::vector<Case> cases{
        {1, "X-Limit switch not found.", RestartAdvice, "003"},
        {2, "Y-Limit switch not found.", RestartAdvice, "004"},
        {4, "Z-Limit switch not found.", RestartAdvice, "005"},
        {134, "Machine leaned during operation.",
         "\n\nSwitch the equipment power off.\nMake equipment level, then switch the power back "
         "on.",
         "006"},
        {135, "The NVRAM could not be accessed.", RestartAdvice, "008"},
        {165, "Controller is not connected.",
         "\n\nSwitch the equipment power off.\nConnect equipment and a controller, then switch "
         "the power back on.",
         "007"},
        // Codes outside the table, 3 among them (it is not a combination of 1 and 2).
        {3, "FATAL UNKNOWN ERROR", RestartAdvice, "997"},
        {0, "FATAL UNKNOWN ERROR", RestartAdvice, "997"},
        {-1, "FATAL UNKNOWN ERROR", RestartAdvice, "997"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(FormatEmergencyStop(c.code),
                  Q("The Miltaro has performed an emergency stop.\n\n   - ") + Q(c.detail) +
                      Q(c.advice) + Q("\n(Error : ") + Q(c.number) + Q(")"));
    }
}

TEST(AlarmText, JapaneseTextsKeepTheNumbers)
{
    SetUiLanguageForTesting(true);
    const QString text = FormatEmergencyStop(2);
    const QString command = FormatCommandError(151, CommandErrorKind::Paused);
    SetUiLanguageForTesting(false);
    EXPECT_TRUE(text.endsWith(Q("\n(エラー : 004)"))) << text.toStdString();
    EXPECT_TRUE(text.contains(LoadString(115)));
    EXPECT_TRUE(command.endsWith(Q(" : 009)"))) << command.toStdString();
}

// --- command errors -----------------------------------------------------------------------

const char* const PausedAdvice =
    "\n\nIgnoring this error and continuing cutting is possible,\nbut subsequent results are not "
    "assured.\nQuitting cutting is strongly recommended.";
const char* const CommandSetHint =
    "\n\nIf command does not match the machine's command set,\nselect correct command set.";
const char* const SpindleOverload =
    "The spindle motor experienced an excessive load\n       or it is not mounted.";

TEST(AlarmText, PausedCommandErrors)
{
    for (int code : {147, 148, 149}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FormatCommandError(code, CommandErrorKind::Paused),
                  Q("The Miltaro is paused.\n\n   - Command Error (ZML-1)") + Q(PausedAdvice) +
                      Q(CommandSetHint) + Q("\n(Error : 009)"));
    }
    for (int code : {150, 151, 152}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FormatCommandError(code, CommandErrorKind::Paused),
                  Q("The Miltaro is paused.\n\n   - Command Error (NC Code)") + Q(PausedAdvice) +
                      Q(CommandSetHint) + Q("\n(Error : 009)"));
    }
    EXPECT_EQ(FormatCommandError(153, CommandErrorKind::Paused),
              Q("The Miltaro is paused.\n\n   - ") + Q(SpindleOverload) +
                  Q("\n\nIgnoring this error and continuing cutting is possible,\nbut there is "
                    "recurring fear.\nConfirm whether the spindle motor is mounted.\nAfter "
                    "waiting for the temperature of the spindle motor to cool,\nexchange a "
                    "spindle motor.\nWhen recurring even if it exchanges a spindle motor,\n"
                    "revise the cutting parameters.\n(Error : 010)"));
    for (int code : {0, 146, 154, -1}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FormatCommandError(code, CommandErrorKind::Paused),
                  Q("The Miltaro is paused.\n\n   - Command Error") + Q(PausedAdvice) +
                      Q("\n(Error : 998)"));
    }
}

TEST(AlarmText, CommandErrorsWithoutAPausedJob)
{
    EXPECT_EQ(FormatCommandError(153, CommandErrorKind::NotPaused),
              Q("The spindle rotation is stopped.\n\n   - ") + Q(SpindleOverload) +
                  Q("\n\nConfirm whether the spindle motor is mounted.\nRevise the cutting "
                    "method.\n(Error : 011)"));
    // The ZML-1 and NC codes have no text of their own here.
    for (int code : {147, 151, 0}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FormatCommandError(code, CommandErrorKind::NotPaused),
                  Q("The Miltaro is paused.\n\n   - Command Error\n(Error : 998)"));
    }
}

TEST(AlarmText, UnknownKindGivesTheCodeAsNumber)
{
    EXPECT_EQ(FormatCommandError(42, 1), Q("\n(Error : 042)"));
    EXPECT_EQ(FormatCommandError(153, 4), Q("\n(Error : 153)"));
}

// --- position display ---------------------------------------------------------------------

TEST(PositionFormat, MillimetresAndInches)
{
    EXPECT_EQ(FormatPosition(12345, true), Q("12.35"));
    EXPECT_EQ(FormatPosition(12345, false), Q("0.486"));
    // The single-precision factor lies just above one thousandth: -5 units round away from 0.
    EXPECT_EQ(FormatPosition(-5, true), Q("-0.01"));
    EXPECT_EQ(FormatPosition(-5, false), Q("-0.000"));
    EXPECT_EQ(FormatPosition(5, true), Q("0.01"));
    EXPECT_EQ(FormatPosition(0, true), Q("0.00"));
    EXPECT_EQ(FormatPosition(0, false), Q("0.000"));
    EXPECT_EQ(FormatPosition(-254000, false), Q("-10.000"));
    EXPECT_EQ(FormatPosition(100000, true), Q("100.00"));
    // The extremes of the 32-bit range are formed in double and do not wrap.
    EXPECT_TRUE(FormatPosition(INT32_MIN, true).startsWith(Q("-2147483.")));
    EXPECT_TRUE(FormatPosition(INT32_MAX, false).startsWith(Q("84546.")));
}

TEST(PositionFormat, PlaceholdersAndLabels)
{
    EXPECT_EQ(PositionPlaceholder(true), Q("---.--"));
    EXPECT_EQ(PositionPlaceholder(false), Q("--.---"));
    EXPECT_EQ(UnitLabel(true), Q("mm"));
    EXPECT_EQ(UnitLabel(false), Q("inch"));
    EXPECT_EQ(FormatSpindleSpeed(true, 8000), Q("8000"));
    EXPECT_EQ(FormatSpindleSpeed(true, 0), Q("0"));
    EXPECT_EQ(FormatSpindleSpeed(false, 8000), Q("----"));
    EXPECT_EQ(FormatOverride(true, 120), Q("120"));
    EXPECT_EQ(FormatOverride(true, 0), Q("---"));
    EXPECT_EQ(FormatOverride(false, 100), Q("---"));
}

TEST(PositionFormat, CommandSetText)
{
    EXPECT_EQ(CommandSetText(true, 0), Q("ZML-1"));
    EXPECT_EQ(CommandSetText(true, 1), Q("NC Code"));
    EXPECT_EQ(CommandSetText(true, 2), Q("ZML-1/NC Code"));
    EXPECT_EQ(CommandSetText(true, -1), Q("ZML-1/NC Code"));
    EXPECT_EQ(CommandSetText(false, 0), Q("ZML-1/NC Code"));
    EXPECT_EQ(CommandSetText(false, 1), Q("ZML-1/NC Code"));
}

// --- coordinate-system lists --------------------------------------------------------------

const std::pair<QString, int> Machine{Q("Machine Coordinate System"), 0};
const std::pair<QString, int> User{Q("User Coordinate System"), 1};
const std::vector<std::pair<QString, int>> NcSystems{{Q("G54"), 3},  {Q("G55"), 4}, {Q("G56"), 5},
                                                     {Q("G57"), 6},  {Q("G58"), 7}, {Q("G59"), 8},
                                                     {Q("EXOFS"), 2}};

std::vector<std::pair<QString, int>> Join(std::vector<std::pair<QString, int>> head,
                                          const std::vector<std::pair<QString, int>>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(CoordinateLists, EntriesByCommandSet)
{
    for (int commandSet : {-1, 0}) {
        SCOPED_TRACE(commandSet);
        EXPECT_EQ(Entries(ShownSystemEntries(commandSet)), Join({Machine, User}, {}));
        EXPECT_EQ(Entries(OriginSystemEntries(commandSet)), Join({User}, {}));
    }
    EXPECT_EQ(Entries(ShownSystemEntries(1)), Join({Machine}, NcSystems));
    EXPECT_EQ(Entries(OriginSystemEntries(1)), NcSystems);
    EXPECT_EQ(Entries(ShownSystemEntries(2)), Join({Machine, User}, NcSystems));
    EXPECT_EQ(Entries(OriginSystemEntries(2)), Join({User}, NcSystems));
}

TEST(CoordinateLists, SelectionFallsBackToTheFirstEntry)
{
    const CoordinateEntries nc = ShownSystemEntries(1);
    EXPECT_EQ(SelectEntryIndex(nc, 4), 2); // G55
    EXPECT_EQ(SelectEntryIndex(nc, 2), 7); // EXOFS, last
    EXPECT_EQ(SelectEntryIndex(nc, 1), 0); // no user system with NC code only: Machine
    EXPECT_EQ(SelectEntryIndex(OriginSystemEntries(0), 5), 0);
    EXPECT_EQ(SelectEntryIndex({}, 1), -1);
}

} // namespace
