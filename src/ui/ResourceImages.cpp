#include "ResourceImages.h"

#include <QFile>

QString BitmapResourcePath(int id)
{
    for (const char* suffix : {".png", ".bmp"}) {
        const QString path =
            QStringLiteral(":/images/%1%2").arg(id).arg(QString::fromLatin1(suffix));
        if (QFile::exists(path)) {
            return path;
        }
    }
    return {};
}

QImage LoadBitmapResource(int id)
{
    const QString path = BitmapResourcePath(id);
    return path.isEmpty() ? QImage() : QImage(path);
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        const QString path = QStringLiteral(":/images/128_%1.png").arg(size);
        if (QFile::exists(path)) {
            icon.addFile(path, QSize(size, size));
        }
    }
    return icon;
}
