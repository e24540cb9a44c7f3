#pragma once
// TForm1: the main window. It holds the folder tree, the GIF catalogue (filled
// by a scan of the selected folder), the frame list of the GIF selected in the
// catalogue, the information group with the animation preview, the status bar
// with the scan's progress bar, and the toolbar of five commands.
//
// A job lists the folder (the busy cursor shows meanwhile, a newer folder wins)
// and the catalogue appears with placeholders; the catalogue model
// (core/cataloguescan.h) runs the thumbnail jobs and applies their results
// through this window strictly in catalogue order, never while a modal window
// is open. The catalogue's thumbnails are held within a fixed bound and made
// again when painted (core/cataloguethumbnails.h). The inspection of the selected GIF runs in the background
// (core/frameinspection.h): the fields and the first frames show at once, the
// frame list fills in while the window stays live, and its thumbnails are made
// on demand within a fixed memory bound. GUI thread only.

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "controls/busycursor.h"
#include "core/cataloguescan.h"
#include "core/cataloguethumbnails.h"
#include "core/frameinspection.h"
#include "core/jobs.h"

class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolButton;
class QPainter;
class IconListView;
class PictureList;
class TFlatEdit;
class TImage;
class TStatusBar;
class TPageControl;
class TAboutDlg;
class TCUTDlg;
class TAnimateDlg;
class ThelpDlg;
class TShellTreeView;
class TGPImage;
class FrameThumbnailSource;
class CatalogueThumbnailSource;
struct IconItem;
class FrameInspector;
class QMenu;

class TForm1 : public QWidget {
    Q_OBJECT

    // The scan's state lives in the catalogue model; made first, so that the
    // scan flags below can name it.
    std::unique_ptr<JobRunner> m_runner;
    std::unique_ptr<CatalogueScan> m_scan;
    // Where folders are read: the catalogue's listing and the tree's children.
    std::unique_ptr<JobRunner> m_folderRunner;
    // The catalogue's pictures, behind ImageList1; remade on the scan's runner.
    std::unique_ptr<CatalogueThumbnails> m_thumbs;

public:
    struct Options {
        // Root of the folder tree: empty for the desktop, else a folder path.
        QString treeRoot;
        // Where thumbnail jobs run; null for the program's thread pool.
        std::unique_ptr<JobRunner> runner;
        // Where the inspection's jobs run; null for a thread pool of its own.
        std::unique_ptr<JobRunner> inspectionRunner;
        // Where folders are read (the catalogue's listing, the tree's children);
        // null for a thread pool of its own.
        std::unique_ptr<JobRunner> folderRunner;
        // A folder or file to open once the event loop runs (the command line's
        // path). The tree's first folder is then not scanned unless the path
        // cannot be opened.
        QString startPath;
    };

    // The playback timer's tick, in milliseconds: each tick advances the
    // playing frame's time by this much.
    static constexpr int PlayTickMs = 10;

    explicit TForm1(QWidget *parent = nullptr);
    explicit TForm1(Options options, QWidget *parent = nullptr);
    ~TForm1() override;

    // Creates the three dialogs, in the order About, export, help. The program
    // calls it right after constructing the window.
    void CreateDialogs();

    // --- controls, under their names -------------------------------------
    QWidget *Panel1;
    QToolButton *SpeedButton1;
    QFrame *Bevel1;
    QToolButton *SpeedButton8;
    QToolButton *SpeedButton5;
    QToolButton *SpeedButton10;
    QFrame *Bevel2;
    QToolButton *SpeedButton11;
    QWidget *Panel2;
    TShellTreeView *ShellTreeView1;
    QSplitter *Splitter1;
    QWidget *Panel3;
    IconListView *ListView1;
    TPageControl *PageControl1;
    QWidget *TabSheet1;
    IconListView *ListView2;
    QWidget *TabSheet2;
    TImage *Image1;
    TImage *Image3;
    QGroupBox *GroupBox1;
    QWidget *Panel4;
    TImage *Image4;
    QLabel *Label4;
    TFlatEdit *FlatEdit4;
    QLabel *Label2;
    TFlatEdit *FlatEdit3;
    QLabel *Label1;
    TFlatEdit *FlatEdit2;
    QLabel *Label3;
    TFlatEdit *FlatEdit1;
    TImage *Image2;
    TStatusBar *StatusBar1;
    QProgressBar *ProgressBar1;
    PictureList *ImageList1;
    PictureList *ImageList2;
    QTimer *Timer1;

    TAboutDlg *AboutDlg = nullptr;
    TCUTDlg *CUTDlg = nullptr;
    TAnimateDlg *AnimateDlg = nullptr;
    ThelpDlg *helpDlg = nullptr;

    // --- scan flags and playback counters ----------------------------------
    // The catalogue model's flags under their names: set while a scan runs,
    // and a stop request honoured before the next item is applied.
    bool &Scanning;
    bool &CancelScan;
    std::int32_t PlayElapsed = 0;
    std::int32_t PlayFrame = 0;

    // Most frames the frame list lists; a GIF with more shows only these. The
    // list's thumbnails are made on demand and held within the inspection's
    // fixed bound, whatever this number. Tests lower it.
    int MaxListedFrames = 10000;

