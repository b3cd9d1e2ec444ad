// Helper for checking the program under a virtual display: saves the whole screen of $DISPLAY
// as a PNG file (argv[1]).

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_grab FILE.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    const QPixmap shot = screen->grabWindow(0);
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
