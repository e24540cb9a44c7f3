// TForm1 on the desktop: opening a folder or file given on the command line or
// dropped from a file manager, the catalogue's Enter key, the toolbar's tips,
// and the frame list's inspector, context menu and keys.
#include "app/form1.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "app/inspector.h"
#include "common/filepath.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "dialogs/animatedlg.h"

namespace {

// How often an open waits again while a modal window holds the running scan.
constexpr int OpenRetryMs = 50;

// The first local file or folder among dropped URLs; empty when there is none.
QString droppedPath(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile() || url.path().isEmpty())
            continue;
        // The path's own bytes, percent-decoded (toLocalFile would read them as
        // UTF-8 and lose a name that is not).
        return filepath::pathFromBytes(
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    }
    return {};
}

// Ctrl+C and Ctrl+S on the frame list: the list's own Ctrl+C would copy the
// item's caption as text, so the keys are taken before it sees them.
class FrameListKeys final : public QObject {
public:
    FrameListKeys(QAction *copy, QAction *save, QObject *parent)
        : QObject(parent), m_copy(copy), m_save(save)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(watched, event);
        auto *key = static_cast<QKeyEvent *>(event);
        QAction *action = key->matches(QKeySequence::Copy)   ? m_copy
                          : key->matches(QKeySequence::Save) ? m_save
                                                             : nullptr;
        if (!action)
            return QObject::eventFilter(watched, event);
        event->accept();
        if (event->type() == QEvent::KeyPress)
            action->trigger();
        return true;
    }

private:
    QAction *m_copy;
    QAction *m_save;
};

} // namespace

void TForm1::setUpDesktopExtras()
{
    setAcceptDrops(true);
    // A file dropped on an information field opens like one dropped anywhere
    // else, instead of pasting its address into the field.
    for (TFlatEdit *field : {FlatEdit1, FlatEdit2, FlatEdit3, FlatEdit4})
        field->setAcceptDrops(false);
    // Frame captions ("第12帧 (100毫秒)") take one line, so a whole row of frames
    // fits the frame list at the designed window size.
    ListView2->setCaptionLines(1);
    connect(ListView1, &IconListView::enterPressed, this, &TForm1::ListView1EnterPressed);
    setUpFrameList();
    SpeedButton1->setToolTip(QStringLiteral("分解 (Ctrl+D)"));
    SpeedButton8->setToolTip(QStringLiteral("刷新 (F5)"));
    SpeedButton5->setToolTip(QStringLiteral("帮助 (F1)"));
    SpeedButton10->setToolTip(QStringLiteral("关于"));
    SpeedButton11->setToolTip(QStringLiteral("退出 (Ctrl+Q)"));
}

void TForm1::setUpFrameList()
{
    // A double-click or Enter on a frame opens the inspector on it; the menu's
    // entries and the keys act on the current frame item.
    connect(ListView2, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { openFrameInspector(index.row()); });
    connect(ListView2, &IconListView::enterPressed, this, &TForm1::openFrameInspector);
    connect(ListView2->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { frameListCurrentChanged(current.row()); });
    auto emptied = [this] {
        if (m_inspector && ListView2->items()->count() == 0)
            m_inspector->showNothing();
    };
    connect(ListView2->items(), &QAbstractItemModel::modelReset, this, emptied);
    connect(ListView2->items(), &QAbstractItemModel::rowsRemoved, this, emptied);

    auto current = [this] { return ListView2->currentIndex().row(); };
    m_frameListMenu = new QMenu(this);
    m_frameListMenu->addAction(QStringLiteral("查看帧"), this, [this, current] { openFrameInspector(current()); });
    m_frameListMenu->addAction(QStringLiteral("复制帧"), this, [this, current] {
        if (current() >= 0)
            frameInspector()->copyFrame(current());
    });
    m_frameListMenu->addAction(QStringLiteral("另存为..."), this, [this, current] {
        if (current() >= 0)
            frameInspector()->saveFrame(current());
    });
    m_frameListMenu->addSeparator();
    m_frameListMenu->addAction(QStringLiteral("导出为动画..."), this, &TForm1::openAnimateDialog);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView2, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = ListView2->indexAt(pos);
        if (!index.isValid())
            return;
        ListView2->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        m_frameListMenu->popup(ListView2->viewport()->mapToGlobal(pos));
    });
    const QList<QAction *> entries = m_frameListMenu->actions();
    ListView2->installEventFilter(new FrameListKeys(entries.at(1), entries.at(2), ListView2));
}

