#include "NcTravel.h"

#include "NcGeometry.h"
#include "NcReader.h"
#include "NcThreads.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

void CNcExtents::Add(const NcPoint& point)
{
    if (empty) {
        low = high = point;
        empty = false;
        return;
    }
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], point[axis]);
        high[axis] = std::max(high[axis], point[axis]);
    }
}

void CNcExtents::Add(const CNcExtents& other)
{
    if (!other.empty) {
        Add(other.low);
        Add(other.high);
    }
}

NcPoint CNcOrigins::Of(int system) const
{
    auto found = systems.find(system);
    return found == systems.end() ? current : found->second;
}

namespace {

// The points where an arc turns in its plane (at 0, 90, 180 and 270 degrees) that lie within
// its sweep; with its end points they bound it.
void AddArcExtremes(const CNcPath& path, size_t segment, CNcExtents& extents)
{
    const CNcArcGeometry arc = ArcOf(path, segment);
    constexpr double kQuarter = std::numbers::pi / 2;
    const double from = std::min(arc.startAngle, arc.startAngle + arc.sweep);
    const double to = std::max(arc.startAngle, arc.startAngle + arc.sweep);
    for (double k = std::ceil(from / kQuarter); k * kQuarter <= to; ++k) {
        const double t = (k * kQuarter - arc.startAngle) / arc.sweep;
        const std::array<double, 3> point = arc.PointAt(t);
        extents.Add(
            NcPoint{ToMicrometres(point[0]), ToMicrometres(point[1]), ToMicrometres(point[2])});
    }
}

// The box of segments [first, last), with the path's start when first is the first segment;
// arcs by the points where they turn. Large ranges are split among the threads.
CNcExtents BoxOf(const CNcPath& path, size_t first, size_t last)
{
    CNcExtents box;
    if (first >= last)
        return box;
    const size_t pieces = last - first >= kSplitSegments ? NcThreadCount() : 1;
    std::vector<std::array<NcPoint, 2>> bounds(
        pieces, {path.segments[first].end, path.segments[first].end});
    RunOnThreads(unsigned(pieces), pieces, [&](size_t piece) {
        NcPoint low = bounds[piece][0], high = bounds[piece][1];
        path.segments.VisitRuns(first + (last - first) * piece / pieces,
                                first + (last - first) * (piece + 1) / pieces,
                                [&](size_t, const CNcSegment* run, const CNcSegment* end) {
                                    for (; run != end; ++run)
                                        for (int axis = 0; axis < 3; ++axis) {
                                            low[axis] = std::min(low[axis], run->end[axis]);
                                            high[axis] = std::max(high[axis], run->end[axis]);
                                        }
                                });
        bounds[piece] = {low, high};
    });
    for (const auto& [low, high] : bounds) {
        box.Add(low);
        box.Add(high);
    }
    if (first == 0)
        box.Add(path.start);
    auto arc = std::lower_bound(
        path.arcs.begin(), path.arcs.end(), first,
        [](const CNcArcCentre& centre, size_t segment) { return centre.segment < segment; });
    for (; arc != path.arcs.end() && arc->segment < last; ++arc)
        if (path.segments[arc->segment].IsArc())
            AddArcExtremes(path, arc->segment, box);
    return box;
}

// Extents of each run of segments in one coordinate system, handed to `sink(system, box)`.
template <typename Sink> void ExtentsBySystem(const CNcPath& path, Sink sink)
{
    const size_t count = path.segments.Size();
    size_t first = 0;
    int system = -1;
    for (const CNcSystemChange& change : path.systems) {
        if (change.segment >= count)
            break;
        sink(system, BoxOf(path, first, change.segment));
        first = change.segment;
        system = change.system;
    }
    sink(system, BoxOf(path, first, count));
}

int32_t Clamped(int64_t value)
{
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

CNcExtents PathExtents(const CNcPath& path)
{
    CNcExtents extents;
    ExtentsBySystem(path, [&](int, const CNcExtents& box) { extents.Add(box); });
    return extents;
}

CNcExtents MachineExtents(const CNcPath& path, const CNcOrigins& origins)
{
    CNcExtents extents;
    ExtentsBySystem(path, [&](int system, const CNcExtents& box) {
        if (box.empty)
            return;
        const NcPoint origin = origins.Of(system);
        for (const NcPoint& corner : {box.low, box.high})
            extents.Add(NcPoint{Clamped(int64_t(corner[0]) + origin[0]),
                                Clamped(int64_t(corner[1]) + origin[1]),
                                Clamped(int64_t(corner[2]) + origin[2])});
    });
    return extents;
}

std::array<double, 3> InProgramUnits(const NcPoint& point, bool inch)
{
    const double perUnit = inch ? 25400.0 : 1000.0;
    return {point[0] / perUnit, point[1] / perUnit, point[2] / perUnit};
}

bool CNcTravelCheck::Fits() const
{
    for (int axis = 0; axis < 3; ++axis)
        if (below[axis] > 0 || above[axis] > 0)
            return false;
    return true;
}

CNcTravelCheck CheckTravel(const CNcExtents& machineExtents, const NcPoint& travelLow,
                           const NcPoint& travelHigh)
{
    CNcTravelCheck check;
    if (machineExtents.empty)
        return check;
    for (int axis = 0; axis < 3; ++axis) {
        check.below[axis] =
            Clamped(std::max<int64_t>(0, int64_t(travelLow[axis]) - machineExtents.low[axis]));
        check.above[axis] =
            Clamped(std::max<int64_t>(0, int64_t(machineExtents.high[axis]) - travelHigh[axis]));
    }
    return check;
}
