#pragma once
// Palette pictures for the encoders: a frame's exact colours as palette indexes
// when it has at most 256 of them, found with a small hash table in one pass
// (much faster than QImage::convertToFormat, which searches for colours per
// pixel), and libimagequant's palette for GIF frames with more.
//
// Plain values and free functions; every call works on its own data, so any
// thread may call them.

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

namespace engine {

// A frame as palette indexes, one byte per pixel, rows packed without padding.
struct IndexedFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indexes;  // width * height
    std::vector<std::uint32_t> palette; // ARGB (non-premultiplied), at most 256
    int transparentIndex = -1;          // the entry with alpha 0, when there is one
};

enum class AlphaMode {
    // Every alpha value is kept; all fully transparent pixels share one entry.
    Full,
    // GIF rules: alpha below 128 is transparent (one entry, colour 0), anything
    // else opaque.
    Binary,
};

// Colours to palette indexes: an open-addressing table of at most 256
// colours in 1024 slots; a slot holds the colour in its low half and index + 1
// above it, so one load answers a probe. Far faster per pixel than a
// std::unordered_map.
class ColourLookup {
public:
    ColourLookup() { m_slots.fill(0); }

    // Maps `colour` to `index` unless it is mapped already (the first entry of
    // a table wins). False when the table is full.
    bool insert(std::uint32_t colour, std::uint8_t index)
    {
        if (m_count == 256)
            return find(colour) >= 0;
        std::uint64_t &slot = m_slots[slotOf(colour)];
        if (slot == 0) {
            slot = ((std::uint64_t(index) + 1) << 32) | colour;
            ++m_count;
        }
        return true;
    }
    // The colour's index, -1 when it has none.
    int find(std::uint32_t colour) const
    {
        const std::uint64_t s = m_slots[slotOf(colour)];
        return s == 0 ? -1 : int(s >> 32) - 1;
    }
    int size() const { return m_count; }

private:
    static constexpr int Bits = 10;
    static constexpr std::uint32_t Mask = (1u << Bits) - 1;

    // The colour's slot, or the empty slot where it would go.
    std::uint32_t slotOf(std::uint32_t colour) const
    {
        std::uint32_t h = (colour * 0x9E3779B1u) >> (32 - Bits);
        while (m_slots[h] != 0 && std::uint32_t(m_slots[h]) != colour)
            h = (h + 1) & Mask;
        return h;
    }

    std::array<std::uint64_t, 1u << Bits> m_slots; // 0 = empty
    int m_count = 0;
};

// The exact colours of `frame` (Format_ARGB32, not premultiplied) when there
// are at most 256 after applying `mode`; entries whose alpha is below 255 come
// first so a PNG tRNS chunk stays short. Returns false when there are more.
bool exactPalette(const QImage &frame, AlphaMode mode, IndexedFrame *out);

// GIF palette for any frame: exact colours when they fit, otherwise a
// libimagequant palette of at most 256 entries (binary alpha). False only when
// the quantiser fails (out of memory).
bool gifPalette(const QImage &frame, IndexedFrame *out);

} // namespace engine
