#include "NcHeightMap.h"

#include "NcGeometry.h"
#include "NcTravel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

namespace {

using Vec3 = std::array<double, 3>;

// Material a rapid move may graze without counting: rounding of the stored heights.
constexpr double kGrazeMm = 0.001;
// Segments swept between two looks at the cancel request.
constexpr size_t kChunk = size_t(1) << 14;

// The cells one map covers, for the sweep of one band of rows.
struct CBand
{
    const CNcHeightMap& map;
    float* heights;
    int rowBegin, rowEnd;
    double radius;
    bool ball;
    double tolerance; // chord error allowed where arcs become lines, mm
    bool measure;     // whether the sweep reports the material it removed
};

// The cells of one row, centre Y yc, that the tool's XY footprint swept from a to b may cover:
// the row's chord through the capsule (the discs at both ends and the strip between them),
// widened by a cell each side so that rounding never drops a cell the exact test would keep.
// Empty when first > last.
void RowSpan(const CBand& band, const Vec3& a, const Vec3& b, double yc, int& first, int& last)
{
    const CNcHeightMap& map = band.map;
    const double r = band.radius;
    double low = 1e300, high = -1e300;
    auto disc = [&](const Vec3& c) {
        const double h = r * r - (yc - c[1]) * (yc - c[1]);
        if (h >= 0) {
            const double w = std::sqrt(h);
            low = std::min(low, c[0] - w);
            high = std::max(high, c[0] + w);
        }
    };
    disc(a);
    disc(b);
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length > 1e-9) {
        // Along the move u in [0, length] and across it |v| <= r, each linear in x on the row.
        const double ux = dx / length, uy = dy / length, ry = yc - a[1];
        double stripLow = -1e300, stripHigh = 1e300;
        auto bound = [&](double slope, double offset, double from, double to) {
            if (std::abs(slope) < 1e-12) {
                if (offset < from || offset > to)
                    stripLow = 1e300;
                return;
            }
            double p = (from - offset) / slope, q = (to - offset) / slope;
            if (p > q)
                std::swap(p, q);
            stripLow = std::max(stripLow, p);
            stripHigh = std::min(stripHigh, q);
        };
        bound(ux, ry * uy, 0, length);
        bound(-uy, ry * ux, -r, r);
        if (stripLow <= stripHigh) {
            low = std::min(low, a[0] + stripLow);
            high = std::max(high, a[0] + stripHigh);
        }
    }
    if (low > high) {
        first = 1;
        last = 0;
        return;
    }
    first = int(std::max(-1.0, std::ceil((low - map.x0) / map.cell - 0.5) - 1));
    last = int(std::min(double(map.width), std::floor((high - map.x0) / map.cell - 0.5) + 1));
}

