// The GIF catalogue: the scan of the selected folder. The listing runs on the GUI
// thread, except for *.png files, which a job opens to see whether they are
// animated before the items are listed; the catalogue model
// (core/cataloguescan.h) runs the thumbnail jobs and hands each result back
// here, one item after the other in catalogue order.
#include "app/form1.h"

#include <QProgressBar>

#include <utility>

#include "app/widgets.h"
#include "common/filepath.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "core/listing.h"
#include "imaging/filesize.h"
#include "imaging/thumbnail.h"

void TForm1::ScanFolder()
{
    if (Scanning)
        return;
    try {
        ListView1->items()->clear();
        ProgressBar1->setVisible(true);
        QString folder = ShellTreeView1->SelectedFolderPath();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        ListFolderGifs(folder);
        // A new catalogue starts at its first items.
        ListView1->scrollToTop();
        m_scanQuiet = false;
        if (m_pendingPngs.isEmpty()) {
            startItemScan();
            return;
        }
        // Whether a PNG is animated takes opening it: a job decides, and the
        // catalogue is listed again in full, in order, when it answers.
        QStringList names;
        for (int row = 0; row < ListView1->items()->count(); ++row)
            names << FileNameOfPath(ListView1->items()->item(row).subItems.value(0));
        const Request request = m_listing.next();
        const QStringList pngs = std::exchange(m_pendingPngs, {});
        TForm1 *self = this;
        // The job reads only its own copies; closing the window waits for it.
        m_runner->start([self, request, folder, names, pngs] {
            if (request.isCancelled())
                return;
            const QStringList animated
                = animatedPngNames(folder, pngs, [&request] { return request.isCancelled(); });
            if (request.isCancelled())
                return;
            const QStringList all = mergeCatalogueNames(names, animated);
            postTo(self, [self, request, folder, all] { self->pngsListed(request.number, folder, all); });
        });
    } catch (const std::bad_alloc &) {
        // Out of memory while listing a huge folder, say: the scan ends with its message.
        m_scan->abandon();
        seams::showError(this, QStringLiteral("GIF文件"));
    }
}

void TForm1::pngsListed(int request, const QString &folder, const QStringList &names)
{
    if (!m_listing.isCurrent(request) || Scanning || m_closing)
        return;
    try {
        ListView1->items()->clear();
        for (const QString &name : names)
            AddGifItem(folder + name);
        startItemScan();
    } catch (const std::bad_alloc &) {
        m_scan->abandon();
        seams::showError(this, QStringLiteral("GIF文件"));
    }
}

void TForm1::startItemScan()
{
    const int count = ListView1->items()->count();
    ProgressBar1->setRange(-1, count - 1);
    ProgressBar1->setValue(-1);
    ImageList1->clear();
    ImageList1->add(Image2->picture());

    std::vector<QString> paths;
    paths.reserve(size_t(count));
    for (int row = 0; row < count; ++row)
        paths.push_back(ListView1->items()->item(row).subItems.value(0));
    m_scan->start(std::move(paths));
}

void TForm1::ListFolderGifs(const QString &folder)
{
    // The listing rule (which entries, which order) is the catalogue's own, shared
    // with the command line; a folder that cannot be read lists nothing. PNG
    // files are left for a job to open (m_pendingPngs).
    m_listing.cancel();
    const CatalogueListing listing = listCatalogue(folder, PngFiles::Later);
    for (const QString &name : listing.names)
        AddGifItem(folder + name);
    m_pendingPngs = listing.pngNames;
}

bool TForm1::IsSubfolderEntry(const QString &, bool isDirectory)
{
    // The listing never yields "." and "..", so every folder entry is a subfolder.
    return isDirectory;
}

void TForm1::AddGifItem(const QString &path)
{
    const QString name = FileNameOfPath(path);
    if (!isCatalogueName(name) && !isPngName(name))
        return;
    IconItem item;
    item.caption = filepath::displayPath(FileNameOfPath(path));
    item.subItems << path;
    item.imageIndex = 0;
    ListView1->items()->append(item);
}

QImage TForm1::RenderThumbnail(const QString &path)
{
    return renderThumbnail(path);
}

void TForm1::applyItem(int row, CatalogueScan::Item &item)
{
    IconListModel *items = ListView1->items();
    items->setSubItem(row, 1, item.sizeText);
    if (item.quiet) {
        Image1->setPicture(Image2->picture());
    } else if (item.picture.isNull()) {
        Image1->setPicture(Image2->picture());
        // Modal: the scan waits here until the box is closed. Its check box ends
        // the boxes for the rest of this scan (a folder of many broken files).
        if (!m_scanQuiet) {
            bool quiet = false;
            seams::showMessageWithCheckBox(this, filepath::displayPath(items->item(row).subItems.value(0))
                                                     + QStringLiteral("可能不是GIF文件"),
                                           QStringLiteral("错误"), seams::MsgIcon::Error,
                                           QStringLiteral("本次扫描不再提示"), &quiet);
            m_scanQuiet = quiet;
        }
    } else {
        Image1->setPicture(item.picture);
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
    ProgressBar1->hide();
    StatusBar1->setPanelText(1, QStringLiteral("图片数量:")
                                    + QString::number(ListView1->items()->count()));
    emit scanEnded();
    if (m_rescanWanted && !m_closing) {
        m_rescanWanted = false;
        ScanFolder();
    }
}

void TForm1::scanFailed()
{
    // Out of memory, say: the scan ends with its message, leaving the catalogue as it is.
    m_rescanWanted = false;
    emit scanEnded();
    seams::showError(this, QStringLiteral("GIF文件"));
}
