#pragma once
// FrameInspection: decomposes the selected GIF in the background and keeps its
// frame thumbnails in bounded memory.
//
// start() hands the file to a pass job: it loads the picture, reports its facts
// (opened), then composes every frame in order, reporting the frames passed so
// far with the thumbnails it drew (framesListed), and ends (finished). A new
// start() or cancel() stops the running pass at its next frame; every result
// carries its request number and results of an old request are dropped, so no
// frame of an old GIF ever reaches the window. A failed load (failed) leaves the
// store as it was: the frame list keeps the previous GIF.
//
// The store: at most MaxHeld thumbnails are held, least recently used first
// out. The pass draws the first MaxHeld frames; a listed frame that is not held
// is made on demand by a seek job, which continues from the nearest saved frame
// state instead of decoding from frame 0. The pass saves a packed state
// (engine::Image::savePackedState) every few frames: as densely as
// StatePixelsApart allows, thinned out evenly (the spacing multiplied) to stay
// within SnapshotBudget bytes, planned over every frame of the file; past the
// listed frames the seek job saves them as it composes there. thumbnail()
// answers a null image while a frame is being made and emits thumbnailReady
// when it arrives.
//
// Full-size frames (requestFrame) come from the same seek job. The frames it
// handed out last are kept, within CacheBudget bytes: asked again, they come
// back from the event loop without any decoding. A step back keeps the frames
// the job composed on the way from the saved state (as many as fit the cache,
// and only where frames draw at least half the canvas: smaller ones decode
// faster than they copy), so the next steps back are kept ones.
//
// Memory: MaxHeld thumbnails (120 x 120 x 4 bytes each), the states and the
// kept frames (StoreBudget together), and a few canvases (the pass's, the seek
// job's and its spare, the frame shown), whatever the number of frames.
//
// Two small requests beside the store serve the frame inspector: a frame's
// stored patch (requestPatch: engine::Image::decodePatch on a job that keeps
// the picture loaded between requests, so any frame costs one frame's
// decoding) and the comparison of a frame with the previous one
// (requestDifference). Each answers only its last request.
//
// GUI thread only; the jobs run on the JobRunner and share nothing with the
// window but a mutex-guarded store of frame states.

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "core/framedifference.h"
#include "core/picturefacts.h"
#include "core/jobs.h"
#include "core/recentimages.h"

class FrameInspection : public QObject {
    Q_OBJECT
public:
    // Thumbnails held at once: about 29 MB, far more than any view shows.
    static constexpr int MaxHeld = 512;
    // Memory for the saved frame states and the kept full-size frames together,
    // in bytes, whatever the frame count.
    static constexpr std::size_t StoreBudget = std::size_t(160) << 20;
    // The kept full-size frames' share: three 1920 x 1080 frames, twelve of
    // 800 x 600, enough for the steps back between two saved states.
    static constexpr std::size_t CacheBudget = std::size_t(24) << 20;
    // The saved states' share: a state every third frame of a 1920 x 1080 x 200
    // GIF whose every pixel changes (packed states of 2 MB each).
    static constexpr std::size_t SnapshotBudget = StoreBudget - CacheBudget;
    // Pixels drawn between two saved states, on average over the frames (a
    // frame draws its rectangle): two 1920 x 1080 frames, 10-15 ms of decoding
    // at 2.5-7 ns a pixel. Closer states would cost the pass more time (packing
    // takes 1.5 ms at that size) than they save a seek.
    static constexpr std::int64_t StatePixelsApart = std::int64_t(4) << 20;

    // `runner` is not owned and must outlive this object.
    explicit FrameInspection(JobRunner *runner, QObject *parent = nullptr);
    ~FrameInspection() override;

    // Starts inspecting `path`, listing at most `maxFrames` frames; cancels the
    // inspection running before. Returns the request number.
    int start(const QString &path, int maxFrames);
    // Stops the running inspection; its results are dropped.
    void cancel();
    // Cancels everything and waits for the running jobs (before shutting down).
    void shutDown();
    // An inspection has started and not yet finished or failed.
    bool running() const { return m_running; }
    int currentRequest() const { return m_requests.current().number; }

