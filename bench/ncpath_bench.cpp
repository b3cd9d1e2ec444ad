// The cost of reading an NC program into motion segments, beside the cost of loading the same
// file into memory, for a large generated program and a 1,000-line one in the same run.
//
//   ncpath_bench [LINES]     (default 1,000,000; 100,000,000 lines make a file of about 2 GB)
//
// The programs are written to the temporary folder and removed afterwards.
#include "NcReader.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#ifdef ZR40_BENCH_CUT_DATA_FILE
#include "CutDataFile.h"
#include "NcPathRaster.h"
#include "ToolpathView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The parallel read of 100,000,000 lines on two idle cores, scaled to the lines read.
constexpr double kParallelTargetSeconds = 2.0;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time, beside the wall-clock time: on a machine shared with other work it shows
// what the step itself costs.
double CpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// A pocket cleared in zig-zag rows with arcs at the row ends and a step down every 500 rows:
// the shape of CAM output, about 20 bytes a line.
void WriteProgram(const std::string& path, uint64_t lines)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<char> buffer(1 << 20);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    std::fputs("%\n(generated pocket)\nG90 G21 G17 G54\nG0 X0. Y0. Z5.\nG1 Z-0.5 F300.\n", file);
    uint64_t written = 5;
    int row = 0;
    int column = 0;
    while (written < lines) {
        const int y = (row % 150) * 1000;
        if (column > 199000) {
            // Half a turn up to the next row, where the row before ended.
            const int x = row % 2 == 0 ? 199000 : 0;
            std::fprintf(file, "G%d X%d. Y%d.%03d R0.5\n", row % 2 == 0 ? 3 : 2, x / 1000,
                         (y + 1000) / 1000, (y + 1000) % 1000);
            ++row;
            column = 0;
            if (row % 500 == 0)
                std::fprintf(file, "G0 Z5.\n"), ++written;
        } else {
            const int x = row % 2 == 0 ? column : 199000 - column;
            std::fprintf(file, "G1 X%d.%03d Y%d.%03d\n", x / 1000, x % 1000, y / 1000, y % 1000);
            column = column == 199000 ? 199001 : std::min(column + 137, 199000);
        }
        ++written;
    }
    std::fclose(file);
}

struct Loaded
{
    std::unique_ptr<char[]> owned;
    const char* data = nullptr;
    uint64_t size = 0;
#ifdef ZR40_BENCH_CUT_DATA_FILE
    CCutDataFile file;
#endif
};

// The file into memory as the panel loads it before a preview or a test cut.
void Load(const std::string& path, Loaded& loaded)
{
#ifdef ZR40_BENCH_CUT_DATA_FILE
    if (!loaded.file.Load(QByteArray::fromStdString(path)).Ok()) {
        std::fprintf(stderr, "cannot load %s\n", path.c_str());
        std::exit(1);
    }
    loaded.data = loaded.file.LineText(0).data();
    loaded.size = uint64_t(loaded.file.GetLength());
#else
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    loaded.size = uint64_t(in.tellg());
    loaded.owned = std::make_unique_for_overwrite<char[]>(loaded.size + 1);
    in.seekg(0);
    in.read(loaded.owned.get(), std::streamsize(loaded.size));
    loaded.owned[loaded.size] = '\0';
    loaded.data = loaded.owned.get();
#endif
}

#ifdef ZR40_BENCH_CUT_DATA_FILE
// The first complete picture after reading (the raster pyramid and one paint), and one repaint
// at the fitted zoom and zoomed in about 7 and 55 times (nine and eighteen key steps of 1.25).
void MeasureView(const CNcPath& program)
{
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    CNcPathRaster top, side;
    CNcPathRaster::DrawBoth(program, PathExtents(program), top, side);
    CToolpathView view(NcProjection::Top);
    view.resize(1000, 800);
    view.SetPath(&program, &top);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&image);
    std::printf("       first picture (both views drawn) %.3f s (cpu %.3f); repaint",
                SecondsSince(start), CpuSeconds() - cpu);
    for (int round = 0; round < 3; ++round) {
        start = Clock::now();
        const int repaints = 20;
        for (int k = 0; k < repaints; ++k)
            view.render(&image);
        std::printf("  x%.0f %.2f ms", std::pow(1.25, 9 * round),
                    SecondsSince(start) * 1000 / repaints);
        for (int step = 0; step < 9; ++step)
            QTest::keyClick(&view, Qt::Key_Plus);
    }
    std::printf("\n");
}
#endif

