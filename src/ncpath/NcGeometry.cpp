#include "NcGeometry.h"

#include <cmath>
#include <numbers>

std::array<double, 3> ToMm(const NcPoint& point)
{
    return {point[0] / 1000.0, point[1] / 1000.0, point[2] / 1000.0};
}

std::array<double, 3> CNcArcGeometry::PointAt(double t) const
{
    std::array<double, 3> point{};
    const double angle = startAngle + sweep * t;
    point[a] = centre[a] + radius * std::cos(angle);
    point[b] = centre[b] + radius * std::sin(angle);
    point[n] = start[n] + (end[n] - start[n]) * t;
    return point;
}

CNcArcGeometry ArcOf(const CNcPath& path, size_t segment)
{
    const CNcSegment& s = path.segments[segment];
    CNcArcGeometry arc;
    switch (s.Plane()) {
    case NcPlane::ZX:
        arc.a = 2, arc.b = 0, arc.n = 1;
        break;
    case NcPlane::YZ:
        arc.a = 1, arc.b = 2, arc.n = 0;
        break;
    case NcPlane::XY:
        break;
    }
    arc.start = ToMm(path.StartOf(segment));
    arc.end = ToMm(s.end);
    arc.centre = ToMm(path.CentreOf(segment));
    const double sa = arc.start[arc.a] - arc.centre[arc.a];
    const double sb = arc.start[arc.b] - arc.centre[arc.b];
    const double ea = arc.end[arc.a] - arc.centre[arc.a];
    const double eb = arc.end[arc.b] - arc.centre[arc.b];
    arc.radius = std::hypot(sa, sb);
    arc.startAngle = std::atan2(sb, sa);
    const double endAngle = std::atan2(eb, ea);
    constexpr double kTwoPi = 2 * std::numbers::pi;
    // Sweep counterclockwise from start to end in (0, 2 pi]; the same end point is a full turn.
    double sweep = std::fmod(endAngle - arc.startAngle + 2 * kTwoPi, kTwoPi);
    if (std::hypot(ea - sa, eb - sb) < 0.0005)
        sweep = kTwoPi;
    else if (sweep <= 0)
        sweep += kTwoPi;
    arc.sweep = s.Motion() == NcMotion::ArcCw ? sweep - kTwoPi : sweep;
    if (s.Motion() == NcMotion::ArcCw && arc.sweep == 0)
        arc.sweep = -kTwoPi;
    return arc;
}

double SegmentLength(const CNcPath& path, size_t segment)
{
    const CNcSegment& s = path.segments[segment];
    if (!s.IsArc()) {
        const NcPoint start = path.StartOf(segment);
        const double dx = s.end[0] - start[0];
        const double dy = s.end[1] - start[1];
        const double dz = s.end[2] - start[2];
        return std::sqrt(dx * dx + dy * dy + dz * dz) / 1000.0;
    }
    const CNcArcGeometry arc = ArcOf(path, segment);
    return std::hypot(arc.radius * arc.sweep, arc.end[arc.n] - arc.start[arc.n]);
}
