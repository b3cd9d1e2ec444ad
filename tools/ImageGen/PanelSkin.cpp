#include "PanelSkin.h"

#include "Painting.h"

#include <QPainterPath>

namespace imagegen {

namespace {

constexpr int kHalfWidth = 680;
constexpr int kHeight = 360;

QRect Ltrb(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Key-cap colours. Buttons that draw a caption of their own get light caps (the caption is
// drawn in the default dark text colour) or, for Setup and Cut, dark caps under white text.
const QColor kKeyCap(206, 210, 214);
const QColor kStopCap(232, 132, 118);
const QColor kOnCap(150, 214, 150);
const QColor kOffCap(232, 168, 160);
const QColor kCancelCap(224, 88, 74);
const QColor kPauseCap(240, 192, 64);
const QColor kSetupCap(52, 94, 168);
const QColor kCutCap(40, 132, 84);
const QColor kArrow(38, 42, 46);

} // namespace

const std::vector<FaceButton>& PanelButtons()
{
    static const std::vector<FaceButton> buttons = {
        {1172, Ltrb(40, 244, 85, 274), FaceButton::Spindle},
        {1173, Ltrb(86, 244, 131, 274), FaceButton::Spindle},
        {1026, Ltrb(244, 85, 283, 123), FaceButton::Key},
        {1032, Ltrb(244, 173, 283, 213), FaceButton::Key},
        {1028, Ltrb(200, 129, 239, 169), FaceButton::Key},
        {1030, Ltrb(288, 129, 327, 169), FaceButton::Key},
        {1024, Ltrb(355, 85, 394, 125), FaceButton::Key},
        {1027, Ltrb(355, 173, 394, 213), FaceButton::Key},
        {1178, Ltrb(206, 300, 245, 340), FaceButton::Key},
        {1039, Ltrb(258, 300, 297, 340), FaceButton::Key},
        {1038, Ltrb(297, 300, 336, 340), FaceButton::Key},
        {1174, Ltrb(350, 300, 389, 340), FaceButton::Key},
        {1176, Ltrb(548, 107, 587, 147), FaceButton::Key},
        {1177, Ltrb(587, 107, 626, 147), FaceButton::Key},
        {40115, Ltrb(606, 170, 652, 216), FaceButton::Round},
        {1175, Ltrb(606, 230, 652, 276), FaceButton::Round},
        {1015, Ltrb(536, 300, 582, 346), FaceButton::Round},
        {1105, Ltrb(606, 300, 652, 346), FaceButton::Round},
    };
    return buttons;
}

namespace {

QColor CapColour(int id)
{
    switch (id) {
    case 1174:
        return kStopCap;
    case 1172:
        return kOnCap;
    case 1173:
        return kOffCap;
    case 40115:
        return kCancelCap;
    case 1175:
        return kPauseCap;
    case 1015:
        return kSetupCap;
    case 1105:
        return kCutCap;
    default:
        return kKeyCap;
    }
}

void DrawScrew(QPainter& p, QPointF centre)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient g(centre - QPointF(1.5, 1.5), 5);
    g.setColorAt(0.0, QColor(170, 176, 182));
    g.setColorAt(1.0, QColor(70, 74, 80));
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(g);
    p.drawEllipse(centre, 4.5, 4.5);
    p.setPen(QPen(QColor(40, 42, 46), 1.2));
    p.drawLine(centre + QPointF(-3, 3), centre + QPointF(3, -3));
    p.restore();
}

// The keypad's legends on a key: an arrow and the axis letter.
void DrawKeyLegend(QPainter& p, const QRect& key, int dx, int dy, const QString& axis, bool pressed)
{
    const QPointF shift = pressed ? QPointF(0.5, 1.5) : QPointF(0, -0.5);
    const QPointF centre = QRectF(key).center() + shift;
    const QPointF arrowAt = centre + QPointF(dx * 4.0, dy * 4.0) - QPointF(dy != 0 ? 0 : 0, 0);
    DrawArrow(p, arrowAt, dx, dy, 13, kArrow);
    QRectF letter(centre.x() - 8, centre.y() - 8, 16, 16);
    letter.translate(-dx * 8.0, -dy * 8.0);
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(SansFont(10, true));
    p.setPen(kArrow);
    p.drawText(letter, Qt::AlignCenter, axis);
    p.restore();
}

// Keypad centre: a cutter over the work when the keys move the cutter, the table when they
// move the table.
void DrawKeypadCentre(QPainter& p, const QRect& area, bool tableVariant)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF plate = QRectF(area).adjusted(3.5, 6.5, -3.5, -6.5);
    p.setPen(QPen(kEdgeDark, 1.0));
    p.setBrush(QColor(24, 27, 30));
    p.drawRoundedRect(plate, 5, 5);
    const QColor ink(196, 204, 212);
    const QColor accent(255, 176, 56);
    const QPointF c = plate.center();
    p.setPen(Qt::NoPen);
    if (!tableVariant) {
        // Spindle head, shank and fluted tip; the accent arrows say that it is the cutter that
        // moves.
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(c.x() - 7, plate.top() + 4, 14, 8), 2, 2);
        p.drawRect(QRectF(c.x() - 2.5, plate.top() + 12, 5, 9));
        QPainterPath tip;
        tip.moveTo(c.x() - 2.5, plate.top() + 21);
        tip.lineTo(c.x() + 2.5, plate.top() + 21);
        tip.lineTo(c.x(), plate.top() + 26);
        tip.closeSubpath();
        p.drawPath(tip);
        p.setBrush(QColor(120, 126, 134));
        p.drawRect(QRectF(plate.left() + 5, plate.bottom() - 6, plate.width() - 10, 3));
        DrawArrow(p, QPointF(plate.left() + 6, c.y() - 6), 0, -1, 6, accent);
        DrawArrow(p, QPointF(plate.right() - 6, c.y() - 6), 0, -1, 6, accent);
    } else {
        // Fixed cutter, moving table.
        p.setBrush(QColor(120, 126, 134));
        p.drawRect(QRectF(c.x() - 2, plate.top() + 4, 4, 10));
        p.setBrush(ink);
        p.drawRect(QRectF(plate.left() + 5, plate.bottom() - 11, plate.width() - 10, 5));
        p.setBrush(QColor(24, 27, 30));
        for (int slot = 0; slot < 3; ++slot) {
            p.drawRect(QRectF(plate.left() + 9 + slot * 6, plate.bottom() - 10, 2, 3));
        }
        DrawArrow(p, QPointF(plate.left() + 6, c.y() - 2), 0, 1, 6, accent);
        DrawArrow(p, QPointF(plate.right() - 6, c.y() - 2), 0, 1, 6, accent);
    }
    p.restore();
}

// Everything of one half that is not a button.
void DrawFace(QPainter& p)
{
    p.fillRect(QRect(0, 0, kHalfWidth, kHeight), kFace);
    // Fine horizontal grain of a brushed metal plate, kept out of the areas whose colour the
    // panel samples (the recesses are flat).
    p.save();
    for (int y = 0; y < kHeight; y += 2) {
        p.setPen(QColor(255, 255, 255, (y / 2) % 3 == 0 ? 5 : 2));
        p.drawLine(0, y, kHalfWidth - 1, y);
    }
    p.restore();
    // Outer bevel of the plate.
    p.setPen(kEdgeLight);
    p.drawLine(0, 0, kHalfWidth - 1, 0);
    p.drawLine(0, 0, 0, kHeight - 1);
    p.setPen(kEdgeDark);
    p.drawLine(0, kHeight - 1, kHalfWidth - 1, kHeight - 1);
    p.drawLine(kHalfWidth - 1, 0, kHalfWidth - 1, kHeight - 1);
    for (QPointF screw : {QPointF(9, 9), QPointF(kHalfWidth - 10, 9), QPointF(9, kHeight - 10),
                          QPointF(kHalfWidth - 10, kHeight - 10)}) {
        DrawScrew(p, screw);
    }

    // Model plate at the top left, an accent line under the top band.
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(kLabel);
    p.setFont(SansFont(24, true));
    p.drawText(QRect(24, 12, 120, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZR-40"));
    p.setPen(QColor(150, 158, 166));
    QFont small = SansFont(9, true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(small);
    p.drawText(QRect(126, 18, 200, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("MODELING MACHINE"));
    p.restore();
    p.fillRect(QRect(20, 50, kHalfWidth - 40, 2), QColor(255, 168, 40));
    p.fillRect(QRect(20, 52, kHalfWidth - 40, 1), kEdgeDark);

    // The two recessed fields: display and keypad on the left, job and origin on the right.
    DrawRecess(p, Ltrb(6, 62, 408, 354), 8);
    DrawRecess(p, Ltrb(434, 58, 674, 354), 8);

    // Read-out windows: position, spindle speed, cutting speed.
    DrawReadoutWindow(p, Ltrb(14, 102, 192, 200));
    DrawReadoutWindow(p, Ltrb(33, 216, 170, 243));
    DrawReadoutWindow(p, Ltrb(486, 245, 557, 272));
    // Axis letters of the position window, in the rows of the X, Y and Z values.
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(SansFont(15, true));
    p.setPen(QColor(120, 210, 245));
    p.drawText(Ltrb(16, 107, 36, 131), Qt::AlignCenter, QStringLiteral("X"));
    p.drawText(Ltrb(16, 138, 36, 162), Qt::AlignCenter, QStringLiteral("Y"));
    p.drawText(Ltrb(16, 167, 36, 191), Qt::AlignCenter, QStringLiteral("Z"));
    p.restore();

    // Keypad plates: the cross of the X and Y keys and the Z column.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(52, 57, 63), 1.0));
    p.setBrush(QColor(38, 42, 47));
    QPainterPath cross;
    cross.addRoundedRect(QRectF(240.5, 81.5, 47, 136), 6, 6);
    cross.addRoundedRect(QRectF(196.5, 125.5, 135, 48), 6, 6);
    cross.setFillRule(Qt::WindingFill);
    p.drawPath(cross.simplified());
    p.drawRoundedRect(QRectF(351.5, 81.5, 47, 136), 6, 6);
    p.restore();
    // Between the Z keys: the axis letter.
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(SansFont(18, true));
    p.setPen(kLabel);
    p.drawText(Ltrb(355, 126, 394, 172), Qt::AlignCenter, QStringLiteral("Z"));
    p.restore();
}

void DrawButtons(QPainter& p, bool pressed)
{
    for (const FaceButton& b : PanelButtons()) {
        const QColor cap = CapColour(b.id);
        if (b.kind == FaceButton::Round) {
            DrawRoundKey(p, b.rect, cap, pressed);
        } else {
            DrawRectKey(p, b.rect, cap, pressed);
        }
    }
    // The keypad keys carry their direction; the other keys draw their captions themselves.
    auto key = [&](int id) {
        for (const FaceButton& b : PanelButtons()) {
            if (b.id == id) {
                return b.rect;
            }
        }
        return QRect();
    };
    DrawKeyLegend(p, key(1026), 0, -1, QStringLiteral("Y"), pressed);
    DrawKeyLegend(p, key(1032), 0, 1, QStringLiteral("Y"), pressed);
    DrawKeyLegend(p, key(1028), -1, 0, QStringLiteral("X"), pressed);
    DrawKeyLegend(p, key(1030), 1, 0, QStringLiteral("X"), pressed);
    DrawKeyLegend(p, key(1024), 0, -1, QStringLiteral("Z"), pressed);
    DrawKeyLegend(p, key(1027), 0, 1, QStringLiteral("Z"), pressed);
}

} // namespace

QImage DrawPanelSkin()
{
    // The face is drawn once and copied into both halves, so that everything outside the
    // buttons is the same pixel for pixel.
    QImage face(kHalfWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&face);
        DrawFace(p);
    }
    QImage skin(2 * kHalfWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&skin);
    for (int half = 0; half < 2; ++half) {
        p.save();
        p.translate(half * kHalfWidth, 0);
        p.drawImage(0, 0, face);
        p.setClipRect(QRect(0, 0, kHalfWidth, kHeight));
        DrawButtons(p, half == 1);
        DrawKeypadCentre(p, kKeypadCentre, half == 1);
        p.restore();
    }
    p.end();
    return skin;
}

} // namespace imagegen
