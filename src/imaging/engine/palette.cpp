#include "imaging/engine/palette.h"

#include <libimagequant.h>

#include <array>
#include <memory>

namespace engine {

namespace {

inline std::uint32_t normalise(std::uint32_t argb, AlphaMode mode)
{
    const std::uint32_t a = argb >> 24;
    if (mode == AlphaMode::Binary)
        return a < 128 ? 0u : (argb | 0xFF000000u);
    return a == 0 ? 0u : argb;
}

// The colours of a frame in order of appearance, at most 256.
class ColourTable {
public:
    // The colour's index, adding it when new; -1 when a 257th colour appears.
    int indexOf(std::uint32_t colour)
    {
        const int found = m_lookup.find(colour);
        if (found >= 0)
            return found;
        if (m_colours.size() == 256)
            return -1;
        m_lookup.insert(colour, std::uint8_t(m_colours.size()));
        m_colours.push_back(colour);
        return int(m_colours.size()) - 1;
    }

    std::vector<std::uint32_t> &colours() { return m_colours; }

private:
    ColourLookup m_lookup;
    std::vector<std::uint32_t> m_colours;
};

// Moves entries with alpha below 255 to the front and notes the transparent one.
void orderPalette(IndexedFrame *out)
{
    auto &pal = out->palette;
    std::array<std::uint8_t, 256> lut{};
    std::vector<std::uint32_t> sorted;
    sorted.reserve(pal.size());
    bool moved = false;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < pal.size(); ++i) {
            const bool opaque = (pal[i] >> 24) == 0xFF;
            if (opaque == (pass == 1)) {
                lut[i] = std::uint8_t(sorted.size());
                moved = moved || lut[i] != i;
                sorted.push_back(pal[i]);
            }
        }
    }
    pal.swap(sorted);
    if (moved) {
        for (auto &ix : out->indexes)
            ix = lut[ix];
    }
    out->transparentIndex = -1;
    for (std::size_t i = 0; i < pal.size(); ++i) {
        if ((pal[i] >> 24) == 0) {
            out->transparentIndex = int(i);
            break;
        }
    }
}

struct LiqAttrDeleter {
    void operator()(liq_attr *p) const { liq_attr_destroy(p); }
};
struct LiqImageDeleter {
    void operator()(liq_image *p) const { liq_image_destroy(p); }
};
struct LiqResultDeleter {
    void operator()(liq_result *p) const { liq_result_destroy(p); }
};

} // namespace

bool exactPalette(const QImage &source, AlphaMode mode, IndexedFrame *out)
{
    const QImage frame = source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_ARGB32);
    const int w = frame.width();
    const int h = frame.height();
    ColourTable table;
    out->width = w;
    out->height = h;
    out->indexes.resize(std::size_t(w) * std::size_t(h));
    std::uint8_t *dst = out->indexes.data();
    // Runs of one colour are common (flat areas, screen content): remember the
    // last pixel's index instead of hashing it again.
    std::uint32_t lastPixel = 0;
    int lastIndex = -1;
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = row[x];
            if (p != lastPixel || lastIndex < 0) {
                lastIndex = table.indexOf(normalise(p, mode));
                if (lastIndex < 0)
                    return false;
                lastPixel = p;
            }
            *dst++ = std::uint8_t(lastIndex);
        }
    }
    out->palette = std::move(table.colours());
    if (out->palette.empty())
        out->palette.push_back(0); // a 0 x 0 frame still needs one entry
    orderPalette(out);
    return true;
}

bool gifPalette(const QImage &source, IndexedFrame *out)
{
    const QImage frame = source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_ARGB32);
    if (exactPalette(frame, AlphaMode::Binary, out))
        return true;

    const int w = frame.width();
    const int h = frame.height();
    // libimagequant wants R,G,B,A bytes that outlive its image. Alpha becomes
    // all or nothing, and transparent pixels lose their colour so they all
    // fall into one palette entry.
    QImage rgba(w, h, QImage::Format_RGBA8888);
    if (rgba.isNull())
        return false;
    for (int y = 0; y < h; ++y) {
        const auto *src = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        std::uint8_t *dst = rgba.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = normalise(src[x], AlphaMode::Binary);
            dst[0] = std::uint8_t(p >> 16);
            dst[1] = std::uint8_t(p >> 8);
            dst[2] = std::uint8_t(p);
            dst[3] = std::uint8_t(p >> 24);
            dst += 4;
        }
    }

    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr)
        return false;
    liq_set_max_colors(attr.get(), 256);
    std::vector<void *> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[std::size_t(y)] = rgba.scanLine(y);
    std::unique_ptr<liq_image, LiqImageDeleter> image(
        liq_image_create_rgba_rows(attr.get(), rows.data(), w, h, 0));
    if (!image)
        return false;
    liq_result *rawResult = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult)
        return false;
    std::unique_ptr<liq_result, LiqResultDeleter> result(rawResult);
    liq_set_dithering_level(result.get(), 1.0f);

    out->width = w;
    out->height = h;
    out->indexes.resize(std::size_t(w) * std::size_t(h));
    std::vector<unsigned char *> outRows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        outRows[std::size_t(y)] = out->indexes.data() + std::size_t(y) * std::size_t(w);
    if (liq_write_remapped_image_rows(result.get(), image.get(), outRows.data()) != LIQ_OK)
        return false;

    // The palette is final only after remapping.
    const liq_palette *pal = liq_get_palette(result.get());
    if (!pal || pal->count == 0)
        return false;
    out->palette.clear();
    out->transparentIndex = -1;
    std::array<std::uint8_t, 256> lut{};
    bool needLut = false;
    for (unsigned i = 0; i < pal->count; ++i) {
        const liq_color c = pal->entries[i];
        const bool transparent = c.a < 128;
        if (transparent && out->transparentIndex >= 0) {
            // Several see-through entries: fold them into the first.
            lut[i] = std::uint8_t(out->transparentIndex);
            needLut = true;
            out->palette.push_back(0);
            continue;
        }
        lut[i] = std::uint8_t(i);
        if (transparent) {
            out->transparentIndex = int(i);
            out->palette.push_back(0);
        } else {
            out->palette.push_back(0xFF000000u | (std::uint32_t(c.r) << 16)
                                   | (std::uint32_t(c.g) << 8) | c.b);
        }
    }
    if (needLut) {
        for (auto &ix : out->indexes)
            ix = lut[ix];
    }
    return true;
}

} // namespace engine
