#include "imaging/engine/framesaver.h"

#include <QMutexLocker>
#include <QThread>

#include <algorithm>

namespace engine {

FrameSaver::FrameSaver(int workers, int maxInFlight)
{
    if (workers < 1)
        workers = std::max(1, QThread::idealThreadCount());
    if (maxInFlight < 1)
        maxInFlight = workers + 1;
    m_pool.setMaxThreadCount(workers);
    m_slots.release(maxInFlight);
}

FrameSaver::~FrameSaver()
{
    m_pool.waitForDone();
}

void FrameSaver::submit(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                        const QString &path, std::uint32_t tag)
{
    m_slots.acquire();
    m_pool.start([this, frame, clsid, params, path, tag]() mutable {
        // Hand the frame over so the encoder can let its pixels go early.
        const Status s = saveFrame(std::move(frame), clsid, params, path);
        if (s != Ok) {
            QMutexLocker lock(&m_mutex);
            m_failures.push_back(Failure{tag, path, s});
        }
        m_completed.fetch_add(1);
        m_slots.release();
    });
}

bool FrameSaver::wait(int msecs)
{
    return m_pool.waitForDone(msecs);
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
