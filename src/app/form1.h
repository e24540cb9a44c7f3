#pragma once
// TForm1: the main window. It holds the folder tree, the GIF catalogue (filled
// by a scan of the selected folder), the frame list of the GIF selected in the
// catalogue, the information group with the animation preview, the status bar
// with the scan's progress bar, and the toolbar of five commands.
//
// The scan lists the folder at once (placeholders), then thumbnail jobs run on
// a JobRunner and one driver on the GUI thread applies their results strictly in
// catalogue order, never while a modal window is open. The inspection of the
// selected GIF is synchronous. GUI thread only.

#include <QImage>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "app/jobrunner.h"

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
class ThelpDlg;
class TShellTreeView;
class TGPImage;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    struct Options {
        // Root of the folder tree: empty for the desktop, else a folder path.
        QString treeRoot;
        // Where thumbnail jobs run; null for the program's thread pool.
        std::unique_ptr<JobRunner> runner;
    };

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
    ThelpDlg *helpDlg = nullptr;

    // --- scan flags and playback counters ----------------------------------
    bool Scanning = false;
    bool CancelScan = false;
    std::int32_t PlayElapsed = 0;
    std::int32_t PlayFrame = 0;

    // Most frames the frame list holds (about 570 MB of thumbnails); a GIF with
    // more shows only these. Tests lower it.
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
    void ListFolderGifs(const QString &folder);
    static bool IsSubfolderEntry(const QString &name, bool isDirectory);
    void AddGifItem(const QString &path);
    // The thumbnail of a catalogue item, made by a worker job: frame 0 in its
    // thumbnail box, or a null image when the file is no picture.
    static QImage RenderThumbnail(const QString &path);

    // --- inspection -------------------------------------------------------------
    void InspectGif(const QString &path);
    // Thumbnails of the first `count` frames of `image` (loaded from `path`),
    // drawn on this thread and on worker threads; returns when all are done.
    static std::vector<QImage> FrameThumbnails(const QString &path, TGPImage &image,
                                               std::uint32_t count);
    // "S 秒 M 毫秒" for a duration in milliseconds.
    static QString DurationText(std::int64_t milliseconds);

    // The placeholder picture (white, a picture-document icon at its centre).
    static QImage PlaceholderPicture();

    // --- opening a path (command line, drop) ------------------------------------
    // Shows the folder at `path` in the tree and its catalogue; for a file, its
    // folder, with the file selected and inspected when the catalogue lists it.
    // A path that cannot be opened gets one error box and leaves the tree where
    // it was. Returns false after an error box.
    bool OpenPath(const QString &path);
    // Why a path cannot be opened, in Chinese, for an errno value.
    static QString OpenFailureCause(int error);

signals:
    // After the scan driver applied an item or ended a scan; for tests and the benchmark.
    void scanProgressed();
    void scanEnded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct ScanResult {
        int scan = 0;
        int row = 0;
        QImage picture; // null when the file is no picture
        QString sizeText;
        bool quiet = false; // the job failed in a way that shows no message
    };

    void buildToolbar();
    void buildBody();
    void buildInfoGroup();
    void applyMinimumSize();
    void placeAtStart();

    void submitJobs();
    void thumbnailReady(ScanResult result);
    void driveScan();
    // Applies ready results in order; true when the scan ended.
    bool driveItems();
    void scheduleDrive(int delayMs);
    void applyItem(int row, ScanResult &result);
    void endScan();
    void cancelJobs();
    void stopJobs();

    void setUpDesktopExtras();
    void ListView1EnterPressed(int row);
    // Stops a running scan at once; false while a modal window holds it.
    bool stopScanNow();

    void playbackStart();
    void playbackStep();
    void showPreview(const QImage &picture);

    std::unique_ptr<JobRunner> m_runner;

    // Scan state: results wait in m_ready until the driver reaches their row.
    int m_scanNumber = 0;
    std::vector<QString> m_scanPaths;
    int m_nextApply = 0;
    int m_nextSubmit = 0;
    std::map<int, ScanResult> m_ready;
    std::shared_ptr<std::atomic_bool> m_jobsCancelled;
    bool m_driving = false;
    bool m_driveScheduled = false;
    bool m_rescanWanted = false;
    QTimer *m_driveTimer = nullptr;

    bool m_placed = false;
    bool m_closing = false;
};
