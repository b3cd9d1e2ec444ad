#include "NcInterpreter.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Positions beyond this cannot be held in micrometres in 32 bits.
constexpr double kLimitMm = 2000000.0;
// How far the end of a centre-form arc may lie off its circle before the line is warned about.
constexpr double kArcToleranceMm = 0.01;

bool IsStopByte(char c)
{
    // NUL, LF and CR all lie at or below CR: every other byte is told apart in one comparison.
    constexpr uint32_t kStops = (1u << '\0') | (1u << '\n') | (1u << '\r');
    const auto b = uint8_t(c);
    return b <= '\r' && ((kStops >> b) & 1u);
}

// The first NUL, LF or CR at or after `p`, or `end`. Eight bytes at a time: a word with no byte
// below 14 holds no stop, and the few bytes it marks (tabs, or a byte above a marked one that
// the subtraction borrowed from) are looked at one by one.
const char* FindStop(const char* p, const char* end)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = kOnes * 0x80;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        // The bytes are in memory order from the lowest byte up on the machines this runs on.
        for (uint64_t low = (word - kOnes * ('\r' + 1)) & ~word & kHigh; low; low &= low - 1) {
            const char* at = p + std::countr_zero(low) / 8;
            if (IsStopByte(*at))
                return at;
        }
    }
    while (p != end && !IsStopByte(*p))
        ++p;
    return p;
}

struct Word
{
    double value;
    bool point; // written with a decimal point
};

bool IsDigit(char c)
{
    return unsigned(c - '0') < 10;
}

// A product instead of a quotient: it is several times faster, and its last-bit error is far
// below the micrometre that positions are rounded to.
constexpr double kScale[] = {1e0,  1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,  1e-8,
                             1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15, 1e-16, 1e-17};
// Digits a mantissa holds exactly.
constexpr int kMantissaDigits = 17;

// ReadNumber for numbers of more than 17 digits: integer digits beyond them are refused, fraction
// digits beyond them change nothing.
template <bool terminated>
const char* ReadLongNumber(const char* p, const char* end, bool negative, Word& word)
{
    constexpr uint64_t kLimit = 100000000000000000ull; // 17 digits: exact in the mantissa
    uint64_t mantissa = 0;
    for (; (terminated || p != end) && IsDigit(*p); ++p) {
        if (mantissa >= kLimit)
            return nullptr;
        mantissa = mantissa * 10 + uint64_t(*p - '0');
    }
    int fraction = 0;
    if (word.point) {
        for (++p; (terminated || p != end) && IsDigit(*p); ++p) {
            if (mantissa < kLimit && fraction < kMantissaDigits) {
                mantissa = mantissa * 10 + uint64_t(*p - '0');
                ++fraction;
            }
        }
    }
    const double value = double(mantissa) * kScale[fraction];
    word.value = negative ? -value : value;
    return p;
}

