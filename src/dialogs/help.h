#pragma once
// The help dialog: eight fixed lines of help text, read-only but selectable.
// Created hidden once by the main window and shown modally through
// seams::execModal, centred on the screen.

#include <QDialog>

class QTextEdit;

class ThelpDlg : public QDialog {
    Q_OBJECT
public:
    // The help text, one entry per line, leading blanks included.
    static const QStringList kHelpLines;

    explicit ThelpDlg(QWidget *parent = nullptr);

    QTextEdit *RichEdit1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
