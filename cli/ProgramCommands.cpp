#include "ProgramCommands.h"

#include "ModelingMachine.h"
#include "NcHeightMap.h"
#include "NcReader.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zr40ctl: %s\n", message.c_str());
    return 1;
}

// A program's bytes, read whole: only regular files, so that a pipe or a device never holds
// the command.
struct CProgramText
{
    std::unique_ptr<char[]> data;
    uint64_t size = 0;
};

bool LoadProgram(const char* path, CProgramText& text, std::string& error)
{
    std::FILE* file = std::fopen(path, "rb");
    struct stat info = {};
    if (!file || ::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = std::string(path) + ": " + (file ? "not a regular file" : std::strerror(errno));
        if (file)
            std::fclose(file);
        return false;
    }
    text.size = uint64_t(info.st_size);
    text.data.reset(new (std::nothrow) char[text.size ? text.size : 1]);
    const bool read = text.data && std::fread(text.data.get(), 1, text.size, file) == text.size;
    if (!read)
        error = std::string(path) + ": " + (text.data ? std::strerror(errno) : "too large");
    std::fclose(file);
    return read;
}

bool ParseMm(const char* text, double& mm)
{
    char* end = nullptr;
    errno = 0;
    mm = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(mm) && std::fabs(mm) < 1.0e6;
}

CNcPath ReadProgram(const CProgramText& text, bool calculator)
{
    CNcReadOptions options;
    if (calculator)
        options.decimalMode = NcDecimalMode::CalculatorAll;
    return ReadNcProgramParallel(text.data.get(), text.size, options);
}

void PrintTravel(const CNcPath& path, CModelingMachine* machine)
{
    AxisTriple low{}, high{}, origin{};
    if (!machine || !machine->GetMoveRange(low, high) || !machine->GetUserOrigin(origin)) {
        std::printf("travel: not checked (no machine answers)\n");
        return;
    }
    // Every coordinate system is placed by the machine's user origin: the panel's own origins
    // of G54..G59 are not known here.
    CNcOrigins origins;
    origins.current = origin;
    const CNcTravelCheck check = CheckTravel(MachineExtents(path, origins), low, high);
    if (check.Fits()) {
        std::printf("travel: fits from the origin %.3f %.3f %.3f mm\n", origin[0] / 1000.0,
                    origin[1] / 1000.0, origin[2] / 1000.0);
        return;
    }
    static constexpr const char* kAxes[3] = {"X", "Y", "Z"};
    std::printf("travel: leaves the machine's travel from the origin %.3f %.3f %.3f mm\n",
                origin[0] / 1000.0, origin[1] / 1000.0, origin[2] / 1000.0);
    for (int axis = 0; axis < 3; ++axis) {
        if (check.below[axis] > 0)
            std::printf("  %s %.3f mm below its travel\n", kAxes[axis], check.below[axis] / 1000.0);
        if (check.above[axis] > 0)
            std::printf("  %s %.3f mm above its travel\n", kAxes[axis], check.above[axis] / 1000.0);
    }
}

void PrintWarnings(const CNcPath& path)
{
    std::printf("warnings: %llu\n", static_cast<unsigned long long>(path.warnings.Count()));
    for (const CNcWarning& warning : path.warnings.Kept())
        std::printf("  %s\n", FormatNcWarning(warning).c_str());
    if (path.warnings.Count() > path.warnings.Kept().size())
        std::printf(
            "  (and %llu more)\n",
            static_cast<unsigned long long>(path.warnings.Count() - path.warnings.Kept().size()));
}

bool EndsWith(const std::string& text, const char* end)
{
    const size_t length = std::strlen(end);
    return text.size() >= length &&
           strncasecmp(text.c_str() + text.size() - length, end, length) == 0;
}

} // namespace

