#pragma once
// GoToFrameDialog: the frame inspector's "转到帧" (Ctrl+G): a number box of
// the frames 1..M, starting at the frame shown; Enter confirms. GUI thread only.

#include <QDialog>

class QSpinBox;

class GoToFrameDialog : public QDialog {
    Q_OBJECT
public:
    // `count` frames (M), `current` the frame shown (from 0).
    GoToFrameDialog(int count, int current, QWidget *parent);

    // The frame chosen, from 0.
    int frame() const;
    QSpinBox *numberBox() const { return m_number; }

private:
    QSpinBox *m_number;
};
