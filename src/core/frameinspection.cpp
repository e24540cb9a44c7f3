#include "core/frameinspection.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "imaging/gdiplus.h"
#include "imaging/thumbnail.h"

namespace {

// The pass reports the frames it passed at most this often, in milliseconds
// (the first frame goes at once, so the list shows it without delay).
constexpr int BatchMs = 30;

// Hands a result to the inspection: queued from a worker, at once when the job
// runs on the inspection's own thread (a runner that runs jobs in place, as
// tests use, then gives the synchronous inspection's sequence exactly).
template <typename Fn>
void deliver(QObject *receiver, Fn &&fn)
{
    if (QThread::currentThread() == receiver->thread())
        fn();
    else
        postTo(receiver, std::forward<Fn>(fn));
}

} // namespace

struct FrameInspection::Shared {
    QString path;
    Request request; // the pass stops when this is cancelled
    // Set when the store is replaced or shut down: seek jobs stop.
    std::atomic_bool dropped{false};

    std::mutex mutex; // guards what follows
    std::map<std::uint32_t, std::shared_ptr<const engine::FrameState>> snapshots;
    std::size_t snapshotBytes = 0;
    std::set<int> seekQueue;
    std::set<int> fullQueue; // full-size frames, served first
    bool seekActive = false;
    int lastFull = -1; // the full-size frame asked for last
    int runLimit = 0;  // frames of a way back worth keeping for the next steps back
    // Once the pass is over: the frames it passed and its states' spacing. The
    // seek job saves states at the same spacing beyond, as it composes there.
    int passed = 0;
    int stateStep = 0;
    // Used by the seek job only (one at a time).
    std::unique_ptr<TGPImage> seeker;
};

struct FrameInspection::PatchShared {
    QString path;
    std::atomic_bool dropped{false}; // another picture was adopted: stop
    std::mutex mutex;                // guards what follows
    int wanted = -1;                 // the frame asked for last, -1 when served
    bool active = false;
    // Used by the patch job only (one at a time).
    std::unique_ptr<engine::Image> image;
};

FrameInspection::FrameInspection(JobRunner *runner, QObject *parent)
    : QObject(parent), m_runner(runner)
{
    // Let go of the last picture's patch job with it.
    connect(this, &FrameInspection::opened, this, [this] {
        if (m_patch)
            m_patch->dropped.store(true);
        m_patch.reset();
    });
}

FrameInspection::~FrameInspection()
{
    shutDown();
}

int FrameInspection::start(const QString &path, int maxFrames)
{
    const Request r = m_requests.next();
    m_running = true;
    auto shared = std::make_shared<Shared>();
    shared->path = path;
    shared->request = r;
    QObject *self = this;
    m_runner->start([shared, self, maxFrames] { runPass(shared, self, maxFrames); });
    return r.number;
}

void FrameInspection::cancel()
{
    m_requests.cancel();
    m_running = false;
}

void FrameInspection::shutDown()
{
    cancel();
    dropAdopted();
    m_runner->cancelQueued();
    m_runner->waitForRunning();
}

void FrameInspection::dropAdopted()
{
    if (m_adopted)
        m_adopted->dropped.store(true);
    m_adopted.reset();
    m_adoptedRequest = -1;
    m_listed = 0;
    m_held.clear();
    m_asked.clear();
    m_frames.clear();
    m_peakHeld = 0;
}

