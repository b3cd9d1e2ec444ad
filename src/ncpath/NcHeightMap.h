#pragma once

#include "NcPath.h"

#include <cstdint>
#include <string>
#include <vector>

// The machined surface of a program: the stock top lowered under the tool swept along every
// move, sampled at the centres of square cells over the program's XY extents (widened by the
// tool's radius). Heights are mm, in the program's own frame.
enum class NcTool : uint8_t
{
    Flat = 0, // flat end mill: its face is a disc at the tip
    Ball = 1, // ball end mill: a half sphere whose lowest point is the tip
};

struct CNcHeightMapOptions
{
    NcTool tool = NcTool::Flat;
    double diameter = 3.0; // mm
    double cell = 0;       // mm; 0: the finest that keeps the map at or under maxCells a side
    int maxCells = 4096;
    bool stockTopGiven = false; // otherwise the highest end point of a cutting move
    double stockTop = 0;        // mm
    unsigned threads = 0;       // 0: one per processor
    // Room for the heights; a finer map is made coarser (cells doubled) until it fits.
    uint64_t memoryLimit = uint64_t(64) << 20;
};

struct CNcHeightMap
{
    int width = 0;  // cells along X
    int height = 0; // cells along Y
    double cell = 0;
    double x0 = 0, y0 = 0; // the low corner of cell (0, 0), mm
    double stockTop = 0;
    std::vector<float> heights; // row by row from low Y, heights[y * width + x]
    bool complete = false;      // false when cancelled
    std::string message;        // why the map is coarser than asked, if it is

    float At(int x, int y) const { return heights[size_t(y) * size_t(width) + size_t(x)]; }
    double CellX(int x) const { return x0 + (x + 0.5) * cell; }
    double CellY(int y) const { return y0 + (y + 0.5) * cell; }
    size_t MemoryBytes() const { return heights.capacity() * sizeof(float); }
};

// The surface on every core: the map is cut into bands of rows and each thread sweeps every
// segment over its own band, so the result does not depend on the number of threads. progress
// counts segments swept over all bands; a cancel request ends early with complete false.
CNcHeightMap ComputeHeightMap(const CNcPath& path, const CNcHeightMapOptions& options = {},
                              CNcProgress* progress = nullptr);

// A move that would wreck the part.
struct CNcDangerousMove
{
    enum class Kind : uint8_t
    {
        RapidThroughStock, // a rapid move through material still standing
        TooDeep,           // a cutting move below the allowed depth under the stock top
    };
    uint64_t line = 0; // line index, 0 for the first line
    size_t segment = 0;
    Kind kind = Kind::RapidThroughStock;
    double depth = 0; // mm: material the rapid move cuts, or how deep the cut goes
};

struct CNcDangerCheck
{
    std::vector<CNcDangerousMove> moves; // the first kKept, in program order
    uint64_t count = 0;                  // all of them
    CNcHeightMap surface;                // the map the check swept, in program order
    static constexpr size_t kKept = 10000;
};

// "Line 12: rapid move through 2.000 mm of stock" (line numbers from 1).
std::string FormatDangerousMove(const CNcDangerousMove& move);

// Moves in program order, so that material removed earlier counts: rapid moves whose tool cuts
// standing material, and feed moves and arcs deeper than maxDepth mm under the stock top
// (maxDepth <= 0: no depth check). Sequential: each move sees the map the moves before it left.
CNcDangerCheck FindDangerousMoves(const CNcPath& path, const CNcHeightMapOptions& options,
                                  double maxDepth, CNcProgress* progress = nullptr);

// A 16-bit greyscale PGM, white at the stock top, rows from high Y down as images run, the scale
// in a comment. False with a reason when the file cannot be written.
bool WriteHeightMapPgm(const CNcHeightMap& map, const std::string& path, std::string& error);

// A binary STL solid: the surface through the cell centres, walls on the four sides and a bottom
// 1 mm under the lowest point, every edge shared by two triangles.
bool WriteHeightMapStl(const CNcHeightMap& map, const std::string& path, std::string& error);
