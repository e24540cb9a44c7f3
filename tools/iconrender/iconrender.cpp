// Writes the program's icon, drawn by src/app/artwork, as the PNGs of the hicolor
// icon theme: iconrender OUTDIR NAME writes OUTDIR/hicolor/NxN/apps/NAME.png for
// every size the desktop asks for. Run by the build; needs no display.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "app/artwork.h"

namespace {

// The sizes desktops look up in hicolor, from menu entries to large tiles.
constexpr int IconSides[] = {16, 22, 24, 32, 48, 64, 128, 256};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: iconrender OUTDIR NAME\n", stderr);
        return 2;
    }
    for (int side : IconSides) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(args[1]).arg(side);
        const QString file = dir + QLatin1Char('/') + args[2] + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !artwork::windowIconImage(side).save(file, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