void Measure(const char* label, uint64_t lines)
{
    char folder[] = "/tmp/ncpath_bench_XXXXXX";
    const char* made = mkdtemp(folder);
    if (!made) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string path = std::string(made) + "/program.nc";
    WriteProgram(path, lines);

    Loaded loaded;
    auto start = Clock::now();
    double cpu = CpuSeconds();
    Load(path, loaded);
    const double loadSeconds = SecondsSince(start);
    const double loadCpu = CpuSeconds() - cpu;

    start = Clock::now();
    cpu = CpuSeconds();
    const CNcPath program = ReadNcProgram(loaded.data, loaded.size);
    const double readSeconds = SecondsSince(start);
    const double readCpu = CpuSeconds() - cpu;

    // The same program read on every core, which must give the same path.
    start = Clock::now();
    cpu = CpuSeconds();
    const CNcPath parallel = ReadNcProgramParallel(loaded.data, loaded.size);
    const double parallelSeconds = SecondsSince(start);
    const double parallelCpu = CpuSeconds() - cpu;
    bool same = parallel.segments.Size() == program.segments.Size() &&
                parallel.lineCount == program.lineCount &&
                parallel.warnings.Count() == program.warnings.Count() &&
                parallel.arcs.size() == program.arcs.size();
    for (size_t i = 0; same && i < program.segments.Size(); ++i)
        same = parallel.segments[i].packed == program.segments[i].packed &&
               parallel.segments[i].end == program.segments[i].end;
    const double target = kParallelTargetSeconds * double(program.lineCount) / 1e8;

    start = Clock::now();
    const CNcRunTime time(program);
    const CNcExtents extents = PathExtents(program);
    const double estimateSeconds = SecondsSince(start);

    std::printf("%-6s %11llu lines %8.1f MB  load %7.3f s (cpu %7.3f)  read %7.3f s (cpu %7.3f, "
                "%.2f x load)  extents + time %6.3f s\n       %llu segments in %.1f MB, %llu "
                "warnings, run time %.0f s, X %.1f..%.1f mm\n",
                label, static_cast<unsigned long long>(program.lineCount), loaded.size / 1e6,
                loadSeconds, loadCpu, readSeconds, readCpu, readCpu / loadCpu, estimateSeconds,
                static_cast<unsigned long long>(program.segments.Size()),
                program.segments.MemoryBytes() / 1e6,
                static_cast<unsigned long long>(program.warnings.Count()), time.TotalSeconds(),
                extents.low[0] / 1000.0, extents.high[0] / 1000.0);
    std::printf(
        "       parallel read on %u threads %7.3f s (cpu %7.3f), %.2f x the sequential read, "
        "%.2f x the target (%.2f s for these lines)%s\n",
        std::max(1u, std::thread::hardware_concurrency()), parallelSeconds, parallelCpu,
        parallelSeconds / readSeconds, parallelSeconds / target, target,
        same ? "" : "  DIFFERENT PATH");
#ifdef ZR40_BENCH_CUT_DATA_FILE
    MeasureView(program);
#endif
    std::remove(path.c_str());
    rmdir(made);
}

} // namespace

int main(int argc, char** argv)
{
#ifdef ZR40_BENCH_CUT_DATA_FILE
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#endif
    const uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
#ifdef ZR40_BENCH_CUT_DATA_FILE
    std::printf("load = CCutDataFile::Load\n");
#else
    std::printf("load = reading the file into one buffer\n");
#endif
    Measure("small", 1000);
    Measure("large", lines);
    return 0;
}
