// TForm1: construction, layout, commands, minimum size and the owner-drawn
// details. The catalogue scan is in catalogue.cpp, the inspection and playback
// in inspection.cpp.
#include "app/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/artwork.h"
#include "app/widgets.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "dialogs/about.h"
#include "dialogs/cutdlg.h"
#include "dialogs/help.h"
#include "imaging/thumbnail.h"

namespace {

const QColor WindowColor(210, 233, 255);
const QColor HighlightedCaption(160, 32, 0);
constexpr int DesignWidth = 800;
constexpr int DesignHeight = 580;
// Folder reading mostly waits on the file system; a second thread keeps one
// folder that hangs (a network mount gone away) from holding up all the others.
constexpr int FolderReadingThreads = 2;

std::unique_ptr<JobRunner> orPool(std::unique_ptr<JobRunner> runner, int threads)
{
    return runner ? std::move(runner) : std::make_unique<PoolJobRunner>(threads);
}

void paintBackground(QWidget *w, const QColor &color)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

// The frame list's pictures: the inspection's thumbnail store, made on demand.
class FrameThumbnailSource final : public PictureSource {
public:
    explicit FrameThumbnailSource(FrameInspection *inspection) : m_inspection(inspection) {}
    int pictureCount() const override { return m_inspection->frameCount(); }
    QImage picture(int index) override { return m_inspection->thumbnail(index); }

private:
    FrameInspection *m_inspection;
};

// The catalogue's pictures: the bounded store, remade on demand.
class CatalogueThumbnailSource final : public PictureSource {
public:
    explicit CatalogueThumbnailSource(CatalogueThumbnails *store) : m_store(store) {}
    int pictureCount() const override { return m_store->count(); }
    QImage picture(int index) override { return m_store->picture(index); }

private:
    CatalogueThumbnails *m_store;
};

TForm1::TForm1(QWidget *parent) : TForm1(Options{}, parent) {}

TForm1::TForm1(Options options, QWidget *parent)
    : QWidget(parent),
      m_runner(orPool(std::move(options.runner), 0)),
      m_scan(std::make_unique<CatalogueScan>(
          m_runner.get(),
          CatalogueScan::Hooks{
              // A modal window or an open menu holds the scan (and its boxes).
              [] { return seams::modalDepth() > 0 || QApplication::activePopupWidget(); },
              [this](int row, CatalogueScan::Item &item) { applyItem(row, item); },
              [this] { endScan(); },
              [this] { scanFailed(); },
              [this] { return ListView1->items()->count(); }})),
      m_folderRunner(orPool(std::move(options.folderRunner), FolderReadingThreads)),
      m_thumbs(std::make_unique<CatalogueThumbnails>(m_runner.get())),
      Scanning(m_scan->scanning),
      CancelScan(m_scan->stopRequested),
      // Two threads: the pass over the frames and the thumbnails made on demand.
      m_inspectionRunner(orPool(std::move(options.inspectionRunner), 2))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("FalorenGIF动画分解器 1.0"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    paintBackground(this, WindowColor);

    ImageList1 = new PictureList(QSize(ThumbnailSize, ThumbnailSize), this);
    m_catalogueSource = std::make_unique<CatalogueThumbnailSource>(m_thumbs.get());
    ImageList1->setSource(m_catalogueSource.get());
    connect(m_thumbs.get(), &CatalogueThumbnails::pictureReady, ImageList1, &PictureList::sourceChanged);
    // Picture i of the catalogue is row i - 1's (picture 0 is the shared placeholder).
    m_thumbs->setOnScreen([this](int index) {
        const QModelIndex row = ListView1->model()->index(index - 1, 0);
        return row.isValid() && ListView1->isVisible()
               && ListView1->visualRect(row).intersects(ListView1->viewport()->rect());
    });
    ImageList2 = new PictureList(QSize(ThumbnailSize, ThumbnailSize), this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(PlayTickMs);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(m_scan.get(), &CatalogueScan::progressed, this, &TForm1::scanProgressed);

    m_inspection = std::make_unique<FrameInspection>(m_inspectionRunner.get());
    m_frameSource = std::make_unique<FrameThumbnailSource>(m_inspection.get());
    ImageList2->setSource(m_frameSource.get());
    connect(m_inspection.get(), &FrameInspection::opened, this, &TForm1::inspectionOpened);
    connect(m_inspection.get(), &FrameInspection::framesListed, this, &TForm1::inspectionListed);
    connect(m_inspection.get(), &FrameInspection::thumbnailReady, this, &TForm1::inspectionThumbnail);
    connect(m_inspection.get(), &FrameInspection::finished, this, [this] { inspectionDone(true); });
    connect(m_inspection.get(), &FrameInspection::failed, this, [this] { inspectionDone(false); });

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    buildToolbar();
    outer->addWidget(Panel1);
    buildBody();
    outer->addWidget(Panel2, 1);

    // Designed on the window; the status bar takes it into panel 0 when it paints.
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(0, 528, 233, 17);
    ProgressBar1->raise();

    resize(DesignWidth, DesignHeight);

    // Keyboard access to the toolbar, whose flat buttons take no focus.
    auto shortcut = [this](const QKeySequence &keys, void (TForm1::*handler)()) {
        auto *s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence(Qt::Key_F5), &TForm1::SpeedButton8Click);
    shortcut(QKeySequence(Qt::Key_F1), &TForm1::SpeedButton5Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &TForm1::SpeedButton1Click);
    // The desktop's quit key (Ctrl+Q, whatever key scheme the platform reports)
    // goes through the exit question, like "退 出".
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), &TForm1::SpeedButton11Click);