void FrameInspection::runPass(std::shared_ptr<Shared> shared, QObject *receiver, int maxFrames)
{
    auto *self = static_cast<FrameInspection *>(receiver);
    const Request request = shared->request;
    if (request.isCancelled())
        return;
    TGPImage picture(shared->path);
    engine::Image *native = picture.Native();
    // Any picture that loads is inspected; a still one (a PNG named .gif) is one
    // frame of 0 ms, like a still GIF.
    if (!native) {
        deliver(receiver, [self, request] { self->openedResult(request.number, {}, 0, false, {}); });
        return;
    }
    const PictureFacts facts = pictureFacts(*native, shared->path);
    const int listed = int(std::min<std::int64_t>(facts.frameCount, std::max(0, maxFrames)));
    deliver(receiver, [self, request, facts, listed, shared] {
        self->openedResult(request.number, facts, listed, true, shared);
    });

    // Saved states every `step` frames, about StatePixelsApart drawn pixels
    // apart; thinned out (the step multiplied) as soon as the states, at the
    // size they come out, would not fit SnapshotBudget. Planned for every frame
    // of the file: the seek job goes on at the same spacing past the listed ones.
    const int total = int(std::min<std::uint32_t>(facts.frameCount, std::uint32_t(std::numeric_limits<int>::max())));
    std::int64_t drawn = 0;
    for (int i = 0; i < total && std::size_t(i) < facts.frames.size(); ++i) {
        const engine::Rect r = facts.frames[std::size_t(i)].rect.clippedTo(facts.width, facts.height);
        drawn += r.empty() ? 0 : std::int64_t(r.w) * r.h;
    }
    const std::int64_t perFrame = std::max<std::int64_t>(drawn / std::max(1, total), 1);
    int step = int(std::clamp<std::int64_t>((StatePixelsApart + perFrame / 2) / perFrame, 1, std::max(1, total)));
    const std::size_t canvasBytes = std::size_t(facts.width) * std::size_t(facts.height) * 4;
    // Planned for states of one byte per pixel (a canvas of at most 256
    // colours); states that come out larger thin the plan out.
    const std::size_t fitting = (std::size_t(std::max(1, total)) * (canvasBytes / 4) + SnapshotBudget - 1) / SnapshotBudget;
    step = std::max(step, int(std::min<std::size_t>(fitting, std::size_t(std::max(1, total)))));
    // A run kept on the way back costs a copy of the canvas a frame; it pays
    // only where decoding a frame costs more, where frames draw at least half
    // of the canvas (a few small changed rectangles decode faster than a copy).
    if (perFrame >= std::int64_t(canvasBytes / 8)) {
        const std::lock_guard lock(shared->mutex);
        shared->runLimit = int(std::max<std::size_t>(CacheBudget / std::max<std::size_t>(canvasBytes, 1), 1)) - 1;
    }
    std::size_t saved = 0; // states saved by the pass, kept or not
    std::size_t savedBytes = 0;
    const auto thinTo = [&shared](int newStep) {
        const std::lock_guard lock(shared->mutex);
        for (auto it = shared->snapshots.begin(); it != shared->snapshots.end();) {
            if (it->first % std::uint32_t(newStep) == 0) {
                ++it;
                continue;
            }
            shared->snapshotBytes -= it->second->bytes();
            it = shared->snapshots.erase(it);
        }
        return shared->snapshotBytes;
    };

    const engine::Guid dimension = native->frameDimension();
    Batch batch;
    QElapsedTimer since;
    since.start();
    for (int i = 0; i < listed; ++i) {
        if (request.isCancelled())
            return;
        // A frame that fails keeps the one before active and is drawn as such,
        // so every listed frame has a picture.
        native->selectFrame(dimension, std::uint32_t(i));
        if (i < MaxHeld) {
            QImage canvas = NewThumbnailCanvas();
            DrawThumbnail(picture, canvas);
            batch.thumbnails.emplace_back(i, std::move(canvas));
        }
        batch.listed = i + 1;
        if (i == 0 || i + 1 == listed || since.elapsed() >= BatchMs) {
            deliver(receiver, [self, request, batch = std::move(batch)]() mutable {
                self->batchResult(request.number, std::move(batch));
            });
            batch = Batch{};
            since.restart();
        }
        // After the batch: the first frame is listed without waiting for its state.
        if (i % step == 0) {
            if (std::shared_ptr<const engine::FrameState> state = native->savePackedState()) {
                const std::size_t bytes = state->bytes();
                std::size_t held = 0;
                {
                    const std::lock_guard lock(shared->mutex);
                    shared->snapshots[std::uint32_t(i)] = std::move(state);
                    held = shared->snapshotBytes += bytes;
                }
                ++saved;
                savedBytes += bytes;
                const std::size_t average = savedBytes / saved;
                const std::size_t planned = average * std::size_t((total + step - 1) / step);
                if (planned > SnapshotBudget || held > SnapshotBudget) {
                    // The smallest multiple of the step (so the states kept stay
                    // evenly spaced) at which the planned states fit.
                    const std::size_t wanted = (std::size_t(total) * average + SnapshotBudget - 1) / SnapshotBudget;
                    int newStep = step * int(std::max<std::size_t>(2, (wanted + std::size_t(step) - 1) / std::size_t(step)));
                    held = thinTo(newStep);
                    while (held > SnapshotBudget && newStep < total) {
                        newStep *= 2;
                        held = thinTo(newStep);
                    }
                    if (held > SnapshotBudget) {
                        // Frame 0's state alone is too large: keep none.
                        const std::lock_guard lock(shared->mutex);
                        shared->snapshots.clear();
                        shared->snapshotBytes = 0;
                    }
                    step = std::min(newStep, total + 1);
                }
            }
        }
    }
    {
        const std::lock_guard lock(shared->mutex);
        shared->passed = listed;
        shared->stateStep = step;
    }
    deliver(receiver, [self, request] { self->finishedResult(request.number); });
}

