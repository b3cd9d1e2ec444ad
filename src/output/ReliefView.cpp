#include "ReliefView.h"

#include "NcGeometry.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kStartYaw = -0.5;
constexpr double kStartPitch = 0.9;
constexpr double kMaxPitch = 1.45; // a little above the horizon: the surface has no underside
constexpr double kRadiansPerPixel = 0.01;
constexpr double kWheelStep = 1.25;
const QColor kBackground(250, 250, 246);

// Lowest height of the map, and the depth range under its stock top (never zero).
void DepthRange(const CNcHeightMap& map, float& lowest, double& range)
{
    lowest = map.heights.empty() ? float(map.stockTop)
                                 : *std::min_element(map.heights.begin(), map.heights.end());
    range = std::max(map.stockTop - double(lowest), 1e-6);
}

// The colour of a point of the surface with the slope (dz/dx, dz/dy) and the depth as a
// fraction of the deepest: light sand at the stock top toward dark blue at the bottom, lit by a
// light from the upper left (-X, +Y, above) with some ambient light so that no slope is black.
QRgb ReliefColour(double dzdx, double dzdy, double fraction)
{
    static const double kLight[3] = {-1 / std::sqrt(6.0), 1 / std::sqrt(6.0), 2 / std::sqrt(6.0)};
    const double length = std::sqrt(dzdx * dzdx + dzdy * dzdy + 1);
    const double lambert =
        std::max(0.0, (-dzdx * kLight[0] - dzdy * kLight[1] + kLight[2]) / length);
    const double light = 0.3 + 0.7 * lambert;
    const double f = std::clamp(fraction, 0.0, 1.0);
    auto channel = [&](double top, double deep) {
        return std::clamp(int(std::lround((top + (deep - top) * f) * light)), 0, 255);
    };
    return qRgb(channel(236, 50), channel(206, 62), channel(150, 128));
}

// Slopes by central differences (one-sided at the border) over points `spacing` mm apart.
template <typename HeightAt>
QRgb ColourAt(const HeightAt& at, int x, int y, int width, int height, double spacing,
              double stockTop, double range)
{
    const int xl = std::max(x - 1, 0), xh = std::min(x + 1, width - 1);
    const int yl = std::max(y - 1, 0), yh = std::min(y + 1, height - 1);
    const double dzdx = xh > xl ? (at(xh, y) - at(xl, y)) / ((xh - xl) * spacing) : 0;
    const double dzdy = yh > yl ? (at(x, yh) - at(x, yl)) / ((yh - yl) * spacing) : 0;
    return ReliefColour(dzdx, dzdy, (stockTop - at(x, y)) / range);
}

// One triangle into the image where it is nearer than what the z-buffer holds: the pixels
// whose centres it covers (the shared edges of a grid leave no gaps between its triangles). The
// edge functions and the depth are linear in the pixel, so each step along a row adds to them.
void FillTriangle(QImage& image, std::vector<float>& zbuffer, const float* x, const float* y,
                  const float* d, QRgb colour)
{
    const int w = image.width(), h = image.height();
    // Twice the signed area; the edge functions below are positive inside either way round.
    const float area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
    if (std::abs(area) < 1e-12f)
        return;
    const int minX = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
    const int maxX = std::min(w - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
    const int minY = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
    const int maxY = std::min(h - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
    if (minX > maxX || minY > maxY)
        return;
    const float sign = area > 0 ? 1.0f : -1.0f;
    const float inverse = 1 / std::abs(area);
    // Edge k runs from vertex k+1 to k+2: e(px, py) = a * px + b * py + c.
    float a[3], b[3], c[3];
    for (int k = 0; k < 3; ++k) {
        const int i = (k + 1) % 3, j = (k + 2) % 3;
        a[k] = -sign * (y[j] - y[i]);
        b[k] = sign * (x[j] - x[i]);
        c[k] = -(a[k] * x[i] + b[k] * y[i]);
    }
    const float da = (a[0] * d[0] + a[1] * d[1] + a[2] * d[2]) * inverse;
    for (int py = minY; py <= maxY; ++py) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(py));
        float* depths = zbuffer.data() + size_t(py) * size_t(w);
        const float cx = minX + 0.5f, cy = py + 0.5f;
        float e0 = a[0] * cx + b[0] * cy + c[0];
        float e1 = a[1] * cx + b[1] * cy + c[1];
        float e2 = a[2] * cx + b[2] * cy + c[2];
        float depth = (e0 * d[0] + e1 * d[1] + e2 * d[2]) * inverse;
        for (int px = minX; px <= maxX; ++px) {
            if (e0 >= 0 && e1 >= 0 && e2 >= 0 && depth > depths[px]) {
                depths[px] = depth;
                row[px] = colour;
            }
            e0 += a[0];
            e1 += a[1];
            e2 += a[2];
            depth += da;
        }
    }
}

} // namespace

