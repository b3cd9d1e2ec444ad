#pragma once

#include "NcPath.h"

#include <array>
#include <map>

// The box that holds a path, micrometres.
struct CNcExtents
{
    bool empty = true;
    NcPoint low{};
    NcPoint high{};

    void Add(const NcPoint& point);
    void Add(const CNcExtents& other);
};

// Where the origins of the coordinate systems stand in machine coordinates (micrometres).
// Segments of a system without an entry, and segments before the program selects one, are
// placed by `current`: the origin the panel uses now.
struct CNcOrigins
{
    NcPoint current{};
    std::map<int, NcPoint> systems;

    NcPoint Of(int system) const;
};

// Extents of a path in its own coordinates, arcs by the points where they turn, the start of
// the first segment included. Empty when the path has no segments.
CNcExtents PathExtents(const CNcPath& path);

// Extents on the machine: every segment moved by the origin of its coordinate system.
CNcExtents MachineExtents(const CNcPath& path, const CNcOrigins& origins);

// Extents in the program's own unit: mm, or inch for a program that ends in G20.
std::array<double, 3> InProgramUnits(const NcPoint& point, bool inch);

// How far a box leaves the machine's travel on each axis (0 where it stays inside), micrometres.
struct CNcTravelCheck
{
    std::array<int32_t, 3> below{}; // under the low end of the travel
    std::array<int32_t, 3> above{}; // over the high end

    bool Fits() const;
};

CNcTravelCheck CheckTravel(const CNcExtents& machineExtents, const NcPoint& travelLow,
                           const NcPoint& travelHigh);
