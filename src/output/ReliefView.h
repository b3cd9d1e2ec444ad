#pragma once

#include "NcHeightMap.h"
#include "NcPath.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <optional>
#include <vector>

// The cut surface seen from above, one pixel a cell, rows from high Y down as images run: the
// colour says the depth under the stock top (light at the top, dark at the deepest point) and
// the brightness how a light from the upper left falls on the slope between neighbouring cells.
// Made once per map, so that a view draws it at the cost of its own pixels.
QImage ShadedRelief(const CNcHeightMap& map);

// The cut surface as a solid the user turns: dragging orbits it around its centre, the wheel
// zooms, F or Home shows it from the start again. It is drawn by software from a grid sampled
// down from the height map (each grid point the deepest of its cells, so that narrow grooves
// stay), into an image kept until the view changes: a coarse grid while the mouse moves, the
// fine one when it is released. The highlighted line is drawn over it.
class CReliefView : public QWidget
{
    Q_OBJECT

public:
    explicit CReliefView(QWidget* parent = nullptr);

    // Neither is owned; both must outlive the view or be replaced (nullptr: nothing to show).
    void SetMap(const CNcHeightMap* map);
    void SetPath(const CNcPath* path);
    void SetHighlightedLine(std::optional<uint32_t> line);
    void ResetView();

    // The picture of the surface as last drawn (empty before the first paint with a map).
    const QImage& Image() const { return m_image; }
    bool IsCoarse() const { return m_renderedCoarse; }

    // Grid points a side of the two samplings.
    static constexpr int kFineSide = 400;
    static constexpr int kCoarseSide = 100;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Heights and colours at the grid points, mm in the map's frame.
    struct Grid
    {
        int width = 0;
        int height = 0;
        double x0 = 0, y0 = 0; // the first point
        double step = 0;       // between points
        std::vector<float> z;
        std::vector<QRgb> colour;
    };
    static Grid Sample(const CNcHeightMap& map, int side);
    // Map coordinates (mm) to widget pixels and the depth toward the viewer.
    struct Camera
    {
        double cosYaw, sinYaw, cosPitch, sinPitch, scale, cx, cy, cz, halfW, halfH;
        void Project(double x, double y, double z, double& px, double& py, double& depth) const;
    };
    Camera MakeCamera() const;
    void Render(const Grid& grid);
    void DrawHighlight(class QPainter& painter, const Camera& camera);

    const CNcHeightMap* m_map = nullptr;
    const CNcPath* m_path = nullptr;
    std::optional<uint32_t> m_line;
    Grid m_fine;
    Grid m_coarse;
    QImage m_image;
    std::vector<float> m_depth; // the z-buffer of m_image
    bool m_dirty = true;
    bool m_renderedCoarse = false;
    double m_yaw;   // radians around Z
    double m_pitch; // radians: 0 from above, pi/2 from the front
    double m_zoom = 1;
    bool m_dragging = false;
    QPoint m_lastDrag;
};
