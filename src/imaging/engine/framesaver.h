#pragma once
// FrameSaver: the encoding half of an export pipeline. The caller decodes frames
// in order on its own thread and hands each finished frame to submit(); worker
// threads encode and write them meanwhile. At most `maxInFlight` frames hold
// their pixels at once (queued, or being encoded until the encoder has taken
// what it needs from them: the palette indexes, the filtered rows), and the
// frames not yet written are together at most `byteBudget` bytes of pixels (one
// frame is always let in, however big), so memory stays bounded however many
// frames a GIF has and however big they are: submit() waits for room. A caller that calls
// waitForRoom() before composing a frame keeps one frame fewer in memory. With
// the default budget, big canvases (8192 x 8192) go one at a time and an export
// stays within a few canvases in all.
//
// The encoding jobs run on a JobRunner: one of the saver's own (a pool of
// `workers` threads) unless the caller passes one, which must outlive the saver.
//
// Threads: submit(), waitForRoom(), wait() and the destructor belong to the
// thread that made the saver; completed() may be read from any thread. Frames
// are QImages (implicitly shared copies are enough: the decoder detaches when
// it draws the next frame). `params` must stay valid until wait() returns.

#include <QImage>
#include <QMutex>
#include <QWaitCondition>
#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

#include "imaging/engine/encoders.h"
#include "imaging/engine/image.h"
#include "imaging/engine/jobrunner.h"

#include <memory>

namespace engine {

// Bytes of pixels the frames in flight may hold together by default: the largest
// canvas there is (MaxCanvasPixels in ARGB32). Ordinary frames are far smaller
// and fill the slots; frames over a third of it wait for each other, and a
// canvas at the limit is written alone.
inline constexpr qint64 DefaultFrameSaverBudget = MaxCanvasPixels * 4;

class FrameSaver {
public:
    struct Failure {
        std::uint32_t tag; // what the caller passed to submit (say, the frame number)
        QString path;
        Status status;
        Cause cause; // why, as precisely as the save knows it
    };

    // `workers` < 1 means QThread::idealThreadCount(); `maxInFlight` < 1 means
    // as many as the workers (each worker has a frame; the caller composes the
    // next one while they compress);
    // `byteBudget` < 1 means DefaultFrameSaverBudget.
    explicit FrameSaver(int workers = 0, int maxInFlight = 0, qint64 byteBudget = 0,
                        JobRunner *runner = nullptr);
    ~FrameSaver(); // waits for the frames already handed over
    FrameSaver(const FrameSaver &) = delete;
    FrameSaver &operator=(const FrameSaver &) = delete;

    // Queues `frame` to be written to `path` with encoder `clsid` of the
    // standard list. Blocks while `maxInFlight` frames hold their pixels or this
    // frame would take the frames not yet written over the byte budget.
    void submit(QImage frame, const Guid &clsid, const EncoderParameters *params,
                const QString &path, std::uint32_t tag);

    // Blocks until a frame of `bytes` would be let in at once. Called before
    // the next frame is composed, it saves a canvas: the frame does not sit in
    // memory beside the full queue while submit() waits.
    void waitForRoom(qint64 bytes);

    // Waits until every submitted frame is written or failed, up to `msecs`
    // (-1: no limit). True when all are done.
    bool wait(int msecs = -1);

    // Frames finished so far (written or failed).
    std::uint32_t completed() const { return m_completed.load(); }
    // The most frames that were in flight (submitted, not yet written or
    // failed) at once so far.
    int peakInFlight() const;
    // The failures so far, sorted by tag (complete after wait()).
    std::vector<Failure> failures() const;

private:
    void letGo();                           // a frame's pixels are no longer needed
    void finish(qint64 bytes, bool holding); // a frame is written or failed
    bool hasRoom(qint64 bytes) const; // with m_admitMutex held

    std::unique_ptr<JobRunner> m_ownRunner;
    JobRunner *m_runner;
    int m_maxInFlight;
    qint64 m_byteBudget;
    mutable QMutex m_admitMutex;
    QWaitCondition m_admitted;
    int m_inFlight = 0;       // frames queued or being encoded
    int m_holding = 0;        // of these, frames whose pixels are still needed
    // The pixels of the frames in flight: counted until the end, as an encoder
    // works on buffers about as big once it has let the frame go.
    qint64 m_inFlightBytes = 0;
    int m_peakInFlight = 0;
    std::atomic<std::uint32_t> m_completed{0};
    mutable QMutex m_mutex;
    std::vector<Failure> m_failures;
};

} // namespace engine