// Lowers the band under the tool moved in a straight line from a to b (tip points). Returns the
// most material removed at one cell, mm (when the band measures it). Only the cells of each row's
// chord through the swept footprint are looked at, and a cell already at or under the move's lowest
// tip Z is passed over: no point of the tool reaches below that Z.
double SweepLine(const CBand& band, const Vec3& a, const Vec3& b)
{
    const CNcHeightMap& map = band.map;
    const double r = band.radius;
    if (std::min(a[2], b[2]) >= map.stockTop)
        return 0;
    const double lowX = std::min(a[0], b[0]) - r, highX = std::max(a[0], b[0]) + r;
    const double lowY = std::min(a[1], b[1]) - r, highY = std::max(a[1], b[1]) + r;
    const int x0 = std::max(0, int(std::ceil((lowX - map.x0) / map.cell - 0.5)));
    const int x1 = std::min(map.width - 1, int(std::floor((highX - map.x0) / map.cell - 0.5)));
    const int y0 = std::max(band.rowBegin, int(std::ceil((lowY - map.y0) / map.cell - 0.5)));
    const int y1 = std::min(band.rowEnd - 1, int(std::floor((highY - map.y0) / map.cell - 0.5)));
    if (x0 > x1 || y0 > y1)
        return 0;
    const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    const double qa = dx * dx + dy * dy; // the squared XY distance is qa t^2 + qb t + qc
    const bool moves = qa > 1e-12;
    const double r2 = r * r;
    const float lowest = float(std::min(a[2], b[2]));
    // Where the ball's lowest point over a cell lies, relative to the closest point: the
    // lowest surface point is where the slope of the move and of the sphere cancel.
    const double ballShift = moves ? -dz / std::sqrt(qa * (qa + dz * dz)) : 0;
    double removed = 0;
    for (int y = y0; y <= y1; ++y) {
        float* row = band.heights + size_t(y) * size_t(map.width);
        const double py = a[1] - map.CellY(y);
        int first, last;
        RowSpan(band, a, b, map.CellY(y), first, last);
        first = std::max(first, x0);
        last = std::min(last, x1);
        auto cut = [&](int x) {
            if (row[x] <= lowest)
                return;
            const double px = a[0] - map.CellX(x);
            const double qc = px * px + py * py;
            double z;
            if (!moves) {
                if (qc > r2)
                    return;
                z = std::min(a[2], b[2]);
                if (band.ball)
                    z += r - std::sqrt(r2 - qc);
            } else {
                const double qb = 2 * (dx * px + dy * py);
                const double disc = qb * qb - 4 * qa * (qc - r2);
                if (disc < 0)
                    return;
                const double root = std::sqrt(disc);
                const double t0 = std::max(0.0, (-qb - root) / (2 * qa));
                const double t1 = std::min(1.0, (-qb + root) / (2 * qa));
                if (t0 > t1)
                    return;
                if (!band.ball) {
                    z = dz < 0 ? a[2] + dz * t1 : a[2] + dz * t0;
                } else {
                    const double closest = -qb / (2 * qa);
                    const double inside = r2 - (qc - qb * qb / (4 * qa));
                    const double t =
                        std::clamp(closest + ballShift * std::sqrt(std::max(0.0, inside)), t0, t1);
                    const double q = (qa * t + qb) * t + qc;
                    z = a[2] + dz * t + r - std::sqrt(std::max(0.0, r2 - q));
                }
            }
            if (z < row[x]) {
                removed = std::max(removed, double(row[x]) - z);
                row[x] = float(z);
            }
        };
        // A flat face moved level lowers every cell well inside the chord to its own Z: the
        // exact test is left for the cells next to the chord's ends.
        int fillFirst = last + 1, fillLast = last;
        if (!band.ball && moves && dz == 0) {
            fillFirst = first + 2;
            fillLast = std::max(fillFirst - 1, last - 2);
        }
        for (int x = first; x < fillFirst && x <= last; ++x)
            cut(x);
        const double level = a[2];
        if (band.measure) {
            for (int x = fillFirst; x <= fillLast; ++x) {
                if (level < row[x]) {
                    removed = std::max(removed, double(row[x]) - level);
                    row[x] = float(level);
                }
            }
        } else {
            // Without the measure the fill is a plain minimum; it stores what the test above
            // would.
            // Blocks of eight of a fixed length, which the compiler turns into vector minimums.
            const float stored = float(level);
            int x = fillFirst;
            for (; x + 8 <= fillLast + 1; x += 8) {
                for (int k = 0; k < 8; ++k)
                    row[x + k] = std::min(row[x + k], stored);
            }
            for (; x <= fillLast; ++x)
                row[x] = std::min(row[x], stored);
        }
        for (int x = std::max(first, fillLast + 1); x <= last; ++x)
            cut(x);
    }
    return removed;
}

// The lowest tip Z of a segment and whether its swept box can reach the band's rows.
struct CReach
{
    double lowZ;
    double lowY, highY;
};

