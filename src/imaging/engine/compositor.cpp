#include "imaging/engine/compositor.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace engine {

namespace testing {
std::atomic<std::uint64_t> frameDecodes{0};
// Runs right after a frame is composed, before the file is checked again.
// Only tests set it (tests/imaging/engineseams.h), to change the file there.
std::atomic<void (*)()> afterCompose{nullptr};
} // namespace testing

std::vector<FrameRecord> FrameSource::records() const
{
    std::vector<FrameRecord> out;
    out.reserve(frameCount());
    for (std::uint32_t i = 0; i < frameCount(); ++i)
        out.push_back(record(i));
    return out;
}

FrameOutcome FrameSource::drawIndexes(std::uint32_t, const FrameRecord &, const Rect &, std::uint8_t *, qsizetype,
                                      std::vector<std::uint32_t> &)
{
    return FrameOutcome::Corrupt;
}

namespace {

// The canvas and what the next frame needs of the frames before it.
struct Canvas {
    std::int64_t current = -1; // the frame the canvas shows; -1 before frame 0
    FrameOutcome outcome = FrameOutcome::Drawn; // of the current frame
    QImage image;
    Disposal pendingDisposal = Disposal::None;
    Rect pendingRect;                 // the current frame's visible rectangle
    std::vector<std::uint32_t> saved; // what lies under it, when it is disposed to previous
    bool clearUnderPending = true;    // the canvas was all transparent before it was drawn
    bool clear = true;                // the canvas is all transparent
};

// Colours a packed canvas may have to be kept as one byte per pixel.
constexpr std::size_t PackedColours = 256;
// A canvas kept small: indexes into `colours` (one byte per pixel) or, with
// more colours, the ARGB words.
struct PackedCanvas {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> colours; // empty: `data` holds ARGB words
    std::vector<std::uint8_t> data;

    std::size_t pixels() const { return std::size_t(width) * std::size_t(height); }
};

// One byte per pixel into `indexes` (pixels() long) while the canvas has at
// most PackedColours colours; false (and `colours` unspecified) beyond.
bool indexCanvas(const QImage &image, std::uint8_t *indexes, std::vector<std::uint32_t> &colours)
{
    // Open addressing, sixteen slots a colour, so that nearly every pixel is
    // found in the first slot its colour hashes to: neighbouring pixels of a
    // dithered picture differ, and a branch taken at random would cost more
    // than the lookup.
    constexpr std::uint32_t Bits = 12, Slots = 1u << Bits;
    const auto slotOf = [](std::uint32_t p) { return (p * 0x9E3779B1u) >> (32 - Bits); };
    // An empty slot holds a colour that hashes to another slot, so that no
    // pixel matches it.
    std::array<std::uint32_t, Slots> keys;
    keys.fill(0);
    keys[slotOf(0)] = 1;
    std::array<std::uint8_t, Slots> values{};
    std::array<bool, Slots> used{};
    colours.clear();
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = line[x];
            std::uint32_t h = slotOf(p);
            if (keys[h] != p) [[unlikely]] {
                while (used[h] && keys[h] != p)
                    h = (h + 1) & (Slots - 1);
                if (!used[h]) {
                    if (colours.size() == PackedColours)
                        return false;
                    used[h] = true;
                    keys[h] = p;
                    values[h] = std::uint8_t(colours.size());
                    colours.push_back(p);
                }
            }
            *indexes++ = values[h];
        }
    }
    return true;
}

