#include "imaging/engine/framesaver.h"

#include <QMutexLocker>
#include <QThread>

#include <algorithm>

namespace engine {

FrameSaver::FrameSaver(int workers, int maxInFlight, qint64 byteBudget)
{
    if (workers < 1)
        workers = std::max(1, QThread::idealThreadCount());
    m_maxInFlight = maxInFlight < 1 ? workers + 1 : maxInFlight;
    m_byteBudget = byteBudget < 1 ? DefaultFrameSaverBudget : byteBudget;
    m_pool.setMaxThreadCount(workers);
}

FrameSaver::~FrameSaver()
{
    m_pool.waitForDone();
}

void FrameSaver::submit(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                        const QString &path, std::uint32_t tag)
{
    const qint64 bytes = frame.sizeInBytes();
    {
        QMutexLocker lock(&m_admitMutex);
        while (m_inFlight > 0
               && (m_inFlight >= m_maxInFlight || m_inFlightBytes + bytes > m_byteBudget))
            m_admitted.wait(&m_admitMutex);
        ++m_inFlight;
        m_inFlightBytes += bytes;
        m_peakInFlight = std::max(m_peakInFlight, m_inFlight);
    }
    m_pool.start([this, frame, clsid, params, path, tag, bytes]() mutable {
        // Hand the frame over so the encoder can let its pixels go early.
        Cause cause = Cause::None;
        const Status s = saveFrame(std::move(frame), clsid, params, path,
                                   EncoderList::standard(), &cause);
        if (s != Ok) {
            QMutexLocker lock(&m_mutex);
            m_failures.push_back(Failure{tag, path, s, cause});
        }
        m_completed.fetch_add(1);
        release(bytes);
    });
}

void FrameSaver::release(qint64 bytes)
{
    QMutexLocker lock(&m_admitMutex);
    --m_inFlight;
    m_inFlightBytes -= bytes;
    m_admitted.wakeAll();
}

bool FrameSaver::wait(int msecs)
{
    return m_pool.waitForDone(msecs);
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
