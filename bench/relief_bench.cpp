// A repaint of either view of the cut surface beside its target (20 ms), from a height map of a
// rippled surface: the shaded image made once per map, the top view drawing it at several zooms,
// and the solid view after a turn on the coarse grid (dragging) and on the fine one (released).
//
//   relief_bench [CELLS]     (default 2048 a side)
#include "ReliefView.h"
#include "ToolpathView.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kTargetMs = 20.0;
constexpr int kRepaints = 20;

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

CNcHeightMap RippledMap(int side)
{
    CNcHeightMap map;
    map.width = map.height = side;
    map.cell = 200.0 / side;
    map.stockTop = 0;
    map.complete = true;
    map.heights.resize(size_t(side) * size_t(side));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            map.heights[size_t(y) * size_t(side) + size_t(x)] =
                float(-2 - 1.5 * std::sin(x * 0.02) * std::cos(y * 0.013));
    return map;
}

void Report(const char* what, double ms, bool target)
{
    if (target)
        std::printf("%-40s %8.2f ms   (target under %.0f ms: %s)\n", what, ms, kTargetMs,
                    ms < kTargetMs ? "met" : "MISSED");
    else
        std::printf("%-40s %8.2f ms\n", what, ms);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int side = argc > 1 ? std::atoi(argv[1]) : 2048;
    const CNcHeightMap map = RippledMap(side);

    auto start = std::chrono::steady_clock::now();
    const QImage shaded = ShadedRelief(map);
    Report("shaded image, once per map", Since(start), false);

    CToolpathView top(NcProjection::Top);
    top.resize(800, 600);
    top.SetRelief(&map, &shaded);
    top.FitToWindow();
    QImage target(top.size(), QImage::Format_ARGB32_Premultiplied);
    for (int zoom : {0, 4, 12}) {
        for (int i = 0; i < zoom; ++i) {
            QWheelEvent wheel(QPointF(400, 300), QPointF(400, 300), {}, QPoint(0, 120),
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&top, &wheel);
        }
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRepaints; ++i)
            top.render(&target);
        char what[60];
        std::snprintf(what, sizeof what, "top view repaint, %d wheel steps in", zoom);
        Report(what, Since(start) / kRepaints, true);
    }

    CReliefView orbit;
    orbit.resize(800, 600);
    start = std::chrono::steady_clock::now();
    const CReliefSolid grids = SampleRelief(map);
    Report("solid view grids, once per map", Since(start), false);
    orbit.SetSurface(&grids);
    QImage solid(orbit.size(), QImage::Format_ARGB32_Premultiplied);
    orbit.render(&solid);
    for (bool dragging : {true, false}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(400, 300), QPointF(400, 300),
                          Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&orbit, &press);
        double total = 0;
        for (int i = 0; i < kRepaints; ++i) {
            const QPointF at(400 + (i % 2 ? 5 : -5), 300);
            QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&orbit, &move);
            if (!dragging) {
                QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton,
                                    Qt::NoButton, {});
                QCoreApplication::sendEvent(&orbit, &release);
            }
            start = std::chrono::steady_clock::now();
            orbit.render(&solid);
            total += Since(start);
            if (!dragging) {
                QCoreApplication::sendEvent(&orbit, &press);
            }
        }
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(400, 300), QPointF(400, 300),
                            Qt::LeftButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(&orbit, &release);
        Report(dragging ? "solid view repaint while dragging" : "solid view repaint, released",
               total / kRepaints, true);
    }
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRepaints; ++i)
        orbit.render(&solid);
    Report("solid view repaint, unchanged", Since(start) / kRepaints, true);
    return 0;
}
