#include "imaging/engine/canvaspool.h"

#include <QColorSpace>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace engine {

struct CanvasPool::Shared {
    std::mutex mutex;
    std::size_t bytes = 0; // the size the spares have; other sizes are not kept
    std::vector<std::unique_ptr<uchar[]>> spare;
};

namespace {

// What a frame made on a pool buffer carries to its clean-up.
struct Lease {
    std::shared_ptr<CanvasPool::Shared> pool;
    std::unique_ptr<uchar[]> buffer;
    std::size_t bytes;
};

void giveBack(void *info)
{
    std::unique_ptr<Lease> lease(static_cast<Lease *>(info));
    CanvasPool::Shared &pool = *lease->pool;
    const std::lock_guard lock(pool.mutex);
    if (lease->bytes == pool.bytes && pool.spare.size() < std::size_t(CanvasPool::MaxSpare)
        && (pool.spare.size() + 1) * pool.bytes <= CanvasPool::MaxSpareBytes)
        pool.spare.push_back(std::move(lease->buffer));
}

} // namespace

CanvasPool::CanvasPool() : m_shared(std::make_shared<Shared>()) {}

CanvasPool::~CanvasPool() = default;

bool CanvasPool::detach(QImage &canvas, bool keepPixels)
{
    if (canvas.isNull() || canvas.isDetached())
        return true;
    const qsizetype bpl = canvas.bytesPerLine();
    const std::size_t bytes = std::size_t(bpl) * std::size_t(canvas.height());
    auto lease = std::make_unique<Lease>();
    lease->pool = m_shared;
    lease->bytes = bytes;
    {
        const std::lock_guard lock(m_shared->mutex);
        if (m_shared->bytes != bytes) {
            m_shared->spare.clear();
            m_shared->bytes = bytes;
        }
        if (!m_shared->spare.empty()) {
            lease->buffer = std::move(m_shared->spare.back());
            m_shared->spare.pop_back();
        }
    }
    if (!lease->buffer) {
        lease->buffer.reset(new (std::nothrow) uchar[bytes]);
        if (!lease->buffer)
            return false;
    }
    uchar *pixels = lease->buffer.get();
    if (keepPixels)
        std::memcpy(pixels, canvas.constBits(), bytes);
    QImage moved(pixels, canvas.width(), canvas.height(), bpl, canvas.format(), giveBack, lease.get());
    if (moved.isNull())
        return false; // the lease (and its buffer) is freed here
    lease.release(); // the image gives it back
    // What QImage's own copy would carry over besides the pixels.
    moved.setDotsPerMeterX(canvas.dotsPerMeterX());
    moved.setDotsPerMeterY(canvas.dotsPerMeterY());
    moved.setDevicePixelRatio(canvas.devicePixelRatio());
    moved.setOffset(canvas.offset());
    moved.setColorSpace(canvas.colorSpace());
    canvas = std::move(moved);
    return true;
}

} // namespace engine
