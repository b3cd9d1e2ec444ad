#include "NcReader.h"
#include "NcStartLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

CNcReadOptions Mode(NcDecimalMode mode)
{
    CNcReadOptions options;
    options.decimalMode = mode;
    return options;
}

struct StartCase
{
    const char* name;
    std::string program;
    CNcReadOptions options;
    uint64_t line;
    std::string leadIn;
};

// Programs that set every kind of modal state before the line they are started from.
const std::vector<StartCase>& StartCases()
{
    static const std::vector<StartCase> cases = {
        {"incremental run", "G0 X1. Y2. Z3.\nG91\nG1 X1. F200.\nG1 X1.\nY-1.\n",
         Mode(NcDecimalMode::CalculatorAll), 3,
         "%\nG17 G21 G90 G40\nF200.\nM5\nG0 Z3.\nG0 X2. Y2.\nG1 Z3.\nG91 G1\n"},
        {"inch units", "G20\nG0 X1. Y1. Z0.5\nG1 Z-0.1 F10.\nG1 X2.\nY2.\n",
         Mode(NcDecimalMode::CalculatorAll), 3,
         "%\nG17 G20 G90 G40\nF10.\nM5\nG0 Z0.5\nG0 X1. Y1.\nG1 Z-0.1\nG1\n"},
        {"ZX plane, G55, spindle reversed at a speed, at an arc that names its motion",
         "G55 G18\nS8000 M4\nG0 X5. Y0. Z2.\nG1 Z-1. F150.\nG2 X10. Z-1. I2.5 K0.\nG1 X12.\n",
         Mode(NcDecimalMode::CalculatorAll), 4,
         "%\nG18 G21 G90 G40 G55\nF150.\nS8000 M4\nG0 Z2.\nG0 X5. Y0.\nG1 Z-1.\nG1\n"},
        {"numbers in least increments, G54.1, tool-diameter offset",
         "G54.1 P2\nG41 D3\nG0 X1000 Y2000 Z5000\nG1 Z-500 F100\nX3000\nY4000\n",
         Mode(NcDecimalMode::Conventional), 4,
         "%\nG17 G21 G90 G40 G54.1 P2\nF100.\nM5\nG0 Z5.\nG0 X1. Y2.\nG1 Z-0.5\nG41 D3 G1\n"},
        {"spindle on from the first line, join far below and away from the start",
         "M3\nG0 X0. Y0. Z10.\nG1 X50. Y40. Z-2. F300.\nG1 X60.\nG0 Z10.\n",
         Mode(NcDecimalMode::CalculatorAll), 3,
         "%\nG17 G21 G90 G40\nF300.\nM3\nG0 Z10.\nG0 X50. Y40.\nG1 Z-2.\nG1\n"},
    };
    return cases;
}

uint64_t LineCount(const std::string& text)
{
    return uint64_t(std::count(text.begin(), text.end(), '\n'));
}

TEST(NcStartLine, LeadInRebuildsTheModalStateBeforeTheLine)
{
    for (const StartCase& c : StartCases()) {
        const CNcStartLine start =
            BuildNcStartLine(c.program.data(), c.program.size(), c.options, c.line);
        ASSERT_TRUE(start.Ok()) << c.name;
        EXPECT_EQ(start.leadIn, c.leadIn) << c.name;
        EXPECT_EQ(start.line, c.line) << c.name;
    }
}