CReach ReachOf(const CNcPath& path, size_t i, double radius)
{
    const CNcSegment& s = path.segments[i];
    const NcPoint start = path.StartOf(i);
    double lowY = std::min(start[1], s.end[1]) / 1000.0;
    double highY = std::max(start[1], s.end[1]) / 1000.0;
    double lowZ = std::min(start[2], s.end[2]) / 1000.0;
    if (s.IsArc()) {
        // The whole circle bounds the arc on its in-plane axes.
        const NcPoint centre = path.CentreOf(i);
        const double r = std::hypot(double(start[0] - centre[0]), double(start[1] - centre[1]),
                                    double(start[2] - centre[2])) /
                         1000.0;
        if (s.Plane() != NcPlane::ZX) {
            lowY = std::min(lowY, centre[1] / 1000.0 - r);
            highY = std::max(highY, centre[1] / 1000.0 + r);
        }
        if (s.Plane() != NcPlane::XY)
            lowZ = std::min(lowZ, centre[2] / 1000.0 - r);
    }
    return {lowZ, lowY - radius, highY + radius};
}

// Sweeps one segment over the band; arcs as chords within the band's tolerance. Returns the
// most material removed at one cell, and the lowest tip Z in lowZ.
double SweepSegment(const CBand& band, const CNcPath& path, size_t i, double* lowZ = nullptr)
{
    const CNcSegment& s = path.segments[i];
    if (!s.IsArc()) {
        const Vec3 a = ToMm(path.StartOf(i)), b = ToMm(s.end);
        if (lowZ)
            *lowZ = std::min(a[2], b[2]);
        return SweepLine(band, a, b);
    }
    const CNcArcGeometry arc = ArcOf(path, i);
    const double step = arc.radius > band.tolerance ? 2 * std::acos(1 - band.tolerance / arc.radius)
                                                    : std::abs(arc.sweep);
    const int pieces = int(std::clamp(std::ceil(std::abs(arc.sweep) / step), 1.0, 65536.0));
    double removed = 0;
    Vec3 before = arc.start;
    double lowest = before[2];
    for (int k = 1; k <= pieces; ++k) {
        const Vec3 next = k == pieces ? arc.end : arc.PointAt(double(k) / pieces);
        removed = std::max(removed, SweepLine(band, before, next));
        lowest = std::min(lowest, next[2]);
        before = next;
    }
    if (lowZ)
        *lowZ = lowest;
    return removed;
}

// The end of the run of straight moves from segment first on that goes on along the line of its
// first move, in the same direction (whole micrometres, so the test is exact); at least first + 1.
size_t CollinearRun(const CNcPath& path, size_t first)
{
    // Steps under 2^30 um keep the products exact in 64 bits; longer ones end the run.
    constexpr int64_t kLimit = int64_t(1) << 30;
    auto small = [](const int64_t* d) {
        return std::abs(d[0]) < kLimit && std::abs(d[1]) < kLimit && std::abs(d[2]) < kLimit;
    };
    const NcPoint start = path.StartOf(first);
    NcPoint from = path.segments[first].end;
    const int64_t u[3] = {int64_t(from[0]) - start[0], int64_t(from[1]) - start[1],
                          int64_t(from[2]) - start[2]};
    if ((u[0] == 0 && u[1] == 0 && u[2] == 0) || !small(u))
        return first + 1;
    size_t next = first + 1;
    for (const size_t count = path.segments.Size(); next < count; ++next) {
        const CNcSegment& s = path.segments[next];
        if (s.IsArc())
            break;
        const int64_t v[3] = {int64_t(s.end[0]) - from[0], int64_t(s.end[1]) - from[1],
                              int64_t(s.end[2]) - from[2]};
        if (!small(v) || u[1] * v[2] != u[2] * v[1] || u[2] * v[0] != u[0] * v[2] ||
            u[0] * v[1] != u[1] * v[0] || u[0] * v[0] + u[1] * v[1] + u[2] * v[2] <= 0)
            break;
        from = s.end;
    }
    return next;
}

