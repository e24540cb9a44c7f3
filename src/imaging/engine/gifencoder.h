#pragma once
// GIF89a encoder on giflib: writes palette frames into a byte array in memory,
// or straight into a file being written (engine/atomicfile.h).
// The first frame's palette becomes the global colour table, later frames that
// use other palettes get local tables. One encoder per file, one thread at a
// time; nothing here throws.

#include <QByteArray>

#include <cstdint>
#include <memory>

#include "imaging/engine/palette.h"
#include "imaging/engine/records.h"

struct GifFileType;

namespace engine {

class AtomicFile;

class GifEncoder {
public:
    GifEncoder();
    // Writes into `out` (which must outlive the encoder) instead of data().
    explicit GifEncoder(AtomicFile *out);
    ~GifEncoder();
    GifEncoder(const GifEncoder &) = delete;
    GifEncoder &operator=(const GifEncoder &) = delete;

    // Starts a file with this logical screen; `loopCount` -1 writes no
    // NETSCAPE2.0 block, 0 loops for ever.
    Status begin(int width, int height, const IndexedFrame &first, int loopCount);
    // Adds a frame covering the whole screen, shown `delay` hundredths of a
    // second, disposed to the background so each frame stands on its own.
    Status addFrame(const IndexedFrame &frame, std::uint32_t delay);
    // Ends the file; the bytes are in `data()` (or the file) when it returns Ok.
    Status finish();

    const QByteArray &data() const { return m_data; }

private:
    struct Closer {
        void operator()(GifFileType *gif) const;
    };
    static int output(GifFileType *gif, const unsigned char *bytes, int len);

    QByteArray m_data; // declared first: the handle writes into it until it is closed
    AtomicFile *m_out = nullptr;
    std::unique_ptr<GifFileType, Closer> m_gif;
    std::vector<std::uint32_t> m_globalPalette;
    int m_width = 0;
    int m_height = 0;
};

} // namespace engine