// Packs an ARGB32 canvas; false only when memory ran out.
bool packCanvas(const QImage &image, PackedCanvas &out)
{
    out.width = image.width();
    out.height = image.height();
    try {
        out.data.resize(out.pixels());
        if (!indexCanvas(image, out.data.data(), out.colours)) {
            out.colours.clear();
            out.data.resize(out.pixels() * 4);
            const std::size_t row = std::size_t(out.width) * 4;
            for (int y = 0; y < out.height; ++y)
                std::memcpy(out.data.data() + std::size_t(y) * row, image.constScanLine(y), row);
        }
        out.colours.shrink_to_fit();
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// Lays a packed canvas on `bits` (pixels() ARGB words, rows without padding).
void unpackCanvas(const PackedCanvas &packed, uchar *bits)
{
    if (packed.colours.empty()) {
        std::memcpy(bits, packed.data.data(), packed.data.size());
        return;
    }
    std::array<std::uint32_t, PackedColours> table{};
    std::copy(packed.colours.begin(), packed.colours.end(), table.begin());
    auto *out = reinterpret_cast<std::uint32_t *>(bits);
    const std::uint8_t *in = packed.data.data();
    const std::size_t n = packed.pixels();
    for (std::size_t i = 0; i < n; ++i)
        out[i] = table[in[i]];
}

class ComposedState final : public FrameState {
public:
    std::uint32_t frame() const override { return std::uint32_t(canvas.current); }
    std::size_t bytes() const override
    {
        return std::size_t(canvas.image.sizeInBytes()) + canvas.saved.size() * sizeof(std::uint32_t)
             + packed.data.size() + packed.colours.size() * sizeof(std::uint32_t);
    }

    FileIdentity file;
    Canvas canvas; // its image is null when the state is packed
    PackedCanvas packed;
};

class Compositor {
public:
    Compositor(FrameSource &source) : m_source(source) {}

    const Canvas &canvas() const { return m_c; }

    // Brings the canvas to frame `index`: forward from the current frame, or
    // again from frame 0 to go back. OutOfMemory / GenericError leave the canvas
    // undefined (the next call starts again from frame 0).
    Status composeTo(std::uint32_t index)
    {
        if (m_c.image.isNull()) {
            m_c.image = QImage(m_source.width(), m_source.height(), QImage::Format_ARGB32);
            if (m_c.image.isNull())
                return OutOfMemory;
            m_c.current = -1;
        }
        if (m_c.current < 0 || std::int64_t(index) < m_c.current)
            restart();
        while (m_c.current < std::int64_t(index)) {
            const FrameOutcome outcome = step(std::uint32_t(m_c.current + 1));
            if (outcome == FrameOutcome::Unreadable || outcome == FrameOutcome::NoMemory) {
                m_c.current = -1;
                return outcome == FrameOutcome::NoMemory ? OutOfMemory : GenericError;
            }
        }
        return Ok;
    }

    void restore(Canvas canvas) { m_c = std::move(canvas); }

    // Takes a packed state's canvas (`fields` without its image), drawn on the
    // compositor's own buffer.
    Status restorePacked(const Canvas &fields, const PackedCanvas &packed)
    {
        if (m_c.image.width() != packed.width || m_c.image.height() != packed.height) {
            m_c.image = QImage(packed.width, packed.height, QImage::Format_ARGB32);
            if (m_c.image.isNull())
                return OutOfMemory;
        } else if (!m_pool.detach(m_c.image, false)) {
            return OutOfMemory;
        }
        QImage image = std::move(m_c.image);
        unpackCanvas(packed, image.bits());
        m_c = fields;
        m_c.image = std::move(image);
        return Ok;
    }

private:
    void restart()
    {
        m_pool.detach(m_c.image, false); // on failure fill() copies
        m_c.image.fill(0u);
        const QImage image = std::move(m_c.image);
        m_c = Canvas{};
        m_c.image = image;
    }

    FrameOutcome step(std::uint32_t index)
    {
        testing::frameDecodes.fetch_add(1, std::memory_order_relaxed);
        const FrameRecord record = m_source.record(index);
        if (!m_pool.detach(m_c.image))
            return FrameOutcome::NoMemory;
        DrawTarget target;
        target.bits = m_c.image.bits();
        target.stride = m_c.image.bytesPerLine();
        if (!target.bits)
            return FrameOutcome::NoMemory;

        // What the previous frame asked to leave behind.
        const Rect &p = m_c.pendingRect;
        if (!p.empty() && m_c.pendingDisposal == Disposal::Background) {
            for (int y = p.y; y < p.y + p.h; ++y)
                std::fill_n(target.at(p.x, y), p.w, 0u);
            target.cleared = p;
            if (m_c.clearUnderPending || p == Rect{0, 0, m_c.image.width(), m_c.image.height()})
                m_c.clear = true;
        } else if (!p.empty() && m_c.pendingDisposal == Disposal::Previous
                   && m_c.saved.size() >= std::size_t(p.w) * std::size_t(p.h)) {
            const std::uint32_t *s = m_c.saved.data();
            for (int y = p.y; y < p.y + p.h; ++y, s += p.w)
                std::copy_n(s, p.w, target.at(p.x, y));
            if (m_c.clearUnderPending)
                m_c.clear = true;
        }

        const Rect r = record.rect.clippedTo(m_c.image.width(), m_c.image.height());
        m_c.pendingDisposal = record.disposal;
        m_c.pendingRect = r;
        m_c.clearUnderPending = m_c.clear;
        if (record.disposal == Disposal::Previous && !r.empty()) {
            try {
                m_c.saved.resize(std::size_t(r.w) * std::size_t(r.h));
            } catch (const std::bad_alloc &) {
                return FrameOutcome::NoMemory;
            }
            std::uint32_t *s = m_c.saved.data();
            for (int y = r.y; y < r.y + r.h; ++y, s += r.w)
                std::copy_n(target.at(r.x, y), r.w, s);
        }
        m_c.current = index;
        m_c.outcome = FrameOutcome::Drawn;
        if (r.empty())
            return m_c.outcome;
        target.visible = r;
        target.allClear = m_c.clear;
        m_c.outcome = m_source.draw(index, record, target);
        if (m_c.outcome == FrameOutcome::Drawn || m_c.outcome == FrameOutcome::Damaged)
            m_c.clear = false;
        return m_c.outcome;
    }

    FrameSource &m_source;
    Canvas m_c;
    CanvasPool m_pool; // buffers for the canvas while frames handed out hold it
};

// An animation of any format: frames composited on demand, in order.
class AnimatedImage final : public Image {
public:
    AnimatedImage(std::unique_ptr<FrameSource> source, const WatchedFile &file)
        : m_source(std::move(source)), m_compositor(*m_source), m_file(file)
    {
    }

    int width() const override { return m_source->width(); }
    int height() const override { return m_source->height(); }
    Guid frameDimension() const override { return FrameDimensionTime; }
    std::uint32_t frameCount() const override { return m_source->frameCount(); }

    Status selectFrame(const Guid &dimension, std::uint32_t index) override
    {
        if (!(dimension == FrameDimensionTime) || index >= frameCount())
            return InvalidParameter;
        if (!unchanged())
            return SourceChanged;
        const Status s = std::int64_t(index) == m_compositor.canvas().current ? Ok : composeTo(index);
        if (s == SourceChanged)
            return spoiled();
        if (s == Ok) {
            // A frame that draws nothing is active all the same: the next one
            // continues from the canvas it left.
            m_active = index;
            switch (m_compositor.canvas().outcome) {
            case FrameOutcome::Corrupt:
                return FrameCorrupt;
            case FrameOutcome::TooLarge:
                return OutOfMemory;
            default:
                return Ok;
            }
        }
        // Keep showing the frame that was active.
        return composeTo(m_active) == SourceChanged ? spoiled() : s;
    }

    std::uint32_t activeFrameIndex() const override { return m_active; }
    const QImage &activeFrame() const override
    {
        return m_changed && !m_blank.isNull() ? m_blank : m_compositor.canvas().image;
    }
    bool activeFrameDamaged() const override
    {
        const Canvas &c = m_compositor.canvas();
        return c.current == std::int64_t(m_active) && c.outcome == FrameOutcome::Damaged;
    }
    bool hasFrameDelays() const override { return true; }
    const std::vector<std::uint32_t> &frameDelays() const override { return m_source->delays(); }
    std::vector<std::uint32_t> frameDelaysMs() const override { return m_source->delaysMs(); }
    std::vector<FrameRecord> frameRecords() const override { return m_source->records(); }
    int loopCount() const override { return m_source->loopCount(); }

    std::shared_ptr<const FrameState> saveState() const override
    {
        if (m_changed || m_compositor.canvas().current != std::int64_t(m_active))
            return nullptr;
        try {
            const Canvas &c = m_compositor.canvas();
            auto state = std::make_shared<ComposedState>();
            state->file = m_file.identity;
            Canvas &s = state->canvas;
            s.current = c.current;
            s.outcome = c.outcome;
            s.image = c.image;
            s.pendingDisposal = c.pendingDisposal;
            s.pendingRect = c.pendingRect;
            if (c.pendingDisposal == Disposal::Previous)
                s.saved = c.saved;
            s.clearUnderPending = c.clearUnderPending;
            s.clear = c.clear;
            return state;
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }

    std::shared_ptr<const FrameState> savePackedState() const override
    {
        std::shared_ptr<const FrameState> plain = saveState();
        if (!plain)
            return nullptr;
        try {
            auto state = std::make_shared<ComposedState>(static_cast<const ComposedState &>(*plain));
            plain.reset();
            if (!packCanvas(state->canvas.image, state->packed))
                return nullptr;
            state->canvas.image = QImage();
            return state;
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }

    Status restoreState(const FrameState &state) override
    {
        const auto *s = dynamic_cast<const ComposedState *>(&state);
        if (!s || !(s->file == m_file.identity) || s->canvas.current < 0
            || s->canvas.current >= std::int64_t(frameCount()))
            return InvalidParameter;
        const bool packed = s->canvas.image.isNull();
        if (packed ? (s->packed.width != width() || s->packed.height != height())
                   : (s->canvas.image.size() != QSize(width(), height())
                      || s->canvas.image.format() != QImage::Format_ARGB32))
            return InvalidParameter;
        try {
            if (packed) {
                const Status r = m_compositor.restorePacked(s->canvas, s->packed);
                if (r != Ok)
                    return r;
            } else {
                m_compositor.restore(s->canvas);
            }
        } catch (const std::bad_alloc &) {
            return OutOfMemory;
        }
        m_active = s->frame();
        return Ok;
    }

    Status decodePatch(std::uint32_t index, FramePatch &out) override
    {
        out = FramePatch{};
        if (index >= frameCount())
            return InvalidParameter;
        if (!unchanged())
            return SourceChanged;
        const Status s = decodePatchImpl(index, out);
        if (s != Ok || !unchanged()) {
            out = FramePatch{};
            return m_changed ? SourceChanged : s;
        }
        return Ok;
    }

    Status init() { return composeTo(0); }

private:
    // Composes frame `index`; SourceChanged when the file changed meanwhile.
    Status composeTo(std::uint32_t index)
    {
        const Status s = m_compositor.composeTo(index);
        if (void (*hook)() = testing::afterCompose.load(std::memory_order_relaxed))
            hook();
        return unchanged() ? s : SourceChanged;
    }

    // The frame drawn alone on a transparent buffer of its own size, as on a
    // cleared canvas, so each format's own drawing makes the pixels.
    Status decodePatchImpl(std::uint32_t index, FramePatch &out)
    {
        const FrameRecord record = m_source->record(index);
        const Rect r = record.rect.clippedTo(width(), height());
        out.frame = index;
        out.rect = r;
        if (r.empty())
            return Ok;
        out.pixels = QImage(r.w, r.h, QImage::Format_ARGB32);
        if (out.pixels.isNull())
            return OutOfMemory;
        out.pixels.fill(0u);
        DrawTarget target;
        target.bits = out.pixels.bits();
        target.stride = out.pixels.bytesPerLine();
        target.visible = r;
        target.cleared = r;
        target.allClear = true;
        target.originX = r.x;
        target.originY = r.y;
        FrameOutcome outcome = m_source->draw(index, record, target);
        if (record.colors >= 0 && (outcome == FrameOutcome::Drawn || outcome == FrameOutcome::Damaged)) {
            try {
                out.indexes.assign(std::size_t(r.w) * std::size_t(r.h), 0);
            } catch (const std::bad_alloc &) {
                return OutOfMemory;
            }
            const FrameOutcome indexed = m_source->drawIndexes(index, record, r, out.indexes.data(), r.w, out.colors);
            if (indexed != FrameOutcome::Drawn && indexed != FrameOutcome::Damaged)
                outcome = indexed;
        }
        switch (outcome) {
        case FrameOutcome::Drawn:
            return Ok;
        case FrameOutcome::Damaged:
            out.damaged = true;
            return Ok;
        case FrameOutcome::Corrupt:
            return FrameCorrupt;
        case FrameOutcome::Unreadable:
            return GenericError;
        case FrameOutcome::TooLarge:
        case FrameOutcome::NoMemory:
            break;
        }
        return OutOfMemory;
    }

    // The canvas may hold bytes of the file's new contents: show nothing.
    Status spoiled()
    {
        m_blank = QImage(width(), height(), QImage::Format_ARGB32);
        m_blank.fill(Qt::transparent);
        return SourceChanged;
    }

    // False from the first time the file (through the descriptor) or the name
    // (replaced by another file) no longer matches what was opened.
    bool unchanged()
    {
        if (m_changed)
            return false;
        if (m_file.fd < 0)
            return true;
        struct stat st {};
        m_changed = ::fstat(m_file.fd, &st) != 0 || !(FileIdentity::of(st) == m_file.identity)
                 || (!m_file.name.isEmpty()
                     && (::stat(m_file.name.constData(), &st) != 0 || !(FileIdentity::of(st) == m_file.identity)));
        return !m_changed;
    }

    std::unique_ptr<FrameSource> m_source;
    Compositor m_compositor;
    WatchedFile m_file;
    bool m_changed = false;
    QImage m_blank; // the active frame once a change spoiled the canvas
    std::uint32_t m_active = 0;
};

} // namespace

std::unique_ptr<Image> makeAnimation(std::unique_ptr<FrameSource> source, const WatchedFile &file, Status *status)
{
    std::unique_ptr<AnimatedImage> image(new (std::nothrow) AnimatedImage(std::move(source), file));
    if (!image) {
        *status = OutOfMemory;
        return nullptr;
    }
    *status = image->init();
    if (*status != Ok)
        return nullptr;
    return image;
}

} // namespace engine