// Lays out the map over the path and takes room for its heights: coarser, with a message, when
// the room asked for is over the limit or not to be had.
bool PrepareMap(const CNcPath& path, const CNcHeightMapOptions& options, CNcHeightMap& map)
{
    const double radius = options.diameter / 2;
    const CNcExtents extents = PathExtents(path);
    if (extents.empty)
        return false;
    // Where cutting moves end, not where they begin: a plunge starts in the air.
    double highCut = -1e300;
    for (size_t i = 0; !options.stockTopGiven && i < path.segments.Size(); ++i) {
        if (path.segments[i].Motion() != NcMotion::Rapid)
            highCut = std::max(highCut, path.segments[i].end[2] / 1000.0);
    }
    map.stockTop = options.stockTopGiven ? options.stockTop
                   : highCut > -1e300    ? highCut
                                         : extents.high[2] / 1000.0;
    map.x0 = extents.low[0] / 1000.0 - radius;
    map.y0 = extents.low[1] / 1000.0 - radius;
    const double spanX = (extents.high[0] - extents.low[0]) / 1000.0 + 2 * radius;
    const double spanY = (extents.high[1] - extents.low[1]) / 1000.0 + 2 * radius;
    const int side = std::max(1, options.maxCells);
    double cell = options.cell > 0 ? options.cell : std::max({spanX, spanY, 1e-3}) / side;
    const double asked = cell;
    for (;;) {
        const double w = std::max(1.0, std::ceil(spanX / cell));
        const double h = std::max(1.0, std::ceil(spanY / cell));
        const double bytes = w * h * sizeof(float);
        if (bytes <= double(options.memoryLimit)) {
            try {
                map.heights.assign(size_t(w) * size_t(h), float(map.stockTop));
                map.width = int(w);
                map.height = int(h);
                break;
            } catch (const std::bad_alloc&) {
            }
        }
        cell *= 2;
    }
    map.cell = cell;
    if (cell != asked) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "A map of %.4g mm cells does not fit in memory; it is made of %.4g mm cells "
                      "(%d x %d).",
                      asked, cell, map.width, map.height);
        map.message = text;
    }
    return true;
}

} // namespace

CNcHeightMap ComputeHeightMap(const CNcPath& path, const CNcHeightMapOptions& options,
                              CNcProgress* progress)
{
    CNcHeightMap map;
    if (!PrepareMap(path, options, map)) {
        map.complete = true;
        return map;
    }
    const unsigned wanted = options.threads ? options.threads : std::thread::hardware_concurrency();
    const int bands = int(std::clamp<unsigned>(wanted, 1, unsigned(map.height)));
    const size_t count = path.segments.Size();
    if (progress) {
        progress->done = 0;
        progress->total = uint64_t(count) * uint64_t(bands);
    }
    std::atomic<bool> cancelled{false};
    auto sweepBand = [&](int index) {
        const CBand band{map,
                         map.heights.data(),
                         int(int64_t(map.height) * index / bands),
                         int(int64_t(map.height) * (index + 1) / bands),
                         options.diameter / 2,
                         options.tool == NcTool::Ball,
                         map.cell / 4,
                         false};
        const double bandLow = map.y0 + band.rowBegin * map.cell;
        const double bandHigh = map.y0 + band.rowEnd * map.cell;
        size_t reported = 0;
        for (size_t i = 0; i < count;) {
            if (i == reported || i - reported >= kChunk) {
                if (progress && progress->cancel) {
                    cancelled = true;
                    return;
                }
                if (progress)
                    progress->done += i - reported;
                reported = i;
            }
            if (path.segments[i].IsArc()) {
                const CReach reach = ReachOf(path, i, band.radius);
                if (reach.lowZ < map.stockTop && reach.highY >= bandLow && reach.lowY <= bandHigh)
                    SweepSegment(band, path, i);
                ++i;
                continue;
            }
            // A run of straight moves on one line in one direction sweeps what its first start
            // and last end would: the tool is swept once along the whole run.
            const size_t last = CollinearRun(path, i);
            const Vec3 a = ToMm(path.StartOf(i)), b = ToMm(path.segments[last - 1].end);
            i = last;
            if (std::min(a[2], b[2]) >= map.stockTop ||
                std::max(a[1], b[1]) + band.radius < bandLow ||
                std::min(a[1], b[1]) - band.radius > bandHigh)
                continue;
            SweepLine(band, a, b);
        }
        if (progress)
            progress->done += count - reported;
    };
    std::vector<std::thread> threads;
    for (int index = 1; index < bands; ++index)
        threads.emplace_back(sweepBand, index);
    sweepBand(0);
    for (std::thread& thread : threads)
        thread.join();
    map.complete = !cancelled;
    return map;
}