void FrameInspection::runSeek(std::shared_ptr<Shared> shared, QObject *receiver)
{
    auto *self = static_cast<FrameInspection *>(receiver);
    const int number = shared->request.number;
    for (;;) {
        int frame = 0;
        bool full = false;
        int keepRun = 0; // frames before `frame` to hand over with it
        std::shared_ptr<const engine::FrameState> nearest;
        {
            const std::lock_guard lock(shared->mutex);
            if ((shared->seekQueue.empty() && shared->fullQueue.empty()) || shared->dropped.load()) {
                shared->seekActive = false;
                return;
            }
            // The picture someone is looking at goes before the list's thumbnails.
            full = !shared->fullQueue.empty();
            std::set<int> &queue = full ? shared->fullQueue : shared->seekQueue;
            frame = *queue.begin();
            queue.erase(queue.begin());
            if (full) {
                // Stepping back, the frames composed on the way are the next
                // steps back; a jump back keeps nothing (copying them would cost it).
                if (frame < shared->lastFull && shared->lastFull - frame <= shared->runLimit)
                    keepRun = shared->runLimit;
                shared->lastFull = frame;
            }
            auto it = shared->snapshots.upper_bound(std::uint32_t(frame));
            if (it != shared->snapshots.begin())
                nearest = std::prev(it)->second;
        }
        if (!shared->seeker)
            shared->seeker = std::make_unique<TGPImage>(shared->path);
        engine::Image *native = shared->seeker->Native();
        if (!native) {
            const std::lock_guard lock(shared->mutex);
            shared->seekQueue.clear();
            shared->fullQueue.clear();
            shared->seekActive = false;
            return;
        }
        // Continue from where the seeker stands when that is nearer than the
        // saved state; otherwise start from the state (or from frame 0).
        const std::uint32_t at = native->activeFrameIndex();
        if (nearest && (at > std::uint32_t(frame) || nearest->frame() > at))
            native->restoreState(*nearest);
        const engine::Guid dimension = native->frameDimension();
        saveStatesBeyondPass(*shared, *native, frame);
        std::vector<std::pair<int, QImage>> run;
        if (keepRun > 0 && int(native->activeFrameIndex()) < frame) {
            // Not the frame it starts from: a saved state, restored in a millisecond.
            for (int i = std::max(int(native->activeFrameIndex()) + 1, frame - keepRun); i < frame; ++i) {
                native->selectFrame(dimension, std::uint32_t(i));
                // Shares the canvas: drawing the next frame moves it to a buffer of its own.
                run.emplace_back(i, native->activeFrame());
            }
        }
        native->selectFrame(dimension, std::uint32_t(frame));
        if (full) {
            const QImage picture = native->activeFrame();
            deliver(receiver, [self, number, frame, picture, run = std::move(run)]() mutable {
                self->fullFrameResult(number, frame, picture, std::move(run));
            });
            continue;
        }
        QImage canvas = NewThumbnailCanvas();
        DrawThumbnail(*shared->seeker, canvas);
        deliver(receiver, [self, number, frame, canvas] { self->seekResult(number, frame, canvas); });
    }
}

