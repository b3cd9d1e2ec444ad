#pragma once

#include "NcPath.h"
#include "NcPathRaster.h"

#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <optional>

struct CNcHeightMap;
class QImage;

// One view of a program's path: from above (XY) or from the side (XZ). It draws the path from
// the raster pyramid built once per file, so that a repaint costs the widget's pixels, never
// the program's length; the machine's travel as a rectangle; the segments of a highlighted line
// in a strong colour, the part already run dimmed, and the tool as a marker. The wheel zooms
// around the cursor, dragging pans, F or Home fits the path into the widget, and a click names
// the line of the segment under it. The top view can show the cut surface instead of the path's
// cells: the shaded image of a height map, drawn with the same zoom and pan.
class CToolpathView : public QWidget
{
    Q_OBJECT

public:
    explicit CToolpathView(NcProjection projection, QWidget* parent = nullptr);

    // The path and its raster for this view's projection; neither is owned, both must outlive
    // the view or be replaced. Fits the new path into the widget.
    void SetPath(const CNcPath* path, const CNcPathRaster* raster);
    // The machine's travel in the program's coordinates (the travel less the origin shown).
    void SetTravel(const NcPoint& low, const NcPoint& high);
    // For the test cut: the line whose segments stand out, and the segments before it drawn dim.
    void SetHighlightedLine(std::optional<uint32_t> line);
    void SetToolPosition(std::optional<NcPoint> position);
    // The cut surface and its shaded image (ShadedRelief), neither owned; nullptr shows the path.
    void SetRelief(const CNcHeightMap* map, const QImage* image);
    bool ShowsRelief() const { return m_relief != nullptr; }
    const std::optional<NcPoint>& GetToolPosition() const { return m_tool; }
    const std::optional<uint32_t>& GetHighlightedLine() const { return m_highlightLine; }

    void FitToWindow();
    // Micrometres in the projected plane to widget pixels, and back.
    QPointF ToScreen(double u, double v) const;
    QPointF ToPlane(QPointF screen) const;
    QPointF ToScreen(const NcPoint& point) const;

signals:
    void LineClicked(qint64 line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DrawRaster(class QPainter& painter);
    void DrawHighlight(QPainter& painter);
    void DrawRelief(QPainter& painter);

    NcProjection m_projection;
    const CNcPath* m_path = nullptr;
    const CNcPathRaster* m_raster = nullptr;
    const CNcHeightMap* m_relief = nullptr;
    const QImage* m_reliefImage = nullptr;
    std::optional<QRectF> m_travel; // in the plane, micrometres
    std::optional<uint32_t> m_highlightLine;
    size_t m_runSegments = 0; // segments before the highlighted line
    std::optional<NcPoint> m_tool;
    // The plane point at the widget's centre, and pixels per micrometre.
    QPointF m_centre;
    double m_scale = 1e-3;
    bool m_fitted = false;
    QPoint m_pressAt;
    QPoint m_lastDrag;
    bool m_dragging = false;
};
