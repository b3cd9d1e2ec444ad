#include "NcPathRaster.h"
#include "NcReader.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CNcPath Read(const std::string& program)
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    return ReadNcProgram(program.data(), program.size(), options);
}

// The simulated machine's travel: X 0..203, Y 0..152, Z -60..0 mm.
constexpr NcPoint kTravelLow{0, 0, -60000};
constexpr NcPoint kTravelHigh{203000, 152000, 0};

struct TravelCase
{
    const char* name;
    std::string program;
    CNcOrigins origins;
    NcPoint low, high; // machine extents
    std::array<int32_t, 3> below, above;
};

TEST(NcTravel, ExtentsFromTheOriginAgainstTheTravel)
{
    const std::vector<TravelCase> cases = {
        {"fits",
         "G0 X0 Y0 Z0\nG1 X200 Y150 Z-10 F100\n",
         {},
         {0, 0, -10000},
         {200000, 150000, 0},
         {0, 0, 0},
         {0, 0, 0}},
        {"leaves X by 5 mm from the origin",
         "G0 X0 Y0\nG1 X158 F100\n",
         {{50000, 10000, 0}, {}},
         {50000, 10000, 0},
         {208000, 10000, 0},
         {0, 0, 0},
         {5000, 0, 0}},
        {"an arc's bulge leaves Y",
         "G0 X10 Y10\nG2 X30 Y10 R10\n",
         {{0, 135000, 0}, {}},
         {0, 135000, 0},
         {30000, 155000, 0},
         {0, 0, 0},
         {0, 3000, 0}},
        {"below Z and below X",
         "G0 X-2 Z-61\n",
         {},
         {-2000, 0, -61000},
         {0, 0, 0},
         {2000, 0, 1000},
         {0, 0, 0}},
        {"each system by its own origin",
         "G0 X0\nG55 G0 X10\n",
         {{1000, 0, 0}, {{4, {200000, 0, 0}}}},
         {1000, 0, 0},
         {210000, 0, 0},
         {0, 0, 0},
         {7000, 0, 0}},
    };
    for (const TravelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcExtents extents = MachineExtents(Read(c.program), c.origins);
        ASSERT_FALSE(extents.empty);
        EXPECT_EQ(extents.low, c.low);
        EXPECT_EQ(extents.high, c.high);
        const CNcTravelCheck check = CheckTravel(extents, kTravelLow, kTravelHigh);
        EXPECT_EQ(check.below, c.below);
        EXPECT_EQ(check.above, c.above);
        const std::array<int32_t, 3> none{};
        EXPECT_EQ(check.Fits(), c.below == none && c.above == none);
    }
    EXPECT_TRUE(
        CheckTravel(MachineExtents(Read("(nothing)\n"), {}), kTravelLow, kTravelHigh).Fits());
    const CNcPath inch = Read("G20 G0 X1 Y-2\n");
    const CNcExtents extents = PathExtents(inch);
    EXPECT_EQ(InProgramUnits(extents.low, inch.inch), (std::array<double, 3>{0, -2, 0}));
    EXPECT_EQ(InProgramUnits(extents.high, inch.inch), (std::array<double, 3>{1, 0, 0}));
}

struct TimeCase
{
    const char* name;
    std::string program;
    double rapid;   // mm per minute
    double seconds; // total
    uint32_t fromLine;
    double remaining;
};

TEST(NcRunTime, EstimatesFeedAndRapidTimes)
{
    const std::vector<TimeCase> cases = {
        {"one feed move", "G1 X100 F600\n", 1200, 10, 0, 10},
        {"rapid at the rapid speed", "G0 X120\n", 1200, 6, 0, 6},
        {"rapid at a slower machine", "G0 X120\n", 600, 12, 1, 0},
        {"a half circle after a rapid", "G0 X10 Y0\nG3 X-10 Y0 I-10 F100\n", 1200,
         0.5 + 10 * 3.14159265 * 60 / 100, 1, 10 * 3.14159265 * 60 / 100},
        {"feeds change", "G1 X60 F600\nG1 X120 F1200\n(end)\n", 1200, 9, 1, 3},
        {"comment lines count from the next move", "G1 X60 F600\n(a)\nG1 X120 F1200\n", 1200, 9, 1,
         3},
    };
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcPath path = Read(c.program);
        const CNcRunTime time(path, c.rapid);
        EXPECT_NEAR(time.TotalSeconds(), c.seconds, c.seconds * 0.01);
        EXPECT_NEAR(time.RemainingFromLine(c.fromLine), c.remaining, c.remaining * 0.01 + 1e-9);
    }
    // Past the first stride of checkpoints: 3000 one-millimetre moves at 60 mm/min.
    std::string program = "G1 F60\n";
    for (int i = 1; i <= 3000; ++i)
        program += "X" + std::to_string(i) + "\n";
    const CNcPath path = Read(program);
    const CNcRunTime time(path);
    EXPECT_NEAR(time.TotalSeconds(), 3000, 0.01);
    EXPECT_NEAR(time.RemainingFromLine(2501), 500, 0.01);
    // Halfway along the move of line 2501 (segment 2500): 2500.5 s done.
    EXPECT_NEAR(time.SecondsAt(2500, 0.5), 2500.5, 0.01);

    // Counted through a progress object, and given up on request.
    CNcProgress counted;
    EXPECT_TRUE(CNcRunTime(path, kDefaultRapidSpeed, &counted).Complete());
    EXPECT_EQ(counted.total.load(), path.segments.Size());
    CNcProgress cancelled;
    cancelled.cancel = true;
    EXPECT_FALSE(CNcRunTime(path, kDefaultRapidSpeed, &cancelled).Complete());
}

