#include "NcPathRaster.h"

#include "NcThreads.h"

#include "NcGeometry.h"

#include <algorithm>
#include <cmath>
#include <thread>

void CNcPathRaster::Project(NcProjection projection, const NcPoint& point, double& u, double& v)
{
    u = point[0];
    v = projection == NcProjection::Top ? point[1] : point[2];
}

CNcPathRaster::CNcPathRaster(const CNcPath& path, NcProjection projection, CNcProgress* progress)
{
    CNcPathRaster other;
    if (projection == NcProjection::Top)
        DrawBoth(path, PathExtents(path), *this, other, progress);
    else
        DrawBoth(path, PathExtents(path), other, *this, progress);
}

bool CNcPathRaster::Prepare(const CNcExtents& extents)
{
    m_levels.clear();
    if (extents.empty)
        return false;
    double lowU, lowV, highU, highV;
    Project(m_projection, extents.low, lowU, lowV);
    Project(m_projection, extents.high, highU, highV);
    const double span = std::max({highU - lowU, highV - lowV, 1.0});
    Level base;
    base.cell = span / (kBaseCells - 1);
    base.width = int((highU - lowU) / base.cell) + 1;
    base.height = int((highV - lowV) / base.cell) + 1;
    base.kinds.assign(size_t(base.width) * size_t(base.height), 0);
    base.last.assign(base.kinds.size(), kNoSegment);
    m_perCell = 1 / base.cell;
    m_left = lowU - base.cell / 2;
    m_bottom = lowV - base.cell / 2;
    m_levels.push_back(std::move(base));
    return true;
}

void CNcPathRaster::DrawBoth(const CNcPath& path, const CNcExtents& extents, CNcPathRaster& top,
                             CNcPathRaster& side, CNcProgress* progress)
{
    top.m_projection = NcProjection::Top;
    side.m_projection = NcProjection::Side;
    if (!top.Prepare(extents) || !side.Prepare(extents))
        return;
    const size_t count = path.segments.Size();
    if (progress) {
        progress->done = 0;
        progress->total = count;
    }
    // A long path is cut into one stretch a thread; each thread draws both views of its stretch
    // into rasters of its own, which are laid over the first ones in order afterwards. Every
    // segment is then read from memory once, not once for each view.
    const unsigned threads = count >= kSplitSegments ? NcThreadCount() : 1;
    std::vector<CNcPathRaster> tops(threads - 1, top), sides(threads - 1, side);
    std::atomic<bool> cancelled{false};
    RunOnThreads(threads, threads, [&](size_t t) {
        CNcPathRaster& ownTop = t == 0 ? top : tops[t - 1];
        CNcPathRaster& ownSide = t == 0 ? side : sides[t - 1];
        if (!DrawRange(path, count * t / threads, count * (t + 1) / threads, ownTop, ownSide,
                       progress))
            cancelled = true;
    });
    if (cancelled) {
        top.m_levels.clear();
        side.m_levels.clear();
        return;
    }
    for (unsigned t = 1; t < threads; ++t) {
        top.Overlay(tops[t - 1]);
        side.Overlay(sides[t - 1]);
    }
    RunOnThreads(std::min(threads, 2u), 2,
                 [&](size_t view) { (view == 0 ? top : side).BuildLevels(); });
    if (progress)
        progress->done.store(count, std::memory_order_relaxed);
}

bool CNcPathRaster::DrawRange(const CNcPath& path, size_t first, size_t last, CNcPathRaster& top,
                              CNcPathRaster& side, CNcProgress* progress)
{
    NcPoint start = path.StartOf(first);
    size_t unreported = 0;
    bool cancelled = false;
    path.segments.VisitRuns(first, last,
                            [&](size_t index, const CNcSegment* begin, const CNcSegment* end) {
                                if (cancelled)
                                    return;
                                if (progress && unreported >= 0x10000) {
                                    progress->done.fetch_add(unreported, std::memory_order_relaxed);
                                    unreported = 0;
                                    cancelled = progress->cancel.load(std::memory_order_relaxed);
                                    if (cancelled)
                                        return;
                                }
                                unreported += size_t(end - begin);
                                for (size_t i = index; begin != end; ++i, ++begin) {
                                    top.Draw(path, i, start);
                                    side.Draw(path, i, start);
                                    start = begin->end;
                                }
                            });
    return !cancelled && !(progress && progress->cancel);
}

void CNcPathRaster::Overlay(const CNcPathRaster& later)
{
    Level& base = m_levels[0];
    const Level& over = later.m_levels[0];
    for (size_t i = 0; i < base.kinds.size(); ++i) {
        if (over.kinds[i]) {
            base.kinds[i] |= over.kinds[i];
            base.last[i] = over.last[i];
        }
    }
}

