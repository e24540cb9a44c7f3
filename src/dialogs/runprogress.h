#pragma once
// The progress window of a long run in a dialog (the export, a new animation):
// a line such as "正在保存第n个文件, 共M个文件", a progress bar and "取消". Esc
// and the close button cancel too; the owner stops its run on cancelRequested.
// A run that ends quickly never shows it: showAfter() waits first.

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TRunProgress : public QDialog {
    Q_OBJECT
public:
    // `line` has %1 for the item being worked on (done + 1) and %2 for the total.
    TRunProgress(QWidget *parent, const QString &objectName, const QString &title, const QString &line);
    // `done` items of `total` are finished; the one being worked on is done + 1.
    void setProgress(int done, int total);
    // Shows the window once `delayMs` have passed, unless end() comes first.
    void showAfter(int delayMs);
    // The run ended: hides the window, or keeps it from showing.
    void end();

    QLabel *Label1;
    QProgressBar *ProgressBar1;
    QPushButton *CancelButton;

signals:
    void cancelRequested();

protected:
    void reject() override;

private:
    const QString m_line;
    QTimer *m_showTimer;
};
