// The GIF catalogue: the scan of the selected folder. The listing runs on the GUI
// thread; thumbnails and size texts are made by jobs and applied by the driver
// below, one item after the other in catalogue order.
#include "app/form1.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>

#include "controls/shell/shelltreeview.h"
#include "app/widgets.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "imaging/filesize.h"
#include "imaging/thumbnail.h"
#include "shell/nameorder.h"

namespace {

// Jobs queued ahead of the item being applied. Bounds the memory of results that
// wait while a modal window holds the scan.
constexpr int JobsAhead = 64;
// Longest stretch the driver applies results before it lets the event loop run.
constexpr int DriveBudgetMs = 8;
// How often the driver looks again while a modal window holds the scan.
constexpr int ModalPollMs = 50;

} // namespace

void TForm1::ScanFolder()
{
    if (Scanning)
        return;
    Scanning = true;
    try {
        ++m_scanNumber;
        m_ready.clear();
        m_nextApply = 0;
        m_nextSubmit = 0;
        m_scanPaths.clear();
        m_jobsCancelled = std::make_shared<std::atomic_bool>(false);

        ListView1->items()->clear();
        ProgressBar1->setVisible(true);
        QString folder = ShellTreeView1->SelectedFolderPath();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        ListFolderGifs(folder);
        const int count = ListView1->items()->count();
        ProgressBar1->setRange(-1, count - 1);
        ProgressBar1->setValue(-1);
        ImageList1->clear();
        ImageList1->add(Image2->picture());

        m_scanPaths.reserve(size_t(count));
        for (int row = 0; row < count; ++row)
            m_scanPaths.push_back(ListView1->items()->item(row).subItems.value(0));
        submitJobs();
        scheduleDrive(0);
    } catch (const std::exception &) {
        // Out of memory while listing a huge folder, say: the scan ends with its message.
        Scanning = false;
        CancelScan = false;
        cancelJobs();
        seams::showError(this, QStringLiteral("GIF文件"));
    }
}

void TForm1::ListFolderGifs(const QString &folder)
{
    // Only absolute paths are searched: a virtual folder's display name lists nothing
    // and is never taken relative to the working directory.
    if (!folder.startsWith(QLatin1Char('/')))
        return;
    // Without QDir::Hidden and QDir::System the search leaves out names starting with
    // "." and pipes, sockets, devices and broken links.
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (IsSubfolderEntry(info.fileName(), info.isDir()))
            continue;
        names << info.fileName();
    }
    std::sort(names.begin(), names.end(), shell::fileNameLess);
    for (const QString &name : std::as_const(names))
        AddGifItem(folder + name);
}

bool TForm1::IsSubfolderEntry(const QString &name, bool isDirectory)
{
    return isDirectory && name != QLatin1String(".") && name != QLatin1String("..");
}

void TForm1::AddGifItem(const QString &path)
{
    QString tail = path.right(4);
    for (QChar &c : tail)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    if (tail != QLatin1String(".GIF"))
        return;
    IconItem item;
    item.caption = FileNameOfPath(path);
    item.subItems << path;
    item.imageIndex = 0;
    ListView1->items()->append(item);
}

QImage TForm1::RenderThumbnail(const QString &path)
{
    return renderThumbnail(path);
}

void TForm1::submitJobs()
{
    const int total = int(m_scanPaths.size());
    while (m_nextSubmit < total && m_nextSubmit < m_nextApply + JobsAhead) {
        const int row = m_nextSubmit++;
        const QString path = m_scanPaths[size_t(row)];
        const int scan = m_scanNumber;
        const std::shared_ptr<std::atomic_bool> cancelled = m_jobsCancelled;
        TForm1 *self = this;
        // The job owns its surface and touches nothing of the window; the window
        // waits for running jobs before it goes away, so `self` outlives them.
        m_runner->start([self, path, row, scan, cancelled] {
            if (cancelled->load())
                return;
            ScanResult result;
            result.scan = scan;
            result.row = row;
            try {
                result.sizeText = FileSizeText(path);
                result.picture = RenderThumbnail(path);
            } catch (const std::exception &) {
                // Out of memory inside the job: the item keeps the placeholder
                // without a message, and the scan goes on.
                result.quiet = true;
            }
            if (cancelled->load())
                return;
            QMetaObject::invokeMethod(
                self, [self, result]() mutable { self->thumbnailReady(std::move(result)); },
                Qt::QueuedConnection);
        });
    }
}