void CNcPathRaster::Draw(const CNcPath& path, size_t i, const NcPoint& start)
{
    const CNcSegment& segment = path.segments[i];
    const uint8_t kind = segment.Motion() == NcMotion::Rapid ? kRapid : kFeed;
    double u0, v0, u1, v1;
    Project(m_projection, start, u0, v0);
    if (!segment.IsArc()) {
        Project(m_projection, segment.end, u1, v1);
        Line(u0, v0, u1, v1, kind, uint32_t(i));
        return;
    }
    // Chords whose bulge stays under half a cell.
    const CNcArcGeometry arc = ArcOf(path, i);
    const double radius = arc.radius * 1000.0;
    const double ratio = m_levels[0].cell / (2 * radius);
    const double step = ratio < 1 ? 2 * std::acos(1 - ratio) : std::fabs(arc.sweep);
    const int chords = std::clamp(int(std::ceil(std::fabs(arc.sweep) / step)), 4, 100000);
    for (int k = 1; k <= chords; ++k) {
        const std::array<double, 3> mm = arc.PointAt(double(k) / chords);
        u1 = mm[0] * 1000;
        v1 = (m_projection == NcProjection::Top ? mm[1] : mm[2]) * 1000;
        Line(u0, v0, u1, v1, kind, uint32_t(i));
        u0 = u1;
        v0 = v1;
    }
}

// Marks the cell at (x, y), in cells from the lower left corner.
inline void CNcPathRaster::Mark(double x, double y, uint8_t kind, uint32_t segment)
{
    Level& base = m_levels[0];
    const int cx = std::clamp(int(x), 0, base.width - 1);
    const int cy = std::clamp(int(y), 0, base.height - 1);
    const size_t index = base.Index(cx, cy);
    base.kinds[index] |= kind;
    base.last[index] = segment; // segments come in order: the last one is the highest
}

// Every cell the straight line from (u0, v0) to (u1, v1) crosses, in micrometres.
void CNcPathRaster::Line(double u0, double v0, double u1, double v1, uint8_t kind, uint32_t segment)
{
    double x = (u0 - m_left) * m_perCell, y = (v0 - m_bottom) * m_perCell;
    const double x1 = (u1 - m_left) * m_perCell, y1 = (v1 - m_bottom) * m_perCell;
    // Most segments of a large program stay within one cell.
    if (int(x) == int(x1) && int(y) == int(y1)) {
        Mark(x, y, kind, segment);
        return;
    }
    const double dx = x1 - x, dy = y1 - y;
    const int steps = int(std::ceil(std::max(std::fabs(dx), std::fabs(dy))));
    const double stepX = dx / steps, stepY = dy / steps;
    for (int k = 0; k <= steps; ++k, x += stepX, y += stepY)
        Mark(x, y, kind, segment);
}

void CNcPathRaster::BuildLevels()
{
    while (m_levels.back().width > 1 || m_levels.back().height > 1) {
        const Level& below = m_levels.back();
        Level level;
        level.width = (below.width + 1) / 2;
        level.height = (below.height + 1) / 2;
        level.cell = below.cell * 2;
        level.kinds.assign(size_t(level.width) * size_t(level.height), 0);
        level.last.assign(level.kinds.size(), kNoSegment);
        for (int y = 0; y < below.height; ++y) {
            for (int x = 0; x < below.width; ++x) {
                const size_t from = below.Index(x, y);
                if (!below.kinds[from])
                    continue;
                const size_t to = level.Index(x / 2, y / 2);
                level.kinds[to] |= below.kinds[from];
                if (level.last[to] == kNoSegment || below.last[from] > level.last[to])
                    level.last[to] = below.last[from];
            }
        }
        m_levels.push_back(std::move(level));
    }
}

uint32_t CNcPathRaster::SegmentNear(double u, double v, double radius) const
{
    if (m_levels.empty())
        return kNoSegment;
    const Level& base = m_levels[0];
    const int cx = int(std::floor((u - m_left) / base.cell));
    const int cy = int(std::floor((v - m_bottom) / base.cell));
    const int reach = std::min(int(std::ceil(radius / base.cell)), kBaseCells);
    uint32_t best = kNoSegment;
    long bestDistance = -1;
    for (int y = std::max(0, cy - reach); y <= std::min(base.height - 1, cy + reach); ++y) {
        for (int x = std::max(0, cx - reach); x <= std::min(base.width - 1, cx + reach); ++x) {
            const size_t index = base.Index(x, y);
            if (!base.kinds[index])
                continue;
            const long distance = long(x - cx) * (x - cx) + long(y - cy) * (y - cy);
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = base.last[index];
            }
        }
    }
    return best;
}
