#pragma once
// The frame inspector's strip under the picture.
//
// FrameTimeline: one bar per frame, side by side, each as wide as its played
// delay (plus one pixel, so that a frame played without delay still has a bar),
// the current frame in the highlight colour: held frames stand out as wide bars,
// bursts as runs of thin ones. The bars fill the strip's width when they can; when
// the mean bar would be thinner than MinMeanBar pixels the strip scrolls instead
// of squeezing bars together. Only the bars in view are painted, from a table of
// their edges, so a file of any number of frames paints in the same time.
//
// PlaybackBar: the play/pause button, the timeline and the speed ("速度"), with
// the FramePlayer that plays the frames. It tells the inspector which frame to
// show (frameChosen) and hears which one is on screen (frameShown).
//
// Widths in logical pixels, delays in milliseconds. GUI thread only.

#include <QAbstractScrollArea>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "core/picturefacts.h"

class QComboBox;
class QToolButton;
class FramePlayer;

class FrameTimeline : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The strip's height without its scroll bar: room for a bar one can click.
    static constexpr int StripHeight = 24;
    // Between two bars, so that equal neighbours read as separate frames.
    static constexpr int Gap = 1;
    // Every bar's width beyond its delay's share: a 0 ms frame stays visible.
    static constexpr int MinBar = 1;
    // The thinnest mean bar before the strip scrolls: thinner ones can no
    // longer be told apart or hit with the pointer.
    static constexpr int MinMeanBar = 4;

    explicit FrameTimeline(QWidget *parent = nullptr);

    // Each frame's played delay, one per frame; the current frame is kept.
    void setDelays(std::vector<std::int64_t> playedMs);
    int count() const { return int(m_delays.size()); }
    // Marks `frame` (-1: none) and scrolls its bar into view.
    void setCurrent(int frame);
    int current() const { return m_current; }

    // Bar `frame`, in viewport coordinates (empty for no such frame).
    QRect barRect(int frame) const;
    // The frame whose bar (or the gap after it) lies under `pos` (viewport
    // coordinates), -1 for none.
    int frameAt(const QPoint &pos) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void frameClicked(int frame);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void layOut();
    void scrollToCurrent();
    double edge(int frame) const; // content coordinates

    std::vector<std::int64_t> m_delays;
    std::vector<std::int64_t> m_start; // each frame's start in ms, and the total last
    double m_scale = 0;                // pixels per millisecond
    int m_current = -1;
};

class PlaybackBar : public QWidget {
    Q_OBJECT
public:
    explicit PlaybackBar(QWidget *parent = nullptr);

    // A picture opened: its frames' played delays; playback stops.
    void setFacts(const PictureFacts &facts);
    // The inspector shows (or waits for) `frame`, -1 for none (playback stops).
    void setCurrent(int frame);
    // The picture of `frame` is on screen.
    void frameShown(int frame);
    // Each frame's played delay (what browsers play).
    static std::vector<std::int64_t> playedDelays(const PictureFacts &facts);
    // Space: plays from the frame shown, or pauses. On the last frame playing
    // starts again from the first.
    void togglePlayback();

    FrameTimeline *timeline() const { return m_timeline; }
    FramePlayer *player() const { return m_player; }
    QComboBox *speedBox() const { return m_speed; }
    QToolButton *playButton() const { return m_play; }

protected:
    // The window closing stops playback, which would otherwise go on moving the
    // frame list.
    void hideEvent(QHideEvent *event) override;

signals:
    // Show `frame`: a bar was clicked or playback moves on.
    void frameChosen(int frame);

private:
    FramePlayer *m_player;
    FrameTimeline *m_timeline;
    QToolButton *m_play;
    QComboBox *m_speed;
    int m_current = -1;
    int m_shown = -1; // the frame last on screen while m_current was asked for
};
