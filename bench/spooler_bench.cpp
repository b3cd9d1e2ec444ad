// Hands a large file to a raw queue of a private print server through the USB link's spooler
// path (OutputFile), and the same file with `lp -o raw` to the same queue in the same run; prints
// both times and the ratio of the speeds (target: at least 0.8 of lp's).
//
// Usage: spooler_bench [MEGABYTES]   (default 300; needs root for the private server's filters)
#include "PrivateCups.h"
#include "UsbPrintLink.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 300;
    CPrivateCups cups;
    if (!cups.IsRunning()) {
        std::fprintf(stderr, "spooler_bench: %s\n", cups.Why().c_str());
        return 1;
    }
    // The queue throws its jobs away, so that only the hand-over is measured.
    if (!cups.AddQueue("bench", "Quenby ZR-40", "file:///dev/null")) {
        std::fprintf(stderr, "spooler_bench: the queue could not be added\n");
        return 1;
    }
    char path[] = "/tmp/zr40-spooler-bench-XXXXXX";
    const int out = mkstemp(path);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7 + i / 251);
    for (long i = 0; i < megabytes; ++i)
        if (write(out, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::fprintf(stderr, "spooler_bench: %s cannot be written\n", path);
            unlink(path);
            return 1;
        }
    close(out);

    CUsbPrintLink link;
    link.SetName("bench");
    const int fd = open(path, O_RDONLY);
    auto start = Clock::now();
    const bool sent = link.OutputFile(fd, path, "Mildek 1/1");
    const double ours = Seconds(start);
    close(fd);
    cups.WaitUntilIdle("bench", 600000);

    start = Clock::now();
    const int lp = CPrivateCups::Run({"lp", "-d", "bench", "-o", "raw", path});
    const double theirs = Seconds(start);
    cups.WaitUntilIdle("bench", 600000);
    unlink(path);

    if (!sent || lp != 0) {
        std::fprintf(stderr, "spooler_bench: a hand-over failed (OutputFile %d, lp %d)\n", sent,
                     lp);
        return 1;
    }
    std::printf("file:       %ld MB\n", megabytes);
    std::printf("OutputFile: %.3f s (%.1f MB/s)\n", ours, megabytes / ours);
    std::printf("lp -o raw:  %.3f s (%.1f MB/s)\n", theirs, megabytes / theirs);
    std::printf("speed ratio OutputFile / lp: %.2f (target at least 0.80)\n", theirs / ours);
    return 0;
}
