#pragma once

#include "NcPath.h"
#include "NcTravel.h"

#include <cstdint>
#include <vector>

// The plane a view looks at: from above (X right, Y up) or from the side (X right, Z up).
enum class NcProjection : uint8_t
{
    Top,
    Side,
};

// A path drawn once into a pyramid of rasters, so that a view can show a program of any size
// at any zoom in the time of its own pixels: level 0 has kBaseCells cells along the longer side
// of the path's extents; each level above halves both sides. A cell holds what passes through
// it (feed, rapid) and the highest segment index among those, which tells a view which cells
// have been run and which segment a click hit.
class CNcPathRaster
{
public:
    static constexpr int kBaseCells = 2048;
    static constexpr uint8_t kFeed = 1;
    static constexpr uint8_t kRapid = 2;
    static constexpr uint32_t kNoSegment = 0xFFFFFFFFu;

    struct Level
    {
        int width = 0;
        int height = 0;
        double cell = 0; // micrometres per cell
        std::vector<uint8_t> kinds;
        std::vector<uint32_t> last; // highest segment index through the cell

        size_t Index(int x, int y) const { return size_t(y) * size_t(width) + size_t(x); }
    };

    CNcPathRaster() = default;
    // Draws the path; stops early (leaving an empty raster) when progress->cancel is set.
    CNcPathRaster(const CNcPath& path, NcProjection projection, CNcProgress* progress = nullptr);

    // Draws the path from above and from the side in one pass over its segments, within its
    // extents (PathExtents), a long path on every processor. Stops early, leaving both empty,
    // when progress->cancel is set.
    static void DrawBoth(const CNcPath& path, const CNcExtents& extents, CNcPathRaster& top,
                         CNcPathRaster& side, CNcProgress* progress = nullptr);

    bool Empty() const { return m_levels.empty(); }
    NcProjection Projection() const { return m_projection; }
    const std::vector<Level>& Levels() const { return m_levels; }
    // The lower left corner of cell (0, 0), in micrometres of the projected plane.
    double Left() const { return m_left; }
    double Bottom() const { return m_bottom; }

    // The projected coordinates of a point: (X, Y) from above, (X, Z) from the side.
    static void Project(NcProjection projection, const NcPoint& point, double& u, double& v);

    // The segment nearest to (u, v) (micrometres in the plane) within `radius` micrometres, by
    // the cells of level 0; kNoSegment when there is none.
    uint32_t SegmentNear(double u, double v, double radius) const;

private:
    // Sizes level 0 for the extents; false when they are empty.
    bool Prepare(const CNcExtents& extents);
    // Draws segments [first, last) into both views (level 0 only), counting them in progress;
    // false when progress->cancel was set.
    static bool DrawRange(const CNcPath& path, size_t first, size_t last, CNcPathRaster& top,
                          CNcPathRaster& side, CNcProgress* progress);
    // Lays level 0 of a raster of the same extents, drawn from later segments, over this one.
    void Overlay(const CNcPathRaster& later);
    // Draws segment i, which runs from `start` (micrometres) to its end.
    void Draw(const CNcPath& path, size_t i, const NcPoint& start);
    void Mark(double x, double y, uint8_t kind, uint32_t segment);
    void Line(double u0, double v0, double u1, double v1, uint8_t kind, uint32_t segment);
    void BuildLevels();

    NcProjection m_projection = NcProjection::Top;
    double m_left = 0;
    double m_bottom = 0;
    double m_perCell = 1; // cells per micrometre at level 0
    std::vector<Level> m_levels;
};
