#include "NcReader.h"

#include <cmath>

namespace {

inline NcPoint ToPoint(const std::array<double, 3>& mm)
{
    return {ToMicrometres(mm[0]), ToMicrometres(mm[1]), ToMicrometres(mm[2])};
}

} // namespace

CNcPath ReadNcProgram(const char* data, uint64_t size, const CNcReadOptions& options,
                      CNcProgress* progress)
{
    CNcPath path;
    path.start = ToPoint(options.start);
    if (size == 0)
        return path; // an empty file has no lines at all
    CNcInterpreter interpreter(options);
    if (progress) {
        progress->done = 0;
        progress->total = size;
    }
    const char* p = data;
    const char* const end = data + size;
    double feed = -1;
    int system = -1;
    uint64_t line = 0;
    CNcLineResult result;
    while (true) {
        if (progress && (line & 0xFFFF) == 0) {
            progress->done.store(uint64_t(p - data), std::memory_order_relaxed);
            if (progress->cancel.load(std::memory_order_relaxed))
                break;
        }
        if (line > CNcSegment::kMaxLine) {
            CNcWarning warning;
            warning.line = line;
            warning.kind = NcWarningKind::TooManyLines;
            path.warnings.Add(warning);
            break;
        }
        interpreter.ReadLine(p, end, line, result);
        if (result.warned)
            path.warnings.Add(result.warning);
        if (result.moved) {
            const CNcMove& move = result.move;
            const auto index = uint32_t(path.segments.Size());
            if (move.feed != feed) {
                feed = move.feed;
                path.feeds.push_back({index, float(feed)});
            }
            if (move.system != system) {
                system = move.system;
                path.systems.push_back({index, system});
            }
            if (move.motion == NcMotion::ArcCw || move.motion == NcMotion::ArcCcw)
                path.arcs.push_back({index, ToPoint(move.centre)});
            path.segments.PushBack(
                CNcSegment::Make(ToPoint(move.end), uint32_t(line), move.motion, move.plane));
        }
        ++line;
        const char* next = NextNcLine(result.stop, end);
        if (!next) {
            if (result.stop != end) {
                CNcWarning warning;
                warning.line = line - 1;
                warning.kind = NcWarningKind::EndOfData;
                path.warnings.Add(warning);
            }
            break;
        }
        p = next;
    }
    path.lineCount = line;
    path.inch = interpreter.State().inch;
    return path;
}