QImage ShadedRelief(const CNcHeightMap& map)
{
    if (map.width <= 0 || map.height <= 0)
        return {};
    QImage image(map.width, map.height, QImage::Format_RGB32);
    float lowest;
    double range;
    DepthRange(map, lowest, range);
    auto at = [&](int x, int y) { return double(map.At(x, y)); };
    for (int y = 0; y < map.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(map.height - 1 - y));
        for (int x = 0; x < map.width; ++x)
            row[x] = ColourAt(at, x, y, map.width, map.height, map.cell, map.stockTop, range);
    }
    return image;
}

CReliefView::CReliefView(QWidget* parent) : QWidget(parent), m_yaw(kStartYaw), m_pitch(kStartPitch)
{
    setObjectName("reliefView");
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
}

namespace {

CReliefGrid Sample(const CNcHeightMap& map, int side, double range)
{
    CReliefGrid grid;
    if (map.width <= 0 || map.height <= 0)
        return grid;
    const int cells = std::max(1, (std::max(map.width, map.height) + side - 1) / side);
    grid.width = (map.width + cells - 1) / cells;
    grid.height = (map.height + cells - 1) / cells;
    grid.step = cells * map.cell;
    grid.x0 = map.x0 + cells * map.cell / 2;
    grid.y0 = map.y0 + cells * map.cell / 2;
    grid.z.assign(size_t(grid.width) * size_t(grid.height), float(map.stockTop));
    for (int y = 0; y < map.height; ++y) {
        float* row = grid.z.data() + size_t(y / cells) * size_t(grid.width);
        for (int x = 0; x < map.width; ++x)
            row[x / cells] = std::min(row[x / cells], map.At(x, y));
    }
    auto at = [&](int x, int y) { return double(grid.z[size_t(y) * size_t(grid.width) + x]); };
    grid.colour.resize(grid.z.size());
    for (int y = 0; y < grid.height; ++y)
        for (int x = 0; x < grid.width; ++x)
            grid.colour[size_t(y) * size_t(grid.width) + x] =
                ColourAt(at, x, y, grid.width, grid.height, grid.step, map.stockTop, range);
    return grid;
}

} // namespace

CReliefSolid SampleRelief(const CNcHeightMap& map)
{
    CReliefSolid solid;
    float lowest;
    double range;
    DepthRange(map, lowest, range);
    solid.stockTop = map.stockTop;
    solid.lowest = lowest;
    solid.fine = Sample(map, CReliefSolid::kFineSide, range);
    solid.coarse = Sample(map, CReliefSolid::kCoarseSide, range);
    return solid;
}

void CReliefView::SetSurface(const CReliefSolid* solid)
{
    m_solid = solid && solid->fine.width > 1 && solid->fine.height > 1 ? solid : nullptr;
    m_image = QImage();
    m_dirty = true;
    update();
}

void CReliefView::SetPath(const CNcPath* path)
{
    m_path = path;
    m_line.reset();
    update();
}

void CReliefView::SetHighlightedLine(std::optional<uint32_t> line)
{
    m_line = line;
    update();
}

void CReliefView::ResetView()
{
    m_yaw = kStartYaw;
    m_pitch = kStartPitch;
    m_zoom = 1;
    m_dirty = true;
    update();
}

void CReliefView::Camera::Project(double x, double y, double z, double& px, double& py,
                                  double& depth) const
{
    x -= cx;
    y -= cy;
    z -= cz;
    const double u = x * cosYaw - y * sinYaw;
    const double v1 = x * sinYaw + y * cosYaw;
    const double v = v1 * cosPitch + z * sinPitch;
    depth = -v1 * sinPitch + z * cosPitch;
    px = halfW + u * scale;
    py = halfH - v * scale;
}

CReliefView::Camera CReliefView::MakeCamera() const
{
    Camera camera{
        std::cos(m_yaw), std::sin(m_yaw), std::cos(m_pitch), std::sin(m_pitch), 1, 0, 0, 0,
        width() / 2.0,   height() / 2.0};
    if (!m_solid)
        return camera;
    const CReliefGrid& grid = m_solid->fine;
    const double range = m_solid->stockTop - m_solid->lowest;
    const double spanX = (grid.width - 1) * grid.step, spanY = (grid.height - 1) * grid.step;
    camera.cx = grid.x0 + spanX / 2;
    camera.cy = grid.y0 + spanY / 2;
    camera.cz = m_solid->stockTop - range / 2;
    const double diagonal = std::sqrt(spanX * spanX + spanY * spanY + range * range);
    camera.scale = m_zoom * 0.9 * std::min(width(), height()) / std::max(diagonal, 1e-6);
    return camera;
}

