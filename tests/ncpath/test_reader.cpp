#include "NcGeometry.h"
#include "NcReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

CNcPath Read(const std::string& program, const CNcReadOptions& options = {})
{
    return ReadNcProgram(program.data(), program.size(), options);
}

CNcReadOptions Calculator()
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    return options;
}

constexpr double kPi = std::numbers::pi;

struct MotionCase
{
    const char* name;
    std::string program;
    CNcReadOptions options;
    size_t segments;
    NcPoint end;                   // of the last segment
    NcMotion motion;               // of the last segment
    std::optional<NcPoint> centre; // of the last segment, for arcs
    double length;                 // of the last segment, mm
    uint32_t line;                 // of the last segment
};

// End points, centres and lengths worked out by hand from the programs.
TEST(NcReader, ReadsMotionsAsTheMachineWouldRunThem)
{
    CNcReadOptions noSkip = Calculator();
    noSkip.blockSkip = false;
    const std::vector<MotionCase> cases = {
        {"quarter, XY, centre form",
         "G0 X10. Y0.\nG3 X0. Y10. I-10. J0. F100.\n",
         {},
         2,
         {0, 10000, 0},
         NcMotion::ArcCcw,
         NcPoint{0, 0, 0},
         10 * kPi / 2,
         1},
        {"half, XY, radius form",
         "G0 X0 Y0\nG2 X20 Y0 R10\n",
         Calculator(),
         2,
         {20000, 0, 0},
         NcMotion::ArcCw,
         NcPoint{10000, 0, 0},
         10 * kPi,
         1},
        {"full circle, XY",
         "G0 X10 Y0\nG2 I-10 J0\n",
         Calculator(),
         2,
         {10000, 0, 0},
         NcMotion::ArcCw,
         NcPoint{0, 0, 0},
         20 * kPi,
         1},
        {"negative radius takes the long way",
         "G0 X0 Y0\nG2 X10 Y10 R-10\n",
         Calculator(),
         2,
         {10000, 10000, 0},
         NcMotion::ArcCw,
         NcPoint{0, 10000, 0},
         10 * kPi * 1.5,
         1},
        {"quarter, ZX, centre form",
         "G18 G0 X0 Z0\nG2 X10 Z10 I0 K10\n",
         Calculator(),
         2,
         {10000, 0, 10000},
         NcMotion::ArcCw,
         NcPoint{0, 0, 10000},
         10 * kPi / 2,
         1},
        {"quarter, YZ, radius form",
         "G19 G0 Y0 Z0\nG3 Y10 Z10 R10\n",
         Calculator(),
         2,
         {0, 10000, 10000},
         NcMotion::ArcCcw,
         NcPoint{0, 0, 10000},
         10 * kPi / 2,
         1},
        {"helix adds the normal axis",
         "G0 X10 Y0 Z0\nG3 I-10 Z-5\n",
         Calculator(),
         2,
         {10000, 0, -5000},
         NcMotion::ArcCcw,
         NcPoint{0, 0, 0},
         std::hypot(20 * kPi, 5.0),
         1},
        {"incremental chain",
         "G91 G1 X1 Y2 F100\nX1 Y2\nX1 Y2 Z-1\n",
         Calculator(),
         3,
         {3000, 6000, -1000},
         NcMotion::Feed,
         std::nullopt,
         std::sqrt(6.0),
         2},
        {"inch",
         "G20 G0 X1. Y-0.5\n",
         {},
         1,
         {25400, -12700, 0},
         NcMotion::Rapid,
         std::nullopt,
         std::hypot(25.4, 12.7),
         0},
        {"conventional numbers count micrometres",
         "G21 G0 X1000 Y2.5\n",
         {},
         1,
         {1000, 2500, 0},
         NcMotion::Rapid,
         std::nullopt,
         std::hypot(1.0, 2.5),
         0},
        {"calculator numbers are millimetres",
         "G21 G0 X1000 Y2.5\n",
         Calculator(),
         1,
         {1000000, 2500, 0},
         NcMotion::Rapid,
         std::nullopt,
         std::hypot(1000.0, 2.5),
         0},
        {"comment with parentheses inside a line",
         "G0 (go (fast) there) X5 Y6 ; X9\n",
         Calculator(),
         1,
         {5000, 6000, 0},
         NcMotion::Rapid,
         std::nullopt,
         std::hypot(5.0, 6.0),
         0},
        {"block skip on",
         "G0 X1\n/G0 X2\n",
         Calculator(),
         1,
         {1000, 0, 0},
         NcMotion::Rapid,
         std::nullopt,
         1,
         0},
        {"block skip off",
         "G0 X1\n/G0 X2\n",
         noSkip,
         2,
         {2000, 0, 0},
         NcMotion::Rapid,
         std::nullopt,
         1,
         1},
        {"line ends CR LF, CR and LF, N words, percent lines",
         "%\r\nN10 G0 X1\rN20 g1 x2 f50\n%",
         Calculator(),
         2,
         {2000, 0, 0},
         NcMotion::Feed,
         std::nullopt,
         1,
         2},
    };
    for (const MotionCase& c : cases) {
        SCOPED_TRACE(c.name);
        CNcPath path = Read(c.program, c.options);
        EXPECT_EQ(path.warnings.Count(), 0u);
        ASSERT_EQ(path.segments.Size(), c.segments);
        const size_t last = c.segments - 1;
        const CNcSegment& segment = path.segments[last];
        EXPECT_EQ(segment.end, c.end);
        EXPECT_EQ(segment.Motion(), c.motion);
        EXPECT_EQ(segment.Line(), c.line);
        if (c.centre) {
            EXPECT_EQ(path.CentreOf(last), *c.centre);
        }
        EXPECT_NEAR(SegmentLength(path, last), c.length, 1e-3);
    }
}

