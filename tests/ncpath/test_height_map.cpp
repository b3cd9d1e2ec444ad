#include "NcHeightMap.h"
#include "NcReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

CNcPath Read(const std::string& program)
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    return ReadNcProgram(program.data(), program.size(), options);
}

CNcHeightMapOptions Options(NcTool tool, double diameter, double cell)
{
    CNcHeightMapOptions options;
    options.tool = tool;
    options.diameter = diameter;
    options.cell = cell;
    options.stockTopGiven = true;
    options.stockTop = 0;
    return options;
}

// The height of the map at the cell that holds (x, y).
float HeightAt(const CNcHeightMap& map, double x, double y)
{
    const int cx = int(std::floor((x - map.x0) / map.cell));
    const int cy = int(std::floor((y - map.y0) / map.cell));
    return map.At(std::clamp(cx, 0, map.width - 1), std::clamp(cy, 0, map.height - 1));
}

struct GrooveCase
{
    const char* name;
    std::string program; // a groove 1 mm deep through (25, 20), along X or along Y
    bool alongX;
    NcTool tool;
    double diameter;
    double width; // at the stock top
};

// Height of the groove's cross-section at distance d from its centre line.
double Profile(const GrooveCase& c, double d)
{
    const double r = c.diameter / 2;
    if (d >= r)
        return 0;
    if (c.tool == NcTool::Flat)
        return -1;
    return std::min(0.0, -1 + r - std::sqrt(r * r - d * d));
}

TEST(NcHeightMap, GroovesHaveTheToolsProfileWithinACell)
{
    const std::vector<GrooveCase> cases = {
        {"flat 3 mm along X", "G0 X10 Y20 Z5\nG1 Z-1 F100\nG1 X40\nG0 Z5\n", true, NcTool::Flat, 3,
         3},
        {"flat 3 mm along Y", "G0 X25 Y5 Z5\nG1 Z-1 F100\nG1 Y35\nG0 Z5\n", false, NcTool::Flat, 3,
         3},
        {"ball 3 mm along X", "G0 X10 Y20 Z5\nG1 Z-1 F100\nG1 X40\nG0 Z5\n", true, NcTool::Ball, 3,
         2 * std::sqrt(2.25 - 0.25)},
        {"ball 6 mm along Y in short moves",
         "G0 X25 Y5 Z5\nG1 Z-1 F100\nG1 Y12.3\nG1 Y18.77\nG1 Y27\nG1 Y35\nG0 Z5\n", false,
         NcTool::Ball, 6, 2 * std::sqrt(9.0 - 4.0)},
    };
    const double cell = 0.05;
    for (const GrooveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcHeightMap map =
            ComputeHeightMap(Read(c.program), Options(c.tool, c.diameter, cell));
        ASSERT_TRUE(map.complete);
        ASSERT_TRUE(map.message.empty()) << map.message;
        // As deep as programmed; a ball's lowest cell centre may lie up to half a cell off
        // the centre line.
        const double r = c.diameter / 2;
        const float lowest = *std::min_element(map.heights.begin(), map.heights.end());
        if (c.tool == NcTool::Flat)
            EXPECT_FLOAT_EQ(lowest, -1.0f);
        else
            EXPECT_NEAR(lowest, -1.0, r - std::sqrt(r * r - cell * cell / 4) + 1e-6);
        int cut = 0;
        for (int k = -120; k <= 120; ++k) {
            const double offset = k * cell / 2;
            const double x = c.alongX ? 25 : 25 + offset;
            const double y = c.alongX ? 20 + offset : 20;
            const int cx = std::clamp(int(std::floor((x - map.x0) / map.cell)), 0, map.width - 1);
            const int cy = std::clamp(int(std::floor((y - map.y0) / map.cell)), 0, map.height - 1);
            const double d = std::abs(c.alongX ? map.CellY(cy) - 20 : map.CellX(cx) - 25);
            const float h = map.At(cx, cy);
            EXPECT_GE(h, Profile(c, std::max(0.0, d - cell)) - 1e-4) << "at " << d;
            EXPECT_LE(h, Profile(c, d + cell) + 1e-4) << "at " << d;
        }
        // The width across the groove, counted in cells.
        for (int k = 0; k < (c.alongX ? map.height : map.width); ++k) {
            const float h =
                c.alongX ? HeightAt(map, 25, map.CellY(k)) : HeightAt(map, map.CellX(k), 20);
            cut += h < -1e-3f;
        }
        EXPECT_NEAR(cut * map.cell, c.width, map.cell);
    }
}

