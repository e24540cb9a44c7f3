// Inspection of the GIF selected in the catalogue (its frame list and the
// information group) and the animation playback in the preview.
#include "app/form1.h"

#include <QFuture>
#include <QGuiApplication>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include "app/widgets.h"
#include "controls/busycursor.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "imaging/filesize.h"
#include "imaging/gdiplus.h"
#include "imaging/thumbnail.h"

void TForm1::ListView1Change()
{
    const int row = ListView1->selectedRow();
    if (row < 0)
        return;
    try {
        InspectGif(ListView1->items()->item(row).subItems.value(0));
    } catch (const std::exception &) {
        // The inspection reports nothing; the playback below shows what the frame
        // list holds, which is still consistent.
    }
    playbackStart();
}

void TForm1::InspectGif(const QString &path)
{
    const BusyCursor busy;
    Image3->setPicture(NewThumbnailCanvas());

    TGPImage image(path);
    Guid dimension{};
    image.GetFrameDimensionsList(&dimension, 1);
    const std::uint32_t frames = image.GetFrameCount(dimension);

    const std::uint32_t itemSize = image.GetPropertyItemSize(PropertyTagFrameDelay);
    if (itemSize == 0 || itemSize < sizeof(PropertyItem))
        return; // no picture, or no frame delays: everything stays as it was
    std::vector<std::uint64_t> buffer((itemSize + 7) / 8);
    auto *item = reinterpret_cast<PropertyItem *>(buffer.data());
    if (image.GetPropertyItem(PropertyTagFrameDelay, itemSize, item) != Ok)
        return;
    const std::size_t room = (itemSize - sizeof(PropertyItem)) / 4;
    std::vector<std::uint32_t> delays(std::min<std::size_t>(item->length / 4, room));
    if (!delays.empty())
        std::memcpy(delays.data(), item->value, delays.size() * 4);

    IconListModel *list = ListView2->items();
    list->clear();
    ImageList2->clear();
    std::int64_t total = 0;

    // Frames beyond the delay list have delay 0.
    auto delayMs = [&delays](std::uint32_t i) -> std::int64_t {
        return i < delays.size() ? std::int64_t(delays[i]) * 10 : 0;
    };
    const std::uint32_t listed =
        std::min<std::uint32_t>(frames, std::uint32_t(std::max(0, MaxListedFrames)));
    const std::vector<QImage> thumbnails = FrameThumbnails(path, image, listed);
    for (std::uint32_t i = 0; i < listed; ++i) {
        Image3->setPicture(thumbnails[i]);
        const std::int64_t d = delayMs(i);
        IconItem frame;
        frame.caption = QStringLiteral("第") + QString::number(i + 1) + QStringLiteral("帧 (")
                        + QString::number(d) + QStringLiteral("毫秒)");
        frame.subItems << path << QString::number(d);
        frame.imageIndex = ImageList2->add(Image3->picture());
        list->append(frame);
        total += d;
    }
    // The information group describes the whole GIF, also past the listed frames.
    for (std::uint32_t i = listed; i < frames; ++i)
        total += delayMs(i);

    StatusBar1->setPanelText(2, frames > listed ? path + QStringLiteral(" (仅显示前")
                                                      + QString::number(listed)
                                                      + QStringLiteral("帧)")
                                                : path);

    // The size text of the selected item, computed now when the scan has not
    // reached that item yet, so the fields always describe the frames shown.
    QString sizeText;
    const int row = ListView1->selectedRow();
    if (row >= 0) {
        const IconItem &selected = ListView1->items()->item(row);
        sizeText = selected.subItems.value(1);
        if (sizeText.isEmpty()) {
            sizeText = FileSizeText(selected.subItems.value(0));
            ListView1->items()->setSubItem(row, 1, sizeText);
        }
    } else {
        sizeText = FileSizeText(path);
    }
    FlatEdit4->setText(QString::number(image.GetWidth()) + QChar(0x00D7)
                       + QString::number(image.GetHeight()) + QStringLiteral(", ") + sizeText);
    FlatEdit2->setText(DurationText(total));
    FlatEdit3->setText(QString::number(frames) + QStringLiteral(" 帧"));
    showPreview(ImageList2->image(0));
}

