#pragma once

#include "NcPath.h"

#include <array>

// Geometry of single segments, in mm, shared by the extents, the run time and the views.
struct CNcArcGeometry
{
    int a = 0, b = 1, n = 2; // in-plane axes and the normal, as in NcPlane
    double radius = 0;       // in the plane, from the start point
    double startAngle = 0;   // of the start point around the centre, radians
    double sweep = 0;        // signed: positive counterclockwise; a full circle is +-2 pi
    std::array<double, 3> centre{};
    std::array<double, 3> start{};
    std::array<double, 3> end{};

    // The point at fraction t (0..1) of the arc; the normal axis moves in proportion (helix).
    std::array<double, 3> PointAt(double t) const;
};

std::array<double, 3> ToMm(const NcPoint& point);

// An arc segment's geometry. An arc whose end meets its start is a full circle.
CNcArcGeometry ArcOf(const CNcPath& path, size_t segment);

// Length of a segment in mm (a helix for an arc that also moves along its normal).
double SegmentLength(const CNcPath& path, size_t segment);