std::string FormatDangerousMove(const CNcDangerousMove& move)
{
    char text[120];
    if (move.kind == CNcDangerousMove::Kind::RapidThroughStock)
        std::snprintf(text, sizeof text, "Line %llu: rapid move through %.3f mm of stock",
                      static_cast<unsigned long long>(move.line + 1), move.depth);
    else
        std::snprintf(text, sizeof text, "Line %llu: cut %.3f mm deep",
                      static_cast<unsigned long long>(move.line + 1), move.depth);
    return text;
}

CNcDangerCheck FindDangerousMoves(const CNcPath& path, const CNcHeightMapOptions& options,
                                  double maxDepth, CNcProgress* progress)
{
    CNcDangerCheck check;
    CNcHeightMap& map = check.surface;
    if (!PrepareMap(path, options, map)) {
        map.complete = true;
        return check;
    }
    const CBand band{map,
                     map.heights.data(),
                     0,
                     map.height,
                     options.diameter / 2,
                     options.tool == NcTool::Ball,
                     map.cell / 4,
                     true};
    const size_t count = path.segments.Size();
    if (progress) {
        progress->done = 0;
        progress->total = count;
    }
    auto add = [&](size_t i, CNcDangerousMove::Kind kind, double depth) {
        if (check.moves.size() < CNcDangerCheck::kKept)
            check.moves.push_back({path.segments[i].Line(), i, kind, depth});
        ++check.count;
    };
    for (size_t first = 0; first < count; first += kChunk) {
        if (progress && progress->cancel)
            return check;
        const size_t last = std::min(count, first + kChunk);
        for (size_t i = first; i < last; ++i) {
            double lowZ = 0;
            const double removed = SweepSegment(band, path, i, &lowZ);
            if (path.segments[i].Motion() == NcMotion::Rapid) {
                if (removed > kGrazeMm)
                    add(i, CNcDangerousMove::Kind::RapidThroughStock, removed);
            } else if (maxDepth > 0 && map.stockTop - lowZ > maxDepth + kGrazeMm) {
                add(i, CNcDangerousMove::Kind::TooDeep, map.stockTop - lowZ);
            }
        }
        if (progress)
            progress->done += last - first;
    }
    map.complete = true;
    return check;
}

