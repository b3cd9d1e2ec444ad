#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

namespace imagegen {

// One image button of the panel face: its client rectangle (right and bottom exclusive).
struct FaceButton
{
    int id;
    QRect rect;
    enum Kind
    {
        Round,
        Spindle,
        Key
    } kind;
};

// The image buttons of the panel (dialog 102) at their rectangles.
const std::vector<FaceButton>& PanelButtons();

// The keypad centre between the two Y keys; the right half holds its "move table" variant.
inline const QRect kKeypadCentre(244, 124, 39, 48);

// The panel skin, 1360 x 360: released faces on the left, pressed faces on the right.
QImage DrawPanelSkin();

} // namespace imagegen
