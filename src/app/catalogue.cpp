// The GIF catalogue: the scan of the selected folder. A job of the folder runner
// lists the folder (opening its *.png files to see whether they are animated)
// and answers with the whole catalogue in order; the catalogue model
// (core/cataloguescan.h) then runs the thumbnail jobs and hands each result back
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

namespace {

// A catalogue item for the file at `path`: its name, the path as sub-item 0,
// the placeholder until the scan applies it. Plain data: the listing job makes them.
IconItem catalogueItem(const QString &path)
{
    IconItem item;
    item.caption = filepath::displayPath(filepath::fileName(path));
    item.subItems << path;
    item.imageIndex = 0;
    return item;
}

} // namespace

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
        // A new catalogue starts at its first items.
        ListView1->scrollToTop();
        m_scanQuiet = false;
        ListFolderGifs(folder);
    } catch (const std::bad_alloc &) {
        m_scan->abandon();
        seams::showError(this, QStringLiteral("GIF文件"));
    }
}

void TForm1::ListFolderGifs(const QString &folder)
{
    // The listing rule (which entries, which order) is the catalogue's own, shared
    // with the command line. Reading a folder may take long (a network mount), and
    // whether a PNG is animated takes opening it: one job does both, so the
    // catalogue is listed once, in order. A newer listing cancels this one.
    const Request request = m_listing.next();
    if (!m_listingBusy)
        m_listingBusy = std::make_unique<BusyCursor>();
    TForm1 *self = this;
    // The job reads only its own copies; closing the window waits for it.
    m_folderRunner->start([self, request, folder] {
        if (request.isCancelled())
            return;
        std::vector<IconItem> items;
        bool failed = false;
        try {
            const CatalogueListing listing = listCatalogue(folder, PngFiles::Later);
            const QStringList animated = animatedPngNames(folder, listing.pngNames,
                                                          [&request] { return request.isCancelled(); });
            const QStringList names = mergeCatalogueNames(listing.names, animated);
            // The items are made here, so that the window only takes them over.
            items.reserve(size_t(names.size()));
            for (const QString &name : names)
                items.push_back(catalogueItem(filepath::join(folder, name)));
        } catch (const std::bad_alloc &) {
            // Out of memory while listing a huge folder: the scan ends with its message.
            items.clear();
            failed = true;
        }
        if (request.isCancelled())
            return;
        postTo(self, [self, request, folder, items = std::move(items), failed]() mutable {
            self->folderListed(request.number, folder, std::move(items), failed);
        });
    });
}

bool TForm1::isListing() const
{
    return m_listingBusy != nullptr;
}

void TForm1::folderListed(int request, const QString &folder, std::vector<IconItem> items, bool failed)
{
    // A newer selection wins: the answer of a listing it replaced is dropped.
    if (!m_listing.isCurrent(request) || m_closing)
        return;
    m_listing.cancel();
    m_listingBusy.reset();
    const QString wanted = std::exchange(m_selectAfterListing, {});
    if (Scanning)
        return;
    if (!failed) {
        try {
            ListView1->items()->clear();
            // One insertion: the view lays a large folder out in batches.
            ListView1->items()->append(std::move(items));
            startItemScan();
        } catch (const std::bad_alloc &) {
            failed = true;
        }
    }
    if (failed) {
        m_scan->abandon();
        seams::showError(this, QStringLiteral("GIF文件"));
        return;
    }
    // Wanted in another folder: the user has picked a folder since.
    if (!wanted.isEmpty() && filepath::join(folder, filepath::fileName(wanted)) == wanted)
        selectNamedFile(wanted);
}

void TForm1::selectNamedFile(const QString &path)
{
    IconListModel *items = ListView1->items();
    for (int row = 0; row < items->count(); ++row) {
        if (items->item(row).subItems.value(0) == path) {
            ListView1->selectRow(row);
            ListView1->setFocus();
            return;
        }
    }
    // The catalogue lists GIFs only; this is the box it shows for a file it cannot read.
    seams::showError(this, filepath::displayPath(path) + QStringLiteral("可能不是GIF文件"));
}

void TForm1::startItemScan()
{
    const int count = ListView1->items()->count();
    ProgressBar1->setRange(-1, count - 1);
    ProgressBar1->setValue(-1);
    m_thumbs->clear(Image2->picture());
    ImageList1->sourceChanged(-1);

    std::vector<QString> paths;
    paths.reserve(size_t(count));
    for (int row = 0; row < count; ++row)
        paths.push_back(ListView1->items()->item(row).subItems.value(0));
    m_scan->start(std::move(paths));
}

void TForm1::AddGifItem(const QString &path)
{
    const QString name = filepath::fileName(path);
    if (!isCatalogueName(name) && !isPngName(name))
        return;
    ListView1->items()->append(catalogueItem(path));
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
    // The picture list holds the placeholder once for every file that is no picture.
    const int index = m_thumbs->add(items->item(row).subItems.value(0),
                                    item.quiet ? QImage() : item.picture);
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