// The job read back: while the lead-in moves in XY the tool is never below the join point, and
// from the join on the job draws exactly what the whole program draws from that line.
TEST(NcStartLine, JobRisesBeforeItTravelsAndThenRunsTheRestUnchanged)
{
    for (const StartCase& c : StartCases()) {
        const CNcStartLine start =
            BuildNcStartLine(c.program.data(), c.program.size(), c.options, c.line);
        ASSERT_TRUE(start.Ok()) << c.name;
        const std::string job =
            start.leadIn + std::string(NcStartLineRest(start, c.program.data(), c.program.size()));
        const CNcPath full = ReadNcProgram(c.program.data(), c.program.size(), c.options);
        const CNcPath joined = ReadNcProgram(job.data(), job.size(), c.options);
        EXPECT_TRUE(joined.warnings.Empty() || !full.warnings.Empty()) << c.name;

        const auto leadInLines = uint32_t(LineCount(start.leadIn));
        const size_t joinSegment = joined.FirstSegmentFromLine(leadInLines);
        ASSERT_GT(joinSegment, 0u) << c.name;
        const int32_t joinZ = joined.StartOf(joinSegment)[2];
        for (size_t i = 0; i < joinSegment; ++i) {
            const NcPoint from = joined.StartOf(i), to = joined.segments[i].end;
            if (from[0] != to[0] || from[1] != to[1]) {
                EXPECT_GE(from[2], joinZ) << c.name << ", lead-in segment " << i;
                EXPECT_GE(to[2], joinZ) << c.name << ", lead-in segment " << i;
            }
        }

        const size_t first = full.FirstSegmentFromLine(uint32_t(c.line));
        EXPECT_EQ(joined.StartOf(joinSegment), full.StartOf(first)) << c.name;
        ASSERT_EQ(joined.segments.Size() - joinSegment, full.segments.Size() - first) << c.name;
        for (size_t i = first, j = joinSegment; i < full.segments.Size(); ++i, ++j) {
            EXPECT_EQ(joined.segments[j].end, full.segments[i].end) << c.name << ", " << i;
            EXPECT_EQ(joined.segments[j].Motion(), full.segments[i].Motion()) << c.name;
            EXPECT_EQ(joined.segments[j].Plane(), full.segments[i].Plane()) << c.name;
            EXPECT_EQ(joined.segments[j].Line() - leadInLines + c.line, full.segments[i].Line());
            EXPECT_EQ(joined.CentreOf(j), full.CentreOf(i)) << c.name;
            EXPECT_EQ(joined.FeedOf(j), full.FeedOf(i)) << c.name;
        }
    }
}

struct RefusalCase
{
    const char* name;
    std::string program;
    uint64_t line;
    NcStartRefusal refusal;
    uint64_t cause;
};

TEST(NcStartLine, RefusesLinesWhoseStartCannotBeKnown)
{
    const std::string arcs = "G0 X0. Y0.\nG2 X10. Y0. R5.\nX20. Y0. R5.\nG1 X30.\n";
    const std::string cycle = "G0 X0. Y0. Z5.\nG81 X1. Y1. Z-1. R1.\nX2. Y2.\nG80\nG0 X3.\n";
    const std::string lost = "G0 X1. Y1. Z1.\nG28 Z0.\nG0 X2.\nG0 X2. Y2. Z2.\nG1 X3.\n";
    const std::vector<RefusalCase> cases = {
        {"arc continued from the line before", arcs, 2, NcStartRefusal::InsideArc, 1},
        {"the arc's own first line", arcs, 1, NcStartRefusal::None, 0},
        {"the line after the arcs", arcs, 3, NcStartRefusal::None, 0},
        {"the cycle's own line", cycle, 1, NcStartRefusal::InsideCycle, 1},
        {"a hole of the cycle", cycle, 2, NcStartRefusal::InsideCycle, 1},
        {"after the cycle's end", cycle, 4, NcStartRefusal::None, 0},
        {"after a code not understood", lost, 2, NcStartRefusal::UnknownStart, 1},
        {"once every axis is named again", lost, 4, NcStartRefusal::None, 0},
        {"the empty last line", "G0 X1.\n", 1, NcStartRefusal::None, 0},
        {"past the last line", "G0 X1.\n", 2, NcStartRefusal::PastEnd, 1},
        {"far past the last line", "G0 X1.\nG0 X2.", 9, NcStartRefusal::PastEnd, 1},
    };
    const CNcReadOptions options = Mode(NcDecimalMode::CalculatorAll);
    for (const RefusalCase& c : cases) {
        const CNcStartLine start =
            BuildNcStartLine(c.program.data(), c.program.size(), options, c.line);
        EXPECT_EQ(start.refusal, c.refusal) << c.name;
        if (!start.Ok()) {
            EXPECT_EQ(start.cause, c.cause) << c.name;
            EXPECT_TRUE(start.leadIn.empty()) << c.name;
        }
    }
}

TEST(NcStartLine, CancelRequestEndsTheReading)
{
    std::string program;
    for (int i = 0; i < 20000; ++i)
        program += "G1 X" + std::to_string(i % 100) + ". F100.\n";
    CNcProgress progress;
    progress.cancel = true;
    const CNcStartLine start =
        BuildNcStartLine(program.data(), program.size(), {}, 19000, std::nullopt, &progress);
    EXPECT_EQ(start.refusal, NcStartRefusal::Cancelled);

    CNcProgress counted;
    EXPECT_TRUE(BuildNcStartLine(program.data(), program.size(), {}, 19000, 50.0, &counted).Ok());
    EXPECT_EQ(counted.done.load(), program.size());
    // The top of the travel, when given, is the safe height.
    EXPECT_NE(BuildNcStartLine(program.data(), program.size(), {}, 19000, 50.0, nullptr)
                  .leadIn.find("G0 Z50.\n"),
              std::string::npos);
}

} // namespace
