#include "NcReader.h"

#include <cmath>

namespace {

inline NcPoint ToPoint(const std::array<double, 3>& mm)
{
    return {ToMicrometres(mm[0]), ToMicrometres(mm[1]), ToMicrometres(mm[2])};
}

} // namespace

void ReadNcLines(CNcReadCursor& cursor, CNcPath& path, const char* limit, CNcProgress* progress)
{
    const char* p = cursor.p;
    const char* const end = cursor.end;
    double feed = cursor.feed;
    int system = cursor.system;
    uint64_t line = cursor.line;
    CNcLineResult& result = cursor.result;
    bool done = cursor.done;
    while (!done && (!limit || p < limit)) {
        if (progress && (line & 0xFFFF) == 0) {
            progress->done.store(uint64_t(p - cursor.begin), std::memory_order_relaxed);
            if (progress->cancel.load(std::memory_order_relaxed)) {
                done = true;
                break;
            }
        }
        if (line > CNcSegment::kMaxLine) {
            CNcWarning warning;
            warning.line = line;
            warning.kind = NcWarningKind::TooManyLines;
            path.warnings.Add(warning);
            done = true;
            break;
        }
        // The program's pages lie apart in memory, where the processor's own prefetch does not
        // follow: the bytes two pages on are asked for while this line is read. A prefetch
        // never faults, whatever the address.
        __builtin_prefetch(p + 8192);
        cursor.interpreter.ReadLine(p, end, line, result);
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
        p = result.stop;
        const char* next = NextNcLine(p, end);
        if (!next) {
            if (p != end) {
                CNcWarning warning;
                warning.line = line - 1;
                warning.kind = NcWarningKind::EndOfData;
                path.warnings.Add(warning);
            }
            done = true;
            break;
        }
        p = next;
    }
    cursor.p = p;
    cursor.feed = feed;
    cursor.system = system;
    cursor.line = line;
    cursor.done = done;
}

CNcPath ReadNcProgram(const char* data, uint64_t size, const CNcReadOptions& options,
                      CNcProgress* progress)
{
    CNcPath path;
    path.start = ToPoint(options.start);
    if (size == 0)
        return path; // an empty file has no lines at all
    if (progress) {
        progress->done = 0;
        progress->total = size;
    }
    CNcReadCursor cursor(data, size, options);
    ReadNcLines(cursor, path, nullptr, progress);
    path.lineCount = cursor.line;
    path.inch = cursor.interpreter.State().inch;
    return path;
}
