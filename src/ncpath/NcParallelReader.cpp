#include "NcReader.h"

#include "NcThreads.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

// Bytes read between two checkpoints of a piece (and two looks at the cancel request).
constexpr uint64_t kCheckpointBytes = 1 << 20;
// How far back from a piece's start the lines are read to guess the state it begins in.
constexpr uint64_t kGuessBytes = 64 << 20;
// Pieces a program is cut into unless the caller asks for smaller ones.
constexpr uint64_t kSmallestPieceBytes = 4 << 20;
// The program's first bytes, which usually set the modes, are read for every guess.
constexpr uint64_t kHeaderBytes = 4096;
// Lines read one at a time at a piece's start while it has no move: after its first move a
// piece's record of the last feed and system is its state's own.
constexpr int kLinesToFirstMove = 256;

// Where the first line that begins at or after `at` begins: after an LF, or after a CR that no
// LF follows. `end` when none does.
const char* NextLineStart(const char* at, const char* data, const char* end)
{
    if (at == data)
        return data;
    for (const char* q = at; q < end; ++q) {
        const char before = q[-1];
        if (before == '\n' || (before == '\r' && *q != '\n'))
            return q;
    }
    return end;
}

// The high bit of every byte of `t` that is zero, and no other bit.
inline uint64_t ZeroBytes(uint64_t t)
{
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((t & kLow7) + kLow7) | t | kLow7);
}

// How many bytes a ZeroBytes mask marks.
inline uint64_t MarkedBytes(uint64_t mask)
{
    return ((mask >> 7) * 0x0101010101010101ull) >> 56;
}

#if defined(__SSE2__) && defined(__x86_64__)
// The sum of the sixteen byte counters of `counts`.
inline uint64_t SumBytes(__m128i counts)
{
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return uint64_t(_mm_cvtsi128_si64(sums)) +
           uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}
#endif

// Line breaks in [begin, end): LF, CR LF and a lone CR count once. A CR in the last byte is a
// break of its own unless an LF follows at `end` (before `dataEnd`). Sixteen or eight bytes at a
// time: the count runs before any piece can be read, over all but the last piece.
uint64_t CountLines(const char* begin, const char* end, const char* dataEnd)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    uint64_t lf = 0, cr = 0, crlf = 0;
    uint64_t carry = 0; // the CR mark of the byte before, in the place of a word's last byte
    const char* p = begin;
#if defined(__SSE2__) && defined(__x86_64__)
    if (end - p > 16) {
        // The first byte on its own: the loop below compares every byte with the one before.
        lf += *p == '\n';
        cr += *p == '\r';
        ++p;
        const __m128i lfByte = _mm_set1_epi8('\n');
        const __m128i crByte = _mm_set1_epi8('\r');
        while (end - p >= 16) {
            // A compare gives -1 in every byte that matches; byte counters take up to 255 of
            // them before they are summed.
            __m128i lfs = _mm_setzero_si128(), crs = lfs, pairs = lfs;
            for (int k = 0; k < 255 && end - p >= 16; ++k, p += 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
                const __m128i isLf = _mm_cmpeq_epi8(bytes, lfByte);
                lfs = _mm_sub_epi8(lfs, isLf);
                crs = _mm_sub_epi8(crs, _mm_cmpeq_epi8(bytes, crByte));
                pairs = _mm_sub_epi8(pairs, _mm_and_si128(isLf, _mm_cmpeq_epi8(before, crByte)));
            }
            lf += SumBytes(lfs);
            cr += SumBytes(crs);
            crlf += SumBytes(pairs);
        }
        carry = p[-1] == '\r' ? uint64_t(0x80) : 0;
    }
#endif
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        // The bytes are in memory order from the lowest byte up on the machines this runs on.
        const uint64_t lfs = ZeroBytes(word ^ (kOnes * '\n'));
        const uint64_t crs = ZeroBytes(word ^ (kOnes * '\r'));
        lf += MarkedBytes(lfs);
        cr += MarkedBytes(crs);
        crlf += MarkedBytes(((crs << 8) | carry) & lfs);
        carry = crs >> 56;
    }
    bool lastCr = carry != 0;
    for (; p < end; ++p) {
        lf += *p == '\n';
        cr += *p == '\r';
        crlf += lastCr && *p == '\n';
        lastCr = *p == '\r';
    }
    if (lastCr && end < dataEnd && *end == '\n')
        ++crlf;
    return lf + cr - crlf;
}