// Reads [sign] digits [. digits] without the C library, which would depend on the locale and
// accept forms (exponents, hex, inf) that NC code does not have. Returns where the number ends,
// or nullptr when it has no digit or more integer digits than any value can have. A line that is
// `terminated` has a stop byte at `end`, which ends every loop without looking at `end` itself.
template <bool terminated> const char* ReadNumber(const char* p, const char* end, Word& word)
{
    bool negative = false;
    if ((terminated || p != end) && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // One pass without limits; a number of more digits than a mantissa holds (the wrapped
    // mantissa is then of no use) is read again with them.
    const char* const number = p;
    uint64_t mantissa = 0;
    for (; (terminated || p != end) && IsDigit(*p); ++p)
        mantissa = mantissa * 10 + uint64_t(*p - '0');
    const ptrdiff_t integer = p - number;
    ptrdiff_t fraction = 0;
    word.point = (terminated || p != end) && *p == '.';
    if (word.point) {
        const char* const digits = ++p;
        for (; (terminated || p != end) && IsDigit(*p); ++p)
            mantissa = mantissa * 10 + uint64_t(*p - '0');
        fraction = p - digits;
    }
    if (integer + fraction == 0)
        return nullptr;
    if (integer + fraction > kMantissaDigits)
        return ReadLongNumber<terminated>(number, end, negative, word);
    const double value = double(mantissa) * kScale[fraction];
    word.value = negative ? -value : value;
    return p;
}

void SetWord(CNcWarning& warning, const char* text)
{
    std::strncpy(warning.word, text, sizeof warning.word - 1);
}

void SetWord(CNcWarning& warning, char letter, const Word& word)
{
    if (word.point)
        std::snprintf(warning.word, sizeof warning.word, "%c%g", letter, word.value);
    else
        std::snprintf(warning.word, sizeof warning.word, "%c%.0f", letter, word.value);
}

// The in-plane axes (a, b) and the normal n of a plane.
struct PlaneAxes
{
    int a, b, n;
};
PlaneAxes AxesOf(NcPlane plane)
{
    switch (plane) {
    case NcPlane::ZX:
        return {2, 0, 1};
    case NcPlane::YZ:
        return {1, 2, 0};
    case NcPlane::XY:
        break;
    }
    return {0, 1, 2};
}

// The word letters of NC code, every letter but E, U, V and W in either case, by their index from
// A; -1 for every other byte.
constexpr std::array<int8_t, 256> kWordIndex = [] {
    std::array<int8_t, 256> index{};
    index.fill(-1);
    for (int c = 'A'; c <= 'Z'; ++c)
        if (c != 'E' && c != 'U' && c != 'V' && c != 'W')
            index[c] = index[c - 'A' + 'a'] = int8_t(c - 'A');
    return index;
}();

int LetterIndex(char letter)
{
    return letter - 'A';
}

} // namespace

CNcInterpreter::CNcInterpreter(const CNcReadOptions& options) : m_options(options)
{
    m_state.position = options.start;
}

CNcLineResult CNcInterpreter::ReadLine(const char* begin, const char* end, uint64_t line)
{
    CNcLineResult result;
    ReadLine(begin, end, line, result);
    return result;
}

void CNcInterpreter::ReadLine(const char* begin, const char* end, uint64_t line,
                              CNcLineResult& result)
{
    result.moved = false;
    // Only a warning writes the word: a result whose last line did not warn holds it clear.
    if (result.warned)
        std::memset(result.warning.word, 0, sizeof result.warning.word);
    result.warned = false;
    result.warning.line = line;
    // The line's end is found once; the words are then read up to it.
    const char* stop = FindStop(begin, end);
    result.stop = stop;
    if (stop != end)
        ReadWords<true>(begin, stop, result);
    else
        ReadWords<false>(begin, stop, result);
}

