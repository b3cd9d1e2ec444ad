#include "NcPath.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include <sys/mman.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14 and later; older systems refuse it
#endif

namespace {
constexpr uintptr_t kPageBytes = 4096;
}

CNcSegment* CNcSegmentStore::Allocate(size_t count)
{
    // Bytes, not segments: a segment's members have initialisers, and the segments would be
    // written twice, the room's untouched pages taken from the system as they are cleared.
    static_assert(std::is_trivially_copyable_v<CNcSegment> &&
                  std::is_trivially_destructible_v<CNcSegment>);
    const size_t bytes = count * sizeof(CNcSegment);
    m_memory.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
    std::byte* const memory = m_memory.back().get();
    // No large-page advice: where the system compacts memory to find large pages on a fault,
    // filling a room of a gigabyte or more took several times as long as in small pages.
    return reinterpret_cast<CNcSegment*>(memory);
}

CNcSegmentStore::CNcSegmentStore(CNcSegmentStore&& other) noexcept
{
    *this = std::move(other);
}

CNcSegmentStore& CNcSegmentStore::operator=(CNcSegmentStore&& other) noexcept
{
    if (this != &other) {
        m_blocks = std::move(other.m_blocks);
        m_memory = std::move(other.m_memory);
        m_room = other.m_room;
        m_roomEnd = other.m_roomEnd;
        m_oneRoom = other.m_oneRoom;
        m_size = other.m_size;
        other.Clear();
    }
    return *this;
}

void CNcSegmentStore::AddBlock()
{
    const bool reserved = m_room && size_t(m_roomEnd - m_room) >= kBlockSize;
    if (reserved) {
        m_blocks.push_back(m_room);
        m_room += kBlockSize;
    } else {
        m_blocks.push_back(Allocate(kBlockSize));
        m_oneRoom = false;
    }
    // A block of a large path is about to be filled: its pages are taken from the system in one
    // call rather than one fault at a time. Only the whole pages inside it; where the system
    // cannot, the writes fault them in as before. A short path's first block is left to fault
    // in the few pages it uses.
    if (!reserved && m_blocks.size() == 1)
        return;
    const uintptr_t first = (uintptr_t(m_blocks.back()) + kPageBytes - 1) & ~(kPageBytes - 1);
    const uintptr_t last = (uintptr_t(m_blocks.back() + kBlockSize)) & ~(kPageBytes - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}

void CNcSegmentStore::Clear()
{
    m_blocks.clear();
    m_memory.clear();
    m_room = m_roomEnd = nullptr;
    m_oneRoom = false;
    m_size = 0;
}

void CNcSegmentStore::Reserve(size_t count)
{
    const size_t rounded = (count + kBlockSize - 1) & ~(kBlockSize - 1);
    if (rounded == 0)
        return;
    m_room = Allocate(rounded);
    m_roomEnd = m_room + rounded;
    m_oneRoom = m_blocks.empty();
}

void CNcSegmentStore::Append(CNcSegmentStore&& other, size_t first)
{
    size_t i = first;
    while ((m_size & (kBlockSize - 1)) != 0 && i < other.m_size)
        PushBack(other[i++]);
    if (i < other.m_size) {
        const size_t count = other.m_size - i;
        const size_t blocks = (count + kBlockSize - 1) >> kBlockBits;
        // In one room the segments lie one after the other, so any of them can start a block,
        // provided the room holds a whole block past the last one.
        CNcSegment* at = other.m_oneRoom ? other.m_blocks.front() + i : nullptr;
        if (at && size_t(other.m_roomEnd - at) >= blocks * kBlockSize) {
            for (size_t b = 0; b < blocks; ++b)
                m_blocks.push_back(at + b * kBlockSize);
            m_size += count;
            m_room = at + blocks * kBlockSize;
            m_roomEnd = other.m_roomEnd;
            m_oneRoom = false;
            for (auto& memory : other.m_memory)
                m_memory.push_back(std::move(memory));
        } else {
            for (; i < other.m_size; ++i)
                PushBack(other[i]);
        }
    }
    other.Clear();
}

namespace {

// The entry of a side table that holds for `segment`: the last one at or before it.
template <typename Entry> const Entry* InForce(const std::vector<Entry>& table, size_t segment)
{
    auto after = std::upper_bound(table.begin(), table.end(), segment,
                                  [](size_t index, const Entry& e) { return index < e.segment; });
    return after == table.begin() ? nullptr : &*(after - 1);
}

} // namespace

NcPoint CNcPath::CentreOf(size_t segment) const
{
    const CNcArcCentre* arc = InForce(arcs, segment);
    return arc && arc->segment == segment ? arc->centre : StartOf(segment);
}

double CNcPath::FeedOf(size_t segment) const
{
    const CNcFeedChange* change = InForce(feeds, segment);
    return change ? change->feed : 0.0;
}

int CNcPath::SystemOf(size_t segment) const
{
    const CNcSystemChange* change = InForce(systems, segment);
    return change ? change->system : -1;
}

size_t CNcPath::FirstSegmentFromLine(uint32_t line) const
{
    size_t low = 0;
    size_t high = segments.Size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (segments[middle].Line() < line)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}
