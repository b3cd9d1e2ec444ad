// zr40ctl's program commands as a script runs them: no display, no machine needed.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RunResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// zr40ctl with the display variables removed, its output captured in files.
RunResult Ctl(const std::string& arguments)
{
    const std::string base = ::testing::TempDir() + "zr40ctl-program-" + std::to_string(getpid());
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(ZR40_CTL_EXECUTABLE) + "' " + arguments + " >" + base +
                                ".out 2>" + base + ".err </dev/null";
    RunResult result;
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Slurp(base + ".out");
    result.err = Slurp(base + ".err");
    return result;
}

std::string Write(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A slot along X through Y 20, cut 1 mm deep into a stock top at 0 after a rapid into the
// stock on line 3, and an unknown code on line 6.
const char* const kSlot = "G90 G21\nG0 X10. Y20. Z5.\nG0 Z-0.5\nG1 Z-1. F100.\nG1 X40.\nG38\n"
                          "G0 Z5.\n";

TEST(Zr40ctlProgram, SimulateWritesAHeightMapWhoseSlotIsTheToolsWidth)
{
    const std::string program = Write("ctl-slot.nc", kSlot);
    const std::string image = ::testing::TempDir() + "ctl-slot.pgm";
    const RunResult run =
        Ctl("simulate '" + program +
            "' --tool flat --diameter 3 --resolution 0.05 --stock-top 0 --out '" + image + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("dangerous moves: 1\n  Line 3: rapid move through 0.500 mm of stock"),
              std::string::npos)
        << run.out;

    std::istringstream pgm(Slurp(image));
    std::string magic, line;
    ASSERT_TRUE(std::getline(pgm, magic));
    ASSERT_EQ(magic, "P5");
    double low = 0, step = 0, cell = 0;
    while (pgm.peek() == '#') {
        std::getline(pgm, line);
        std::sscanf(line.c_str(), "# height mm = %lf + value * %lf", &low, &step);
        std::sscanf(line.c_str(), "# cell %lf mm", &cell);
    }
    int width = 0, height = 0, maxValue = 0;
    pgm >> width >> height >> maxValue;
    pgm.get();
    ASSERT_EQ(maxValue, 65535);
    ASSERT_DOUBLE_EQ(cell, 0.05);
    EXPECT_DOUBLE_EQ(low, -1.0);
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 2);
    ASSERT_TRUE(pgm.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size())));
    // Down the middle column: the cells cut below the stock top, and the deepest.
    int cut = 0;
    double deepest = 0;
    for (int y = 0; y < height; ++y) {
        const size_t at = (size_t(y) * size_t(width) + size_t(width / 2)) * 2;
        const double mm = low + ((pixels[at] << 8) | pixels[at + 1]) * step;
        cut += mm < -0.001;
        deepest = std::min(deepest, mm);
    }
    EXPECT_NEAR(cut * cell, 3.0, cell);
    EXPECT_NEAR(deepest, -1.0, 1e-6);
}

TEST(Zr40ctlProgram, CheckPrintsExtentsRunTimeAndWarnings)
{
    const RunResult run = Ctl("check '" + Write("ctl-check.nc", kSlot) + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* expected :
         {"extents: X 0.000 .. 40.000, Y 0.000 .. 20.000, Z -1.000 .. 5.000 mm",
          "travel: ", "run time: 0:00:", "warnings: 1\n  Line 6: "})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST(Zr40ctlProgram, BadArgumentsAndFilesAreOneLineErrors)
{
    const std::string program = Write("ctl-args.nc", kSlot);
    const std::string out = " --out " + ::testing::TempDir() + "ctl-args.pgm";
    for (const std::string& arguments :
         {"simulate '" + program + "' --tool cone --diameter 3" + out,
          "simulate '" + program + "' --tool flat --diameter -1" + out,
          "simulate '" + program + "' --tool flat --diameter 3 --resolution x" + out,
          "simulate '" + program + "' --tool flat" + out,
          "simulate '" + program + "' --tool flat --diameter 3 --out part.png",
          "simulate '" + program + "' --tool flat --diameter 3 --out /nonexistent/part.pgm",
          "simulate /nonexistent.nc --tool flat --diameter 3" + out, std::string("check /tmp"),
          std::string("check")}) {
        const RunResult run = Ctl(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.starts_with("zr40ctl: ")) << run.err;
    }
}

} // namespace
