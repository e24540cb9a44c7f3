#pragma once
// How one frame of an animation is stored in its file, in one vocabulary for
// GIF, APNG and WebP: its rectangle on the canvas, what happens to it before
// the next frame (disposal), how it is laid over the canvas (blend), its stored
// delay and, for palette formats, the colour table it uses. The decoders' scans
// make these records; the compositor draws by them and engine::Image publishes
// them (frameRecords()), so nothing above the engine reads a file's blocks again.
//
// Units: pixels of the canvas (the logical screen for GIFs), milliseconds.
// Plain values; any thread; nothing throws.

#include <cstdint>

namespace engine {

// A rectangle in canvas pixels; right and bottom edges excluded.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    // This rectangle cut to the canvas `width` x `height` (empty when outside).
    Rect clippedTo(int width, int height) const
    {
        const std::int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
        std::int64_t x1 = std::int64_t(x) + w, y1 = std::int64_t(y) + h;
        if (x1 > width)
            x1 = width;
        if (y1 > height)
            y1 = height;
        if (x1 <= x0 || y1 <= y0)
            return Rect{};
        return Rect{int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
    }
    friend bool operator==(const Rect &, const Rect &) = default;
};

enum class Disposal : std::uint8_t { None, Background, Previous };
enum class Blend : std::uint8_t { Over, Source };

struct FrameRecord {
    Rect rect;                          // as stored, not clipped to the canvas
    Disposal disposal = Disposal::None; // GIF's "unspecified" and reserved codes count as None
    Blend blend = Blend::Over;          // GIFs always blend over
    std::uint32_t delayMs = 0;          // as stored (a GIF's hundredths x 10)
    int colors = -1;                    // entries of the colour table used; -1 for true colour
    bool localColors = false;           // the frame has its own table (GIF only)
    int transparentIndex = -1;          // -1 when none (always for WebP and APNG)
    bool interlaced = false;            // GIF and APNG only
    friend bool operator==(const FrameRecord &, const FrameRecord &) = default;
};

// What a browser plays for a stored delay: GIF delays of 10 ms or less play as
// 100 ms; other formats play the delay as stored.
inline std::int64_t playedDelayMs(std::int64_t storedMs, bool gif)
{
    return gif && storedMs <= 10 ? 100 : storedMs;
}

const char *disposalName(Disposal disposal); // "none", "background", "previous"
const char *blendName(Blend blend);          // "over", "source"

} // namespace engine
