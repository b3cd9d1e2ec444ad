#pragma once

#include "NcPath.h"
#include "NcTravel.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// Follows a running program along its path from polled tool positions. Each position is looked
// for forward in program order from the segment of the last match, so that a program passing
// the same point many times is followed lap by lap and the line never goes back. The search
// looks at a window of segments first and doubles it while nothing matches, up to kMaxLookAhead
// segments past the last match: a poll costs little while the tool stays on its way, and a tool
// off the path (a hand move while paused, the next file's start) never makes one poll scan a
// program of millions of segments on the user-interface thread.
class CNcPathFollower
{
public:
    // A few display steps, micrometres: the machine reports a position it has reached, the
    // path holds the program's rounded one.
    static constexpr int32_t kDefaultTolerance = 50;
    static constexpr size_t kWindow = 4096;
    static constexpr size_t kMaxLookAhead = size_t(1) << 20;

    // origins: where the path's coordinate systems stand in the frame of the positions given
    // to Follow (all at zero: positions in the program's own frame).
    explicit CNcPathFollower(const CNcPath& path, const CNcOrigins& origins = {},
                             int32_t tolerance = kDefaultTolerance);

    // Takes one polled position; true when it lies on the path at or after the last match.
    // A position off the path (the machine not there yet, a hand move while paused) keeps the
    // last match.
    bool Follow(const NcPoint& position);

    bool HasMatch() const { return m_matched; }
    // The segment of the last match and how far along it the position was (0..1).
    size_t Segment() const { return m_segment; }
    double Fraction() const { return m_fraction; }
    // The program line (0-based) of the last match.
    uint32_t Line() const;

    // Starts again from the beginning of the path.
    void Reset();

private:
    // Distance in mm from the position to the segment placed by the origins of its start and of
    // its own system, with the fraction along it of the nearest point.
    double Distance(size_t segment, const NcPoint& startOrigin, const NcPoint& origin,
                    const NcPoint& position, double& fraction) const;
    std::optional<size_t> Search(size_t from, size_t to, const NcPoint& position, double& fraction);

    const CNcPath& m_path;
    CNcOrigins m_origins;
    double m_tolerance; // mm
    bool m_matched = false;
    size_t m_segment = 0;
    double m_fraction = 0;
};