TEST(NcReader, ModalStateAndLineCount)
{
    CNcPath path = Read("(a)\n(b)\n; c\n", Calculator());
    EXPECT_EQ(path.segments.Size(), 0u);
    EXPECT_TRUE(path.warnings.Empty());
    EXPECT_EQ(path.lineCount, 4u); // the image's count: a final empty line after the last break
    EXPECT_EQ(Read("").lineCount, 0u);

    path = Read("G20 G1 X1 F10\nG21 G55 X2 F100\nG54.1 P2 X3\n", Calculator());
    EXPECT_FALSE(path.inch);
    EXPECT_FLOAT_EQ(path.FeedOf(0), 254.0f);
    EXPECT_FLOAT_EQ(path.FeedOf(2), 100.0f);
    EXPECT_EQ(path.SystemOf(0), -1);
    EXPECT_EQ(path.SystemOf(1), 4);
    EXPECT_EQ(path.SystemOf(2), 11);
}

struct WarningCase
{
    const char* name;
    std::string program;
    uint64_t line;
    NcWarningKind kind;
    size_t segments;
};

// Whatever the reader does not understand is named with its line; that line moves nothing,
// unless the warning only says that something is not drawn.
TEST(NcReader, WarnsWithTheLineOfWhatItDoesNotUnderstand)
{
    const std::vector<WarningCase> cases = {
        {"unknown G code", "G0 X1\nG38 X5\n", 1, NcWarningKind::UnknownCode, 1},
        {"canned cycle", "G0 X1\nG81 X1 Y1 Z-1 R1\n", 1, NcWarningKind::UnknownCode, 1},
        {"no motion mode", "X5\n", 0, NcWarningKind::NoMotionMode, 0},
        {"unknown letter", "G0 X1\nG0 X2 E5\n", 1, NcWarningKind::UnknownWord, 1},
        {"macro variable", "#1=5\n", 0, NcWarningKind::UnknownWord, 0},
        {"word without number", "G0 X\n", 0, NcWarningKind::BadNumber, 0},
        {"unclosed comment", "G0 X1 (open\n", 0, NcWarningKind::UnclosedComment, 1},
        {"radius too small", "G0 X0 Y0\nG2 X30 Y0 R10\n", 1, NcWarningKind::ArcRadius, 2},
        {"full circle by radius", "G0 X0 Y0\nG2 X0 Y0 R10\n", 1, NcWarningKind::ArcRadius, 1},
        {"end off the circle", "G0 X10\nG2 X0 Y11 I-10\n", 1, NcWarningKind::ArcEndOffCircle, 2},
        {"rotary axis", "G1 A10 X1 F10\n", 0, NcWarningKind::NotShown, 1},
        {"out of range", "G0 X1\nG0 X3000000\n", 1, NcWarningKind::OutOfRange, 1},
        {"NUL byte", std::string("G0 X1\nG0 X2\0G0 X3\n", 18), 1, NcWarningKind::EndOfData, 2},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        CNcPath path = Read(c.program, Calculator());
        ASSERT_FALSE(path.warnings.Empty());
        EXPECT_EQ(path.warnings.Kept()[0].line, c.line);
        EXPECT_EQ(path.warnings.Kept()[0].kind, c.kind);
        EXPECT_EQ(path.segments.Size(), c.segments);
    }
    // After a canned cycle, its positions are not plain moves.
    CNcPath cycle = Read("G81 X1 Y1 Z-1 R1\nX2 Y2\nG80\nG0 X3\n", Calculator());
    ASSERT_EQ(cycle.warnings.Count(), 2u);
    EXPECT_EQ(cycle.warnings.Kept()[1].kind, NcWarningKind::NoMotionMode);
    EXPECT_EQ(cycle.segments.Size(), 1u);
    EXPECT_EQ(FormatNcWarning(cycle.warnings.Kept()[0]),
              "Line 1: unknown code G81, the line is not run");
}

