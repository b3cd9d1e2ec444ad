#include "ToolpathView.h"

#include "NcGeometry.h"
#include "NcHeightMap.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// A click is a press and release closer together than this; more is a drag.
constexpr int kClickSlop = 4;
// How far from a segment a click may land and still name it, in pixels.
constexpr double kHitPixels = 6;
constexpr double kWheelStep = 1.25;

QRgb CellColour(uint8_t kinds, bool run, int x, int y)
{
    if (kinds & CNcPathRaster::kFeed)
        return run ? qRgb(176, 186, 212) : qRgb(24, 64, 160);
    // Rapid-only cells in short dashes along both axes.
    if (((x + y) & 2) != 0)
        return 0;
    return run ? qRgb(240, 214, 178) : qRgb(224, 112, 0);
}

} // namespace

CToolpathView::CToolpathView(NcProjection projection, QWidget* parent)
    : QWidget(parent), m_projection(projection)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
    setObjectName(projection == NcProjection::Top ? "toolpathTop" : "toolpathSide");
}

void CToolpathView::SetPath(const CNcPath* path, const CNcPathRaster* raster)
{
    m_path = path;
    m_raster = raster;
    m_highlightLine.reset();
    m_runSegments = 0;
    FitToWindow();
}

void CToolpathView::SetTravel(const NcPoint& low, const NcPoint& high)
{
    double u0, v0, u1, v1;
    CNcPathRaster::Project(m_projection, low, u0, v0);
    CNcPathRaster::Project(m_projection, high, u1, v1);
    m_travel = QRectF(QPointF(u0, v0), QPointF(u1, v1)).normalized();
    update();
}

void CToolpathView::SetHighlightedLine(std::optional<uint32_t> line)
{
    m_highlightLine = line;
    m_runSegments = line && m_path ? m_path->FirstSegmentFromLine(*line) : 0;
    update();
}

void CToolpathView::SetToolPosition(std::optional<NcPoint> position)
{
    m_tool = position;
    update();
}

void CToolpathView::SetRelief(const CNcHeightMap* map, const QImage* image)
{
    const bool shown = map && image && !image->isNull();
    m_relief = shown ? map : nullptr;
    m_reliefImage = shown ? image : nullptr;
    update();
}

void CToolpathView::FitToWindow()
{
    m_fitted = true;
    QRectF box;
    if (m_raster && !m_raster->Empty()) {
        const CNcPathRaster::Level& base = m_raster->Levels().front();
        box = QRectF(m_raster->Left(), m_raster->Bottom(), base.width * base.cell,
                     base.height * base.cell);
    } else if (m_travel) {
        box = *m_travel;
    } else {
        box = QRectF(0, 0, 100000, 100000);
    }
    const double margin = 0.9;
    const double w = std::max(box.width(), 1.0);
    const double h = std::max(box.height(), 1.0);
    // A widget not laid out yet has no size; it fits again when it gets one.
    m_scale = std::max(margin * std::min(width() / w, height() / h), 1e-9);
    m_centre = box.center();
    update();
}

QPointF CToolpathView::ToScreen(double u, double v) const
{
    return {width() / 2.0 + (u - m_centre.x()) * m_scale,
            height() / 2.0 - (v - m_centre.y()) * m_scale};
}

QPointF CToolpathView::ToScreen(const NcPoint& point) const
{
    double u, v;
    CNcPathRaster::Project(m_projection, point, u, v);
    return ToScreen(u, v);
}

QPointF CToolpathView::ToPlane(QPointF screen) const
{
    return {m_centre.x() + (screen.x() - width() / 2.0) / m_scale,
            m_centre.y() - (screen.y() - height() / 2.0) / m_scale};
}

void CToolpathView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(250, 250, 246));
    if (m_travel) {
        painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        painter.drawRect(QRectF(ToScreen(m_travel->left(), m_travel->bottom()),
                                ToScreen(m_travel->right(), m_travel->top()))
                             .normalized());
    }
    if (m_relief)
        DrawRelief(painter);
    else
        DrawRaster(painter);
    DrawHighlight(painter);
    if (m_tool) {
        const QPointF at = ToScreen(*m_tool);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0, 150, 60), 2));
        painter.drawEllipse(at, 6, 6);
        painter.drawLine(at - QPointF(10, 0), at + QPointF(10, 0));
        painter.drawLine(at - QPointF(0, 10), at + QPointF(0, 10));
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop,
                     m_projection == NcProjection::Top ? "XY" : "XZ");
}

