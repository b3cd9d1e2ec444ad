#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The program's pictures are compiled in as resources under their resource numbers:
// ":/images/<id>.png" for full-colour pictures (the panel skin 130, the page pictures 141 and
// 8000, the icon 128) and ":/images/<id>.bmp" for the 8-bit indexed pictures that are cut into
// image lists (145, 146, 148, 149-152).

// Resource path of picture `id`; empty when there is none.
QString BitmapResourcePath(int id);

// Picture `id` as stored (an 8-bit indexed picture stays indexed); a null image when missing.
QImage LoadBitmapResource(int id);

// The application icon (resource 128) in all the sizes supplied.
QIcon ApplicationIcon();