void FrameInspection::saveStatesBeyondPass(Shared &shared, engine::Image &native, int frame)
{
    int step = 0;
    int from = 0;
    {
        const std::lock_guard lock(shared.mutex);
        step = shared.stateStep;
        from = std::max(shared.passed, int(native.activeFrameIndex()) + 1);
    }
    if (step <= 0)
        return;
    const engine::Guid dimension = native.frameDimension();
    for (int at = (from + step - 1) / step * step; at < frame; at += step) {
        native.selectFrame(dimension, std::uint32_t(at));
        std::shared_ptr<const engine::FrameState> state = native.savePackedState();
        if (!state)
            return;
        const std::lock_guard lock(shared.mutex);
        if (shared.snapshots.count(std::uint32_t(at)))
            continue;
        if (shared.snapshotBytes + state->bytes() > SnapshotBudget)
            return;
        shared.snapshotBytes += state->bytes();
        shared.snapshots.emplace(std::uint32_t(at), std::move(state));
    }
}

void FrameInspection::openedResult(int request, const PictureFacts &facts, int listed, bool ok,
                                   std::shared_ptr<Shared> shared)
{
    if (!m_requests.isCurrent(request))
        return;
    if (!ok) {
        m_running = false;
        emit failed(request);
        return;
    }
    dropAdopted();
    m_facts = facts;
    m_adopted = std::move(shared);
    m_adoptedRequest = request;
    emit opened(request, facts, listed);
}

void FrameInspection::batchResult(int request, Batch batch)
{
    if (request != m_adoptedRequest || !m_requests.isCurrent(request))
        return;
    if (batch.listed > m_listed) {
        m_listed = batch.listed;
        emit framesListed(request, m_listed);
    }
    for (auto &[frame, picture] : batch.thumbnails) {
        m_asked.erase(frame);
        hold(frame, picture);
        emit thumbnailReady(frame);
    }
}

void FrameInspection::seekResult(int request, int frame, const QImage &picture)
{
    if (request != m_adoptedRequest)
        return;
    m_asked.erase(frame);
    hold(frame, picture);
    emit thumbnailReady(frame);
}

void FrameInspection::fullFrameResult(int request, int frame, const QImage &picture,
                                      std::vector<std::pair<int, QImage>> run)
{
    if (request != m_adoptedRequest)
        return;
    for (auto &[before, image] : run)
        m_frames.put(before, image);
    m_frames.put(frame, picture);
    emit frameReady(frame, picture);
}

QString FrameInspection::path() const
{
    return m_adopted ? m_adopted->path : QString();
}

void FrameInspection::requestFrame(int frame)
{
    if (!m_adopted || frame < 0 || std::uint32_t(frame) >= m_facts.frameCount)
        return;
    if (const QImage *kept = m_frames.find(frame)) {
        {
            const std::lock_guard lock(m_adopted->mutex);
            m_adopted->lastFull = frame;
        }
        // Answered from the event loop all the same, as callers expect of a request.
        const QImage picture = *kept;
        const int request = m_adoptedRequest;
        QMetaObject::invokeMethod(
            this,
            [this, request, frame, picture] {
                if (request == m_adoptedRequest)
                    emit frameReady(frame, picture);
            },
            Qt::QueuedConnection);
        return;
    }
    {
        const std::lock_guard lock(m_adopted->mutex);
        m_adopted->fullQueue.insert(frame);
    }
    startSeekJob();
}

void FrameInspection::finishedResult(int request)
{
    if (!m_requests.isCurrent(request))
        return;
    m_running = false;
    emit finished(request);
}

void FrameInspection::hold(int frame, const QImage &picture)
{
    m_held.put(frame, picture);
    m_peakHeld = std::max(m_peakHeld, int(m_held.size()));
}

QImage FrameInspection::thumbnail(int frame)
{
    const QImage *held = m_held.find(frame);
    if (!held) {
        request(frame);
        return {};
    }
    return *held;
}