// Every letter but E, U, V and W is a word, in either case; any other byte before a number
// refuses the line, named in its warning.
TEST(NcReader, WordLettersAndTheBytesThatAreNot)
{
    for (int c = 1; c < 256; ++c) {
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t' || c == ';' || c == '(')
            continue; // line ends, blanks and comments
        SCOPED_TRACE(c);
        const char byte = char(c);
        CNcPath path = Read(std::string("G0 X1 ") + byte + "1\n", Calculator());
        const char upper = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        const bool word = upper >= 'A' && upper <= 'Z' && !std::strchr("EUVW", upper);
        const bool refused =
            !path.warnings.Empty() && path.warnings.Kept()[0].kind == NcWarningKind::UnknownWord;
        EXPECT_EQ(refused, !word);
        if (refused) {
            char expected[8];
            if (c >= 0x21 && c <= 0x7E)
                std::snprintf(expected, sizeof expected, "%c", c);
            else
                std::snprintf(expected, sizeof expected, "\\x%02X", unsigned(c));
            EXPECT_STREQ(path.warnings.Kept()[0].word, expected);
        }
    }
}

// A result kept from line to line names only the word of its own line, whatever the lines before
// it warned about.
TEST(NcReader, KeptResultNamesTheWordOfItsOwnLine)
{
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"G38.2 X5", "G38.2"}, {"G0 X1", ""},     {"G0 X1 E5", "E"},
        {"G1 F-100", "F-100"}, {"G1 X2 F10", ""}, {"G1 X3 F-1.5", "F-1.5"},
    };
    CNcInterpreter interpreter;
    CNcLineResult result;
    for (const auto& [text, word] : lines) {
        SCOPED_TRACE(text);
        interpreter.ReadLine(text.data(), text.data() + text.size(), 0, result);
        EXPECT_EQ(result.warned, !word.empty());
        if (result.warned) {
            EXPECT_STREQ(result.warning.word, word.c_str());
        }
    }
}

// The line-at-a-time interface gives the same moves as the whole-file reader.
TEST(NcReader, LineAtATimeMatchesTheWholeFile)
{
    const std::string program = "G90 G0 X1 Y2\nG91 G1 X1 F200\nG2 X2 Y0 R1\nG90 G3 X0 Y0 I-2\n";
    CNcPath path = Read(program, Calculator());
    CNcInterpreter interpreter(Calculator());
    std::vector<NcPoint> ends;
    const char* p = program.data();
    const char* end = p + program.size();
    for (uint64_t line = 0; p < end; ++line) {
        CNcLineResult result = interpreter.ReadLine(p, end, line);
        if (result.moved)
            ends.push_back({ToMicrometres(result.move.end[0]), ToMicrometres(result.move.end[1]),
                            ToMicrometres(result.move.end[2])});
        p = result.stop + 1;
    }
    ASSERT_EQ(ends.size(), path.segments.Size());
    for (size_t i = 0; i < ends.size(); ++i)
        EXPECT_EQ(ends[i], path.segments[i].end);
    EXPECT_EQ(interpreter.State().feed, 200.0);
    EXPECT_TRUE(interpreter.State().absolute);
}

