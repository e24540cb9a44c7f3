#pragma once
// FrameSaver: the encoding half of an export pipeline. The caller decodes frames
// in order on its own thread and hands each finished frame to submit(); worker
// threads encode and write them meanwhile. At most `maxInFlight` frames are
// queued or being encoded, so memory stays bounded however many frames a GIF
// has: submit() waits for a free slot.
//
// Threads: submit(), wait() and the destructor belong to the thread that made
// the saver; completed() may be read from any thread. Frames are QImages
// (implicitly shared copies are enough: the decoder detaches when it draws the
// next frame). `params` must stay valid until wait() returns.

#include <QImage>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <vector>

#include "imaging/engine/encoders.h"

namespace engine {

class FrameSaver {
public:
    struct Failure {
        std::uint32_t tag; // what the caller passed to submit (say, the frame number)
        QString path;
        Status status;
    };

    // `workers` < 1 means QThread::idealThreadCount(); `maxInFlight` < 1 means
    // one more than the workers (each worker busy, one frame waiting).
    explicit FrameSaver(int workers = 0, int maxInFlight = 0);
    ~FrameSaver(); // waits for the frames already handed over
    FrameSaver(const FrameSaver &) = delete;
    FrameSaver &operator=(const FrameSaver &) = delete;

    // Queues `frame` to be written to `path` with encoder `clsid` of the
    // standard list. Blocks while `maxInFlight` frames are pending.
    void submit(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                const QString &path, std::uint32_t tag);

    // Waits until every submitted frame is written or failed, up to `msecs`
    // (-1: no limit). True when all are done.
    bool wait(int msecs = -1);

    // Frames finished so far (written or failed).
    std::uint32_t completed() const { return m_completed.load(); }
    // The failures so far, sorted by tag (complete after wait()).
    std::vector<Failure> failures() const;

private:
    QThreadPool m_pool;
    QSemaphore m_slots;
    std::atomic<std::uint32_t> m_completed{0};
    mutable QMutex m_mutex;
    std::vector<Failure> m_failures;
};

} // namespace engine