std::vector<QImage> TForm1::FrameThumbnails(const QString &path, TGPImage &image,
                                            std::uint32_t count)
{
    // Frames are composited in order, so each thread decodes from the first
    // frame; only the drawing of its own share is split. The calling thread takes
    // the first share with `image`, the others load the file again.
    std::vector<QImage> out(count);
    auto drawRange = [&out](TGPImage &picture, std::uint32_t first, std::uint32_t last) {
        for (std::uint32_t i = 0; i < last; ++i) {
            picture.SelectActiveFrame(FrameDimensionTime, i);
            if (i < first)
                continue;
            QImage canvas = NewThumbnailCanvas();
            DrawThumbnail(picture, canvas);
            out[i] = canvas;
        }
    };
    const std::uint32_t shares =
        count < 16 ? 1u : std::uint32_t(std::clamp(QThread::idealThreadCount(), 1, 4));
    // The later shares decode the frames before theirs without drawing them, so
    // they get a little less to draw.
    std::vector<std::uint32_t> bounds{0};
    for (std::uint32_t k = 1; k < shares; ++k)
        bounds.push_back(std::uint32_t(std::uint64_t(count) * k * 11 / (10 * shares + k)));
    bounds.push_back(count);
    std::vector<QFuture<void>> others;
    // The workers use `out` and `drawRange`: should anything throw here, wait for
    // them before those go away.
    struct WaitForAll {
        std::vector<QFuture<void>> &futures;
        ~WaitForAll()
        {
            for (QFuture<void> &f : futures)
                f.waitForFinished();
        }
    } waitForAll{others};
    for (std::uint32_t k = 1; k < shares; ++k) {
        const std::uint32_t first = bounds[k], last = bounds[k + 1];
        others.push_back(QtConcurrent::run([&drawRange, path, first, last] {
            TGPImage own(path);
            drawRange(own, first, last);
        }));
    }
    drawRange(image, 0, bounds[1]);
    for (QFuture<void> &f : others)
        f.waitForFinished();
    return out;
}

QString TForm1::DurationText(std::int64_t milliseconds)
{
    return QString::number(milliseconds / 1000) + QStringLiteral(" 秒 ")
           + QString::number(milliseconds % 1000) + QStringLiteral(" 毫秒");
}

void TForm1::showPreview(const QImage &picture)
{
    Image4->setPicture(picture);
}

// --- playback -------------------------------------------------------------------

void TForm1::playbackStart()
{
    Timer1->stop();
    if (PageControl1->currentIndex() != 0 && ListView2->items()->count() > 0) {
        PlayElapsed = 0;
        PlayFrame = 0;
        Timer1->start();
    }
}

void TForm1::PageControl1Change()
{
    playbackStart();
}

void TForm1::Timer1Timer()
{
    try {
        playbackStep();
    } catch (const std::exception &) {
        // A failed tick ends silently; the timer goes on and the next tick tries again.
    }
}

void TForm1::playbackStep()
{
    // A tick that cannot read its frame's delay ends silently; the next one tries again.
    const IconListModel *list = ListView2->items();
    const int count = list->count();
    PlayElapsed += 10;
    if (PlayFrame < 0 || PlayFrame >= count)
        return;
    bool ok = false;
    int delay = list->item(PlayFrame).subItems.value(1).toInt(&ok);
    if (!ok)
        return;
    if (PlayElapsed >= delay) {
        PlayElapsed = 0;
        ++PlayFrame;
        if (PlayFrame >= count)
            PlayFrame = 0;
        showPreview(ImageList2->image(PlayFrame));
        delay = list->item(PlayFrame).subItems.value(1).toInt(&ok);
        if (!ok)
            return;
    }
    FlatEdit1->setText(QStringLiteral("第 ") + QString::number(PlayFrame + 1) +
                       QStringLiteral(" 帧(") + QString::number(delay) + QStringLiteral("毫秒)"));
}
