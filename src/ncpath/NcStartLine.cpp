#include "NcStartLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Lines read between two looks at the progress and the cancel request.
constexpr uint64_t kProgressLines = 4096;
constexpr uint8_t kAllAxes = 7;

// A word with its number written with a decimal point and without trailing zeros ("X12.5",
// "Z-3.", "F100."): without the point a decimal mode would read "X3" as 3 micrometres.
void AppendWord(std::string& out, char letter, double value, int decimals)
{
    char text[48];
    int length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    while (length > 0 && text[length - 1] == '0')
        --length;
    text[length] = '\0';
    // A value that rounds to zero is written "0.", never "-0.".
    const char* number = std::string_view(text) == "-0." ? "0." : text;
    if (!out.empty() && out.back() != '\n')
        out += ' ';
    out += letter;
    out += number;
}

// Words that are codes or numbers kept as the program wrote them (S, D): without a fraction
// they are written as integers.
void AppendCode(std::string& out, char letter, double value)
{
    char text[48];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%c%.0f", letter, value);
    else
        std::snprintf(text, sizeof text, "%c%g", letter, value);
    if (!out.empty() && out.back() != '\n')
        out += ' ';
    out += text;
}

void EndLine(std::string& out)
{
    out += '\n';
}

// The words that rebuild `state` before the approach: units first, as every number after them
// is read in them.
void AppendModalWords(std::string& out, const CNcModalState& state)
{
    static constexpr int kPlaneCodes[] = {17, 18, 19};
    AppendCode(out, 'G', kPlaneCodes[int(state.plane)]);
    AppendCode(out, 'G', state.inch ? 20 : 21);
    // The approach itself runs absolute and without the tool-diameter offset: its moves are
    // where they are written.
    AppendCode(out, 'G', 90);
    AppendCode(out, 'G', 40);
    if (state.system >= 3 && state.system <= 8) {
        AppendCode(out, 'G', 54 + state.system - 3);
    } else if (state.system >= 10) {
        out += " G54.1";
        AppendCode(out, 'P', state.system - 9);
    }
    EndLine(out);
}

} // namespace

CNcStartLine BuildNcStartLine(const char* data, uint64_t size, const CNcReadOptions& options,
                              uint64_t line, std::optional<double> topZ, CNcProgress* progress)
{
    CNcStartLine start;
    start.line = line;
    CNcInterpreter interpreter(options);
    const CNcModalState& state = interpreter.State();
    const char* const end = data + size;
    if (progress) {
        progress->total = size;
        progress->done = 0;
    }

    double highestZ = state.position[2];
    uint8_t unknownAxes = 0; // axes whose position a line not understood may have changed
    uint64_t unknownLine = 0;
    uint64_t motionLine = 0; // where the motion in force was last named
    uint64_t cycleLine = 0;  // where the canned cycle in force began
    const char* p = data;
    CNcLineResult result;
    for (uint64_t index = 0; index < line; ++index) {
        if (index % kProgressLines == 0 && progress) {
            progress->done = uint64_t(p - data);
            if (progress->cancel) {
                start.refusal = NcStartRefusal::Cancelled;
                return start;
            }
        }
        const int motionBefore = state.motion;
        const bool cycleBefore = state.cycle;
        interpreter.ReadLine(p, end, index, result);
        if (state.motion != motionBefore)
            motionLine = index;
        if (state.cycle && !cycleBefore)
            cycleLine = index;
        if (result.warned &&
            (result.warning.kind == NcWarningKind::UnknownWord ||
             result.warning.kind == NcWarningKind::BadNumber ||
             (result.warning.kind == NcWarningKind::UnknownCode && !state.cycle))) {
            unknownAxes = kAllAxes;
            unknownLine = index;
        }
        if (result.moved && state.absolute)
            unknownAxes &= uint8_t(~result.move.axes);
        highestZ = std::max(highestZ, state.position[2]);
        p = NextNcLine(result.stop, end);
        if (!p) {
            start.refusal = NcStartRefusal::PastEnd;
            start.cause = index;
            return start;
        }
    }
    if (progress)
        progress->done = size;
    start.joinOffset = uint64_t(p - data);
    start.state = state;

    if (state.cycle) {
        start.refusal = NcStartRefusal::InsideCycle;
        start.cause = cycleLine;
        return start;
    }
    if (unknownAxes != 0) {
        start.refusal = NcStartRefusal::UnknownStart;
        start.cause = unknownLine;
        return start;
    }
    // The line itself, read from the state before it: one that begins a cycle or continues
    // arcs named earlier cannot be joined on its own.
    {
        CNcInterpreter probe = interpreter;
        const CNcLineResult own = probe.ReadLine(p, end, line);
        if (probe.State().cycle) {
            start.refusal = NcStartRefusal::InsideCycle;
            start.cause = line;
            return start;
        }
        const bool arc = own.moved && (own.move.motion == NcMotion::ArcCw ||
                                       own.move.motion == NcMotion::ArcCcw);
        if (arc && !own.move.motionWritten) {
            start.refusal = NcStartRefusal::InsideArc;
            start.cause = motionLine;
            return start;
        }
    }

    // Lengths in the program's unit: 0.001 mm or 0.0001 inch, the machine's least increments.
    const double scale = state.inch ? 1 / 25.4 : 1.0;
    const int decimals = state.inch ? 4 : 3;
    const std::array<double, 3>& join = state.position;
    start.safeZ = std::max(topZ.value_or(highestZ), join[2]);

    std::string& out = start.leadIn;
    out = "%\n";
    AppendModalWords(out, state);
    if (state.feed > 0) {
        AppendWord(out, 'F', state.feed * scale, decimals);
        EndLine(out);
    }
    if (state.speed >= 0)
        AppendCode(out, 'S', state.speed);
    AppendCode(out, 'M', state.spindle ? (state.reverse ? 4 : 3) : 5);
    EndLine(out);
    AppendCode(out, 'G', 0);
    AppendWord(out, 'Z', start.safeZ * scale, decimals);
    EndLine(out);
    AppendCode(out, 'G', 0);
    AppendWord(out, 'X', join[0] * scale, decimals);
    AppendWord(out, 'Y', join[1] * scale, decimals);
    EndLine(out);
    AppendCode(out, 'G', 1);
    AppendWord(out, 'Z', join[2] * scale, decimals);
    EndLine(out);
    // What the approach set aside: the offset mode, the distance mode and the motion in force.
    if (state.compensation != 40) {
        AppendCode(out, 'G', state.compensation);
        if (state.offset >= 0)
            AppendCode(out, 'D', state.offset);
    }
    if (!state.absolute)
        AppendCode(out, 'G', 91);
    AppendCode(out, 'G', state.motion >= 0 ? state.motion : 80);
    EndLine(out);
    return start;
}

std::string_view NcStartLineRest(const CNcStartLine& start, const char* data, uint64_t size)
{
    if (!start.Ok() || start.joinOffset > size)
        return {};
    return {data + start.joinOffset, size_t(size - start.joinOffset)};
}