void TForm1::openAnimateDialog()
{
    const int listed = ListView2->items()->count();
    if (m_inspectedPath.isEmpty() || listed == 0)
        return;
    QList<int> rows = ListView2->selectedRows();
    std::sort(rows.begin(), rows.end());
    std::vector<std::uint32_t> frames;
    for (int row : rows)
        if (row >= 0)
            frames.push_back(std::uint32_t(row));
    if (!AnimateDlg)
        AnimateDlg = new TAnimateDlg(this);
    AnimateDlg->setSource(m_inspectedPath, std::move(frames), listed);
    seams::execModal(AnimateDlg);
}

FrameInspector *TForm1::frameInspector()
{
    if (!m_inspector) {
        m_inspector = new FrameInspector(m_inspection.get(), this);
        connect(m_inspector, &FrameInspector::frameStepped, this, &TForm1::inspectorStepped);
    }
    return m_inspector;
}

void TForm1::openFrameInspector(int row)
{
    if (row < 0 || row >= ListView2->items()->count())
        return;
    FrameInspector *inspector = frameInspector();
    inspector->showFrame(row);
    inspector->show();
    inspector->raise();
    inspector->activateWindow();
}

void TForm1::frameListCurrentChanged(int row)
{
    if (m_inspector && row >= 0)
        m_inspector->showFrame(row);
}

void TForm1::inspectorStepped(int frame)
{
    // Frames beyond the list have no item to follow.
    if (frame >= ListView2->items()->count())
        return;
    const QModelIndex index = ListView2->items()->index(frame, 0);
    // The current item moves; the selection made for the export stays.
    ListView2->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    ListView2->scrollTo(index);
}

void TForm1::ListView1EnterPressed(int row)
{
    // As a double-click: the item is selected (or inspected again), then decomposed.
    if (row >= 0) {
        if (ListView1->selectedRows() == QList<int>{row})
            ListView1Change();
        else
            ListView1->selectRow(row);
    }
    SpeedButton1Click();
}

QString TForm1::openFailureCause(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return QStringLiteral("文件或文件夹不存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有读取权限");
    case ELOOP: return QStringLiteral("符号链接层数过多");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EIO: return QStringLiteral("读取时发生输入输出错误");
    case ENOMEM: return QStringLiteral("内存不足");
    default: return QStringLiteral("无法访问 (错误代码 %1)").arg(error);
    }
}

bool TForm1::stopScanNow()
{
    return m_scan->stopNow();
}

bool TForm1::openPath(const QString &given)
{
    if (given.isEmpty() || m_closing)
        return false;
    // The working folder is read as bytes; cleanPath only edits the text, so the
    // bytes kept in it stay.
    const QString path = QDir::cleanPath(filepath::absolutePath(given));
    const QByteArray bytes = filepath::pathToBytes(path);
    auto fail = [this, &path](const QString &cause) {
        seams::showError(this, QStringLiteral("无法打开 %1\n%2").arg(filepath::displayPath(path), cause));
        return false;
    };

    struct stat st {};
    if (::stat(bytes.constData(), &st) != 0)
        return fail(openFailureCause(errno));
    const bool isFolder = S_ISDIR(st.st_mode);
    if (!isFolder && !S_ISREG(st.st_mode))
        return fail(QStringLiteral("不是文件或文件夹"));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = isFolder ? path : slash > 0 ? path.left(slash) : QStringLiteral("/");
    // The folder must be listable and a file readable, or nothing could be shown.
    if (::access(filepath::pathToBytes(folder).constData(), R_OK | X_OK) != 0
        || (!isFolder && ::access(bytes.constData(), R_OK) != 0))
        return fail(openFailureCause(errno));

    // The catalogue is listed anew once no scan runs; a scan held by a modal
    // window (its error box, say) is waited for.
    if (!stopScanNow()) {
        QTimer::singleShot(OpenRetryMs, this, [this, given] { openPath(given); });
        return true;
    }
    const QTreeWidgetItem *before = ShellTreeView1->currentItem();
    if (!ShellTreeView1->selectFolderPath(folder))
        return fail(QStringLiteral("文件夹树中没有这个文件夹 (隐藏的文件夹不显示)"));
    if (ShellTreeView1->currentItem() == before)
        ScanFolder(); // the same folder: no change was raised
    // The file is selected (or gets the catalogue's box) once the listing answers.
    // Its path as the catalogue writes it: the tree's folder and the name.
    m_selectAfterListing = isFolder ? QString()
                                    : filepath::join(ShellTreeView1->SelectedFolderPath(), filepath::fileName(path));
    return true;
}

void TForm1::openStartPath()
{
    const QString path = std::exchange(m_startPath, QString());
    // A path that cannot be opened leaves the tree on its first folder, whose
    // catalogue is listed after the one error box.
    if (!path.isEmpty() && !openPath(path) && !m_closing)
        ScanFolder();
}

void TForm1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent *event)
{
    const QString path = droppedPath(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop has finished, so the file manager is not kept
    // waiting while an error box is open.
    QTimer::singleShot(0, this, [this, path] { openPath(path); });
}
