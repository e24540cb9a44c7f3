#pragma once
// TCUTDlg: the export dialog ("GIF分解"). Shows the frames of the GIF inspected in
// the main window, lets the user choose a folder, a format and all or the
// selected frames, and writes them as picture files. Created once and shown
// modally again and again; the folder and both choices last for the whole run of
// the program and are never saved. GUI thread only; owned by the main window.

#include <QDialog>

class IconListView;
class QGroupBox;
class QLabel;
class QToolButton;
class TFlatEdit;
class TFlatComboBox;

class TCUTDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCUTDlg(QWidget *parent);

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

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