    // --- handlers ---------------------------------------------------------------
    void SpeedButton1Click();
    void SpeedButton8Click();
    void SpeedButton5Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void ShellTreeView1Change();
    void ListView1Change();
    void PageControl1Change();
    void Timer1Timer();
    void FormResize();
    void PageControl1DrawTab(QPainter &canvas, int tabIndex);
    void StatusBar1DrawPanel(int panel, const QRect &rect);

    // --- catalogue --------------------------------------------------------------
    void ScanFolder();
    // Lists `folder` (ending in "/") on a job; the catalogue fills and its scan
    // starts when the job answers. A newer listing replaces this one.
    void ListFolderGifs(const QString &folder);
    // A folder's listing is under way (the busy cursor shows meanwhile).
    bool isListing() const;
    void AddGifItem(const QString &path);
    // The catalogue's pictures: at most CatalogueThumbnails::MaxHeld thumbnails
    // held, the others made again when their items are painted.
    CatalogueThumbnails *catalogueThumbnails() const { return m_thumbs.get(); }

    // --- inspection -------------------------------------------------------------
    // Starts inspecting `path` in the background (cancelling the one before).
    void InspectGif(const QString &path);
    // An inspection is under way: "分解", a double-click and the playback wait
    // for its end.
    bool inspecting() const;
    FrameInspection *inspection() const { return m_inspection.get(); }
    // The frame inspector (made on first use, one per window) and opening it on
    // frame `row` of the frame list.
    FrameInspector *frameInspector();
    void openFrameInspector(int row);
    // The frame list's context menu: "查看帧", "复制帧", "另存为...", then
    // "导出为动画...".
    QMenu *frameListMenu() const { return m_frameListMenu; }
    // "导出为动画" on the selected frames (all frames when none is selected),
    // shown modally; the dialog is made on first use.
    void openAnimateDialog();

    // "S 秒 M 毫秒" for a duration in milliseconds.
    static QString durationText(std::int64_t milliseconds);

    // The placeholder picture (white, a picture-document icon at its centre).
    static QImage placeholderPicture();

    // --- opening a path (command line, drop) ------------------------------------
    // Shows the folder at `path` in the tree and its catalogue; for a file, its
    // folder, with the file selected (scrolled into view) and inspected once the
    // catalogue's listing answers, or the catalogue's error box when it does not
    // list the file. A path that cannot be opened gets one error box at once and
    // leaves the tree where it was; false then.
    bool openPath(const QString &path);
    // Why a path cannot be opened, in Chinese, for an errno value.
    static QString openFailureCause(int error);

signals:
    // After the scan driver applied an item or ended a scan; for tests and the benchmark.
    void scanProgressed();
    void scanEnded();
    // An inspection ended (completed, failed or cancelled) and the window shows
    // its final state; for tests and the benchmark.
    void inspectionEnded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildToolbar();
    void buildBody();
    void buildInfoGroup();
    void applyMinimumSize();
    void placeAtStart();

    // Catalogue model hooks.
    void applyItem(int row, CatalogueScan::Item &item);
    void startItemScan();
    void folderListed(int request, const QString &folder, std::vector<IconItem> items, bool failed);
    void selectNamedFile(const QString &path);
    void endScan();
    void scanFailed();

    // Inspection results.
    void inspectionOpened(int request, const PictureFacts &facts, int listed);
    void inspectionListed(int request, int listed);
    void inspectionThumbnail(int frame);
    void inspectionDone(bool shown);
    void cancelInspection();
    void showInspectionProgress(bool force);

    void setUpDesktopExtras();
    void ListView1EnterPressed(int row);
    void openStartPath();
    void setUpFrameList();
    void frameListCurrentChanged(int row);
    void inspectorStepped(int frame);
    // Stops a running scan at once; false while a modal window holds it.
    bool stopScanNow();
    // Drops the folder listings, waits for running ones and detaches the tree.
    void stopFolderReading();

    void playbackStart();
    void playbackStep();
    void showPreview(const QImage &picture);

    std::unique_ptr<JobRunner> m_inspectionRunner;
    std::unique_ptr<FrameInspection> m_inspection;
    std::unique_ptr<FrameThumbnailSource> m_frameSource;
    std::unique_ptr<CatalogueThumbnailSource> m_catalogueSource;
    bool m_rescanWanted = false;
    bool m_scanQuiet = false; // the scan's error boxes were turned off
    // The catalogue's listing job, its busy cursor while it runs, and the file
    // (a path) to select once it has answered.
    RequestSequence m_listing;
    std::unique_ptr<BusyCursor> m_listingBusy;
    QString m_selectAfterListing;
    // The start path waiting to be opened; the tree's changes scan nothing meanwhile.
    QString m_startPath;

    // The inspection being shown: its path, delays and listing progress.
    QString m_requestedPath;
    QString m_inspectedPath;
    std::vector<std::int64_t> m_inspectedDelays;
    std::uint32_t m_inspectedFrames = 0;
    int m_inspectedListed = 0;
    qint64 m_lastProgressText = -1;
    QElapsedTimer m_progressClock;
    // What waits for the inspection's end.
    bool m_exportAfterInspection = false;
    bool m_playAfterInspection = false;

    FrameInspector *m_inspector = nullptr;
    QMenu *m_frameListMenu = nullptr;

    bool m_placed = false;
    bool m_closing = false;
};
