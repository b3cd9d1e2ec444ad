#pragma once

#include "NcWarning.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Progress of a long read or build on a worker thread, and the request to give up.
struct CNcProgress
{
    std::atomic<uint64_t> done{0};  // bytes read, or segments drawn, so far
    std::atomic<uint64_t> total{0}; // of the step under way
    std::atomic<bool> cancel{false};
};

// A point in micrometres: X, Y, Z (the machine's own length unit).
using NcPoint = std::array<int32_t, 3>;

enum class NcMotion : uint8_t
{
    Rapid = 0,
    Feed = 1,
    ArcCw = 2,
    ArcCcw = 3,
};

// The plane of an arc. Each names its two in-plane axes in the order that makes the third one
// its normal, so that clockwise is the same rule in all three: XY (normal Z), ZX (normal Y),
// YZ (normal X).
enum class NcPlane : uint8_t
{
    XY = 0,
    ZX = 1,
    YZ = 2,
};

// One motion of the program, 16 bytes, so that a program of a hundred million lines fits in
// memory beside its own text: the end point, and the source line with the motion and the plane
// packed into one word. The start is the end of the segment before (or the path's start).
struct CNcSegment
{
    static constexpr uint32_t kLineBits = 28;
    static constexpr uint32_t kMaxLine = (1u << kLineBits) - 1;

    NcPoint end{};
    uint32_t packed = 0; // line index in bits 0-27, motion in 28-29, plane in 30-31

    static CNcSegment Make(const NcPoint& end, uint32_t line, NcMotion motion, NcPlane plane)
    {
        return {end, (line & kMaxLine) | (uint32_t(motion) << 28) | (uint32_t(plane) << 30)};
    }
    uint32_t Line() const { return packed & kMaxLine; }
    NcMotion Motion() const { return NcMotion((packed >> 28) & 3); }
    NcPlane Plane() const { return NcPlane(packed >> 30); }
    bool IsArc() const { return Motion() == NcMotion::ArcCw || Motion() == NcMotion::ArcCcw; }
};
static_assert(sizeof(CNcSegment) == 16);

// Side tables, sorted by segment index; each entry holds from its segment on (centres: for that
// segment only).
struct CNcArcCentre
{
    uint32_t segment = 0;
    NcPoint centre{};
};
struct CNcFeedChange
{
    uint32_t segment = 0;
    float feed = 0; // mm per minute
};
struct CNcSystemChange
{
    uint32_t segment = 0;
    int32_t system = -1; // coordinate-system number; -1: the one in use when the program starts
};

// Segments in fixed blocks: growing never copies what is stored, so a large program never
// needs its store twice in memory, and an index is two shifts. A store may be given its room in
// one piece beforehand (`Reserve`), so that another store can take its segments over by pointing
// its blocks into that room instead of copying them (`Append`).
class CNcSegmentStore
{
public:
    static constexpr unsigned kBlockBits = 16;
    static constexpr size_t kBlockSize = size_t(1) << kBlockBits;

    CNcSegmentStore() = default;
    CNcSegmentStore(CNcSegmentStore&& other) noexcept;
    CNcSegmentStore& operator=(CNcSegmentStore&& other) noexcept;

    size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    const CNcSegment& operator[](size_t index) const
    {
        return m_blocks[index >> kBlockBits][index & (kBlockSize - 1)];
    }
    const CNcSegment& Back() const { return (*this)[m_size - 1]; }
    // Calls visit(index, begin, end) for the runs of segments [first, last) that lie one after
    // the other in memory, in order, index being the first one's. Runs are at most a page long:
    // the pages of a large store lie apart in memory, where the processor's own prefetch does
    // not follow, so the page two ahead is asked for before each run. That halves the time of
    // a pass over a hundred million segments.
    template <typename Visit> void VisitRuns(size_t first, size_t last, const Visit& visit) const
    {
        constexpr size_t kPage = 4096 / sizeof(CNcSegment);
        while (first < last) {
            const size_t offset = first & (kBlockSize - 1);
            const size_t count = std::min({last - first, kBlockSize - offset, kPage});
            if (first + 2 * kPage < m_size)
                __builtin_prefetch(&(*this)[first + 2 * kPage]);
            const CNcSegment* run = m_blocks[first >> kBlockBits] + offset;
            visit(first, run, run + count);
            first += count;
        }
    }
    void PushBack(const CNcSegment& segment)
    {
        if ((m_size & (kBlockSize - 1)) == 0)
            AddBlock();
        m_blocks.back()[m_size & (kBlockSize - 1)] = segment;
        ++m_size;
    }
    void Clear();
    size_t MemoryBytes() const { return m_blocks.size() * kBlockSize * sizeof(CNcSegment); }

    // Room for `count` more segments in one piece of memory; its pages are only taken from the
    // system as segments are written into them.
    void Reserve(size_t count);
    // Appends the segments of `other` from `first` on and empties `other`. Where they lie in
    // other's reserved room, the blocks point into it and the room becomes this store's:
    // only the segments that complete this store's last block are copied.
    void Append(CNcSegmentStore&& other, size_t first = 0);

private:
    void AddBlock();
    CNcSegment* Allocate(size_t count);

    std::vector<CNcSegment*> m_blocks;
    std::vector<std::unique_ptr<std::byte[]>> m_memory; // what the blocks point into
    CNcSegment* m_room = nullptr;                       // reserved room not yet in a block
    CNcSegment* m_roomEnd = nullptr;
    bool m_oneRoom = false; // every block lies in the one reserved room, in order
    size_t m_size = 0;
};

// An NC program as motions. Every position is in the frame of the coordinate system in force
// for its segment; the program cannot know the machine's origins, so the callers that place the
// path on the machine add them (see NcTravel.h).
struct CNcPath
{
    CNcSegmentStore segments;
    std::vector<CNcArcCentre> arcs;
    std::vector<CNcFeedChange> feeds;
    std::vector<CNcSystemChange> systems;
    NcPoint start{};
    bool inch = false;      // the program's unit when it ends (G20 inch, G21 mm)
    uint64_t lineCount = 0; // lines read, the last one included even when it is empty
    CNcWarningList warnings;

    NcPoint StartOf(size_t segment) const
    {
        return segment == 0 ? start : segments[segment - 1].end;
    }
    // The centre of an arc segment; the start point for a segment that is not an arc.
    NcPoint CentreOf(size_t segment) const;
    // Feed in mm per minute for a segment (0 when the program never set one).
    double FeedOf(size_t segment) const;
    int SystemOf(size_t segment) const;
    // Index of the first segment whose line is at or after `line`; Size() when none is.
    size_t FirstSegmentFromLine(uint32_t line) const;
};
