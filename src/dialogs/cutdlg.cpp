#include "dialogs/cutdlg.h"

#include "controls/resources.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <utility>

#include "controls/flat/flatcombobox.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/seams.h"
#include "dialogs/exportwords.h"
#include "imaging/exportnames.h"

namespace {

const QColor kBackground(210, 233, 255);

QIcon picture(const QString &name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/export/%1.png").arg(name));
    icon.addFile(QStringLiteral(":/export/%1@2x.png").arg(name));
    return icon;
}

QToolButton *flatButton(QWidget *parent, const QString &caption, const QString &pictureName,
                        int pictureSize, Qt::ToolButtonStyle style, const QRect &place)
{
    auto *b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(picture(pictureName));
    b->setIconSize(QSize(pictureSize, pictureSize));
    b->setToolButtonStyle(style);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setGeometry(place);
    return b;
}

QLabel *label(QWidget *parent, const QString &text, int x, int y)
{
    auto *l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

// The folder field's text without leading and trailing blanks and control characters.
QString trimmedFolderText(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// The desktop folder the folder picker starts in: the XDG desktop directory when
// it exists, else the home folder.
QString desktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QDir(desktop).exists())
        return desktop;
    return QDir::homePath();
}

// The worker reports progress at most this often, in milliseconds.
constexpr int ProgressReportMs = 30;

} // namespace

