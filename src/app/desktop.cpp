// TForm1 on the desktop: opening a folder or file given on the command line or
// dropped from a file manager, the catalogue's Enter key and the toolbar's tips.
#include "app/form1.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/filepath.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"

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
    SpeedButton1->setToolTip(QStringLiteral("分解 (Ctrl+D)"));
    SpeedButton8->setToolTip(QStringLiteral("刷新 (F5)"));
    SpeedButton5->setToolTip(QStringLiteral("帮助 (F1)"));
    SpeedButton10->setToolTip(QStringLiteral("关于"));
    SpeedButton11->setToolTip(QStringLiteral("退出 (Ctrl+Q)"));
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
