// Shows the folder picker as the export dialog opens it ("请选择", Qt's own
// dialog with Qt's Chinese texts); with --screenshot FILE it saves a picture of
// the picker's screen area (run it under Xvfb) and quits. pickerdemo [FOLDER]
#include "controls/fonts.h"
#include "controls/seams.h"
#include "controls/translations.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

// Long enough for the file list to fill in.
constexpr int ShotDelayMs = 1500;

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
    installChineseTranslations();
    QStringList args = app.arguments().mid(1);
    QString shot;
    if (const qsizetype i = args.indexOf(QStringLiteral("--screenshot")); i >= 0 && i + 1 < args.size()) {
        shot = args[i + 1];
        args.remove(i, 2);
    }
    const QString start = args.value(0, QDir::homePath());
    bool saved = shot.isEmpty();
    if (!shot.isEmpty()) {
        QTimer::singleShot(ShotDelayMs, &app, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                const QRect r = dialog->frameGeometry();
                saved = dialog->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(shot, "PNG");
                dialog->reject();
            }
        });
    }
    const QString picked = seams::folderPicker().pickFolder(nullptr, QStringLiteral("请选择"), start);
    if (!picked.isEmpty())
        std::printf("%s\n", qPrintable(picked));
    if (!saved)
        std::fprintf(stderr, "pickerdemo: cannot write %s\n", qPrintable(shot));
    return saved ? 0 : 1;
}