struct Probe
{
    double x, y, height, tolerance;
};

struct ArcCase
{
    const char* name;
    std::string program;
    std::vector<Probe> probes;
};

TEST(NcHeightMap, ArcPocketsInEveryPlane)
{
    // Flat 2 mm end mill, stock top 0, cells of 0.05 mm; arcs as chords within a quarter cell.
    const double edge = 1 + 0.1; // beyond the tool's reach by two cells
    const std::vector<ArcCase> cases = {
        {"full circle in XY, radius 5 around (20, 20), 1 mm deep",
         "G0 X40 Y40 Z5\nG17 G0 X25 Y20 Z1\nG1 Z-1 F100\nG2 X25 Y20 I-5 J0\nG0 Z1\n",
         {{20, 15, -1, 1e-4},
          {15, 20, -1, 1e-4},
          {20 + 3.6, 20 + 3.6, -1, 1e-4}, // 45 degrees, on the circle
          {20, 20, 0, 0},
          {20, 20 + 5 - edge, 0, 0},
          {20 - 5 - edge, 20, 0, 0}}},
        {"half circle down in ZX around (20, 20, 0)",
         "G0 X40 Y40 Z5\nG18 G0 X15 Y20 Z0\nG2 X25 Z0 I5 K0\nG0 Z5\n",
         {{20, 20, -5, 0.0125}, {20 - 5 - edge, 20, 0, 0}, {20, 20 + edge, 0, 0}}},
        {"half circle down in YZ around (20, 20, 0)",
         "G0 X40 Y40 Z5\nG19 G0 X20 Y25 Z0\nG2 Y15 Z0 J-5 K0\nG0 Z5\n",
         {{20, 20, -5, 0.0125}, {20, 20 + 5 + edge, 0, 0}, {20 + edge, 20, 0, 0}}},
    };
    for (const ArcCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcHeightMap map = ComputeHeightMap(Read(c.program), Options(NcTool::Flat, 2, 0.05));
        ASSERT_TRUE(map.complete);
        for (const Probe& p : c.probes)
            EXPECT_NEAR(HeightAt(map, p.x, p.y), p.height, p.tolerance) << p.x << ", " << p.y;
    }
}

struct RampCase
{
    const char* name;
    NcTool tool;
    double height; // under the ramp's middle, X 20 Y 20
};

TEST(NcHeightMap, RampsAreCutByTheLowestPartOfTheTool)
{
    // A 4 mm tool down a slope of 1 in 10 from X10 Z0 to X30 Z-2 along Y 20. A flat mill's edge
    // reaches 2 mm further down the slope; a ball touches the slope's line where the sphere's
    // normal is square to it, r (sqrt(1 + 0.01) - 1) under the tip's line.
    const std::vector<RampCase> cases = {
        {"flat", NcTool::Flat, -1.2},
        {"ball", NcTool::Ball, -1 + 2 - 2 * std::sqrt(1.01)},
    };
    const CNcPath path = Read("G0 X0 Y0 Z5\nG0 X40 Y40\nG0 X10 Y20 Z0\nG1 X30 Z-2 F100\nG0 Z5\n");
    for (const RampCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcHeightMap map = ComputeHeightMap(path, Options(c.tool, 4, 0.05));
        // Half a cell off in X on a slope of 1 in 10, and in Y on the ball.
        EXPECT_NEAR(HeightAt(map, 20, 20), c.height, 0.006);
    }
}