    // The catalogue, the status bar and the change connection exist now; building
    // the tree's root selects it and so runs the first scan.
    connect(ShellTreeView1, &TShellTreeView::OnChange, this, &TForm1::ShellTreeView1Change);
    ShellTreeView1->setJobRunner(m_folderRunner.get());
    m_startPath = options.startPath;
    if (!m_startPath.isEmpty())
        QTimer::singleShot(0, this, &TForm1::openStartPath);
    if (!options.treeRoot.isEmpty())
        ShellTreeView1->setRoot(options.treeRoot);
    ShellTreeView1->Loaded();
    setUpDesktopExtras();
}

TForm1::~TForm1()
{
    m_closing = true;
    // Jobs report to this window: stop them and wait before it goes away.
    m_inspection->shutDown();
    ImageList2->setSource(nullptr);
    ImageList1->setSource(nullptr);
    m_scan->stopJobs();
    stopFolderReading();
}

void TForm1::stopFolderReading()
{
    m_listing.cancel();
    m_listingBusy.reset();
    m_folderRunner->cancelQueued();
    m_folderRunner->waitForRunning();
    // The tree outlives the runner (a member goes before the child widgets).
    ShellTreeView1->setJobRunner(nullptr);
}

void TForm1::CreateDialogs()
{
    if (!AboutDlg)
        AboutDlg = new TAboutDlg(this);
    if (!CUTDlg)
        CUTDlg = new TCUTDlg(this);
    if (!helpDlg)
        helpDlg = new ThelpDlg(this);
}

