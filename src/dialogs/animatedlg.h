#pragma once
// TAnimateDlg: "导出为动画". Saves chosen frames of the inspected picture as a
// new GIF, WebP or APNG with core/animate.h: the format, the order, the speed,
// the number of plays and the target file. GUI thread only; owned by the main
// window and shown modally through the seams.
//
// The write runs as a worker job and the dialog stays live. A run that lasts
// longer than ProgressDelayMs shows a progress window whose "取消" stops it;
// a cancelled or failed run leaves no file. While a run goes, the controls are
// disabled and the dialog cannot be closed.

#include <QDialog>

#include "dialogs/runprogress.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "core/animate.h"
#include "core/jobs.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class TAnimateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAnimateDlg(QWidget *parent);
    ~TAnimateDlg() override;

    // Where runs go (not owned; null for the dialog's own thread pool).
    void setJobRunner(JobRunner *runner);
    // How long a run goes before the progress window shows, in milliseconds.
    int ProgressDelayMs = 500;

    // The picture, its chosen frames (from 0, ascending; empty: all) and the
    // number of frames it lists.
    void setSource(const QString &path, std::vector<std::uint32_t> frames, int frameCount);

    // "导出": asks for a file when none is given, then starts the run.
    void runClick();
    // "浏览...": the file choice through the SaveFilePicker seam.
    bool browse();
    // Asks the running write to stop before its next frame.
    void cancelRun();
    bool running() const { return m_running; }
    TRunProgress *progressWindow() const { return m_progress; }

    QComboBox *FormatBox;
    QComboBox *OrderBox;
    QDoubleSpinBox *SpeedBox;
    QSpinBox *LoopBox;
    QLineEdit *PathEdit;
    QPushButton *BrowseButton;
    QPushButton *RunButton;
    QPushButton *CloseButton;

signals:
    // A run ended (written, failed or cancelled) and its message, if any, was shown.
    void runFinished(bool written);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    engine::AnimationFormat format() const;
    void formatChanged();
    void runProgressed(int number, int done, int total);
    void runDone(int number, const AnimateResult &result, bool loaded, bool outOfMemory);
    void setControlsEnabled(bool enabled);

    QString m_source;
    std::vector<std::uint32_t> m_frames;
    int m_frameCount = 0;
    std::unique_ptr<JobRunner> m_ownRunner;
    JobRunner *m_runner = nullptr;
    RequestSequence m_runs;
    bool m_running = false;
    QString m_target;
    TRunProgress *m_progress = nullptr;
};
