#include "NcPathFollower.h"

#include "NcGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

CNcPathFollower::CNcPathFollower(const CNcPath& path, const CNcOrigins& origins, int32_t tolerance)
    : m_path(path), m_origins(origins), m_tolerance(tolerance / 1000.0)
{
}

void CNcPathFollower::Reset()
{
    m_matched = false;
    m_segment = 0;
    m_fraction = 0;
}

uint32_t CNcPathFollower::Line() const
{
    return m_segment < m_path.segments.Size() ? m_path.segments[m_segment].Line() : 0;
}

bool CNcPathFollower::Follow(const NcPoint& position)
{
    const size_t first = m_matched ? m_segment : 0;
    const size_t count = std::min(m_path.segments.Size(), first + kMaxLookAhead);
    size_t window = kWindow;
    for (size_t from = first; from < count; from += window, window *= 2) {
        const size_t to = std::min(count, from + window);
        double fraction = 0;
        if (const std::optional<size_t> found = Search(from, to, position, fraction)) {
            // On the segment matched last, the tool does not go back along it.
            if (m_matched && *found == m_segment)
                fraction = std::max(fraction, m_fraction);
            m_matched = true;
            m_segment = *found;
            m_fraction = fraction;
            return true;
        }
    }
    return false;
}

std::optional<size_t> CNcPathFollower::Search(size_t from, size_t to, const NcPoint& position,
                                              double& fraction)
{
    // The origin of the system in force for each segment, and for the one before: a segment's
    // start is where the one before ended, in that one's system, so that the move between two
    // systems is placed from one origin to the other as the machine makes it.
    NcPoint before = m_origins.Of(from > 0 ? m_path.SystemOf(from - 1) : -1);
    const auto& systems = m_path.systems;
    auto change =
        std::upper_bound(systems.begin(), systems.end(), from,
                         [](size_t index, const CNcSystemChange& c) { return index < c.segment; });
    NcPoint origin = m_origins.Of(change == systems.begin() ? -1 : std::prev(change)->system);
    for (size_t i = from; i < to; ++i) {
        if (change != systems.end() && change->segment <= i) {
            int system = -1;
            while (change != systems.end() && change->segment <= i)
                system = (change++)->system;
            origin = m_origins.Of(system);
        }
        if (Distance(i, before, origin, position, fraction) <= m_tolerance)
            return i;
        before = origin;
    }
    return std::nullopt;
}

double CNcPathFollower::Distance(size_t segment, const NcPoint& startOrigin, const NcPoint& origin,
                                 const NcPoint& position, double& fraction) const
{
    const CNcSegment& s = m_path.segments[segment];
    const NcPoint from = m_path.StartOf(segment);
    if (!s.IsArc()) {
        const NcPoint start{from[0] + startOrigin[0], from[1] + startOrigin[1],
                            from[2] + startOrigin[2]};
        const NcPoint end{s.end[0] + origin[0], s.end[1] + origin[1], s.end[2] + origin[2]};
        const auto p = ToMm(position);
        // A box test in whole micrometres first: most segments are far from the tool.
        const auto slack = int64_t(m_tolerance * 1000.0) + 1;
        for (int axis = 0; axis < 3; ++axis) {
            const auto low = std::min(start[axis], end[axis]);
            const auto high = std::max(start[axis], end[axis]);
            if (int64_t(position[axis]) < int64_t(low) - slack ||
                int64_t(position[axis]) > int64_t(high) + slack)
                return HUGE_VAL;
        }
        const auto a = ToMm(start);
        const auto b = ToMm(end);
        double along = 0, length2 = 0;
        for (int axis = 0; axis < 3; ++axis) {
            along += (p[axis] - a[axis]) * (b[axis] - a[axis]);
            length2 += (b[axis] - a[axis]) * (b[axis] - a[axis]);
        }
        fraction = length2 > 0 ? std::clamp(along / length2, 0.0, 1.0) : 1.0;
        double distance2 = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const double d = a[axis] + (b[axis] - a[axis]) * fraction - p[axis];
            distance2 += d * d;
        }
        return std::sqrt(distance2);
    }
    // An arc, in its own system's frame: the point of the arc at the position's angle around
    // the centre, when that angle lies within the sweep; else the nearer end.
    const CNcArcGeometry arc = ArcOf(m_path, segment);
    const auto p =
        ToMm(NcPoint{position[0] - origin[0], position[1] - origin[1], position[2] - origin[2]});
    auto distanceTo = [&](const std::array<double, 3>& q) {
        return std::hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]);
    };
    constexpr double kTwoPi = 2 * std::numbers::pi;
    const double angle = std::atan2(p[arc.b] - arc.centre[arc.b], p[arc.a] - arc.centre[arc.a]);
    const double turned = arc.sweep >= 0 ? angle - arc.startAngle : arc.startAngle - angle;
    const double within = std::fmod(std::fmod(turned, kTwoPi) + kTwoPi, kTwoPi);
    double best = HUGE_VAL;
    if (std::abs(arc.sweep) > 0 && within <= std::abs(arc.sweep)) {
        fraction = within / std::abs(arc.sweep);
        best = distanceTo(arc.PointAt(fraction));
    }
    if (const double atStart = distanceTo(arc.start); atStart < best) {
        best = atStart;
        fraction = 0;
    }
    if (const double atEnd = distanceTo(arc.end); atEnd < best) {
        best = atEnd;
        fraction = 1;
    }
    return best;
}