void TForm1::buildToolbar()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(45);
    paintBackground(Panel1, WindowColor);

    auto button = [this](const char *name, const QString &caption, artwork::Tool tool, int x,
                         void (TForm1::*handler)()) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setIcon(artwork::toolIcon(tool));
        b->setIconSize(QSize(32, 32));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(x, 4, 85, 35);
        connect(b, &QToolButton::clicked, this, handler);
        return b;
    };
    auto bevel = [this](const char *name, int x) {
        auto *f = new QFrame(Panel1);
        f->setObjectName(QLatin1String(name));
        f->setFrameShape(QFrame::VLine);
        f->setFrameShadow(QFrame::Sunken);
        f->setGeometry(x, 2, 2, 40);
        return f;
    };
    SpeedButton1 = button("SpeedButton1", QStringLiteral("分解"), artwork::Tool::Split, 8,
                          &TForm1::SpeedButton1Click);
    Bevel1 = bevel("Bevel1", 104);
    SpeedButton8 = button("SpeedButton8", QStringLiteral("刷新"), artwork::Tool::Refresh, 112,
                          &TForm1::SpeedButton8Click);
    SpeedButton5 = button("SpeedButton5", QStringLiteral("帮  助"), artwork::Tool::Help, 208,
                          &TForm1::SpeedButton5Click);
    SpeedButton10 = button("SpeedButton10", QStringLiteral("关 于"), artwork::Tool::About, 304,
                           &TForm1::SpeedButton10Click);
    Bevel2 = bevel("Bevel2", 400);
    SpeedButton11 = button("SpeedButton11", QStringLiteral("退 出"), artwork::Tool::Exit, 416,
                           &TForm1::SpeedButton11Click);
}

void TForm1::buildBody()
{
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    paintBackground(Panel2, WindowColor);
    auto *body = new QVBoxLayout(Panel2);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Horizontal, Panel2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(6);
    Splitter1->setChildrenCollapsible(false);
    paintBackground(Splitter1, WindowColor);

    ShellTreeView1 = new TShellTreeView(Splitter1);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setObjectTypes(shell::otFolders);
    ShellTreeView1->setUseShellImages(true);
    ShellTreeView1->setAutoRefresh(false);
    ShellTreeView1->setRightClickSelect(true);
    ShellTreeView1->setShowRoot(false);
    ShellTreeView1->setIndent(19);
    ShellTreeView1->viewport()->setCursor(Qt::ArrowCursor);
    {
        QPalette pal = ShellTreeView1->palette();
        pal.setColor(QPalette::Base, Qt::white);
        ShellTreeView1->setPalette(pal);
    }

    Panel3 = new QWidget(Splitter1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    paintBackground(Panel3, WindowColor);
    auto *right = new QVBoxLayout(Panel3);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);

    ListView1 = new IconListView(Panel3);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setPictureList(ImageList1);
    right->addWidget(ListView1, 1);

    PageControl1 = new TPageControl(Panel3);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFixedHeight(179);
    PageControl1->pageTabBar()->drawTab = [this](QPainter &canvas, int index) {
        PageControl1DrawTab(canvas, index);
    };
    right->addWidget(PageControl1);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto *sheet1 = new QVBoxLayout(TabSheet1);
    sheet1->setContentsMargins(0, 0, 0, 0);
    ListView2 = new IconListView(TabSheet1);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView2->setPictureList(ImageList2);
    // Every frame cell has the same size: the list lays out ten thousand frames
    // without measuring each one as the inspection adds them.
    ListView2->setUniformItemSizes(true);
    sheet1->addWidget(ListView2);
    PageControl1->addTab(TabSheet1, QStringLiteral("GIF分解图片"));

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    paintBackground(TabSheet2, WindowColor);
    buildInfoGroup();
    PageControl1->addTab(TabSheet2, QStringLiteral("GIF动画播放"));
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);

    Splitter1->addWidget(ShellTreeView1);
    Splitter1->addWidget(Panel3);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({248, DesignWidth - 248 - 6});
    body->addWidget(Splitter1, 1);

    Image2 = new TImage(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(56, 184, ThumbnailSize, ThumbnailSize);
    Image2->setPicture(placeholderPicture());
    Image2->hide();

    StatusBar1 = new TStatusBar(Panel2);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    paintBackground(StatusBar1, WindowColor);
    StatusBar1->addPanel(250, true);
    StatusBar1->addPanel(120);
    StatusBar1->addPanel(50);
    StatusBar1->drawPanel = [this](int panel, const QRect &rect) {
        StatusBar1DrawPanel(panel, rect);
    };
    body->addWidget(StatusBar1);

    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TForm1::ListView1Change);
    connect(ListView1, &IconListView::selectedItemPressedAgain, this, &TForm1::ListView1Change);
    connect(ListView1, &IconListView::doubleClickedAnywhere, this, &TForm1::SpeedButton1Click);
}