void CReliefView::Render(const CReliefGrid& grid)
{
    m_image = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    m_image.fill(kBackground);
    m_depth.assign(size_t(m_image.width()) * size_t(m_image.height()),
                   -std::numeric_limits<float>::infinity());
    if (grid.width < 2 || grid.height < 2)
        return;
    const Camera camera = MakeCamera();
    const size_t count = grid.z.size();
    std::vector<float> px(count), py(count), pd(count);
    for (int y = 0; y < grid.height; ++y)
        for (int x = 0; x < grid.width; ++x) {
            const size_t i = size_t(y) * size_t(grid.width) + x;
            double sx, sy, d;
            camera.Project(grid.x0 + x * grid.step, grid.y0 + y * grid.step, grid.z[i], sx, sy, d);
            px[i] = float(sx);
            py[i] = float(sy);
            pd[i] = float(d);
        }
    for (int y = 0; y + 1 < grid.height; ++y)
        for (int x = 0; x + 1 < grid.width; ++x) {
            const size_t a = size_t(y) * size_t(grid.width) + x, b = a + 1;
            const size_t c = b + size_t(grid.width), d = a + size_t(grid.width);
            const QRgb colour = grid.colour[a];
            const float x1[3] = {px[a], px[b], px[c]}, y1[3] = {py[a], py[b], py[c]};
            const float d1[3] = {pd[a], pd[b], pd[c]};
            FillTriangle(m_image, m_depth, x1, y1, d1, colour);
            const float x2[3] = {px[a], px[c], px[d]}, y2[3] = {py[a], py[c], py[d]};
            const float d2[3] = {pd[a], pd[c], pd[d]};
            FillTriangle(m_image, m_depth, x2, y2, d2, colour);
        }
}

void CReliefView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_solid) {
        painter.fillRect(rect(), kBackground);
        return;
    }
    if (m_dirty || m_image.size() != size()) {
        Render(m_dragging ? m_solid->coarse : m_solid->fine);
        m_renderedCoarse = m_dragging;
        m_dirty = false;
    }
    painter.drawImage(0, 0, m_image);
    DrawHighlight(painter, MakeCamera());
}

// The segments of the highlighted line over the surface, at their programmed heights.
void CReliefView::DrawHighlight(QPainter& painter, const Camera& camera)
{
    if (!m_path || !m_line)
        return;
    auto toScreen = [&](double x, double y, double z) {
        double px, py, depth;
        camera.Project(x, y, z, px, py, depth);
        return QPointF(px, py);
    };
    auto pointOf = [&](const NcPoint& p) {
        return toScreen(p[0] / 1000.0, p[1] / 1000.0, p[2] / 1000.0);
    };
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(220, 0, 40), 3, Qt::SolidLine, Qt::RoundCap));
    for (size_t i = m_path->FirstSegmentFromLine(*m_line);
         i < m_path->segments.Size() && m_path->segments[i].Line() == *m_line; ++i) {
        QPointF from = pointOf(m_path->StartOf(i));
        if (!m_path->segments[i].IsArc()) {
            painter.drawLine(from, pointOf(m_path->segments[i].end));
            continue;
        }
        const CNcArcGeometry arc = ArcOf(*m_path, i);
        const int chords = 64;
        for (int k = 1; k <= chords; ++k) {
            const auto mm = arc.PointAt(double(k) / chords);
            const QPointF to = toScreen(mm[0], mm[1], mm[2]);
            painter.drawLine(from, to);
            from = to;
        }
    }
}

void CReliefView::resizeEvent(QResizeEvent*)
{
    m_dirty = true;
}

void CReliefView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    m_zoom = std::clamp(m_zoom * std::pow(kWheelStep, steps), 0.05, 200.0);
    m_dirty = true;
    update();
}

void CReliefView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_lastDrag = event->position().toPoint();
}

void CReliefView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    const QPoint delta = at - m_lastDrag;
    m_lastDrag = at;
    m_yaw += delta.x() * kRadiansPerPixel;
    m_pitch = std::clamp(m_pitch - delta.y() * kRadiansPerPixel, 0.0, kMaxPitch);
    m_dirty = true;
    update();
}

void CReliefView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    m_dragging = false;
    // The fine grid once the view stands still.
    m_dirty = true;
    update();
}

void CReliefView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F:
    case Qt::Key_Home:
        ResetView();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