TEST(NcHeightMap, TheSameMapOnAnyNumberOfThreadsAndCancelled)
{
    const CNcPath path = Read("G0 X0 Y0 Z5\nG1 Z-1 F100\nG2 X10 Y0 R5\nG1 Y17 Z-2\nG1 X-3 Y3\n");
    CNcHeightMapOptions options = Options(NcTool::Ball, 4, 0.1);
    options.threads = 1;
    const CNcHeightMap one = ComputeHeightMap(path, options);
    for (unsigned threads : {2u, 3u, 7u}) {
        options.threads = threads;
        EXPECT_EQ(ComputeHeightMap(path, options).heights, one.heights) << threads;
    }
    CNcProgress progress;
    progress.cancel = true;
    EXPECT_FALSE(ComputeHeightMap(path, options, &progress).complete);
    options.stockTopGiven = false;
    EXPECT_DOUBLE_EQ(ComputeHeightMap(path, options).stockTop, -1.0); // the highest cut
}

struct RunCase
{
    const char* name;
    NcTool tool;
    std::string program;
    std::string whole; // the same cut in one move, or empty
};

float LargestDifference(const CNcHeightMap& a, const CNcHeightMap& b)
{
    EXPECT_EQ(a.heights.size(), b.heights.size());
    float largest = 0;
    for (size_t k = 0; k < std::min(a.heights.size(), b.heights.size()); ++k)
        largest = std::max(largest, std::abs(a.heights[k] - b.heights[k]));
    return largest;
}

TEST(NcHeightMap, MovesAlongOneLineCutWhatOneMoveDoes)
{
    // The surface against the move-by-move map of the danger check, and against the run made
    // one move; turns back along the line and changes of slope end a run.
    const std::vector<RunCase> cases = {
        {"flat, level, in uneven steps", NcTool::Flat,
         "G0 X5 Y20 Z5\nG1 Z-1 F100\nG1 X7.3\nG1 X12\nG1 X12.137\nG1 X30\n",
         "G0 X5 Y20 Z5\nG1 Z-1 F100\nG1 X30\n"},
        {"ball, down a diagonal", NcTool::Ball,
         "G0 X5 Y5 Z0\nG1 X10 Y10 Z-1 F100\nG1 X13 Y13 Z-1.6\nG1 X25 Y25 Z-4\n",
         "G0 X5 Y5 Z0\nG1 X25 Y25 Z-4 F100\n"},
        {"flat, back along the line and down", NcTool::Flat,
         "G0 X5 Y20 Z5\nG1 Z-1 F100\nG1 X30\nG1 X10\nG1 Y30\nG1 X20 Z-2\nG1 X35 Z-3\nG1 X40 Z-3\n",
         ""},
        {"ball, back along the line and down", NcTool::Ball,
         "G0 X5 Y20 Z5\nG1 Z-1 F100\nG1 X30\nG1 X10\nG1 Y30\nG1 X20 Z-2\nG1 X35 Z-3\nG1 X40 Z-3\n",
         ""},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcPath path = Read(c.program);
        const CNcHeightMapOptions options = Options(c.tool, 3, 0.05);
        const CNcHeightMap map = ComputeHeightMap(path, options);
        EXPECT_LE(LargestDifference(map, FindDangerousMoves(path, options, 0).surface), 1e-5f);
        if (!c.whole.empty()) {
            EXPECT_LE(LargestDifference(map, ComputeHeightMap(Read(c.whole), options)), 1e-5f);
        }
        EXPECT_LT(*std::min_element(map.heights.begin(), map.heights.end()), -0.9f);
    }
}

TEST(NcHeightMap, AMapTooLargeForItsRoomIsMadeCoarserWithAMessage)
{
    const CNcPath path = Read("G0 X0 Y0 Z5\nG1 Z-1 F100\nG1 X40 Y30\n");
    CNcHeightMapOptions options = Options(NcTool::Flat, 3, 0.01); // 4300 x 3300 cells asked
    options.memoryLimit = 4 << 20;
    const CNcHeightMap map = ComputeHeightMap(path, options);
    EXPECT_FALSE(map.message.empty());
    EXPECT_LE(map.MemoryBytes(), options.memoryLimit);
    EXPECT_DOUBLE_EQ(map.cell, 0.04); // doubled until it fits
    EXPECT_FLOAT_EQ(HeightAt(map, 20, 15), -1.0f);
    options.memoryLimit = uint64_t(64) << 20;
    EXPECT_TRUE(ComputeHeightMap(path, options).message.empty());
}

