#pragma once
// The About dialog: the program's artwork, its name in shadowed effect
// lettering, version and design date, and links to the maker's web page.
// Created hidden once by the main window and shown modally through
// seams::execModal; it keeps no state between showings.

#include <QDialog>

class QGroupBox;
class QLabel;

namespace aatext {
class TAALabel;
}

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The maker's web page: the caption of AALabel3 and the page its links open.
    static const QString kMakerUrl;

    explicit TAboutDlg(QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    aatext::TAALabel *AALabel1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Image2 = nullptr;
    aatext::TAALabel *AALabel2 = nullptr;
    aatext::TAALabel *AALabel3 = nullptr;

public slots:
    // Opens the maker's web page; the dialog stays open whatever the outcome.
    void AALabel2Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_image2Pressed = false;
};
