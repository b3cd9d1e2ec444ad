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

// The surface sampled down for the solid view: heights and colours at the points of a grid
// (each point the deepest of its cells, so that narrow grooves stay), mm in the map's frame.
struct CReliefGrid
{
    int width = 0;
    int height = 0;
    double x0 = 0, y0 = 0; // the first point
    double step = 0;       // between points
    std::vector<float> z;
    std::vector<QRgb> colour;
};

// What the solid view draws of one map, made once per map (off the UI thread where the map is
// large): a fine grid for a view standing still, a coarse one while the mouse moves.
struct CReliefSolid
{
    CReliefGrid fine;
    CReliefGrid coarse;
    double stockTop = 0;
    double lowest = 0;
    // Grid points a side of the two samplings.
    static constexpr int kFineSide = 288;
    static constexpr int kCoarseSide = 160;
};
CReliefSolid SampleRelief(const CNcHeightMap& map);

// The cut surface as a solid the user turns: dragging orbits it around its centre, the wheel
// zooms, F or Home shows it from the start again. It is drawn by software from the grids of
// SampleRelief into an image kept until the view changes: the coarse grid while the mouse moves,
// the fine one when it is released. The highlighted line is drawn over it.
class CReliefView : public QWidget
{
    Q_OBJECT

public:
    explicit CReliefView(QWidget* parent = nullptr);

    // Not owned; it must outlive the view or be replaced (nullptr: nothing to show).
    void SetSurface(const CReliefSolid* solid);
    void SetPath(const CNcPath* path);
    void SetHighlightedLine(std::optional<uint32_t> line);
    void ResetView();

    // The picture of the surface as last drawn (empty before the first paint with a map).
    const QImage& Image() const { return m_image; }
    bool IsCoarse() const { return m_renderedCoarse; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Map coordinates (mm) to widget pixels and the depth toward the viewer.
    struct Camera
    {
        double cosYaw, sinYaw, cosPitch, sinPitch, scale, cx, cy, cz, halfW, halfH;
        void Project(double x, double y, double z, double& px, double& py, double& depth) const;
    };
    Camera MakeCamera() const;
    void Render(const CReliefGrid& grid);
    void DrawHighlight(class QPainter& painter, const Camera& camera);

    const CReliefSolid* m_solid = nullptr;
    const CNcPath* m_path = nullptr;
    std::optional<uint32_t> m_line;
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