int CheckProgram(int argc, char** argv, CModelingMachine* machine)
{
    const char* file = nullptr;
    bool calculator = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--calculator") == 0)
            calculator = true;
        else if (!file && argv[i][0] != '-')
            file = argv[i];
        else
            return Fail(std::string("check: unknown argument ") + argv[i] + " (see --help)");
    }
    if (!file)
        return Fail("check: no program file given (see --help)");
    CProgramText text;
    std::string error;
    if (!LoadProgram(file, text, error))
        return Fail(error);
    const CNcPath path = ReadProgram(text, calculator);
    std::printf("lines: %llu\nmoves: %zu\n", static_cast<unsigned long long>(path.lineCount),
                path.segments.Size());
    const CNcExtents extents = PathExtents(path);
    if (extents.empty) {
        std::printf("extents: none (the program does not move)\n");
    } else {
        const auto low = InProgramUnits(extents.low, path.inch);
        const auto high = InProgramUnits(extents.high, path.inch);
        const char* unit = path.inch ? "inch" : "mm";
        std::printf("extents: X %.3f .. %.3f, Y %.3f .. %.3f, Z %.3f .. %.3f %s\n", low[0], high[0],
                    low[1], high[1], low[2], high[2], unit);
    }
    PrintTravel(path, machine);
    std::printf("run time: %s at 100 %%\n",
                FormatDuration(CNcRunTime(path).TotalSeconds()).c_str());
    PrintWarnings(path);
    return 0;
}

int SimulateProgram(int argc, char** argv)
{
    const char* file = nullptr;
    std::string out;
    bool calculator = false;
    bool toolGiven = false, diameterGiven = false;
    double maxDepth = 0;
    CNcHeightMapOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        double value = 0;
        if (argument == "--calculator") {
            calculator = true;
        } else if (argument == "--tool" && hasValue) {
            const std::string tool = argv[++i];
            if (tool != "flat" && tool != "ball")
                return Fail("simulate: the tool is flat or ball, not " + tool);
            options.tool = tool == "flat" ? NcTool::Flat : NcTool::Ball;
            toolGiven = true;
        } else if ((argument == "--diameter" || argument == "--resolution" ||
                    argument == "--stock-top" || argument == "--max-depth") &&
                   hasValue) {
            if (!ParseMm(argv[++i], value))
                return Fail("simulate: " + argument + " takes millimetres, not " + argv[i]);
            if (argument != "--stock-top" && value <= 0)
                return Fail("simulate: " + argument + " must be more than 0 mm");
            if (argument == "--diameter")
                options.diameter = value, diameterGiven = true;
            else if (argument == "--resolution")
                options.cell = value;
            else if (argument == "--max-depth")
                maxDepth = value;
            else
                options.stockTop = value, options.stockTopGiven = true;
        } else if (argument == "--out" && hasValue) {
            out = argv[++i];
        } else if (!file && argument[0] != '-') {
            file = argv[i];
        } else {
            return Fail("simulate: unknown or incomplete argument " + argument + " (see --help)");
        }
    }
    if (!file || out.empty() || !toolGiven || !diameterGiven)
        return Fail("simulate: needs FILE, --tool, --diameter and --out (see --help)");
    const bool stl = EndsWith(out, ".stl");
    if (!stl && !EndsWith(out, ".pgm"))
        return Fail("simulate: the output is a .pgm height map or a .stl solid, not " + out);
    CProgramText text;
    std::string error;
    if (!LoadProgram(file, text, error))
        return Fail(error);
    const CNcPath path = ReadProgram(text, calculator);
    text.data.reset();
    // The check sweeps the moves in program order and leaves the surface they cut.
    const CNcDangerCheck check = FindDangerousMoves(path, options, maxDepth);
    const CNcHeightMap& map = check.surface;
    if (map.width == 0)
        return Fail(std::string(file) + ": the program does not move");
    if (!map.message.empty())
        std::printf("%s\n", map.message.c_str());
    std::printf("map: %d x %d cells of %.4f mm, stock top %.3f mm\n", map.width, map.height,
                map.cell, map.stockTop);
    std::printf("dangerous moves: %llu\n", static_cast<unsigned long long>(check.count));
    for (const CNcDangerousMove& move : check.moves)
        std::printf("  %s\n", FormatDangerousMove(move).c_str());
    if (check.count > check.moves.size())
        std::printf("  (and %llu more)\n",
                    static_cast<unsigned long long>(check.count - check.moves.size()));
    const bool written =
        stl ? WriteHeightMapStl(map, out, error) : WriteHeightMapPgm(map, out, error);
    if (!written)
        return Fail(error);
    return 0;
}
