#pragma once
// CanvasPool: recycled pixel buffers for a decoder's canvas. A decoder hands
// out its canvas as the active frame (an implicitly shared QImage) and draws
// the next frame on it; when a copy handed out still holds the pixels, QImage
// would allocate a fresh canvas-sized block for every frame. With the pool,
// a frame's buffer goes back to the pool when the last copy of that frame is
// dropped, and the next frame is drawn on it, whichever thread dropped it.
//
// Ownership: buffers live as long as the pool or a frame made on them,
// whichever is longer (frames may outlive the decoder). Threads: one decoder
// thread calls detach(); frames may be dropped on any thread.

#include <QImage>

#include <cstddef>
#include <memory>

namespace engine {

class CanvasPool {
public:
    CanvasPool();
    ~CanvasPool();
    CanvasPool(const CanvasPool &) = delete;
    CanvasPool &operator=(const CanvasPool &) = delete;

    // Makes `canvas` (ARGB32) the caller's alone to draw on. When another
    // QImage shares its pixels, they move to a buffer of the pool (copied when
    // `keepPixels`, else left undefined). False only when memory ran out;
    // `canvas` is then unchanged.
    bool detach(QImage &canvas, bool keepPixels = true);

    // Buffers kept for reuse at most, and their bytes at most; more are freed
    // when given back. Canvases far over screen size are not kept: the page
    // faults of a fresh one cost little next to drawing and encoding it, and
    // a spare would be a whole idle canvas.
    static constexpr int MaxSpare = 2;
    static constexpr std::size_t MaxSpareBytes = std::size_t(32) << 20;

    struct Shared; // the spare buffers, shared with the frames made on them

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace engine
