#include "Painting.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace imagegen {

QFont SansFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void DrawRecess(QPainter& p, const QRect& r, int radius, const QColor& fill)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF outer = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(outer, radius, radius);
    // Upper-left shadow, lower-right light: the area lies below the face.
    QPen dark(kEdgeDark, 1.5);
    QPen light(kEdgeLight, 1.0);
    p.setBrush(Qt::NoBrush);
    p.setPen(dark);
    p.drawLine(QPointF(outer.left() + radius, outer.top()),
               QPointF(outer.right() - radius, outer.top()));
    p.drawLine(QPointF(outer.left(), outer.top() + radius),
               QPointF(outer.left(), outer.bottom() - radius));
    p.setPen(light);
    p.drawLine(QPointF(outer.left() + radius, outer.bottom()),
               QPointF(outer.right() - radius, outer.bottom()));
    p.drawLine(QPointF(outer.right(), outer.top() + radius),
               QPointF(outer.right(), outer.bottom() - radius));
    p.restore();
}

void DrawReadoutWindow(QPainter& p, const QRect& r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    DrawRecess(p, r.adjusted(-3, -3, 3, 3), 5, QColor(20, 22, 25));
    QLinearGradient glass(r.topLeft(), r.bottomLeft());
    glass.setColorAt(0.0, QColor(18, 70, 96));
    glass.setColorAt(0.5, QColor(10, 48, 70));
    glass.setColorAt(1.0, QColor(6, 34, 52));
    p.setPen(QPen(QColor(60, 150, 190), 1.0));
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    // The back light: a soft bright band along the top of the glass.
    QLinearGradient sheen(r.topLeft(), QPoint(r.left(), r.top() + r.height() / 3));
    sheen.setColorAt(0.0, QColor(140, 220, 255, 70));
    sheen.setColorAt(1.0, QColor(140, 220, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
    p.restore();
}

namespace {

QColor Shade(const QColor& c, int factor)
{
    return factor >= 100 ? c.lighter(factor) : c.darker(100 * 100 / factor);
}

} // namespace

void DrawRectKey(QPainter& p, const QRect& r, const QColor& cap, bool pressed)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF well = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    // The well the key sits in.
    p.setPen(Qt::NoPen);
    p.setBrush(kEdgeDark);
    p.drawRoundedRect(well, 5, 5);
    if (!pressed) {
        QRectF body = well.adjusted(1.5, 1.0, -1.5, -2.5);
        p.setBrush(Shade(cap, 55));
        p.drawRoundedRect(body.translated(0, 1.5), 4, 4);
        QLinearGradient g(body.topLeft(), body.bottomLeft());
        g.setColorAt(0.0, Shade(cap, 118));
        g.setColorAt(0.45, cap);
        g.setColorAt(1.0, Shade(cap, 78));
        p.setBrush(g);
        p.setPen(QPen(Shade(cap, 40), 1.0));
        p.drawRoundedRect(body, 4, 4);
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.0));
        p.drawLine(QPointF(body.left() + 4, body.top() + 1.5),
                   QPointF(body.right() - 4, body.top() + 1.5));
    } else {
        // Pushed in: lower, darker, with an amber glow around the cap.
        QRectF body = well.adjusted(2.5, 3.0, -1.5, -1.0);
        p.setPen(QPen(QColor(255, 170, 40), 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(well.adjusted(1.0, 1.0, -1.0, -1.0), 5, 5);
        QLinearGradient g(body.topLeft(), body.bottomLeft());
        g.setColorAt(0.0, Shade(cap, 62));
        g.setColorAt(1.0, Shade(cap, 88));
        p.setBrush(g);
        p.setPen(QPen(Shade(cap, 35), 1.0));
        p.drawRoundedRect(body, 4, 4);
        p.setPen(QPen(QColor(0, 0, 0, 90), 1.5));
        p.drawLine(QPointF(body.left() + 3, body.top() + 1.5),
                   QPointF(body.right() - 3, body.top() + 1.5));
    }
    p.restore();
}

void DrawRoundKey(QPainter& p, const QRect& r, const QColor& cap, bool pressed)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF ring = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient bezel(ring.topLeft(), ring.bottomRight());
    bezel.setColorAt(0.0, kEdgeDark);
    bezel.setColorAt(1.0, kEdgeLight);
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(ring);
    p.setBrush(QColor(8, 9, 10));
    p.drawEllipse(ring.adjusted(2, 2, -2, -2));
    if (!pressed) {
        const QRectF body = ring.adjusted(3.5, 3.0, -3.5, -4.0);
        QRadialGradient g(body.center() - QPointF(body.width() * 0.2, body.height() * 0.25),
                          body.width() * 0.75);
        g.setColorAt(0.0, Shade(cap, 135));
        g.setColorAt(0.6, cap);
        g.setColorAt(1.0, Shade(cap, 70));
        p.setBrush(g);
        p.setPen(QPen(Shade(cap, 40), 1.0));
        p.drawEllipse(body);
    } else {
        p.setPen(QPen(QColor(255, 170, 40), 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(ring.adjusted(1.5, 1.5, -1.5, -1.5));
        const QRectF body = ring.adjusted(4.5, 5.0, -3.5, -3.0);
        QRadialGradient g(body.center() + QPointF(body.width() * 0.15, body.height() * 0.2),
                          body.width() * 0.7);
        g.setColorAt(0.0, Shade(cap, 95));
        g.setColorAt(1.0, Shade(cap, 58));
        p.setBrush(g);
        p.setPen(QPen(Shade(cap, 35), 1.0));
        p.drawEllipse(body);
    }
    p.restore();
}

void DrawCentredText(QPainter& p, const QRect& r, const QString& text, const QFont& font,
                     const QColor& colour)
{
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
    p.restore();
}

void DrawArrow(QPainter& p, QPointF centre, int dx, int dy, double size, const QColor& colour)
{
    const QPointF along(dx, dy);
    const QPointF across(-dy, dx);
    const QPointF tip = centre + along * (size / 2);
    const QPointF base = centre - along * (size / 2);
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(base + across * (size * 0.55));
    path.lineTo(base - across * (size * 0.55));
    path.closeSubpath();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

QImage ToIndexed8(const QImage& source)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    QList<QRgb> table;
    QHash<QRgb, int> index;
    QImage out(rgb.size(), QImage::Format_Indexed8);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            auto it = index.find(c);
            if (it == index.end()) {
                if (table.size() == 256) {
                    std::fprintf(stderr, "more than 256 colours in an indexed picture\n");
                    return {};
                }
                it = index.insert(c, static_cast<int>(table.size()));
                table.append(c);
                out.setColorTable(table);
            }
            out.setPixel(x, y, static_cast<uint>(*it));
        }
    }
    // A full table of 256 entries: the image writers would otherwise store a picture of few
    // colours with 4 or 1 bits per pixel, and the image lists want 8.
    while (table.size() < 256) {
        table.append(qRgb(0, 0, 0));
    }
    out.setColorTable(table);
    return out;
}

bool Save(const QImage& image, const QString& folder, const QString& name)
{
    const QString path = folder + u'/' + name;
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace imagegen
