#include "NcPath.h"

#include <algorithm>

void CNcSegmentStore::AddBlock()
{
    m_blocks.push_back(std::make_unique_for_overwrite<CNcSegment[]>(kBlockSize));
}

void CNcSegmentStore::Clear()
{
    m_blocks.clear();
    m_size = 0;
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