void FrameInspection::prefetch(int first, int count)
{
    if (m_listed <= 0)
        return;
    for (int k = 0; k < std::min(count, m_listed); ++k) {
        const int frame = (first + k) % m_listed;
        if (!isHeld(frame))
            request(frame);
    }
}

void FrameInspection::request(int frame)
{
    if (!m_adopted || frame < 0 || frame >= m_listed || m_asked.count(frame))
        return;
    m_asked.insert(frame);
    {
        const std::lock_guard lock(m_adopted->mutex);
        m_adopted->seekQueue.insert(frame);
    }
    startSeekJob();
}

void FrameInspection::startSeekJob()
{
    bool startJob = false;
    {
        const std::lock_guard lock(m_adopted->mutex);
        if (!m_adopted->seekActive) {
            m_adopted->seekActive = true;
            startJob = true;
        }
    }
    if (startJob) {
        std::shared_ptr<Shared> shared = m_adopted;
        QObject *self = this;
        m_runner->start([shared, self] { runSeek(shared, self); });
    }
}

void FrameInspection::requestPatch(int frame)
{
    if (!m_adopted || frame < 0 || std::uint32_t(frame) >= m_facts.frameCount)
        return;
    if (!m_patch || m_patchFor != m_adoptedRequest) {
        if (m_patch)
            m_patch->dropped.store(true);
        m_patch = std::make_shared<PatchShared>();
        m_patch->path = m_adopted->path;
        m_patchFor = m_adoptedRequest;
        ++m_patchNumber;
    }
    m_patchWanted = frame;
    bool startJob = false;
    {
        const std::lock_guard lock(m_patch->mutex);
        m_patch->wanted = frame;
        startJob = !std::exchange(m_patch->active, true);
    }
    if (startJob) {
        std::shared_ptr<PatchShared> shared = m_patch;
        QObject *self = this;
        const int number = m_patchNumber;
        m_runner->start([shared, self, number] { runPatch(shared, self, number); });
    }
}

void FrameInspection::runPatch(std::shared_ptr<PatchShared> shared, QObject *receiver, int number)
{
    auto *self = static_cast<FrameInspection *>(receiver);
    for (;;) {
        int frame = -1;
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->wanted < 0 || shared->dropped.load()) {
                shared->active = false;
                return;
            }
            frame = std::exchange(shared->wanted, -1);
        }
        if (!shared->image)
            shared->image = engine::Image::load(shared->path);
        std::shared_ptr<engine::FramePatch> patch;
        try {
            patch = std::make_shared<engine::FramePatch>();
        } catch (const std::bad_alloc &) {
            patch = nullptr; // answered as a patch that could not be decoded
        }
        if (patch && shared->image)
            shared->image->decodePatch(std::uint32_t(frame), *patch);
        std::shared_ptr<const engine::FramePatch> result = std::move(patch);
        deliver(receiver, [self, number, frame, result] { self->patchResult(number, frame, result); });
    }
}

void FrameInspection::patchResult(int number, int frame, std::shared_ptr<const engine::FramePatch> patch)
{
    if (number == m_patchNumber && m_patch && m_patchFor == m_adoptedRequest && frame == m_patchWanted)
        emit patchReady(frame, std::move(patch));
}

void FrameInspection::requestDifference(int frame, const QImage &picture, const QImage &previous)
{
    const Request r = m_differences.next();
    QObject *self = this;
    m_runner->start([r, self, frame, picture, previous] {
        auto *inspection = static_cast<FrameInspection *>(self);
        if (r.isCancelled())
            return;
        std::shared_ptr<const FrameDifference> difference;
        try {
            difference = std::make_shared<const FrameDifference>(frameDifference(picture, previous));
        } catch (const std::bad_alloc &) {
            difference = nullptr; // no memory for the mask: nothing is known
        }
        const int number = r.number;
        deliver(self, [inspection, number, frame, difference] {
            inspection->differenceResult(number, frame, difference);
        });
    });
}

void FrameInspection::differenceResult(int number, int frame, std::shared_ptr<const FrameDifference> difference)
{
    if (m_differences.isCurrent(number))
        emit differenceReady(frame, std::move(difference));
}
