#include "imaging/engine/gifencoder.h"

#include <gif_lib.h>

#include "imaging/engine/gifmap.h"

#include "imaging/engine/atomicfile.h"
#include "imaging/engine/giferrors.h"

#include <algorithm>
#include <vector>

namespace engine {

namespace {

// Palettes compared as the GIF stores them: colour only (alpha lives in the
// graphic control block).
bool samePalette(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] & 0xFFFFFFu) != (b[i] & 0xFFFFFFu))
            return false;
    return true;
}

} // namespace

void GifEncoder::Closer::operator()(GifFileType *gif) const
{
    int error = 0;
    EGifCloseFile(gif, &error); // frees the handle even when it fails
}

GifEncoder::GifEncoder() = default;
GifEncoder::GifEncoder(AtomicFile *out) : m_out(out) {}

int GifEncoder::output(GifFileType *gif, const GifByteType *bytes, int len)
{
    auto *self = static_cast<GifEncoder *>(gif->UserData);
    const auto *data = reinterpret_cast<const char *>(bytes);
    if (self->m_out)
        return self->m_out->write(data, len) ? len : 0;
    self->m_data.append(data, len);
    return len;
}
GifEncoder::~GifEncoder() = default;

Status GifEncoder::begin(int width, int height, const IndexedFrame &first, int loopCount)
{
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return InvalidParameter;
    int error = 0;
    m_data.clear();
    m_gif.reset(EGifOpen(this, output, &error));
    if (!m_gif)
        return statusFromGifError(error);
    EGifSetGifVersion(m_gif.get(), true);
    m_width = width;
    m_height = height;
    m_globalPalette = first.palette;
    GifMapPtr map = makeGifMap(m_globalPalette);
    if (!map)
        return OutOfMemory;
    if (EGifPutScreenDesc(m_gif.get(), width, height, 8, 0, map.get()) != GIF_OK)
        return statusFromGifError(m_gif->Error);
    if (loopCount >= 0) {
        const unsigned char app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        const unsigned char sub[] = {1, std::uint8_t(loopCount & 0xFF),
                                     std::uint8_t((loopCount >> 8) & 0xFF)};
        if (EGifPutExtensionLeader(m_gif.get(), APPLICATION_EXT_FUNC_CODE) != GIF_OK
            || EGifPutExtensionBlock(m_gif.get(), sizeof app, app) != GIF_OK
            || EGifPutExtensionBlock(m_gif.get(), sizeof sub, sub) != GIF_OK
            || EGifPutExtensionTrailer(m_gif.get()) != GIF_OK)
            return statusFromGifError(m_gif->Error);
    }
    return Ok;
}

Status GifEncoder::addFrame(const IndexedFrame &frame, std::uint32_t delay)
{
    if (!m_gif)
        return WrongState;
    if (frame.width != m_width || frame.height != m_height)
        return InvalidParameter;
    {
        // Every frame gets a control block: without one a frame's disposal is
        // unspecified and the next frame's see-through pixels would show it.
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_BACKGROUND; // each frame is complete by itself
        gcb.UserInputFlag = false;
        gcb.DelayTime = int(delay > 65535 ? 65535 : delay);
        gcb.TransparentColor = frame.transparentIndex;
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(m_gif.get(), GRAPHICS_EXT_FUNC_CODE, int(n), ext) != GIF_OK)
            return statusFromGifError(m_gif->Error);
    }
    GifMapPtr local;
    if (!samePalette(frame.palette, m_globalPalette)) {
        local = makeGifMap(frame.palette);
        if (!local)
            return OutOfMemory;
    }
    if (!local && m_gif->Image.ColorMap) {
        // giflib keeps a copy of the last local table and, given none for this
        // frame, forgets it without freeing it: one leak per change back to the
        // global palette.
        GifFreeMapObject(m_gif->Image.ColorMap);
        m_gif->Image.ColorMap = nullptr;
    }
    if (EGifPutImageDesc(m_gif.get(), 0, 0, m_width, m_height, false, local.get()) != GIF_OK)
        return statusFromGifError(m_gif->Error);
    // EGifPutLine masks the row in place: hand it a copy.
    std::vector<GifPixelType> row(static_cast<std::size_t>(m_width));
    for (int y = 0; y < m_height; ++y) {
        const std::uint8_t *src = frame.indexes.data() + std::size_t(y) * std::size_t(m_width);
        std::copy(src, src + m_width, row.begin());
        if (EGifPutLine(m_gif.get(), row.data(), m_width) != GIF_OK)
            return statusFromGifError(m_gif->Error);
    }
    return Ok;
}

Status GifEncoder::finish()
{
    if (!m_gif)
        return WrongState;
    int error = 0;
    const int rc = EGifCloseFile(m_gif.release(), &error);
    return rc == GIF_OK ? Ok : statusFromGifError(error);
}

} // namespace engine
