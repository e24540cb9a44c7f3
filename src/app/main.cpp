// FalorenGIF动画分解器: start and end of the program. `falorengif [PATH]` opens
// the folder or GIF at PATH once the window shows (only the first PATH counts).
#include <QApplication>
#include <QFile>
#include <QTimer>

#include "app/artwork.h"
#include "app/form1.h"
#include "controls/fonts.h"
#include "controls/translations.h"
#include "imaging/gdiplus.h"

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
    // its file-system bytes (QFile::decodeName, not the locale's codec guess).
    const QString path = argc > 1 ? QFile::decodeName(argv[1]) : QString();

    TForm1 form;
    form.CreateDialogs();
    form.show();
    if (!path.isEmpty())
        QTimer::singleShot(0, &form, [&form, path] { form.OpenPath(path); });
    return app.exec();
}