    // --- the store of the adopted inspection (the last one that opened) ---
    int frameCount() const { return m_listed; }
    // The thumbnail of `frame`, or a null image while it is being made.
    QImage thumbnail(int frame);
    // Asks for these frames ahead of use (the playback's next frames).
    void prefetch(int first, int count);
    bool isHeld(int frame) const { return m_held.contains(frame); }
    int heldCount() const { return int(m_held.size()); }
    // Most thumbnails held at any moment since the last start (tests).
    int peakHeld() const { return m_peakHeld; }
    // The adopted picture's facts (its frame records among them).
    const PictureFacts &facts() const { return m_facts; }
    // The adopted picture's path; empty before one opened.
    QString path() const;
    // Asks for `frame` composited at full size, any frame of the file, listed or
    // not; frameReady brings it. The seek job serves these before thumbnails.
    void requestFrame(int frame);
    // Asks for `frame`'s stored patch in the adopted picture; patchReady brings
    // it (empty when it could not be decoded). An earlier request not yet
    // answered is dropped.
    void requestPatch(int frame);
    // Compares `picture`, the composited `frame`, with `previous`, the frame
    // before it, on a job; differenceReady brings the result. An earlier
    // request not yet answered is dropped.
    void requestDifference(int frame, const QImage &picture, const QImage &previous);

signals:
    // The picture loaded: the window adopts the new inspection and shows the facts.
    void opened(int request, const PictureFacts &facts, int listed);
    // The picture could not be inspected; nothing was adopted.
    void failed(int request);
    // Frames [0, listed) have been passed (their list items may be shown).
    void framesListed(int request, int listed);
    void thumbnailReady(int frame);
    // A frame asked for with requestFrame(), Format_ARGB32, canvas size.
    void frameReady(int frame, const QImage &picture);
    void finished(int request);
    // The stored patch asked for with requestPatch(); null or empty (no
    // pixels) when it could not be decoded.
    void patchReady(int frame, std::shared_ptr<const engine::FramePatch> patch);
    // The comparison asked for with requestDifference(); null when memory ran out.
    void differenceReady(int frame, std::shared_ptr<const FrameDifference> difference);

private:
    struct Shared;
    struct PatchShared;
    static void runPatch(std::shared_ptr<PatchShared> shared, QObject *receiver, int number);
    void patchResult(int number, int frame, std::shared_ptr<const engine::FramePatch> patch);
    void differenceResult(int number, int frame, std::shared_ptr<const FrameDifference> difference);

    struct Batch {
        int listed = 0;
        std::vector<std::pair<int, QImage>> thumbnails;
    };

    static void runPass(std::shared_ptr<Shared> shared, QObject *receiver, int maxFrames);
    static void runSeek(std::shared_ptr<Shared> shared, QObject *receiver);
    // Composes `native` towards `frame`, saving states at the pass's spacing
    // past the frames the pass went through (within SnapshotBudget).
    static void saveStatesBeyondPass(Shared &shared, engine::Image &native, int frame);
    void openedResult(int request, const PictureFacts &facts, int listed, bool ok,
                      std::shared_ptr<Shared> shared);
    void batchResult(int request, Batch batch);
    void seekResult(int request, int frame, const QImage &picture);
    void fullFrameResult(int request, int frame, const QImage &picture, std::vector<std::pair<int, QImage>> run);
    void startSeekJob();
    void finishedResult(int request);
    void hold(int frame, const QImage &picture);
    void request(int frame);
    void dropAdopted();

    JobRunner *m_runner;
    RequestSequence m_requests;
    bool m_running = false;
    std::shared_ptr<Shared> m_adopted; // the store's inspection
    int m_adoptedRequest = -1;
    int m_listed = 0;
    int m_passed = 0;
    PictureFacts m_facts;

    RecentImages m_held{RecentImages::Cost::Pictures, MaxHeld};
    std::set<int> m_asked;   // asked for and not yet arrived
    int m_peakHeld = 0;

    // The patch job's picture, for the adopted inspection; one per adopted
    // picture, numbered so that late answers about another are dropped.
    std::shared_ptr<PatchShared> m_patch;
    int m_patchNumber = 0;
    int m_patchFor = -1;  // the adopted request it loaded
    int m_patchWanted = -1;
    RequestSequence m_differences;
    // Full-size frames kept, least recently used first out, within CacheBudget.
    RecentImages m_frames{RecentImages::Cost::Bytes, CacheBudget};
};