// The level whose cells are about one pixel, cut to the widget: the work of a repaint is
// bounded by the widget's size, whatever the program's.
void CToolpathView::DrawRaster(QPainter& painter)
{
    if (!m_raster || m_raster->Empty())
        return;
    const auto& levels = m_raster->Levels();
    size_t index = 0;
    while (index + 1 < levels.size() && levels[index].cell * m_scale < 1.0)
        ++index;
    const CNcPathRaster::Level& level = levels[index];

    const QPointF topLeft = ToPlane(QPointF(0, 0));
    const QPointF bottomRight = ToPlane(QPointF(width(), height()));
    // In doubles first: far from the path the cell numbers exceed any int.
    auto cellOf = [&](double plane, double origin, int cells) {
        return int(std::clamp(std::floor((plane - origin) / level.cell), -1.0, double(cells)));
    };
    const int x0 = std::max(0, cellOf(topLeft.x(), m_raster->Left(), level.width));
    const int x1 =
        std::min(level.width - 1, cellOf(bottomRight.x(), m_raster->Left(), level.width));
    const int y0 = std::max(0, cellOf(bottomRight.y(), m_raster->Bottom(), level.height));
    const int y1 =
        std::min(level.height - 1, cellOf(topLeft.y(), m_raster->Bottom(), level.height));
    if (x0 > x1 || y0 > y1)
        return;

    QImage image(x1 - x0 + 1, y1 - y0 + 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = y0; y <= y1; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y1 - y));
        for (int x = x0; x <= x1; ++x) {
            const size_t cell = level.Index(x, y);
            const uint8_t kinds = level.kinds[cell];
            if (!kinds)
                continue;
            const bool run = m_highlightLine && level.last[cell] < m_runSegments;
            row[x - x0] = CellColour(kinds, run, x, y);
        }
    }
    const double left = m_raster->Left() + x0 * level.cell;
    const double bottom = m_raster->Bottom() + y0 * level.cell;
    const QRectF target(ToScreen(left, bottom + (y1 - y0 + 1) * level.cell),
                        ToScreen(left + (x1 - x0 + 1) * level.cell, bottom));
    painter.drawImage(target, image);
}

// The part of the shaded image inside the widget, scaled to it: the cost is the widget's pixels.
void CToolpathView::DrawRelief(QPainter& painter)
{
    const double cell = m_relief->cell * 1000; // micrometres, as the plane
    const QRectF map(m_relief->x0 * 1000, m_relief->y0 * 1000, m_relief->width * cell,
                     m_relief->height * cell);
    const QPointF topLeft = ToPlane(QPointF(0, 0));
    const QPointF bottomRight = ToPlane(QPointF(width(), height()));
    const QRectF visible =
        QRectF(QPointF(topLeft.x(), bottomRight.y()), QPointF(bottomRight.x(), topLeft.y()))
            .intersected(map);
    if (visible.isEmpty())
        return;
    // Image columns from low X, rows from high Y.
    const QRectF source((visible.left() - map.left()) / cell,
                        (map.bottom() - visible.bottom()) / cell, visible.width() / cell,
                        visible.height() / cell);
    const QRectF target(ToScreen(visible.left(), visible.bottom()),
                        ToScreen(visible.right(), visible.top()));
    painter.drawImage(target, *m_reliefImage, source);
}

// The segments of the highlighted line, exactly, over the raster.
void CToolpathView::DrawHighlight(QPainter& painter)
{
    if (!m_path || !m_highlightLine)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(220, 0, 40), 3, Qt::SolidLine, Qt::RoundCap));
    for (size_t i = m_runSegments;
         i < m_path->segments.Size() && m_path->segments[i].Line() == *m_highlightLine; ++i) {
        if (!m_path->segments[i].IsArc()) {
            painter.drawLine(ToScreen(m_path->StartOf(i)), ToScreen(m_path->segments[i].end));
            continue;
        }
        const CNcArcGeometry arc = ArcOf(*m_path, i);
        QPointF from = ToScreen(m_path->StartOf(i));
        const int chords = 64;
        for (int k = 1; k <= chords; ++k) {
            const auto mm = arc.PointAt(double(k) / chords);
            const QPointF to = ToScreen(NcPoint{int32_t(std::lround(mm[0] * 1000)),
                                                int32_t(std::lround(mm[1] * 1000)),
                                                int32_t(std::lround(mm[2] * 1000))});
            painter.drawLine(from, to);
            from = to;
        }
    }
}

void CToolpathView::resizeEvent(QResizeEvent*)
{
    if (m_fitted)
        FitToWindow();
}

void CToolpathView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    // The plane point under the cursor stays under it.
    const QPointF cursor = event->position();
    const QPointF anchor = ToPlane(cursor);
    m_scale = std::clamp(m_scale * std::pow(kWheelStep, steps), 1e-7, 1e3);
    m_centre = QPointF(anchor.x() - (cursor.x() - width() / 2.0) / m_scale,
                       anchor.y() + (cursor.y() - height() / 2.0) / m_scale);
    m_fitted = false;
    update();
}

void CToolpathView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressAt = m_lastDrag = event->position().toPoint();
    m_dragging = false;
}

void CToolpathView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    if (!m_dragging && (at - m_pressAt).manhattanLength() <= kClickSlop)
        return;
    m_dragging = true;
    const QPoint delta = at - m_lastDrag;
    m_lastDrag = at;
    m_centre -= QPointF(delta.x() / m_scale, -delta.y() / m_scale);
    m_fitted = false;
    update();
}

void CToolpathView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_dragging || !m_raster || !m_path)
        return;
    const QPointF at = ToPlane(event->position());
    const uint32_t segment = m_raster->SegmentNear(at.x(), at.y(), kHitPixels / m_scale);
    if (segment != CNcPathRaster::kNoSegment && segment < m_path->segments.Size())
        emit LineClicked(m_path->segments[segment].Line());
}

void CToolpathView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F:
    case Qt::Key_Home:
        FitToWindow();
        return;
    case Qt::Key_Plus:
    case Qt::Key_Minus: {
        const double factor = event->key() == Qt::Key_Plus ? kWheelStep : 1 / kWheelStep;
        m_scale = std::clamp(m_scale * factor, 1e-7, 1e3);
        m_fitted = false;
        update();
        return;
    }
    default:
        QWidget::keyPressEvent(event);
    }
}