struct DangerCase
{
    const char* name;
    std::string program;
    double maxDepth;
    std::vector<std::pair<uint64_t, CNcDangerousMove::Kind>> expected; // line indexes
};

TEST(NcHeightMap, DangerousMovesInProgramOrder)
{
    using Kind = CNcDangerousMove::Kind;
    const std::vector<DangerCase> cases = {
        {"a rapid plunge into the stock",
         "G0 X0 Y0 Z5\nG0 Z-1\nG1 X20 F100\n",
         0,
         {{1, Kind::RapidThroughStock}}},
        {"a rapid back along the slot already cut",
         "G0 X0 Y0 Z5\nG1 Z-1 F100\nG1 X20\nG0 X0\nG0 Z5\n",
         0,
         {}},
        {"the same rapid before the slot is cut",
         "G0 X0 Y0 Z5\nG1 Z-1 F100\nG0 X20\nG1 X0\n",
         0,
         {{2, Kind::RapidThroughStock}}},
        {"a rapid beside the slot, through standing stock",
         "G0 X0 Y0 Z5\nG1 Z-1 F100\nG1 X20\nG0 Y10\nG0 Z5\n",
         0,
         {{3, Kind::RapidThroughStock}}},
        {"cuts deeper than allowed",
         "G0 X0 Y0 Z5\nG1 Z-0.5 F100\nG1 X5\nG1 Z-2\nG1 X0\nG0 Z5\n",
         1,
         {{3, Kind::TooDeep}, {4, Kind::TooDeep}}},
    };
    for (const DangerCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcDangerCheck check =
            FindDangerousMoves(Read(c.program), Options(NcTool::Flat, 3, 0.1), c.maxDepth);
        std::vector<std::pair<uint64_t, Kind>> found;
        for (const CNcDangerousMove& move : check.moves)
            found.emplace_back(move.line, move.kind);
        EXPECT_EQ(found, c.expected);
        EXPECT_EQ(check.count, c.expected.size());
    }
    const CNcDangerCheck check =
        FindDangerousMoves(Read("G0 X0 Y0 Z5\nG0 Z-1\n"), Options(NcTool::Flat, 3, 0.1), 0);
    ASSERT_EQ(check.moves.size(), 1u);
    EXPECT_EQ(FormatDangerousMove(check.moves[0]), "Line 2: rapid move through 1.000 mm of stock");
}

TEST(NcHeightMap, TheStlSolidIsWatertight)
{
    const CNcHeightMap map = ComputeHeightMap(
        Read("G0 X0 Y0 Z5\nG1 Z-1 F100\nG2 X10 Y0 R5\nG1 Y7\n"), Options(NcTool::Ball, 3, 0.25));
    const std::string file = ::testing::TempDir() + "height-map-watertight.stl";
    std::string error;
    ASSERT_TRUE(WriteHeightMapStl(map, file, error)) << error;
    std::ifstream in(file, std::ios::binary);
    char header[80];
    uint32_t count = 0;
    in.read(header, sizeof header);
    in.read(reinterpret_cast<char*>(&count), sizeof count);
    ASSERT_GT(count, 0u);
    // Every directed edge once, and its reverse once: each edge is shared by two triangles that
    // agree on which side is outside.
    using Vertex = std::array<float, 3>;
    std::map<std::pair<Vertex, Vertex>, int> edges;
    for (uint32_t t = 0; t < count; ++t) {
        float facet[12];
        uint16_t attributes;
        in.read(reinterpret_cast<char*>(facet), sizeof facet);
        in.read(reinterpret_cast<char*>(&attributes), sizeof attributes);
        ASSERT_TRUE(in);
        Vertex v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = {facet[3 + 3 * k], facet[4 + 3 * k], facet[5 + 3 * k]};
        for (int k = 0; k < 3; ++k)
            ++edges[{v[k], v[(k + 1) % 3]}];
    }
    EXPECT_EQ(in.peek(), EOF);
    size_t unshared = 0;
    for (const auto& [edge, uses] : edges)
        unshared += uses != 1 || edges.count({edge.second, edge.first}) != 1;
    EXPECT_EQ(unshared, 0u);
    std::remove(file.c_str());
}

} // namespace
