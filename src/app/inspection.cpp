// Inspection of the GIF selected in the catalogue (its frame list and the
// information group) and the animation playback in the preview. The work runs
// in the background (core/frameinspection.h); the handlers below show its
// results as they arrive.
#include "app/form1.h"

#include <QTimer>

#include <algorithm>

#include "app/widgets.h"
#include "common/filepath.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "imaging/filesize.h"
#include "imaging/thumbnail.h"

namespace {

// Status panel 2 shows the listing's progress at most this often, in milliseconds.
constexpr qint64 ProgressTextMs = 100;
// Frames the playback asks for ahead of the one it shows, so that a long GIF
// whose thumbnails are made on demand still plays every frame in time.
constexpr int PlaybackPrefetch = 24;

} // namespace

void TForm1::ListView1Change()
{
    const int row = ListView1->selectedRow();
    if (row < 0)
        return;
    InspectGif(ListView1->items()->item(row).subItems.value(0));
    playbackStart();
}

void TForm1::InspectGif(const QString &path)
{
    Image3->setPicture(NewThumbnailCanvas());
    m_exportAfterInspection = false;
    m_requestedPath = path;
    m_inspection->start(path, MaxListedFrames);
}

bool TForm1::inspecting() const
{
    return m_inspection->running();
}

void TForm1::cancelInspection()
{
    if (!m_inspection->running())
        return;
    m_inspection->cancel();
    inspectionDone(true);
}

void TForm1::inspectionOpened(int, const PictureFacts &facts, int)
{
    // From here on the frame list belongs to the new GIF.
    Timer1->stop();
    ListView2->items()->clear();
    ImageList2->sourceChanged(-1);
    m_inspectedDelays = facts.delaysMs;
    m_inspectedFrames = facts.frameCount;
    m_inspectedListed = 0;

    // The size text of the selected item, computed now when the scan has not
    // reached that item yet, so the fields always describe the frames shown.
    QString sizeText;
    const int row = ListView1->selectedRow();
    if (row >= 0) {
        sizeText = ListView1->items()->item(row).subItems.value(1);
        if (sizeText.isEmpty()) {
            sizeText = facts.fileSizeText;
            ListView1->items()->setSubItem(row, 1, sizeText);
        }
    } else {
        sizeText = facts.fileSizeText;
    }
    m_inspectedPath = m_requestedPath;
    FlatEdit4->setText(QString::number(facts.width) + QChar(0x00D7) + QString::number(facts.height)
                       + QStringLiteral(", ") + sizeText);
    FlatEdit2->setText(durationText(facts.totalMs));
    FlatEdit3->setText(QString::number(facts.frameCount) + QStringLiteral(" 帧"));
    m_progressClock.start();
    m_lastProgressText = -1;
    showInspectionProgress(true);
}

void TForm1::inspectionListed(int, int listed)
{
    std::vector<IconItem> frames;
    frames.reserve(size_t(std::max(0, listed - m_inspectedListed)));
    for (int i = m_inspectedListed; i < listed; ++i) {
        const std::int64_t d = size_t(i) < m_inspectedDelays.size() ? m_inspectedDelays[size_t(i)] : 0;
        IconItem frame;
        frame.caption = QStringLiteral("第") + QString::number(i + 1) + QStringLiteral("帧 (")
                        + QString::number(d) + QStringLiteral("毫秒)");
        frame.subItems << m_inspectedPath << QString::number(d);
        frame.imageIndex = i;
        frames.push_back(std::move(frame));
    }
    m_inspectedListed = std::max(m_inspectedListed, listed);
    ListView2->items()->append(std::move(frames));
    showInspectionProgress(false);
}

void TForm1::inspectionThumbnail(int frame)
{
    ImageList2->sourceChanged(frame);
    if (frame == 0)
        showPreview(m_inspection->thumbnail(0));
    if (frame == m_inspectedListed - 1 || frame == 0)
        Image3->setPicture(m_inspection->thumbnail(frame));
}

void TForm1::showInspectionProgress(bool force)
{
    if (m_inspectedPath.isEmpty() && m_inspectedListed == 0 && !force)
        return;
    const qint64 now = m_progressClock.elapsed();
    if (!force && m_lastProgressText >= 0 && now - m_lastProgressText < ProgressTextMs)
        return;
    m_lastProgressText = now;
    const std::uint32_t shown = std::min<std::uint32_t>(
        m_inspectedFrames, std::uint32_t(std::max(0, MaxListedFrames)));
    StatusBar1->setPanelText(2, filepath::displayPath(m_inspectedPath) + QStringLiteral(" (") + QString::number(m_inspectedListed)
                                    + QLatin1Char('/') + QString::number(shown) + QLatin1Char(')'));
}

void TForm1::inspectionDone(bool shown)
{
    // The final state, as a synchronous inspection would leave it; a failed one
    // leaves the previous GIF's list, fields, status text and preview alone.
    if (shown && (!m_inspectedPath.isEmpty() || m_inspectedListed > 0)) {
        const std::uint32_t listed = std::uint32_t(m_inspectedListed);
        StatusBar1->setPanelText(2, m_inspectedFrames > listed && listed > 0
                                        ? filepath::displayPath(m_inspectedPath)
                                              + QStringLiteral(" (仅显示前")
                                              + QString::number(listed) + QStringLiteral("帧)")
                                        : filepath::displayPath(m_inspectedPath));
        if (ImageList2->count() > 0)
            showPreview(ImageList2->image(0));
    }
    const bool exportWanted = m_exportAfterInspection;
    const bool playWanted = m_playAfterInspection;
    m_exportAfterInspection = false;
    m_playAfterInspection = false;
    emit inspectionEnded();
    if (m_closing)
        return;
    if (playWanted)
        playbackStart();
    if (exportWanted)
        SpeedButton1Click();
}

QString TForm1::durationText(std::int64_t milliseconds)
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
    if (m_inspection->running()) {
        // The playback starts on the complete list, when the inspection ends.
        m_playAfterInspection = true;
        return;
    }
    if (PageControl1->currentIndex() != 0 && ListView2->items()->count() > 0) {
        PlayElapsed = 0;
        PlayFrame = 0;
        m_inspection->prefetch(1, PlaybackPrefetch);
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
    PlayElapsed += PlayTickMs;
    if (PlayFrame < 0 || PlayFrame >= count)
        return;
    bool ok = false;
    int delay = list->item(PlayFrame).subItems.value(1).toInt(&ok);
    if (!ok)
        return;
    if (PlayElapsed >= delay) {
        const int next = PlayFrame + 1 >= count ? 0 : PlayFrame + 1;
        // A thumbnail still being made holds the frame before it, so that every
        // frame is shown; it is asked for ahead of time so this rarely happens.
        const QImage picture = ImageList2->image(next);
        if (picture.isNull() && ImageList2->source())
            return;
        PlayElapsed = 0;
        PlayFrame = next;
        showPreview(picture);
        m_inspection->prefetch(PlayFrame + 1, PlaybackPrefetch);
        delay = list->item(PlayFrame).subItems.value(1).toInt(&ok);
        if (!ok)
            return;
    }
    FlatEdit1->setText(QStringLiteral("第 ") + QString::number(PlayFrame + 1) +
                       QStringLiteral(" 帧(") + QString::number(delay) + QStringLiteral("毫秒)"));
}
