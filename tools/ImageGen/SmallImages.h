#pragma once

#include <QImage>

namespace imagegen {

// Image lists (8-bit indexed; the first pixel, and every corner, carries the mask colour).
QImage DrawArrowButton(bool up);       // 145 (up), 146 (down): 16 x 16, magenta mask
QImage DrawFileStates();               // 148: four 16 x 16 states, white mask
QImage DrawModePicture(int pictureId); // 149 step, 150 stop, 151 run, 152 stream: 16 x 16

// Full-colour pictures.
QImage DrawToolOffsetPicture();       // 141: tool-diameter offset page
QImage DrawCorrectionPicture();       // 8000: correction page
QImage DrawApplicationIcon(int size); // 128

} // namespace imagegen
