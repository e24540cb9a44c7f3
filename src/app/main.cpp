// FalorenGIF动画分解器: start and end of the program. `falorengif [PATH]` opens
// the folder or GIF at PATH once the window shows (only the first PATH counts).
#include <QApplication>
#include <QFile>

#include "app/artwork.h"
#include "app/form1.h"
#include "common/filepath.h"
#include "controls/fonts.h"
#include "controls/translations.h"
#include "imaging/gdiplus.h"
#include "shell/shellfolder.h"

#include <utility>

int main(int argc, char *argv[])
{
    // The imaging engine runs before any window exists and shuts down last, after
    // the window has finished its scan's workers.
    const ImagingSession imaging;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("FalorenGIF"));
    QApplication::setWindowIcon(artwork::windowIcon());
    installFontSubstitutions();
    installChineseTranslations();

    // QApplication has taken its own options out of argv by now; the path keeps
    // its file-system bytes (common/filepath.h), also when they are not UTF-8.
    const QString path = argc > 1 ? filepath::pathFromBytes(QByteArray(argv[1])) : QString();

    int status = 0;
    {
        TForm1::Options options;
        options.startPath = path;
        TForm1 form(std::move(options));
        form.CreateDialogs();
        form.show();
        status = app.exec();
    }
    // The tree is gone with the window: the desktop folder object goes next,
    // before the engine shuts down.
    shell::releaseDesktopShellFolder();
    return status;
}