// What the reader carries from line to line: equal in every bit, the lines after give the same
// result.
struct CarriedState
{
    CNcModalState state;
    double feed = -1;
    int system = -1;
};

bool SameBits(double a, double b)
{
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

bool Same(const CarriedState& a, const CarriedState& b)
{
    const CNcModalState& x = a.state;
    const CNcModalState& y = b.state;
    for (int axis = 0; axis < 3; ++axis)
        if (!SameBits(x.position[axis], y.position[axis]))
            return false;
    return x.motion == y.motion && x.plane == y.plane && x.absolute == y.absolute &&
           x.inch == y.inch && SameBits(x.feed, y.feed) && x.system == y.system &&
           x.spindle == y.spindle && SameBits(a.feed, b.feed) && a.system == b.system;
}

CarriedState CarriedOf(const CNcReadCursor& cursor)
{
    return {cursor.interpreter.State(), cursor.feed, cursor.system};
}

// A line start in a piece where its reader stood, with what it carried and what it had written.
struct Checkpoint
{
    const char* p;
    const char* readLimit; // the limit that reads the lines before it (nullptr: to the end)
    uint64_t line;
    bool done;
    CarriedState carried;
    size_t segments, arcs, feeds, systems;
    uint64_t warnings;
};

struct Piece
{
    const char* begin = nullptr;
    const char* limit = nullptr; // where the next piece begins; nullptr for the last one
    uint64_t lines = 0;          // line breaks in the piece (not counted in the last one)
    uint64_t firstLine = 0;
    CNcPath path;
    std::vector<Checkpoint> checkpoints;
    CarriedState endCarried;
    const char* endP = nullptr;
    uint64_t endLine = 0;
    bool endDone = false;
};

// The state the lines before `at` most likely leave: the program's first lines (its modes),
// then the lines from the last words of every axis before `at` on.
CarriedState Guess(const char* data, const char* end, const CNcReadOptions& options, const char* at,
                   uint64_t guessBytes)
{
    CNcInterpreter interpreter(options);
    CarriedState guess;
    CNcLineResult result;
    auto read = [&](const char* p, const char* limit) {
        while (p && p < limit) {
            interpreter.ReadLine(p, end, 0, result);
            if (result.moved) {
                guess.feed = result.move.feed;
                guess.system = result.move.system;
            }
            p = NextNcLine(result.stop, end);
        }
    };
    const char* header =
        NextLineStart(data + std::min({kHeaderBytes, guessBytes, uint64_t(at - data)}), data, at);
    read(data, header);
    const char* floor =
        NextLineStart(at - std::min<uint64_t>(guessBytes, uint64_t(at - header)), data, at);
    bool seen[3] = {false, false, false};
    const char* from = at;
    for (const char* q = at; q > floor && !(seen[0] && seen[1] && seen[2]);) {
        --q;
        const int axis = (*q | 0x20) - 'x';
        if (axis >= 0 && axis < 3 && !seen[axis]) {
            seen[axis] = true;
            from = q;
        }
    }
    if (!(seen[0] && seen[1] && seen[2]))
        from = floor;
    while (from > floor && from[-1] != '\n' && from[-1] != '\r')
        --from;
    read(std::max(from, header), at);
    guess.state = interpreter.State();
    return guess;
}

void AddCheckpoint(Piece& piece, const CNcReadCursor& cursor, const char* readLimit)
{
    const CNcPath& path = piece.path;
    piece.checkpoints.push_back({cursor.p, readLimit, cursor.line, cursor.done, CarriedOf(cursor),
                                 path.segments.Size(), path.arcs.size(), path.feeds.size(),
                                 path.systems.size(), path.warnings.Count()});
}

// Reads one piece from `start`, with a checkpoint at its start, after its first move and after
// every chunk. A checkpoint keeps the limit its lines were read with: read with the same limit
// from the checkpoint before, the lines end at the same place whatever the state.
void ReadPiece(Piece& piece, const char* data, uint64_t size, const CNcReadOptions& options,
               const CarriedState& start, uint64_t checkpointBytes, CNcProgress* progress)
{
    CNcReadCursor cursor(data, size, options);
    cursor.p = piece.begin;
    cursor.line = piece.firstLine;
    cursor.interpreter.State() = start.state;
    cursor.feed = start.feed;
    cursor.system = start.system;
    // A piece's room is taken in one piece, so that the join takes its segments over without
    // copying them; a piece shorter than a block is copied. A line moves at most once, and a
    // line that moves holds at least an axis letter, a digit and its end (the last line maybe
    // no end): that bounds the last piece, whose lines are not counted.
    const uint64_t bytes = uint64_t((piece.limit ? piece.limit : data + size) - piece.begin);
    const uint64_t moves = piece.limit ? piece.lines + 1 : bytes / 3 + 2;
    if (moves >= CNcSegmentStore::kBlockSize) {
        try {
            piece.path.segments.Reserve(moves + CNcSegmentStore::kBlockSize);
        } catch (const std::bad_alloc&) {
            // No room that large: the segments go into blocks of their own and are copied.
        }
    }
    AddCheckpoint(piece, cursor, cursor.p);

    const char* const end = data + size;
    const char* counted = cursor.p;
    auto read = [&](uint64_t bytes) {
        // The last piece's last read has no limit, so that it reads a final empty line too.
        const char* limit = uint64_t(end - cursor.p) <= bytes ? piece.limit
                            : piece.limit ? std::min(piece.limit, cursor.p + bytes)
                                          : cursor.p + bytes;
        ReadNcLines(cursor, piece.path, limit);
        if (progress)
            progress->done.fetch_add(uint64_t(cursor.p - counted), std::memory_order_relaxed);
        counted = cursor.p;
        return limit;
    };
    auto more = [&] { return !cursor.done && (!piece.limit || cursor.p < piece.limit); };
    for (int k = 0; k < kLinesToFirstMove && more() && piece.path.segments.Empty(); ++k) {
        const char* limit = read(1);
        if (!piece.path.segments.Empty() || !more())
            AddCheckpoint(piece, cursor, limit);
    }
    while (more()) {
        if (progress && progress->cancel.load(std::memory_order_relaxed))
            return; // the piece stays unfinished: the join stops before it
        AddCheckpoint(piece, cursor, read(checkpointBytes));
    }
    piece.endCarried = CarriedOf(cursor);
    piece.endP = cursor.p;
    piece.endLine = cursor.line;
    piece.endDone = cursor.done;
}

// Each piece's first line (and the lines of each but the last), from the line breaks before it.
void CountFirstLines(std::vector<Piece>& pieces, const char* data, const char* end,
                     unsigned threads)
{
    // The line breaks are counted on all threads: the pieces but the last are cut into stretches
    // of about the same size, one or more for each thread.
    for (Piece& piece : pieces)
        piece.lines = 0;
    struct Stretch
    {
        size_t piece;
        const char* begin;
        const char* end;
        uint64_t lines;
    };
    std::vector<Stretch> stretches;
    const uint64_t counted = uint64_t(pieces.back().begin - data);
    const uint64_t stretchBytes = std::max<uint64_t>(1 << 16, counted / threads + 1);
    for (size_t i = 0; i + 1 < pieces.size(); ++i)
        for (const char* p = pieces[i].begin; p < pieces[i].limit;) {
            const char* stop = p + std::min<uint64_t>(stretchBytes, uint64_t(pieces[i].limit - p));
            stretches.push_back({i, p, stop, 0});
            p = stop;
        }
    RunOnThreads(threads, stretches.size(), [&](size_t i) {
        stretches[i].lines = CountLines(stretches[i].begin, stretches[i].end, end);
    });
    for (const Stretch& stretch : stretches)
        pieces[stretch.piece].lines += stretch.lines;
    for (size_t i = 1; i < pieces.size(); ++i)
        pieces[i].firstLine = pieces[i - 1].firstLine + pieces[i - 1].lines;
}

// Each piece's first line (and the lines of the one before) from the caller's index of line
// starts; false when there is none, or a piece begins where the index has no line.
bool FirstLinesFromIndex(std::vector<Piece>& pieces, const char* data, const CNcParallelRead& how)
{
    if (!how.lineStart || how.lines == 0)
        return false;
    for (size_t i = 1; i < pieces.size(); ++i) {
        const uint64_t offset = uint64_t(pieces[i].begin - data);
        // The first line that starts at or after the piece's first byte.
        uint64_t low = pieces[i - 1].firstLine, high = how.lines;
        while (low < high) {
            const uint64_t middle = low + (high - low) / 2;
            if (how.lineStart(middle) < offset)
                low = middle + 1;
            else
                high = middle;
        }
        if (low == how.lines || how.lineStart(low) != offset)
            return false;
        pieces[i].firstLine = low;
        pieces[i - 1].lines = low - pieces[i - 1].firstLine;
    }
    return true;
}

// Appends what a piece read from checkpoint `at` on; the reader stood there in the same state.
void Adopt(CNcPath& out, Piece& piece, const Checkpoint& at)
{
    const auto base = uint32_t(out.segments.Size());
    const auto shift = [&](uint32_t segment) { return uint32_t(segment - at.segments + base); };
    for (size_t i = at.arcs; i < piece.path.arcs.size(); ++i)
        out.arcs.push_back({shift(piece.path.arcs[i].segment), piece.path.arcs[i].centre});
    for (size_t i = at.feeds; i < piece.path.feeds.size(); ++i)
        out.feeds.push_back({shift(piece.path.feeds[i].segment), piece.path.feeds[i].feed});
    for (size_t i = at.systems; i < piece.path.systems.size(); ++i)
        out.systems.push_back({shift(piece.path.systems[i].segment), piece.path.systems[i].system});
    out.warnings.Append(piece.path.warnings, at.warnings);
    out.segments.Append(std::move(piece.path.segments), at.segments);
}

} // namespace

