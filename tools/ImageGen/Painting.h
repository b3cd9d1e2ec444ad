#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

// Drawing helpers shared by the picture generators.
namespace imagegen {

// Colours of the panel face.
inline const QColor kFace(42, 46, 51);
inline const QColor kRecess(33, 36, 40);
inline const QColor kEdgeLight(78, 84, 92);
inline const QColor kEdgeDark(14, 15, 17);
inline const QColor kLabel(236, 238, 240);

QFont SansFont(int pixelSize, bool bold = false);

// A recessed area of the face: flat fill with a dark upper-left and a light lower-right edge.
void DrawRecess(QPainter& p, const QRect& r, int radius, const QColor& fill = kRecess);

// A back-lit read-out window (dark glass with a cyan glow) for white value text.
void DrawReadoutWindow(QPainter& p, const QRect& r);

// A key cap filling `r`; `pressed` draws it pushed in and lit.
void DrawRectKey(QPainter& p, const QRect& r, const QColor& cap, bool pressed);
void DrawRoundKey(QPainter& p, const QRect& r, const QColor& cap, bool pressed);

// Text centred in `r`.
void DrawCentredText(QPainter& p, const QRect& r, const QString& text, const QFont& font,
                     const QColor& colour);

// A filled triangle arrow centred at `centre`, pointing by (dx, dy) (one of them 0, the other
// +1/-1), `size` pixels from base to tip.
void DrawArrow(QPainter& p, QPointF centre, int dx, int dy, double size, const QColor& colour);

// The image as an 8-bit indexed image; every colour of the source must be in the table that
// results (the sources are drawn without smoothing and have few colours).
QImage ToIndexed8(const QImage& source);

// Writes `image` to `folder/name`, reporting failures on stderr.
bool Save(const QImage& image, const QString& folder, const QString& name);

} // namespace imagegen
