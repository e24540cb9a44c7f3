// The export dialog's run against the command line on the same input: all frames
// of a GIF to PNG, three runs each, the median wall time of each and their ratio.
//
//     cd build/release && QT_QPA_PLATFORM=offscreen bench/export_dialog_bench
//         ../bench-inputs/screencast.gif src/cli/falorengif-cli
//
// The dialog's time is that of one click on "分解图片" (the frame list is loaded
// before the clock starts, as the main window loads it before the dialog shows);
// the command line's is the whole process. Output goes to temporary folders.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "gapmeter.h"
#include "controls/flat/flatcombobox.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "dialogs/cutdlg.h"
#include "imaging/gdiplus.h"
#include "imaging/thumbnail.h"

namespace {

class CountingBoxes final : public seams::MessageBoxes {
public:
    int shown = 0;
    seams::MsgResult show(QWidget *, const QString &text, const QString &, seams::MsgIcon,
                          seams::MsgButtons) override
    {
        ++shown;
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return seams::MsgResult::Ok;
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: export_dialog_bench GIF [CLI]\n");
        return 2;
    }
    ImagingSession imaging;
    CountingBoxes boxes;
    seams::setMessageBoxes(&boxes);
    const QString gif = QString::fromLocal8Bit(argv[1]);
    const QString cli = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    // The frame list as the inspection leaves it (thumbnails do not matter here).
    TGPImage picture(gif);
    Guid dimension{};
    picture.GetFrameDimensionsList(&dimension, 1);
    const int frames = int(picture.GetFrameCount(dimension));
    if (frames == 0) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    PictureList pictures{QSize(ThumbnailSize, ThumbnailSize)};
    IconListView frameList;
    frameList.setPictureList(&pictures);
    for (int i = 0; i < frames; ++i)
        frameList.items()->append({QStringLiteral("第%1帧 (0毫秒)").arg(i + 1),
                                   {gif, QStringLiteral("0")}, 0});

    QWidget mainWindow;
    TCUTDlg dialog(&mainWindow);
    dialog.LoadFrameList(&frameList);
    dialog.FlatComboBox1->setCurrentIndex(4);

    GapMeter meter;
    std::vector<double> dialogTimes, cliTimes, gaps;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir out;
        dialog.FlatEdit1->setText(out.path());
        QEventLoop loop;
        QObject::connect(&dialog, &TCUTDlg::exportFinished, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        meter.start();
        dialog.SpeedButton1->click();
        if (dialog.exportRunning())
            loop.exec();
        meter.stop();
        dialogTimes.push_back(double(t.nsecsElapsed()) / 1e9);
        gaps.push_back(meter.longestMs());
    }
    std::printf("dialog: %d frames to PNG, median %.3f s\n", frames, median(dialogTimes));

    if (!cli.isEmpty()) {
        for (int run = 0; run < 3; ++run) {
            QTemporaryDir out;
            QElapsedTimer t;
            t.start();
            const int status = QProcess::execute(
                cli, {QStringLiteral("export"), gif, QStringLiteral("--to"), out.path(),
                      QStringLiteral("--format"), QStringLiteral("png")});
            cliTimes.push_back(double(t.nsecsElapsed()) / 1e9);
            if (status != 0)
                std::fprintf(stderr, "the command line exited with %d\n", status);
        }
        std::printf("cli:    %d frames to PNG, median %.3f s\n", frames, median(cliTimes));
        std::printf("dialog / cli: %.2f\n", median(dialogTimes) / median(cliTimes));
        std::printf("export: dialog=%.1fms cli=%.1fms ratio=%.2f gap=%.1fms\n",
                    median(dialogTimes) * 1000, median(cliTimes) * 1000,
                    median(dialogTimes) / median(cliTimes), *std::max_element(gaps.begin(), gaps.end()));
    }
    return boxes.shown == 0 ? 0 : 1;
}