CNcPath ReadNcProgramParallel(const char* data, uint64_t size, const CNcReadOptions& options,
                              CNcProgress* progress, const CNcParallelRead& how)
{
    CNcPath out;
    out.start = {ToMicrometres(options.start[0]), ToMicrometres(options.start[1]),
                 ToMicrometres(options.start[2])};
    if (size == 0)
        return out; // an empty file has no lines at all
    if (progress) {
        progress->done = 0;
        progress->total = size;
    }
    const unsigned threads = NcThreadCount(how.threads);
    // Short programs stay one piece on the calling thread: starting threads would cost more.
    const uint64_t pieceBytes =
        how.pieceBytes ? how.pieceBytes
                       : std::max<uint64_t>(kSmallestPieceBytes, (size + threads - 1) / threads);
    const uint64_t checkpointBytes = how.checkpointBytes ? how.checkpointBytes : kCheckpointBytes;
    const uint64_t guessBytes = how.guessBytes ? how.guessBytes : kGuessBytes;

    const char* const end = data + size;
    std::vector<Piece> pieces;
    for (const char* begin = data; begin < end;) {
        Piece& piece = pieces.emplace_back();
        piece.begin = begin;
        const char* next = NextLineStart(
            begin + std::max<uint64_t>(1, std::min<uint64_t>(pieceBytes, end - begin)), data, end);
        piece.limit = next < end ? next : nullptr;
        begin = next;
    }

    if (!FirstLinesFromIndex(pieces, data, how))
        CountFirstLines(pieces, data, end, threads);

    RunOnThreads(threads, pieces.size(), [&](size_t i) {
        Piece& piece = pieces[i];
        const CarriedState start = i == 0 ? CarriedOf(CNcReadCursor(data, size, options))
                                          : Guess(data, end, options, piece.begin, guessBytes);
        ReadPiece(piece, data, size, options, start, checkpointBytes, progress);
    });

    // The join: the true state goes from piece to piece; a piece's own result is taken from the
    // first of its checkpoints where it agrees with it, the lines before that are read again.
    CNcReadCursor truth(data, size, options);
    auto cancelled = [&] { return progress && progress->cancel.load(std::memory_order_relaxed); };
    for (Piece& piece : pieces) {
        if (truth.done || cancelled() || !piece.endP)
            break; // the program ended, or the read was cancelled
        for (const Checkpoint& at : piece.checkpoints) {
            if (cancelled())
                break;
            ReadNcLines(truth, out, at.readLimit);
            if (truth.line == at.line && Same(CarriedOf(truth), at.carried) &&
                out.warnings.CanAppend(piece.path.warnings, at.warnings)) {
                Adopt(out, piece, at);
                truth.interpreter.State() = piece.endCarried.state;
                truth.feed = piece.endCarried.feed;
                truth.system = piece.endCarried.system;
                truth.p = piece.endP;
                truth.line = piece.endLine;
                truth.done = piece.endDone;
                break;
            }
        }
    }
    out.lineCount = truth.line;
    out.inch = truth.interpreter.State().inch;
    if (progress)
        progress->done = size;
    return out;
}
