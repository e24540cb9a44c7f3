#include "imaging/engine/framesaver.h"

#include <QMutexLocker>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

namespace engine {

FrameSaver::FrameSaver(int workers, int maxInFlight, qint64 byteBudget, JobRunner *runner)
{
    if (workers < 1)
        workers = std::max(1, QThread::idealThreadCount());
    m_maxInFlight = maxInFlight < 1 ? workers : maxInFlight;
    m_byteBudget = byteBudget < 1 ? DefaultFrameSaverBudget : byteBudget;
    if (!runner) {
        m_ownRunner = std::make_unique<PoolJobRunner>(workers);
        runner = m_ownRunner.get();
    }
    m_runner = runner;
}

FrameSaver::~FrameSaver()
{
    wait();
}

void FrameSaver::submit(QImage frame, const Guid &clsid, const EncoderParameters *params,
                        const QString &path, std::uint32_t tag)
{
    const qint64 bytes = frame.sizeInBytes();
    {
        QMutexLocker lock(&m_admitMutex);
        while (!hasRoom(bytes))
            m_admitted.wait(&m_admitMutex);
        ++m_inFlight;
        ++m_holding;
        m_inFlightBytes += bytes;
        m_peakInFlight = std::max(m_peakInFlight, m_inFlight);
    }
    // Moved in, not copied from a const reference: a const member would bind to
    // saveFrame's copying overload and keep the pixels until the job is freed.
    m_runner->start([this, frame = std::move(frame), clsid, params, path, tag, bytes]() mutable {
        // The frame's slot opens as soon as the encoder has let its pixels go,
        // so the next frame is made while this one is compressed and written.
        bool holding = true;
        const std::function<void()> pixelsDone = [this, &holding] {
            letGo();
            holding = false;
        };
        Cause cause = Cause::None;
        const Status s = saveFrame(std::move(frame), clsid, params, path, EncoderList::standard(),
                                   &cause, pixelsDone);
        if (s != Ok) {
            QMutexLocker lock(&m_mutex);
            m_failures.push_back(Failure{tag, path, s, cause});
        }
        m_completed.fetch_add(1);
        finish(bytes, holding);
    });
}

bool FrameSaver::hasRoom(qint64 bytes) const
{
    return m_inFlight == 0 || (m_holding < m_maxInFlight && m_inFlightBytes + bytes <= m_byteBudget);
}

void FrameSaver::waitForRoom(qint64 bytes)
{
    QMutexLocker lock(&m_admitMutex);
    while (!hasRoom(bytes))
        m_admitted.wait(&m_admitMutex);
}

void FrameSaver::letGo()
{
    QMutexLocker lock(&m_admitMutex);
    --m_holding;
    m_admitted.wakeAll();
}

void FrameSaver::finish(qint64 bytes, bool holding)
{
    QMutexLocker lock(&m_admitMutex);
    --m_inFlight;
    if (holding)
        --m_holding;
    m_inFlightBytes -= bytes;
    m_admitted.wakeAll();
}

bool FrameSaver::wait(int msecs)
{
    // Only this saver's frames count: a runner passed in may run other jobs too.
    QMutexLocker lock(&m_admitMutex);
    QDeadlineTimer deadline(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    while (m_inFlight > 0)
        if (!m_admitted.wait(&m_admitMutex, deadline))
            return m_inFlight == 0;
    return true;
}

int FrameSaver::peakInFlight() const
{
    QMutexLocker lock(&m_admitMutex);
    return m_peakInFlight;
}

std::vector<FrameSaver::Failure> FrameSaver::failures() const
{
    QMutexLocker lock(&m_mutex);
    std::vector<Failure> out = m_failures;
    std::stable_sort(out.begin(), out.end(),
                     [](const Failure &a, const Failure &b) { return a.tag < b.tag; });
    return out;
}

} // namespace engine