TCUTDlg::TCUTDlg(QWidget *parent) : QDialog(parent)
{
    ensureResources();
    setWindowTitle(QStringLiteral("GIF分解"));
    // A fixed dialog border: no resizing, no maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(685, 390);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);
    setAutoFillBackground(true);

    ListView1 = new IconListView(this);
    ListView1->setGeometry(0, 0, 685, 313);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    {
        QPalette lp = ListView1->palette();
        const QColor info = QApplication::palette().color(QPalette::ToolTipBase);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            lp.setColor(group, QPalette::Base, info);
        ListView1->setPalette(lp);
    }

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(2, 313, 511, 75);

    Label1 = label(GroupBox1, QStringLiteral("文件存放目录          "), 8, 18);

    FlatEdit1 = new TFlatEdit(GroupBox1);
    FlatEdit1->setGeometry(104, 14, 321, 19);
    FlatEdit1->setReadOnly(true);
    FlatEdit1->setColorFlat(clWhite);

    SpeedButton3 = flatButton(GroupBox1, QStringLiteral("浏览"), QStringLiteral("browse"), 16,
                              Qt::ToolButtonTextBesideIcon, QRect(440, 13, 57, 22));

    Label2 = label(GroupBox1, QStringLiteral("文件保存格式          "), 8, 48);

    FlatComboBox1 = new TFlatComboBox(GroupBox1);
    FlatComboBox1->setComboStyle(csDropDownList);
    FlatComboBox1->setGeometry(104, 44, 121, 21);
    // In the order of exportFormats(): GIF, BMP, JPG, TIFF, PNG.
    FlatComboBox1->addItems({QStringLiteral("GIF 格式"), QStringLiteral("BMP 格式"),
                             QStringLiteral("JPG 格式"), QStringLiteral("TIFF 格式"),
                             QStringLiteral("PNG 格式")});
    FlatComboBox1->setCurrentIndex(0);

    Label3 = label(GroupBox1, QStringLiteral("分解出      "), 248, 48);

    FlatComboBox2 = new TFlatComboBox(GroupBox1);
    FlatComboBox2->setComboStyle(csDropDownList);
    FlatComboBox2->setGeometry(304, 44, 121, 21);
    FlatComboBox2->addItem(QStringLiteral("全部的GIF帧"));
    FlatComboBox2->addItem(QStringLiteral("选中的GIF帧"));
    FlatComboBox2->setCurrentIndex(0);

    SpeedButton1 = flatButton(this, QStringLiteral("分解图片"), QStringLiteral("export"), 17,
                              Qt::ToolButtonTextUnderIcon, QRect(528, 320, 65, 62));
    SpeedButton2 = flatButton(this, QStringLiteral("退出"), QStringLiteral("exit"), 19,
                              Qt::ToolButtonTextUnderIcon, QRect(608, 320, 65, 62));

    setTabOrder(ListView1, FlatEdit1);
    setTabOrder(FlatEdit1, SpeedButton3);
    setTabOrder(SpeedButton3, FlatComboBox1);
    setTabOrder(FlatComboBox1, FlatComboBox2);
    setTabOrder(FlatComboBox2, SpeedButton1);
    setTabOrder(SpeedButton1, SpeedButton2);

    setObjectName(QStringLiteral("CUTDlg"));
    const std::pair<QWidget *, const char *> names[] = {
        {ListView1, "ListView1"},         {GroupBox1, "GroupBox1"},
        {Label1, "Label1"},               {FlatEdit1, "FlatEdit1"},
        {SpeedButton3, "SpeedButton3"},   {Label2, "Label2"},
        {FlatComboBox1, "FlatComboBox1"}, {Label3, "Label3"},
        {FlatComboBox2, "FlatComboBox2"}, {SpeedButton1, "SpeedButton1"},
        {SpeedButton2, "SpeedButton2"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    connect(SpeedButton1, &QToolButton::clicked, this, &TCUTDlg::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TCUTDlg::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TCUTDlg::SpeedButton3Click);
}

TCUTDlg::~TCUTDlg()
{
    // The run's job reports to this dialog: let it stop and end first.
    m_exports.cancel();
    if (m_runner)
        m_runner->waitForRunning();
}

void TCUTDlg::setJobRunner(JobRunner *runner)
{
    m_runner = runner;
}

void TCUTDlg::LoadFrameList(const IconListView *frameList)
{
    // The same PictureList as the frame list, not a copy of its pictures.
    ListView1->setPictureList(frameList ? frameList->items()->pictureList() : nullptr);
    IconListModel *items = ListView1->items();
    items->clear();
    if (!frameList)
        return;
    const IconListModel *source = frameList->items();
    for (int row = 0; row < source->count(); ++row) {
        const IconItem &from = source->item(row);
        IconItem copy;
        copy.caption = from.caption;
        copy.subItems = from.subItems.mid(0, 2);
        copy.imageIndex = from.imageIndex;
        items->append(copy);
    }
    ListView1->scrollToTop();
}

void TCUTDlg::SpeedButton1Click()
{
    const QString folderText = FlatEdit1->text();
    if (trimmedFolderText(folderText).isEmpty()) {
        seams::showError(this, QStringLiteral("请选择图片保存位置!"));
        return;
    }
    const IconListModel *items = ListView1->items();
    if (items->count() == 0 || items->item(0).subItems.isEmpty())
        return;

    ExportRequest request;
    request.source = items->item(0).subItems.at(0);
    request.folder = exportFolder(folderText);
    request.formatIndex = FlatComboBox1->currentIndex();
    if (FlatComboBox2->currentIndex() == 0) {
        request.allFrames = true;
        request.listedFrames = items->count();
    } else {
        for (int row : ListView1->selectedRows())
            request.frames.push_back(row);
    }
    if (!request.allFrames && request.frames.empty()) {
        seams::showError(this, QStringLiteral("请先选择要分解的GIF帧!"));
        return;
    }

    startExport(request);
}

void TCUTDlg::startExport(const ExportRequest &request)
{
    if (!m_runner) {
        m_ownRunner = std::make_unique<PoolJobRunner>(1);
        m_runner = m_ownRunner.get();
    }
    const Request run = m_exports.next();
    m_running = true;
    setControlsEnabled(false);
    setCursor(Qt::BusyCursor);
    if (!m_progress) {
        m_progress = new TRunProgress(this, QStringLiteral("ExportProgress"), QStringLiteral("分解GIF帧"), QStringLiteral("正在保存第%1个文件, 共%2个文件"));
        connect(m_progress, &TRunProgress::cancelRequested, this, &TCUTDlg::CancelExport);
    }
    m_progress->setProgress(0, request.allFrames ? request.listedFrames : int(request.frames.size()));
    m_progress->showAfter(ProgressDelayMs);

    // The job posts to `dialog`, which waits for its jobs before it goes
    // (~TCUTDlg); `self` is looked at only where the results arrive, on the
    // dialog's thread, never in the job.
    TCUTDlg *dialog = this;
    QPointer<TCUTDlg> self(this);
    const std::function<void(int)> before = beforeExportFrame;
    m_runner->start([dialog, self, request, run, before] {
        ExportControl control;
        control.cancel = run.cancelled;
        control.beforeFrame = before;
        auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        control.progress = [&](int done, int total) {
            const auto now = std::chrono::steady_clock::now();
            if (done < total && now - last < std::chrono::milliseconds(ProgressReportMs))
                return;
            last = now;
            postTo(dialog, [self, run, done, total] {
                if (self)
                    self->exportProgressed(run.number, done, total);
            });
        };
        ExportResult result;
        bool outOfMemory = false;
        try {
            result = runExport(request, control);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
        postTo(dialog, [self, run, result, outOfMemory] {
            if (self)
                self->exportDone(run.number, result, outOfMemory);
        });
    });
}

void TCUTDlg::exportProgressed(int number, int done, int total)
{
    if (number == m_exports.current().number && m_running && m_progress)
        m_progress->setProgress(done, total);
}

void TCUTDlg::exportDone(int number, const ExportResult &result, bool outOfMemory)
{
    if (number != m_exports.current().number || !m_running)
        return;
    m_running = false;
    if (m_progress)
        m_progress->end();
    unsetCursor();
    setControlsEnabled(true);
    if (outOfMemory) {
        seams::showError(this, QStringLiteral("内存不足, 未能分解全部的GIF帧。"));
    } else if (result.cancelled) {
        seams::showMessage(this, exportCancelledText(result), QStringLiteral("提示"),
                           seams::MsgIcon::Information);
    } else {
        const QString report = exportFailureReport(result);
        if (!report.isEmpty())
            seams::showError(this, report);
    }
    emit exportFinished();
}

void TCUTDlg::CancelExport()
{
    if (m_running)
        m_exports.cancel();
}

void TCUTDlg::setControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{ListView1, FlatEdit1, SpeedButton3,
                                                       FlatComboBox1, FlatComboBox2, SpeedButton1,
                                                       SpeedButton2})
        w->setEnabled(enabled);
}

void TCUTDlg::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TCUTDlg::reject()
{
    // Esc and "退出" do nothing while a run writes; the progress window's
    // "取消" is the way out.
    if (m_running)
        return;
    QDialog::reject();
}

void TCUTDlg::SpeedButton2Click() { reject(); }

void TCUTDlg::SpeedButton3Click()
{
    QString path;
    if (BrowseForFolder(path))
        FlatEdit1->setText(path);
}

bool TCUTDlg::BrowseForFolder(QString &path)
{
    const QString chosen =
        seams::folderPicker().pickFolder(this, QStringLiteral("请选择"), desktopFolder());
    if (chosen.isEmpty())
        return false;
    path = chosen;
    return true;
}

void TCUTDlg::keyPressEvent(QKeyEvent *event)
{
    // Tool buttons answer only to the space bar; Enter on a focused button should
    // press it too, as on any dialog button. Enter elsewhere starts nothing.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        for (QToolButton *button : {SpeedButton1, SpeedButton2, SpeedButton3})
            if (button->hasFocus()) {
                if (button->isEnabled())
                    button->click();
                return;
            }
    }
    QDialog::keyPressEvent(event);
}

void TCUTDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    // Shown events arrive before the window is mapped, so it never appears elsewhere first.
    QRect frame = frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    if (const QScreen *screen = owner->screen()) {
        const QRect avail = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), avail.left(),
                                  std::max(avail.left(), avail.right() - frame.width() + 1)));
        frame.moveTop(std::clamp(frame.top(), avail.top(),
                                 std::max(avail.top(), avail.bottom() - frame.height() + 1)));
    }
    move(frame.topLeft());
}
