// FalorenGIF动画分解器: start and end of the program.
#include <QApplication>

#include "app/artwork.h"
#include "app/form1.h"
#include "controls/fonts.h"
#include "imaging/gdiplus.h"
#include "shell/shellfolder.h"

int main(int argc, char *argv[])
{
    // The imaging engine runs before any window exists and shuts down last, after
    // the window has finished its scan's workers.
    const ImagingSession imaging;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("FalorenGIF"));
    QApplication::setWindowIcon(artwork::windowIcon());
    installFontSubstitutions();

    int status = 0;
    {
        TForm1 form;
        form.CreateDialogs();
        form.show();
        status = app.exec();
    }
    // The tree is gone with the window: the desktop folder object goes next,
    // before the engine shuts down.
    shell::releaseDesktopShellFolder();
    return status;
}