void TForm1::buildInfoGroup()
{
    auto *sheet2 = new QVBoxLayout(TabSheet2);
    sheet2->setContentsMargins(0, 0, 0, 0);

    Image1 = new TImage(TabSheet2);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 20, ThumbnailSize, ThumbnailSize);
    Image1->hide();
    Image3 = new TImage(TabSheet2);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(16, 20, ThumbnailSize, ThumbnailSize);
    Image3->hide();

    GroupBox1 = new QGroupBox(QStringLiteral("图片信息"), TabSheet2);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    paintBackground(GroupBox1, WindowColor);
    sheet2->addWidget(GroupBox1);

    Panel4 = new QWidget(GroupBox1);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(12, 20, ThumbnailSize, ThumbnailSize);
    paintBackground(Panel4, Qt::white);
    Image4 = new TImage(Panel4);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->setGeometry(0, 0, ThumbnailSize, ThumbnailSize);

    auto label = [this](const char *name, const QString &text, int x, int y) {
        auto *l = new QLabel(text, GroupBox1);
        l->setObjectName(QLatin1String(name));
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    auto field = [this](const char *name, int x, int y) {
        auto *e = new TFlatEdit(GroupBox1);
        e->setObjectName(QLatin1String(name));
        e->setColorFlat(clWhite);
        e->setGeometry(x, y, 145, 18);
        return e;
    };
    Label4 = label("Label4", QStringLiteral("图片尺寸:"), 152, 32);
    FlatEdit4 = field("FlatEdit4", 216, 28);
    Label2 = label("Label2", QStringLiteral("动画帧数:"), 152, 60);
    FlatEdit3 = field("FlatEdit3", 216, 56);
    Label1 = label("Label1", QStringLiteral("动画时长:"), 152, 87);
    FlatEdit2 = field("FlatEdit2", 216, 84);
    Label3 = label("Label3", QStringLiteral("循环播放:"), 152, 116);
    FlatEdit1 = field("FlatEdit1", 216, 112);
    // Each label names its field for assistive technology (the captions carry
    // no mnemonics, so the buddies add no shortcut keys).
    Label4->setBuddy(FlatEdit4);
    Label2->setBuddy(FlatEdit3);
    Label1->setBuddy(FlatEdit2);
    Label3->setBuddy(FlatEdit1);
}

QImage TForm1::placeholderPicture()
{
    return artwork::placeholderPicture();
}

// --- commands -------------------------------------------------------------------

void TForm1::SpeedButton1Click()
{
    if (m_inspection->running()) {
        // The dialog opens on the complete frame list, when the inspection ends.
        m_exportAfterInspection = true;
        return;
    }
    if (ListView2->items()->count() == 0 || !CUTDlg)
        return;
    CUTDlg->LoadFrameList(ListView2);
    seams::execModal(CUTDlg);
}

void TForm1::SpeedButton8Click()
{
    ShellTreeView1->refreshSelectedFolder();
    if (Scanning) {
        m_scan->requestStop();
        return;
    }
    ScanFolder();
}

void TForm1::ShellTreeView1Change()
{
    // The root selected while the start path waits: a broken file there must
    // not greet the user before the path's folder opens.
    if (!m_startPath.isEmpty())
        return;
    // The frame list of a GIF of the old folder stops filling in.
    cancelInspection();
    if (Scanning) {
        // The catalogue must belong to the selected folder: stop, then scan it.
        m_rescanWanted = true;
        m_scan->requestStop();
        return;
    }
    ScanFolder();
}

void TForm1::SpeedButton5Click()
{
    if (helpDlg)
        seams::execModal(helpDlg);
}

void TForm1::SpeedButton10Click()
{
    if (AboutDlg)
        seams::execModal(AboutDlg);
}

