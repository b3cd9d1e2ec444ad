// Loading and indexing a large NC file as the Cut dialog's preview and the test cut do, beside
// `wc -l` on the same file in the same run, and painting the text view at the top and at the
// end of that file beside a file of ten lines. The ratios are what to compare across machines.
// The first load is timed in fresh processes (this program started again with --first-load),
// as the panel meets it; a second holder of the same file then shares the image. Then the click
// on "Toolpath..." to a picture, built as the window builds it (load, the read on every core,
// extents, both views, the run time), and the travel check before output finding that reading,
// with the peak memory of the whole sequence against the file and its segments.
//
//   cutdata_bench [LINES [FILE]]
//   cutdata_bench --first-load FILE    (prints "wall processor lines" of one load)
//
// LINES defaults to 100 million (about 2 GB), or a quarter of that where free memory is short.
// FILE defaults to a file generated once in the temporary folder and kept for later runs.
#include "CutDataFile.h"
#include "NcPathCache.h"
#include "TextViewCtrl.h"
#include "ToolpathModel.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall and processor time of one contender; on a busy machine the processor time is the fairer
// comparison, as the wall time includes waiting for a core.
struct Timing
{
    double wall = 1e9;
    double cpu = 1e9;
};

int64_t FileSize(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 ? int64_t(info.st_size) : -1;
}

// Lines of an NC program of varied length, about 20 bytes each on average.
void Generate(const std::string& path, int64_t lines)
{
    std::ofstream out(path, std::ios::binary);
    std::string buffer;
    buffer.reserve(1 << 20);
    char line[64];
    for (int64_t i = 0; i < lines; ++i) {
        const int length = std::snprintf(
            line, sizeof line, "G1X%lldY%lldZ-%lld\r\n", static_cast<long long>(i % 100000),
            static_cast<long long>(i % 7919), static_cast<long long>(i % 97));
        buffer.append(line, size_t(length));
        if (buffer.size() > (1 << 20) - 64) {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), std::streamsize(buffer.size()));
}

// Reads the file once so that both contenders find it in the page cache.
void Warm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0) {
    }
}