void TForm1::thumbnailReady(ScanResult result)
{
    // A late result of an earlier scan never reaches the new catalogue.
    if (!Scanning || result.scan != m_scanNumber)
        return;
    m_ready[result.row] = std::move(result);
    driveScan();
}

void TForm1::scheduleDrive(int delayMs)
{
    if (m_driveScheduled && m_driveTimer->remainingTime() <= delayMs)
        return;
    m_driveScheduled = true;
    m_driveTimer->start(delayMs);
}

void TForm1::driveScan()
{
    // One driver at a time: a result arriving while the driver waits in an error
    // box only queues up.
    if (m_driving || !Scanning)
        return;
    m_driving = true;
    bool ended = false;
    try {
        ended = driveItems();
    } catch (const std::exception &) {
        // Out of memory, say: the scan ends with its message, leaving the
        // catalogue as it is.
        Scanning = false;
        CancelScan = false;
        m_rescanWanted = false;
        cancelJobs();
        m_ready.clear();
        m_driving = false;
        emit scanEnded();
        seams::showError(this, QStringLiteral("GIF文件"));
        return;
    }
    m_driving = false;
    if (ended && m_rescanWanted && !m_closing) {
        m_rescanWanted = false;
        ScanFolder();
    }
}

bool TForm1::driveItems()
{
    bool ended = false;
    QElapsedTimer budget;
    budget.start();
    for (;;) {
        if (seams::modalDepth() > 0) {
            scheduleDrive(ModalPollMs);
            break;
        }
        if (CancelScan) {
            endScan();
            ended = true;
            break;
        }
        if (m_nextApply >= ListView1->items()->count()) {
            endScan();
            ended = true;
            break;
        }
        auto it = m_ready.find(m_nextApply);
        if (it == m_ready.end())
            break; // its job is still running
        ScanResult result = std::move(it->second);
        m_ready.erase(it);
        applyItem(m_nextApply, result);
        if (!Scanning || m_closing)
            break; // the window was closed while the error box was open
        ++m_nextApply;
        submitJobs();
        emit scanProgressed();
        if (budget.elapsed() >= DriveBudgetMs) {
            scheduleDrive(0);
            break;
        }
    }
    return ended;
}

void TForm1::applyItem(int row, ScanResult &result)
{
    IconListModel *items = ListView1->items();
    items->setSubItem(row, 1, result.sizeText);
    if (result.quiet) {
        Image1->setPicture(Image2->picture());
    } else if (result.picture.isNull()) {
        Image1->setPicture(Image2->picture());
        // Modal: the scan waits here until the box is closed.
        seams::showError(this, items->item(row).subItems.value(0)
                                   + QStringLiteral("可能不是GIF文件"));
    } else {
        Image1->setPicture(result.picture);
    }
    if (!Scanning || row >= items->count())
        return;
    const int index = ImageList1->add(Image1->picture());
    items->setImageIndex(row, index);
    ProgressBar1->setValue(row);
}

void TForm1::endScan()
{
    // A finished scan and a stopped one end alike: the bar goes, the count shows.
    // Jobs still running are not waited for: their results carry the old scan's
    // number and are dropped.
    Scanning = false;
    CancelScan = false;
    cancelJobs();
    m_ready.clear();
    m_scanPaths.clear();
    ProgressBar1->hide();
    StatusBar1->setPanelText(1, QStringLiteral("图片数量:")
                                    + QString::number(ListView1->items()->count()));
    emit scanEnded();
}

void TForm1::cancelJobs()
{
    if (m_jobsCancelled)
        m_jobsCancelled->store(true);
    m_runner->cancelQueued();
}

void TForm1::stopJobs()
{
    cancelJobs();
    m_runner->waitForRunning();
}
