#pragma once
// FramePlayer: plays the inspector's frames one after another, each held for
// its played delay (what browsers play, engine::playedDelayMs) divided by the
// speed. It never skips a frame: the hold of a frame starts only when that frame
// is on screen (frameShown), since frames arrive from the inspection's store
// some time after they are asked for. Playback stops once the last frame is on
// screen rather than looping: the inspector is for looking at frames, and a
// stop on the last one shows where the animation ends.
//
// Time comes from a PlaybackClock, a seam tests replace to see the holds asked
// for and to end them at will. Delays in milliseconds. GUI thread only.

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

// Runs one hold at a time: `done` is called once `ms` milliseconds have passed,
// unless stop() or another start() comes first.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual void start(int ms, std::function<void()> done) = 0;
    virtual void stop() = 0;
};

// The program's clock: a single-shot precise QTimer.
class TimerClock final : public PlaybackClock {
public:
    TimerClock();
    ~TimerClock() override;
    void start(int ms, std::function<void()> done) override;
    void stop() override;

private:
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_done;
};

class FramePlayer : public QObject {
    Q_OBJECT
public:
    // The speeds offered, slowest first; 1× is the normal one.
    static constexpr std::array<double, 5> Speeds{0.25, 0.5, 1, 2, 4};
    static constexpr int NormalSpeed = 2; // index of 1× in Speeds

    explicit FramePlayer(QObject *parent = nullptr);
    ~FramePlayer() override;

    // Replaces the clock (tests); a running hold is dropped.
    void setClock(std::unique_ptr<PlaybackClock> clock);
    // Each frame's played delay, one per frame.
    void setDelays(std::vector<std::int64_t> playedMs);
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // How long `frame` is held at the speed in use, in milliseconds.
    int holdMs(int frame) const;

    bool playing() const { return m_playing; }
    // Starts playing; the first hold starts when frameShown() reports a frame.
    void play();
    void stop();
    // `frame` is on screen. While playing it is held, then advance(frame + 1)
    // asks for the next one; at the last frame playback stops. A frame reached
    // another way (the user stepped) is held the same way: playing goes on from it.
    void frameShown(int frame);
    // The window now waits for `frame`: a hold of another frame ends, so a step
    // by the user is not overtaken by the next frame of the old place.
    void frameAsked(int frame);

signals:
    // Show `frame` next.
    void advance(int frame);
    void playingChanged(bool playing);

private:
    std::unique_ptr<PlaybackClock> m_clock;
    std::vector<std::int64_t> m_delays;
    double m_speed = 1;
    bool m_playing = false;
    int m_held = -1; // the frame whose hold runs, -1 for none
};
