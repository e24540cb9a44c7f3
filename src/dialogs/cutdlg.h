#pragma once
// TCUTDlg: the export dialog ("GIF分解"). Shows the frames of the GIF inspected in
// the main window, lets the user choose a folder, a format and all or the
// selected frames, and writes them as picture files. Created once and shown
// modally again and again; the folder and both choices last for the whole run of
// the program and are never saved. GUI thread only; owned by the main window.
//
// The export run goes to a worker job; the dialog stays live. A run that lasts
// longer than ProgressDelayMs shows a modal progress window with a way out.
// While a run is going, the dialog's controls are disabled and it cannot be
// closed, so the frame list cannot change under the run.

#include <QDialog>

#include "dialogs/runprogress.h"

#include <functional>
#include <memory>

#include "core/exportrun.h"
#include "core/jobs.h"

class IconListView;
class QGroupBox;
class QLabel;
class QToolButton;
class TFlatEdit;
class TFlatComboBox;
class QProgressBar;
class QPushButton;

class TCUTDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCUTDlg(QWidget *parent);
    ~TCUTDlg() override;

    // Where export runs go (not owned; null for the dialog's own thread pool).
    void setJobRunner(JobRunner *runner);
    // How long a run goes before the progress window shows, in milliseconds.
    int ProgressDelayMs = 500;
    // Called on the run's thread before each file's frame is selected (tests).
    std::function<void(int k)> beforeExportFrame;

    bool exportRunning() const { return m_running; }
    // Asks the running export to stop after the files being written.
    void CancelExport();
    TRunProgress *progressWindow() const { return m_progress; }

    // Copies the items of the main window's frame list (captions, sub-items,
    // image indexes) into ListView1 and shows them with the frame list's own
    // PictureList. Never reports a failure.
    void LoadFrameList(const IconListView *frameList);

    // "分解图片": the export run.
    void SpeedButton1Click();
    // "退出": ends the modal showing.
    void SpeedButton2Click();
    // "浏览": the folder choice.
    void SpeedButton3Click();

    // Asks for a folder ("请选择", starting at the desktop folder). Returns false
    // when the user cancels; otherwise stores the folder's path in `path`.
    bool BrowseForFolder(QString &path);

    IconListView *ListView1;
    QGroupBox *GroupBox1;
    QLabel *Label1;
    TFlatEdit *FlatEdit1;
    QToolButton *SpeedButton3;
    QLabel *Label2;
    TFlatComboBox *FlatComboBox1;
    QLabel *Label3;
    TFlatComboBox *FlatComboBox2;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton2;

signals:
    // A run ended (finished, failed or cancelled) and its message, if any, was shown.
    void exportFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void startExport(const ExportRequest &request);
    void exportProgressed(int number, int done, int total);
    void exportDone(int number, const ExportResult &result, bool outOfMemory);
    void setControlsEnabled(bool enabled);

    std::unique_ptr<JobRunner> m_ownRunner;
    JobRunner *m_runner = nullptr;
    RequestSequence m_exports;
    bool m_running = false;
    TRunProgress *m_progress = nullptr;
};