template <bool terminated>
void CNcInterpreter::ReadWords(const char* p, const char* stop, CNcLineResult& result)
{
    auto warn = [&](NcWarningKind kind) {
        result.warned = true;
        result.warning.kind = kind;
    };
    // A terminated line's stop byte is neither blank nor any character a word is made of.
    auto more = [&](const char* q) { return terminated || q != stop; };

    while (more(p) && (*p == ' ' || *p == '\t'))
        ++p;
    if (more(p) && *p == '/') {
        if (m_options.blockSkip)
            return;
        ++p;
    }
    if (more(p) && *p == '%')
        return;

    // Words of the line: the last value of each letter, and the G codes as they come.
    uint32_t present = 0;
    Word words[26];
    int motion = -2; // -2: not on this line
    int plane = -1;
    int absolute = -1;
    int inch = -1;
    int system = -2;
    bool workSystemP = false; // G54.1: the system comes from P
    bool dwell = false;
    bool cancelCycle = false;
    int compensation = -1; // 40, 41 or 42 when the line names one

    while (p != stop) {
        const char c = *p;
        const int index = kWordIndex[uint8_t(c)];
        if (index < 0) {
            if (c == ' ' || c == '\t') {
                ++p;
                continue;
            }
            if (c == ';')
                break;
            if (c == '(') {
                // Comments may hold parentheses of their own; they end where the first "(" closes.
                int depth = 0;
                for (; p != stop; ++p) {
                    if (*p == '(')
                        ++depth;
                    else if (*p == ')' && --depth == 0)
                        break;
                }
                if (p == stop) {
                    warn(NcWarningKind::UnclosedComment);
                    break;
                }
                ++p;
                continue;
            }
            if (c >= 0x21 && c <= 0x7E)
                result.warning.word[0] = c;
            else
                std::snprintf(result.warning.word, sizeof result.warning.word, "\\x%02X",
                              unsigned(uint8_t(c)));
            warn(NcWarningKind::UnknownWord);
            return;
        }
        const char letter = char('A' + index);
        ++p;
        while (more(p) && (*p == ' ' || *p == '\t'))
            ++p;
        Word word;
        const char* after = ReadNumber<terminated>(p, stop, word);
        if (!after) {
            result.warning.word[0] = letter;
            warn(NcWarningKind::BadNumber);
            return;
        }
        p = after;
        if (letter != 'G') {
            present |= 1u << LetterIndex(letter);
            words[LetterIndex(letter)] = word;
            continue;
        }
        // Tenths tell G54.1 from G54; a negative code is no code at all.
        const long code = word.value < 0 ? -1 : long(word.value * 10 + 0.5);
        switch (code) {
        case 0:
        case 10:
        case 20:
        case 30:
            motion = int(code / 10);
            break;
        case 40:
            dwell = true;
            break;
        case 170:
        case 180:
        case 190:
            plane = int(code / 10 - 17);
            break;
        case 200:
        case 210:
            inch = code == 200;
            break;
        case 400:
            compensation = 40;
            break;
        case 430: // tool length on and off, feed per minute, path modes: the programmed path is
                  // what the view shows
        case 490:
        case 940:
        case 610:
        case 640:
            break;
        case 410:
        case 420:
            compensation = int(code / 10);
            break;
        case 540:
        case 550:
        case 560:
        case 570:
        case 580:
        case 590:
            system = int(code / 10 - 54 + 3);
            break;
        case 541:
            workSystemP = true;
            break;
        case 800:
            cancelCycle = true;
            break;
        case 900:
        case 910:
            absolute = code == 900;
            break;
        default:
            SetWord(result.warning, 'G', word);
            warn(NcWarningKind::UnknownCode);
            // A canned cycle rules the lines after it too: they must not run as plain moves.
            if (code == 730 || code == 740 || code == 760 || (code >= 810 && code <= 890)) {
                m_state.motion = -1;
                m_state.cycle = true;
            }
            return;
        }
    }

    auto has = [&](char letter) { return (present >> LetterIndex(letter)) & 1u; };
    auto word = [&](char letter) -> const Word& { return words[LetterIndex(letter)]; };

    // The line changes the state in place; a line that is refused puts it back.
    const CNcModalState saved = m_state;
    CNcModalState& next = m_state;
    if (inch >= 0)
        next.inch = inch == 1;
    if (plane >= 0)
        next.plane = NcPlane(plane);
    if (absolute >= 0)
        next.absolute = absolute == 1;
    if (system >= -1)
        next.system = system;
    if (workSystemP) {
        const Word& number = word('P');
        if (!has('P') || number.point || number.value < 1 || number.value > 300) {
            SetWord(result.warning, "G54.1");
            warn(NcWarningKind::OutOfRange);
            m_state = saved;
            return;
        }
        next.system = 9 + int(number.value);
    }
    if (cancelCycle) {
        next.motion = -1;
        next.cycle = false;
    }
    if (motion >= 0) {
        next.motion = motion;
        next.cycle = false;
    }
    if (compensation >= 0)
        next.compensation = compensation;
    if (has('D'))
        next.offset = word('D').value;

    const NcDecimalMode mode = m_options.decimalMode;
    const bool conventionalLengths =
        mode == NcDecimalMode::Conventional || mode == NcDecimalMode::CalculatorFeed;
    const bool conventionalFeed =
        mode == NcDecimalMode::Conventional || mode == NcDecimalMode::CalculatorAxes;
    auto length = [&](char letter) {
        const Word& w = word(letter);
        double value = w.value;
        if (!w.point && conventionalLengths)
            value *= next.inch ? 1e-4 : 1e-3;
        return next.inch ? value * 25.4 : value;
    };
    if (has('F')) {
        const Word& w = word('F');
        double value = w.value;
        if (!w.point && conventionalFeed && next.inch)
            value *= 0.01;
        if (value < 0) {
            SetWord(result.warning, 'F', w);
            warn(NcWarningKind::OutOfRange);
            m_state = saved;
            return;
        }
        next.feed = next.inch ? value * 25.4 : value;
    }

    if (has('M')) {
        const double code = word('M').value;
        if (code == 3 || code == 4) {
            next.spindle = true;
            next.reverse = code == 4;
        } else if (code == 5)
            next.spindle = false;
    }

    if (has('S') && word('S').value >= 0)
        next.speed = word('S').value;

    if (has('A') || has('B') || has('C'))
        SetWord(result.warning, "rotary axis"), warn(NcWarningKind::NotShown);
    if (compensation > 40)
        SetWord(result.warning, "G41/G42"), warn(NcWarningKind::NotShown);

    const bool arcMode = next.motion == 2 || next.motion == 3;
    const bool axisWords = has('X') || has('Y') || has('Z');
    const bool centreWords = has('I') || has('J') || has('K');
    if (dwell || !(axisWords || (arcMode && centreWords)))
        return;
    if (next.motion < 0) {
        result.warning.word[0] = has('X') ? 'X' : has('Y') ? 'Y' : has('Z') ? 'Z' : 'I';
        warn(NcWarningKind::NoMotionMode);
        m_state = saved;
        return;
    }

    CNcMove& move = result.move;
    // The end is worked out in a local first: the state and the result both take it.
    std::array<double, 3> target = m_state.position;
    for (int axis = 0; axis < 3; ++axis) {
        char letter = char('X' + axis);
        if (!has(letter))
            continue;
        double value = length(letter);
        target[axis] = next.absolute ? value : target[axis] + value;
        if (!(std::fabs(target[axis]) < kLimitMm)) {
            SetWord(result.warning, letter, word(letter));
            warn(NcWarningKind::OutOfRange);
            m_state = saved;
            return;
        }
    }
    move.start = m_state.position;
    move.end = target;
    move.motion = NcMotion(next.motion);
    move.plane = next.plane;
    move.feed = next.feed;
    move.system = next.system;
    move.axes = uint8_t(has('X') | (has('Y') << 1) | (has('Z') << 2));
    move.motionWritten = motion >= 0;

    if (arcMode) {
        const PlaneAxes axes = AxesOf(next.plane);
        const double sa = move.start[axes.a], sb = move.start[axes.b];
        const double ea = move.end[axes.a], eb = move.end[axes.b];
        move.centre = move.start;
        if (has('R')) {
            const double radius = length('R');
            const double da = ea - sa, db = eb - sb;
            const double chord = std::hypot(da, db);
            const double half = chord / 2;
            if (chord < 1e-9 || std::fabs(radius) < half - 1e-6) {
                SetWord(result.warning, 'R', word('R'));
                warn(NcWarningKind::ArcRadius);
                if (chord < 1e-9) {
                    m_state = saved; // a full circle cannot be given by its radius
                    return;
                }
                move.motion = NcMotion::Feed;
            } else {
                const double h = std::sqrt(std::fmax(0.0, radius * radius - half * half));
                // Counterclockwise with a positive radius (the shorter arc) turns around a
                // centre on the left of the chord; clockwise or a negative radius flip the side.
                double side = (next.motion == 3) == (radius > 0) ? 1.0 : -1.0;
                move.centre[axes.a] = sa + da / 2 - side * h * db / chord;
                move.centre[axes.b] = sb + db / 2 + side * h * da / chord;
            }
        } else {
            static constexpr char kOffsets[3] = {'I', 'J', 'K'};
            for (int axis : {axes.a, axes.b})
                if (has(kOffsets[axis]))
                    move.centre[axis] += length(kOffsets[axis]);
            const double startRadius =
                std::hypot(sa - move.centre[axes.a], sb - move.centre[axes.b]);
            const double endRadius = std::hypot(ea - move.centre[axes.a], eb - move.centre[axes.b]);
            if (startRadius < 1e-9) {
                SetWord(result.warning, "0");
                warn(NcWarningKind::ArcRadius);
                move.motion = NcMotion::Feed;
            } else if (std::fabs(startRadius - endRadius) > kArcToleranceMm) {
                warn(NcWarningKind::ArcEndOffCircle);
            }
        }
    }

    next.position = target;
    result.moved = true;
    return;
}