void TForm1::SpeedButton11Click()
{
    const seams::MsgResult answer =
        seams::showMessage(this, QStringLiteral("你确定要退出吗?"), QStringLiteral("提示"),
                           seams::MsgIcon::Information, seams::MsgButtons::YesNo);
    if (answer != seams::MsgResult::No)
        close();
}

// --- window size --------------------------------------------------------------------

void TForm1::FormResize()
{
    // The limits are on the outer size; the frame is known only once shown.
    const QSize frame = frameGeometry().size() - size();
    QSize outer = size() + frame;
    bool changed = false;
    if (outer.width() < DesignWidth) {
        outer.setWidth(DesignWidth);
        changed = true;
    }
    if (outer.height() < DesignHeight) {
        outer.setHeight(DesignHeight);
        changed = true;
    }
    if (changed)
        resize(outer - frame);
}

void TForm1::applyMinimumSize()
{
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(QSize(DesignWidth, DesignHeight) - frame);
}

void TForm1::placeAtStart()
{
    const QSize frame = frameGeometry().size() - size();
    resize(QSize(DesignWidth, DesignHeight) - frame);
    if (QScreen *screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.x() + (avail.width() - DesignWidth) / 2,
             avail.y() + (avail.height() - DesignHeight) / 2);
    }
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    StatusBar1DrawPanel(0, StatusBar1->panelRect(0));
    if (m_placed)
        return;
    m_placed = true;
    placeAtStart();
    applyMinimumSize();
    // The window manager adds its frame after the first show: size and centre the
    // outer frame again once it is known.
    QTimer::singleShot(0, this, [this] {
        placeAtStart();
        applyMinimumSize();
    });
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program: the scan's workers must be finished before the
    // imaging engine shuts down.
    m_closing = true;
    Timer1->stop();
    cancelInspection();
    m_inspection->shutDown();
    m_scan->abandon();
    m_scan->stopJobs();
    stopFolderReading();
    event->accept();
}

// --- owner-drawn details -------------------------------------------------------------

void TForm1::PageControl1DrawTab(QPainter &canvas, int tabIndex)
{
    // Both captions are written at fixed places in the page control's coordinates,
    // then the one being painted again in the highlight colour; the selected tab is
    // painted last, so its caption ends up highlighted.
    // The captions are drawn without anti-aliasing, so that a caption written again
    // in another colour covers the earlier one exactly; the tab face shows
    // through (the toolkit's tab face is a gradient, no single brush colour).
    TPageTabBar *bar = PageControl1->pageTabBar();
    const QPoint origin = bar->mapFrom(PageControl1, QPoint(0, 0));
    QFont font = bar->font();
    font.setStyleStrategy(QFont::NoAntialias);
    canvas.setFont(font);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const int ascent = QFontMetrics(font).ascent();
    auto write = [&](int x, int y, const QString &text) {
        canvas.drawText(origin + QPoint(x, y + ascent), text);
    };
    canvas.setPen(Qt::black);
    write(8, 5, PageControl1->tabText(0));
    write(85, 5, PageControl1->tabText(1));
    canvas.setPen(HighlightedCaption);
    if (tabIndex == 0)
        write(8, 5, PageControl1->tabText(0));
    else if (tabIndex == 1)
        write(85, 5, PageControl1->tabText(1));
}

void TForm1::StatusBar1DrawPanel(int panel, const QRect &rect)
{
    if (panel != 0)
        return;
    if (ProgressBar1->parentWidget() != StatusBar1) {
        // Re-parenting hides a widget; its visibility is the scan's business.
        const bool visible = !ProgressBar1->isHidden();
        ProgressBar1->setParent(StatusBar1);
        ProgressBar1->setVisible(visible);
    }
    const QRect place(rect.left(), rect.top(), StatusBar1->panel(0).width, rect.height());
    if (ProgressBar1->geometry() != place)
        ProgressBar1->setGeometry(place);
}
