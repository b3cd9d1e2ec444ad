#include "NcTravel.h"

#include "NcGeometry.h"
#include "NcReader.h"

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

// Extents of each run of segments in one coordinate system, handed to `sink(system, box)`.
template <typename Sink> void ExtentsBySystem(const CNcPath& path, Sink sink)
{
    const size_t count = path.segments.Size();
    size_t change = 0;
    CNcExtents box;
    int system = -1;
    for (size_t i = 0; i < count; ++i) {
        if (change < path.systems.size() && path.systems[change].segment == i) {
            sink(system, box);
            box = {};
            system = path.systems[change++].system;
        }
        if (i == 0)
            box.Add(path.start);
        const CNcSegment& segment = path.segments[i];
        box.Add(segment.end);
        if (segment.IsArc())
            AddArcExtremes(path, i, box);
    }
    sink(system, box);
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
