// Draws the program's pictures into the folder given on the command line (res/images).

#include "Painting.h"
#include "PanelSkin.h"
#include "SmallImages.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zr40-imagegen <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "could not create %s\n", argv[1]);
        return 1;
    }
    using namespace imagegen;
    bool ok = true;
    ok &= Save(DrawPanelSkin(), folder, QStringLiteral("130.png"));
    ok &= Save(DrawArrowButton(true), folder, QStringLiteral("145.bmp"));
    ok &= Save(DrawArrowButton(false), folder, QStringLiteral("146.bmp"));
    ok &= Save(DrawFileStates(), folder, QStringLiteral("148.bmp"));
    for (int id = 149; id <= 152; ++id) {
        ok &= Save(DrawModePicture(id), folder, QStringLiteral("%1.bmp").arg(id));
    }
    ok &= Save(DrawToolOffsetPicture(), folder, QStringLiteral("141.png"));
    ok &= Save(DrawCorrectionPicture(), folder, QStringLiteral("8000.png"));
    ok &= Save(DrawApplicationIcon(48), folder, QStringLiteral("128.png"));
    for (int size : {16, 32, 48, 256}) {
        ok &= Save(DrawApplicationIcon(size), folder, QStringLiteral("128_%1.png").arg(size));
    }
    return ok ? 0 : 1;
}
