// Saves a picture of the whole X screen for the documentation's screenshots.
// Run it under Xvfb beside the program, with a screen the size of the window
// (the window centres itself): grabscreen OUT.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: grabscreen OUT.png\n", stderr);
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(args[1], "PNG")) {
        std::fprintf(stderr, "grabscreen: cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
