#include "SmallImages.h"

#include "Painting.h"

#include <QPainterPath>

namespace imagegen {

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kInk(24, 28, 32);

// Solid pixel drawing without smoothing: the indexed pictures must keep a small, exact palette.
QImage Canvas(int width, int height, const QColor& mask)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(mask);
    return image;
}

void FillPolygon(QPainter& p, const QPolygonF& polygon, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(polygon);
}

} // namespace

QImage DrawArrowButton(bool up)
{
    QImage image = Canvas(16, 16, kMagenta);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    // A broad arrow: triangle head and a short shaft.
    QPolygonF head;
    if (up) {
        head << QPointF(8, 2) << QPointF(14, 9) << QPointF(2, 9);
        p.fillRect(QRect(6, 9, 4, 5), kInk);
    } else {
        head << QPointF(8, 14) << QPointF(14, 7) << QPointF(2, 7);
        p.fillRect(QRect(6, 2, 4, 5), kInk);
    }
    FillPolygon(p, head, kInk);
    p.end();
    return ToIndexed8(image);
}

QImage DrawFileStates()
{
    QImage image = Canvas(64, 16, Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int state = 0; state < 4; ++state) {
        const int x = state * 16;
        // A sheet of paper with a folded corner.
        const QColor outline = state == 3 ? QColor(128, 128, 128) : kInk;
        const QColor paper = state == 1 ? QColor(255, 244, 200) : QColor(236, 236, 236);
        QPolygon sheet;
        sheet << QPoint(x + 3, 1) << QPoint(x + 9, 1) << QPoint(x + 12, 4) << QPoint(x + 12, 14)
              << QPoint(x + 3, 14);
        p.setPen(outline);
        p.setBrush(paper);
        p.drawPolygon(sheet);
        p.drawLine(x + 9, 1, x + 9, 4);
        p.drawLine(x + 9, 4, x + 12, 4);
        if (state == 2) {
            continue; // not used by the list: a plain sheet
        }
        if (state == 0) {
            for (int line = 0; line < 3; ++line) {
                p.drawLine(x + 5, 7 + line * 2, x + 10, 7 + line * 2);
            }
        } else if (state == 1) {
            // The file being cut: a green play mark.
            QPolygon play;
            play << QPoint(x + 5, 6) << QPoint(x + 11, 9) << QPoint(x + 5, 12);
            p.setPen(QColor(0, 120, 40));
            p.setBrush(QColor(0, 170, 60));
            p.drawPolygon(play);
        } else {
            // Done: a grey tick.
            p.setPen(QPen(QColor(96, 96, 96), 2));
            p.drawLine(x + 5, 9, x + 7, 11);
            p.drawLine(x + 7, 11, x + 11, 6);
        }
    }
    p.end();
    return ToIndexed8(image);
}

QImage DrawModePicture(int pictureId)
{
    QImage image = Canvas(16, 16, kMagenta);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor play(0, 128, 48);
    auto triangle = [&](int left) {
        QPolygonF t;
        t << QPointF(left, 3) << QPointF(left + 6, 8) << QPointF(left, 13);
        FillPolygon(p, t, play);
    };
    switch (pictureId) {
    case 149: // step: a bar and a play triangle
        p.fillRect(QRect(3, 3, 2, 11), kInk);
        triangle(7);
        break;
    case 150: // stop: two bars
        p.fillRect(QRect(4, 3, 3, 11), kInk);
        p.fillRect(QRect(9, 3, 3, 11), kInk);
        break;
    case 151: // run: a play triangle
        triangle(5);
        break;
    default: // 152 stream: two play triangles
        triangle(2);
        triangle(8);
        break;
    }
    p.end();
    return ToIndexed8(image);
}

