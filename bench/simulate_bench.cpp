// The machined surface of a large generated program at 2048 x 2048 cells on every core, beside
// its targets, and the memory of the map itself.
//
//   simulate_bench [LINES]     (default 10,000,000; the target is for 100,000,000 lines)
#include "NcHeightMap.h"
#include "NcReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// 100,000,000 lines at 2048 x 2048 on two idle cores, scaled to the lines swept.
constexpr double kTargetSeconds = 5.0;
constexpr double kTargetLines = 1e8;
constexpr double kMapTargetMb = 64.0;

// A pocket cleared in zig-zag rows with arcs at the row ends, the shape of CAM output, as the
// reader's benchmark makes it; here every 500 rows go 0.5 mm deeper, so that every move cuts.
std::string MakeProgram(uint64_t lines)
{
    std::string text = "%\n(generated pocket)\nG90 G21 G17 G54\nG0 X0. Y0. Z5.\nG1 Z-0.5 F300.\n";
    text.reserve(lines * 22);
    char line[80];
    uint64_t written = 5;
    int row = 0, column = 0, depth = 500;
    while (written < lines) {
        const int y = (row % 150) * 1000;
        int length;
        if (column > 199000) {
            const int x = row % 2 == 0 ? 199000 : 0;
            length =
                std::snprintf(line, sizeof line, "G%d X%d. Y%d.%03d R0.5\n", row % 2 == 0 ? 3 : 2,
                              x / 1000, (y + 1000) / 1000, (y + 1000) % 1000);
            ++row;
            column = 0;
            if (row % 500 == 0) {
                depth += 500;
                text += "G0 Z5.\n";
                length += std::snprintf(line + length, sizeof line - length, "G1 Z-%d.%03d\n",
                                        depth / 1000, depth % 1000);
                written += 2;
            }
        } else {
            const int x = row % 2 == 0 ? column : 199000 - column;
            length = std::snprintf(line, sizeof line, "G1 X%d.%03d Y%d.%03d\n", x / 1000, x % 1000,
                                   y / 1000, y % 1000);
            column = column == 199000 ? 199001 : std::min(column + 137, 199000);
        }
        text.append(line, size_t(length));
        ++written;
    }
    return text;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
    std::string program = MakeProgram(lines);
    CNcReadOptions options;
    const CNcPath path = ReadNcProgramParallel(program.data(), program.size(), options);
    program = {};
    std::printf("program: %llu lines, %zu moves; %u cores\n",
                static_cast<unsigned long long>(path.lineCount), path.segments.Size(),
                std::thread::hardware_concurrency());

    CNcHeightMapOptions map;
    map.tool = NcTool::Flat;
    map.diameter = 3;
    map.maxCells = 2048;
    map.stockTopGiven = true;
    map.stockTop = 0;
    CNcProgress progress;
    const auto start = std::chrono::steady_clock::now();
    const CNcHeightMap surface = ComputeHeightMap(path, map, &progress);
    const double seconds = Since(start);
    const double scaled = seconds * kTargetLines / double(path.lineCount);
    const double mb = surface.MemoryBytes() / 1048576.0;
    std::printf("surface %d x %d cells of %.4f mm: %.2f s, %.2f s per 100,000,000 lines "
                "(target %.1f s, %.0f %% of it)\n",
                surface.width, surface.height, surface.cell, seconds, scaled, kTargetSeconds,
                100.0 * scaled / kTargetSeconds);
    std::printf("map memory: %.1f MB (target at most %.0f MB)\n", mb, kMapTargetMb);
    std::printf("progress counted %llu of %llu\n",
                static_cast<unsigned long long>(progress.done.load()),
                static_cast<unsigned long long>(progress.total.load()));
    return 0;
}
