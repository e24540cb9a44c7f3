#pragma once
// GapMeter: the longest time the GUI thread stays away from its event loop,
// measured as the longest gap between two ticks of a 1 ms timer. For the
// benchmarks; GUI thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

class GapMeter {
public:
    GapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_tick.nsecsElapsed());
            m_tick.restart();
        });
    }
    // Starts a new measurement.
    void start()
    {
        m_longest = 0;
        m_tick.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_tick;
    qint64 m_longest = 0;
};