namespace {

struct CFileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileCloser>;

bool OpenForWriting(const std::string& path, CFile& file, std::string& error)
{
    file.reset(std::fopen(path.c_str(), "wb"));
    if (!file)
        error = path + ": " + std::strerror(errno);
    return bool(file);
}

bool Close(CFile& file, const std::string& path, std::string& error)
{
    const bool written = std::ferror(file.get()) == 0;
    if (std::fclose(file.release()) != 0 || !written) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

float Lowest(const CNcHeightMap& map)
{
    return map.heights.empty() ? float(map.stockTop)
                               : *std::min_element(map.heights.begin(), map.heights.end());
}

} // namespace

bool WriteHeightMapPgm(const CNcHeightMap& map, const std::string& path, std::string& error)
{
    if (map.width <= 0 || map.height <= 0) {
        error = "the program moves nowhere: there is no surface to write";
        return false;
    }
    CFile file;
    if (!OpenForWriting(path, file, error))
        return false;
    const double low = Lowest(map);
    const double span = map.stockTop - low;
    const double step = span > 0 ? span / 65535.0 : 0;
    std::fprintf(file.get(), "P5\n# height mm = %.6f + value * %.9f\n", low, step);
    std::fprintf(file.get(), "# cell %.6f mm, cell centre (0, bottom row) at X %.6f Y %.6f\n",
                 map.cell, map.CellX(0), map.CellY(0));
    std::fprintf(file.get(), "%d %d\n65535\n", map.width, map.height);
    std::vector<unsigned char> row(size_t(map.width) * 2);
    for (int y = map.height - 1; y >= 0; --y) {
        for (int x = 0; x < map.width; ++x) {
            const double value = step > 0 ? (map.At(x, y) - low) / step : 65535.0;
            const auto grey = uint16_t(std::clamp(std::lround(value), 0L, 65535L));
            row[size_t(x) * 2] = uint8_t(grey >> 8);
            row[size_t(x) * 2 + 1] = uint8_t(grey & 0xff);
        }
        std::fwrite(row.data(), 1, row.size(), file.get());
    }
    return Close(file, path, error);
}

bool WriteHeightMapStl(const CNcHeightMap& map, const std::string& path, std::string& error)
{
    if (map.width < 2 || map.height < 2) {
        error = "the map is too small for a solid (under 2 x 2 cells)";
        return false;
    }
    CFile file;
    if (!OpenForWriting(path, file, error))
        return false;
    const int w = map.width, h = map.height;
    const float bottom = Lowest(map) - 1.0f;
    const uint64_t boundary = 2 * uint64_t(w - 1) + 2 * uint64_t(h - 1);
    const uint64_t triangles = 2 * uint64_t(w - 1) * uint64_t(h - 1) + 3 * boundary;
    if (triangles > UINT32_MAX) {
        error = "the map has too many cells for an STL file";
        return false;
    }
    char header[80] = "binary STL: machined surface";
    std::fwrite(header, 1, sizeof header, file.get());
    const auto count = uint32_t(triangles);
    std::fwrite(&count, sizeof count, 1, file.get());
    auto put = [&](const std::array<float, 3>& p, const std::array<float, 3>& q,
                   const std::array<float, 3>& s) {
        const float ux = q[0] - p[0], uy = q[1] - p[1], uz = q[2] - p[2];
        const float vx = s[0] - p[0], vy = s[1] - p[1], vz = s[2] - p[2];
        float facet[12] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
        const float length =
            std::sqrt(facet[0] * facet[0] + facet[1] * facet[1] + facet[2] * facet[2]);
        for (int k = 0; k < 3 && length > 0; ++k)
            facet[k] /= length;
        std::copy(p.begin(), p.end(), facet + 3);
        std::copy(q.begin(), q.end(), facet + 6);
        std::copy(s.begin(), s.end(), facet + 9);
        const uint16_t attributes = 0;
        std::fwrite(facet, sizeof facet, 1, file.get());
        std::fwrite(&attributes, sizeof attributes, 1, file.get());
    };
    auto top = [&](int x, int y) {
        return std::array<float, 3>{float(map.CellX(x)), float(map.CellY(y)), map.At(x, y)};
    };
    auto under = [&](int x, int y) {
        return std::array<float, 3>{float(map.CellX(x)), float(map.CellY(y)), bottom};
    };
    // The surface, counterclockwise seen from above.
    for (int y = 0; y + 1 < h; ++y) {
        for (int x = 0; x + 1 < w; ++x) {
            put(top(x, y), top(x + 1, y), top(x + 1, y + 1));
            put(top(x, y), top(x + 1, y + 1), top(x, y + 1));
        }
    }
    // The border counterclockwise seen from above: a wall under each edge of it, and the bottom
    // as a fan from its centre to the walls' lower edges.
    std::vector<std::array<int, 2>> loop;
    for (int x = 0; x < w - 1; ++x)
        loop.push_back({x, 0});
    for (int y = 0; y < h - 1; ++y)
        loop.push_back({w - 1, y});
    for (int x = w - 1; x > 0; --x)
        loop.push_back({x, h - 1});
    for (int y = h - 1; y > 0; --y)
        loop.push_back({0, y});
    const std::array<float, 3> centre{float(map.CellX(0) + (map.CellX(w - 1) - map.CellX(0)) / 2),
                                      float(map.CellY(0) + (map.CellY(h - 1) - map.CellY(0)) / 2),
                                      bottom};
    for (size_t k = 0; k < loop.size(); ++k) {
        const auto [px, py] = loop[k];
        const auto [qx, qy] = loop[(k + 1) % loop.size()];
        put(top(qx, qy), top(px, py), under(px, py));
        put(top(qx, qy), under(px, py), under(qx, qy));
        put(centre, under(qx, qy), under(px, py));
    }
    return Close(file, path, error);
}