// Over a million segments the extents and the run time are split among threads: the result must
// be the one pass's, wherever the cut falls among feed changes, an arc and the far points.
TEST(NcRunTime, APathSplitAmongThreadsTimesAndBoundsAsOnePass)
{
    constexpr int kMoves = 1'200'000;
    constexpr int kArcAt = 900'000;
    std::string program = "G1 F60\n";
    program.reserve(size_t(kMoves) * 14);
    for (int i = 1; i <= kMoves; ++i) {
        program += i == kArcAt ? "G2 X" + std::to_string(i) + " I0.5\nG1" : "X" + std::to_string(i);
        if (i % 110'003 == 0)
            program += (i / 110'003) % 2 ? " F120" : " F60";
        program += "\n";
    }
    const CNcPath path = Read(program);
    ASSERT_EQ(path.segments.Size(), size_t(kMoves));

    // Every move is 1 mm long but the half circle, whose top is 0.5 mm above the X axis.
    std::vector<double> before(kMoves + 1, 0.0);
    for (int i = 0; i < kMoves; ++i) {
        const int line = i + 1;
        const int changes = line / 110'003;
        const double feed = changes % 2 ? 120 : 60;
        const double length = line == kArcAt ? 3.14159265358979 * 0.5 : 1.0;
        before[size_t(i) + 1] = before[size_t(i)] + length * 60 / feed;
    }
    const CNcRunTime time(path);
    EXPECT_NEAR(time.TotalSeconds(), before.back(), 1e-6);
    for (size_t segment : {size_t(1), size_t(kMoves / 2 - 1), size_t(kMoves / 2),
                           size_t(kMoves / 2 + 1), size_t(kArcAt), size_t(kMoves - 1)})
        EXPECT_NEAR(time.SecondsAt(segment, 0), before[segment], 1e-6) << segment;

    const CNcExtents extents = PathExtents(path);
    EXPECT_EQ(extents.low, (NcPoint{0, 0, 0}));
    EXPECT_EQ(extents.high, (NcPoint{kMoves * 1000, 500, 0}));
}

// A long path is drawn on threads, a stretch each: where a later stretch crosses the cells of an
// earlier one, the cells hold both kinds of move and the later segment, as when drawn in order.
TEST(NcPathRaster, ALongPathDrawnOnThreadsKeepsTheLatestSegmentOfEachCell)
{
    constexpr int kOneWay = 600'000;
    std::string program = "G0\n";
    program.reserve(size_t(kOneWay) * 16);
    for (int x = 1; x <= kOneWay; ++x)
        program += "X" + std::to_string(x) + "\n"; // out at the rapid speed
    program += "G1 F100\n";
    for (int x = kOneWay - 1; x >= 0; --x)
        program += "X" + std::to_string(x) + "\n"; // back at the feed
    const CNcPath path = Read(program);
    ASSERT_EQ(path.segments.Size(), size_t(2 * kOneWay));

    CNcPathRaster top, side;
    CNcPathRaster::DrawBoth(path, PathExtents(path), top, side);
    for (const CNcPathRaster* raster : {&top, &side}) {
        ASSERT_FALSE(raster->Empty());
        const CNcPathRaster::Level& base = raster->Levels()[0];
        size_t marked = 0;
        for (size_t cell = 0; cell < base.kinds.size(); ++cell) {
            if (!base.kinds[cell])
                continue;
            ++marked;
            ASSERT_EQ(base.kinds[cell], CNcPathRaster::kFeed | CNcPathRaster::kRapid) << cell;
            ASSERT_GE(base.last[cell], uint32_t(kOneWay)) << cell;
        }
        EXPECT_EQ(marked, size_t(base.width)); // the one row the path runs along
        const CNcPathRaster::Level& apex = raster->Levels().back();
        EXPECT_EQ(apex.kinds[0], CNcPathRaster::kFeed | CNcPathRaster::kRapid);
        EXPECT_EQ(apex.last[0], uint32_t(2 * kOneWay - 1));
    }
}

} // namespace