QImage DrawToolOffsetPicture()
{
    // A cutter beside the work piece, its path offset by the tool radius.
    QImage image(120, 210, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor metal(150, 156, 164);
    const QColor work(214, 190, 150);
    p.setPen(QPen(QColor(90, 70, 40), 1));
    p.setBrush(work);
    p.drawRect(QRectF(10.5, 120.5, 60, 70));
    // End mill seen from the side.
    QLinearGradient shank(QPointF(78, 0), QPointF(102, 0));
    shank.setColorAt(0, metal.darker(130));
    shank.setColorAt(0.5, metal.lighter(130));
    shank.setColorAt(1, metal.darker(130));
    p.setPen(QPen(QColor(60, 64, 70), 1));
    p.setBrush(shank);
    p.drawRect(QRectF(80.5, 20.5, 20, 100));
    p.setBrush(metal);
    p.drawRect(QRectF(80.5, 120.5, 20, 60));
    p.setPen(QPen(QColor(60, 64, 70), 1.2));
    for (int i = 0; i < 4; ++i) {
        p.drawLine(QPointF(80.5, 128 + i * 14), QPointF(100.5, 120 + i * 14));
    }
    // Programmed contour (dashed) on the work's edge, tool centre line, radius arrow.
    p.setPen(QPen(QColor(0, 90, 200), 1.5, Qt::DashLine));
    p.drawLine(QPointF(70.5, 110), QPointF(70.5, 200));
    p.setPen(QPen(QColor(200, 40, 40), 1, Qt::DashDotLine));
    p.drawLine(QPointF(90.5, 10), QPointF(90.5, 200));
    p.setPen(QPen(QColor(200, 40, 40), 1.5));
    p.drawLine(QPointF(72, 150), QPointF(89, 150));
    DrawArrow(p, QPointF(74, 150), -1, 0, 6, QColor(200, 40, 40));
    DrawArrow(p, QPointF(87, 150), 1, 0, 6, QColor(200, 40, 40));
    p.end();
    return image;
}

QImage DrawCorrectionPicture()
{
    // A scale with a distance measured between two marks.
    QImage image(96, 96, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(80, 70, 40), 1));
    p.setBrush(QColor(236, 204, 96));
    p.drawRoundedRect(QRectF(6.5, 52.5, 83, 22), 2, 2);
    p.setPen(QPen(kInk, 1));
    for (int i = 0; i <= 16; ++i) {
        const double x = 10.5 + i * 4.75;
        p.drawLine(QPointF(x, 52.5), QPointF(x, 52.5 + (i % 4 == 0 ? 10 : 5)));
    }
    const QColor accent(0, 90, 200);
    p.setPen(QPen(accent, 1.5));
    p.drawLine(QPointF(10.5, 20), QPointF(10.5, 48));
    p.drawLine(QPointF(86.5, 20), QPointF(86.5, 48));
    p.drawLine(QPointF(14, 32), QPointF(83, 32));
    DrawArrow(p, QPointF(14, 32), -1, 0, 7, accent);
    DrawArrow(p, QPointF(83, 32), 1, 0, 7, accent);
    p.setFont(SansFont(11, true));
    p.setPen(accent);
    p.drawText(QRectF(20, 8, 56, 20), Qt::AlignCenter, QStringLiteral("%"));
    p.end();
    return image;
}

QImage DrawApplicationIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 64.0, size / 64.0);
    // Dark rounded plate with the machine's accent colour, a spindle over a table.
    QLinearGradient plate(QPointF(0, 0), QPointF(0, 64));
    plate.setColorAt(0, QColor(58, 64, 72));
    plate.setColorAt(1, QColor(26, 29, 33));
    p.setPen(QPen(QColor(12, 13, 15), 1.5));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 168, 40));
    p.drawRoundedRect(QRectF(10, 46, 44, 7), 2, 2);
    p.setBrush(QColor(225, 230, 236));
    p.drawRoundedRect(QRectF(20, 9, 24, 13), 3, 3);
    p.drawRect(QRectF(28.5, 22, 7, 12));
    QPainterPath tip;
    tip.moveTo(28.5, 34);
    tip.lineTo(35.5, 34);
    tip.lineTo(32, 41);
    tip.closeSubpath();
    p.drawPath(tip);
    p.end();
    return image;
}

} // namespace imagegen