// Times of `wc -l path`, its output discarded; the best of runs.
Timing TimeWordCount(const std::string& path, int runs)
{
    Timing best;
    for (int run = 0; run < runs; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::string program = "wc", option = "-l", file = path;
        char* argv[] = {program.data(), option.data(), file.data(), nullptr};
        const auto start = Clock::now();
        pid_t pid = -1;
        if (posix_spawnp(&pid, "wc", &actions, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "cannot run wc\n");
            std::exit(1);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        best.wall = std::min(best.wall, Seconds(start));
        best.cpu = std::min(best.cpu, CpuSeconds(usage));
        posix_spawn_file_actions_destroy(&actions);
    }
    return best;
}

// Median time of one full paint of the view's visible rows, in milliseconds.
double PaintMs(CTextViewCtrl& view, int repeats)
{
    QImage target(view.viewport()->size(), QImage::Format_RGB32);
    std::vector<double> samples;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        view.viewport()->render(&target);
        samples.push_back(Seconds(start) * 1000);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The first load of the file in this process: "wall processor lines".
int FirstLoad(const char* path)
{
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    CCutDataFile file;
    if (!file.Load(path).Ok())
        return 1;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("%.6f %.6f %lld\n", Seconds(start), CpuSeconds(after) - CpuSeconds(before),
                static_cast<long long>(file.LineCount()));
    return 0;
}

// The best times of the first load in fresh processes of this program.
Timing TimeFirstLoad(const char* self, const std::string& path, int runs)
{
    Timing best;
    for (int run = 0; run < runs; ++run) {
        int out[2];
        if (::pipe(out) != 0)
            std::exit(1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string program = self, option = "--first-load", file = path;
        char* argv[] = {program.data(), option.data(), file.data(), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, self, &actions, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", self);
            std::exit(1);
        }
        ::close(out[1]);
        char text[128] = {};
        size_t got = 0;
        for (ssize_t n; got + 1 < sizeof text &&
                        (n = ::read(out[0], text + got, sizeof text - 1 - got)) != 0;) {
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            got += size_t(n);
        }
        ::close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        Timing one;
        if (std::sscanf(text, "%lf %lf", &one.wall, &one.cpu) != 2) {
            std::fprintf(stderr, "the first load failed\n");
            std::exit(1);
        }
        best.wall = std::min(best.wall, one.wall);
        best.cpu = std::min(best.cpu, one.cpu);
    }
    return best;
}

// The peak resident memory of this process so far (VmHWM), bytes.
double PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == "VmHWM:") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    return 0;
}

// The toolpath window opened on the file the preview shows (preview: that holder), timed
// stage by stage as the window's worker builds it, then the travel check before output finding
// the window's reading. Prints each figure as a ratio to its target.
void ClickToPicture(const std::string& path, CCutDataFile& preview, int64_t size)
{
    using Stage = CToolpathModel::Stage;
    const CNcReadOptions options; // the machine's own reading: conventional numbers, block skip
    const auto start = Clock::now();
    CCutDataFile window;
    if (!window.Load(QByteArray::fromStdString(path)).Ok())
        return;
    const double load = Seconds(start);
    double at[Stage::StageCount + 1] = {};
    CNcProgress progress;
    std::atomic<int> stage{0};
    auto model = std::shared_ptr<const CToolpathModel>(CToolpathModel::Build(
        window, options, 1200, progress, stage, [&](Stage next) { at[next] = Seconds(start); }));
    at[Stage::StageCount] = Seconds(start);
    if (!model)
        return;
    NcPathCache::Keep(window, options, std::shared_ptr<const CNcPath>(model, &model->path));
    const double read = at[Stage::Drawing] - at[Stage::Reading];
    const double draw = at[Stage::Timing] - at[Stage::Drawing];
    const double time = at[Stage::StageCount] - at[Stage::Timing];
    const double total = at[Stage::StageCount];

    // Output: the travel check on the preview's image finds the window's path.
    const auto check = Clock::now();
    const auto found = NcPathCache::Find(preview, options);
    const CNcExtents extents = found ? MachineExtents(*found, {}) : CNcExtents{};
    const double travel = Seconds(check);
    const double peak = PeakResidentBytes();
    const double segments = double(model->path.segments.MemoryBytes());

    constexpr double ReadTarget = 2.0, PictureTarget = 3.0, MemoryTarget = 1.1;
    // The targets are for 100 M lines: other sizes are scaled to their segments.
    const double scale = double(model->path.segments.Size()) / 1e8;
    std::printf("toolpath of %zu segments: load %.3f s, parallel read %.3f s, extents and both "
                "views %.3f s, run time %.3f s\n",
                model->path.segments.Size(), load, read, draw, time);
    std::printf("parallel read: %.3f s, target under %.2f s: %.2f x the target (%s)\n", read,
                ReadTarget * scale, read / (ReadTarget * scale),
                read < ReadTarget * scale ? "met" : "missed");
    std::printf("click to picture: %.3f s, target under %.2f s: %.2f x the target (%s)\n", total,
                PictureTarget * scale, total / (PictureTarget * scale),
                total < PictureTarget * scale ? "met" : "missed");
    std::printf("travel check before output: %.6f s, %s%s\n", travel,
                found.get() == &model->path ? "the window's reading" : "read again",
                extents.empty ? ", no moves" : "");
    const double limit = (double(size) + segments) * MemoryTarget;
    std::printf("peak RSS of preview, toolpath, output: %.0f MB, file %.0f MB + segments %.0f MB "
                "+ 10 %% = %.0f MB: %.2f x the target (%s)\n",
                peak / 1e6, double(size) / 1e6, segments / 1e6, limit / 1e6, peak / limit,
                peak <= limit ? "met" : "missed");
}

int64_t AvailableBytes()
{
    return int64_t(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--first-load")
        return FirstLoad(argv[2]);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int64_t lines = argc > 1 ? std::atoll(argv[1]) : 100'000'000;
    if (argc <= 1 && AvailableBytes() < 3 * lines * 21) {
        lines /= 4;
        std::printf("free memory is short: %lld lines\n", static_cast<long long>(lines));
    }
    const std::string path =
        argc > 2 ? argv[2]
                 : std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                       "/zr40-cutdata-bench-" + std::to_string(lines) + ".nc";
    if (FileSize(path) <= 0) {
        const auto start = Clock::now();
        Generate(path, lines);
        std::printf("generated %s in %.1f s\n", path.c_str(), Seconds(start));
    }
    const int64_t size = FileSize(path);
    Warm(path);

    const Timing wordCount = TimeWordCount(path, 3);
    const Timing firstLoad = TimeFirstLoad("/proc/self/exe", path, 3);
    CCutDataFile file;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    if (!file.Load(QByteArray::fromStdString(path)).Ok()) {
        std::fprintf(stderr, "cannot load %s\n", path.c_str());
        return 1;
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const Timing load{Seconds(start), CpuSeconds(after) - CpuSeconds(before)};
    const double peak = double(after.ru_maxrss) * 1024;
    // A second holder of the unchanged file (the toolpath window beside the preview) shares
    // the image: no second copy, and almost no time.
    getrusage(RUSAGE_SELF, &before);
    const auto again = Clock::now();
    CCutDataFile second;
    (void)second.Load(QByteArray::fromStdString(path));
    getrusage(RUSAGE_SELF, &after);
    const Timing reload{Seconds(again), CpuSeconds(after) - CpuSeconds(before)};
    const double peakShared = double(after.ru_maxrss) * 1024;

    std::printf("file: %s, %.0f MB, %lld lines\n", path.c_str(), double(size) / 1e6,
                static_cast<long long>(file.LineCount()));
    std::printf("wc -l:          %.3f s wall, %.3f s processor\n", wordCount.wall, wordCount.cpu);
    std::printf("first load, fresh process (best of 3): %.3f s wall, %.3f s processor\n",
                firstLoad.wall, firstLoad.cpu);
    std::printf("load and index in this process: %.3f s wall, %.3f s processor\n", load.wall,
                load.cpu);
    std::printf("second holder of the same file: %.6f s wall, %s\n", reload.wall,
                second.IsShared() ? "shares the image" : "a copy of its own");
    constexpr double SpeedTarget = 0.5;
    const double speedWall = wordCount.wall / firstLoad.wall;
    const double speedCpu = wordCount.cpu / std::max(firstLoad.cpu, 1e-6);
    std::printf("first load speed (wc time / load time): %.2f wall, %.2f processor; target at "
                "least %.1f: %.2f x the target on wall time (%s)\n",
                speedWall, speedCpu, SpeedTarget, speedWall / SpeedTarget,
                speedWall >= SpeedTarget ? "met" : "missed");
    std::printf("peak RSS: %.0f MB, ratio to file size: %.3f, with the second holder %.3f  "
                "(target under 1.2)\n",
                peak / 1e6, peak / double(size), peakShared / double(size));
    ClickToPicture(path, file, size);

    QApplication app(argc, argv);
    // A view ten rows high, so that the ten-line file fills it as the large one does.
    CTextViewCtrl view;
    view.resize(640, 10 * view.GetLineHeight() + 8 + view.height() - view.viewport()->height());
    view.show();
    CCutDataFile small;
    small.LoadFromMemory("/ten.nc", "%\r\nG0X1\r\nG1X2\r\nG1X3\r\nG1X4\r\nG1X5\r\nG1X6\r\nG1X7\r\n"
                                    "G1X8\r\n%\r\n");
    constexpr int Repeats = 200;
    view.SetFile(&small);
    const double paintSmall = PaintMs(view, Repeats);
    view.SetFile(&file);
    const double paintTop = PaintMs(view, Repeats);
    view.SetHighlightLine(file.LineCount() - 1);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    const double paintEnd = PaintMs(view, Repeats);
    std::printf("paint (median of %d): 10 lines %.3f ms, top of the file %.3f ms, end of the "
                "file %.3f ms\n",
                Repeats, paintSmall, paintTop, paintEnd);
    return 0;
}