// The spindle words are modal state: M3 and M4 switch it on, M5 off, other M words leave it, and
// a line the reader refuses leaves it as it was.
TEST(NcReader, SpindleWordsAreModalState)
{
    struct Row
    {
        const char* lines;
        bool spindle;
    };
    for (const Row& row :
         {Row{"M3\n", true}, Row{"M4\n", true}, Row{"M3\nM5\n", false}, Row{"M3\nM8\n", true},
          Row{"G0 M3 X1\n", true}, Row{"M3 X1\n", false}, Row{"M3\nG99 M5\n", true},
          Row{"M3\nM5 F-1\n", true}, Row{"M3\n/M5\n", true}, Row{"G0 X1\n", false}}) {
        SCOPED_TRACE(row.lines);
        CNcInterpreter interpreter(Calculator());
        const std::string program = row.lines;
        const char* p = program.data();
        const char* const end = p + program.size();
        for (uint64_t line = 0; p; ++line)
            p = NextNcLine(interpreter.ReadLine(p, end, line).stop, end);
        EXPECT_EQ(interpreter.State().spindle, row.spindle);
    }
}

// Numbers of up to 17 digits are read in one pass, longer ones again with the limits: integer
// digits beyond 17 (leading zeros aside) refuse the word, fraction digits beyond them are dropped.
TEST(NcReader, NumbersAtTheMantissaLimit)
{
    struct Row
    {
        const char* number;
        std::optional<NcWarningKind> warning;
        int32_t micrometres; // X of the move, when there is one
    };
    const Row rows[] = {
        {"1.5", std::nullopt, 1500},
        {"-.25", std::nullopt, -250},
        {"00000000000000000001.5", std::nullopt, 1500},
        {"1.00000000000000000000000009", std::nullopt, 1000},
        {"0.00000000000000000001", std::nullopt, 0},
        {"1234.5678901234567891", std::nullopt, 1234568},
        {"12345678901234567", NcWarningKind::OutOfRange, 0},
        {"123456789012345678", NcWarningKind::OutOfRange, 0},
        {"1234567890123456789", NcWarningKind::BadNumber, 0},
        {"-1234567890123456789.5", NcWarningKind::BadNumber, 0},
        {"-", NcWarningKind::BadNumber, 0},
        {".", NcWarningKind::BadNumber, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        const CNcPath path = Read(std::string("G0 X") + row.number + "\n", Calculator());
        if (row.warning) {
            ASSERT_EQ(path.warnings.Count(), 1u);
            EXPECT_EQ(path.warnings.Kept()[0].kind, *row.warning);
            EXPECT_TRUE(path.segments.Empty());
        } else {
            EXPECT_TRUE(path.warnings.Empty());
            ASSERT_EQ(path.segments.Size(), 1u);
            EXPECT_EQ(path.segments[0].end[0], row.micrometres);
        }
    }
}

// A line's end is found eight bytes at a time: whichever byte of a word it is, past tabs and
// control bytes that are no end, and in a line that has no end but the data's.
TEST(NcReader, LineEndAtEveryPlaceOfAWord)
{
    const std::string ends[] = {std::string("\n"), std::string("\r"), std::string(1, '\0'), ""};
    for (const std::string& filler : {std::string(" "), std::string("\t"), std::string("\x0e")})
        for (size_t blanks = 0; blanks < 18; ++blanks)
            for (const std::string& stop : ends) {
                SCOPED_TRACE(testing::Message() << "filler " << int(filler[0]) << " x " << blanks
                                                << ", end " << (stop.empty() ? -1 : stop[0]));
                std::string text = "G0 X1";
                for (size_t i = 0; i < blanks; ++i)
                    text += filler;
                const size_t length = text.size();
                text += stop;
                if (!stop.empty())
                    text += "X2\n";
                CNcInterpreter interpreter(Calculator());
                const CNcLineResult result =
                    interpreter.ReadLine(text.data(), text.data() + text.size(), 0);
                EXPECT_EQ(result.stop, text.data() + length);
                const bool refused = blanks > 0 && filler == "\x0e";
                EXPECT_EQ(result.moved, !refused);
                EXPECT_EQ(result.warned, refused);
            }
}

} // namespace

// Found by fuzzing: an arc whose radius puts its centre far outside the range of positions
// converted it with an overflow. Points derived from positions saturate.
TEST(NcReader, ConversionOfPointsOutsideTheRangeSaturates)
{
    const struct
    {
        double mm;
        int32_t micrometres;
    } cases[] = {
        {1.2344, 1234},    {-1.2345, -1235},      {1e10, INT32_MAX},      {-1e10, INT32_MIN},
        {std::nan(""), 0}, {HUGE_VAL, INT32_MAX}, {-HUGE_VAL, INT32_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToMicrometres(c.mm), c.micrometres) << c.mm;
    const CNcPath path = Read("G0 X0 Y0\nG2 X1 R10000000000 F100\nG1 X2\n");
    EXPECT_EQ(path.segments.Size(), 3u);
}
