#include "app/frameplayer.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

TimerClock::TimerClock() : m_timer(std::make_unique<QTimer>())
{
    m_timer->setSingleShot(true);
    // A coarse timer may fire 5 % late; over a long animation that drifts.
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
        // The callback may start the next hold, which replaces m_done.
        if (auto done = std::exchange(m_done, nullptr))
            done();
    });
}

TimerClock::~TimerClock() = default;

void TimerClock::start(int ms, std::function<void()> done)
{
    m_done = std::move(done);
    m_timer->start(std::max(ms, 0));
}

void TimerClock::stop()
{
    m_timer->stop();
    m_done = nullptr;
}

FramePlayer::FramePlayer(QObject *parent)
    : QObject(parent), m_clock(std::make_unique<TimerClock>())
{
}

FramePlayer::~FramePlayer() = default;

void FramePlayer::setClock(std::unique_ptr<PlaybackClock> clock)
{
    m_clock->stop();
    m_clock = std::move(clock);
    m_held = -1;
}

void FramePlayer::setDelays(std::vector<std::int64_t> playedMs)
{
    m_delays = std::move(playedMs);
}

void FramePlayer::setSpeed(double speed)
{
    // The hold running keeps its length; the next frame's hold uses the new speed.
    m_speed = std::clamp(speed, Speeds.front(), Speeds.back());
}

int FramePlayer::holdMs(int frame) const
{
    if (frame < 0 || std::size_t(frame) >= m_delays.size())
        return 0;
    const double ms = std::round(double(std::max<std::int64_t>(m_delays[std::size_t(frame)], 0)) / m_speed);
    return int(std::min(ms, double(std::numeric_limits<int>::max())));
}

void FramePlayer::play()
{
    if (m_playing)
        return;
    m_playing = true;
    m_held = -1;
    emit playingChanged(true);
}

void FramePlayer::stop()
{
    m_clock->stop();
    m_held = -1;
    if (!m_playing)
        return;
    m_playing = false;
    emit playingChanged(false);
}

void FramePlayer::frameShown(int frame)
{
    // The same frame arriving again (asked for once more) does not restart its hold.
    if (!m_playing || frame == m_held)
        return;
    if (frame < 0 || std::size_t(frame) + 1 >= m_delays.size()) {
        stop();
        return;
    }
    m_held = frame;
    m_clock->start(holdMs(frame), [this, frame] {
        m_held = -1;
        emit advance(frame + 1);
    });
}

void FramePlayer::frameAsked(int frame)
{
    if (m_held >= 0 && frame != m_held) {
        m_clock->stop();
        m_held = -1;
    }
}
