#pragma once
// The engine's encoders and their list: BMP, JPEG, GIF, TIFF, PNG, in this order,
// each with a stable class identifier of our own. The standard list is fixed at
// start-up and never changes; tests build their own lists (an extra encoder with
// a duplicate MIME type, say) with the constructor.
//
// Saving writes through a temporary file that is put in place only when
// complete (engine/atomicfile.h), so a failed save never damages a file that was
// already there; files get the usual permissions. Memory stays within about one
// more frame's worth: BMP rows and the JPEG, TIFF and GIF encoders' output go
// straight to the temporary file, BMP and JPEG are flattened row by row, and
// only PNG (whose compressor needs the whole picture) builds the file in memory.
// BMP, JPEG and TIFF files say 96 dpi, whatever application runs the encoder.
// Thread-safe: frames may be encoded on worker threads.

#include <QImage>

#include <functional>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/engine/failure.h"
#include "imaging/engine/records.h"

namespace engine {

enum class EncoderKind { Bmp, Jpeg, Gif, Tiff, Png };

// Class identifiers of the standard encoders (our own, stable across releases).
inline constexpr Guid ClsidBmpEncoder{0x3F1C6A01, 0x7E2B, 0x4C55,
                                      {0x9A, 0x10, 0x46, 0x41, 0x4C, 0x47, 0x42, 0x01}};
inline constexpr Guid ClsidJpegEncoder{0x3F1C6A02, 0x7E2B, 0x4C55,
                                       {0x9A, 0x10, 0x46, 0x41, 0x4C, 0x47, 0x42, 0x02}};
inline constexpr Guid ClsidGifEncoder{0x3F1C6A03, 0x7E2B, 0x4C55,
                                      {0x9A, 0x10, 0x46, 0x41, 0x4C, 0x47, 0x42, 0x03}};
inline constexpr Guid ClsidTiffEncoder{0x3F1C6A04, 0x7E2B, 0x4C55,
                                       {0x9A, 0x10, 0x46, 0x41, 0x4C, 0x47, 0x42, 0x04}};
inline constexpr Guid ClsidPngEncoder{0x3F1C6A05, 0x7E2B, 0x4C55,
                                      {0x9A, 0x10, 0x46, 0x41, 0x4C, 0x47, 0x42, 0x05}};

// JPEG quality used when the parameters carry no EncoderQuality.
inline constexpr int DefaultJpegQuality = 90;

// The resolution written into BMP, JPEG and TIFF files: 96 dpi in dots per metre.
// Set explicitly because a QImage's default depends on the application object
// (a QGuiApplication takes the screen's, a QCoreApplication another), and the
// window and the command line must write identical files.
inline constexpr int SavedDotsPerMetre = 3780;

struct EncoderInfo {
    Guid clsid;
    Guid formatId;
    EncoderKind kind;
    std::u16string codecName;
    std::u16string formatDescription;
    std::u16string filenameExtension; // for example u"*.BMP;*.DIB;*.RLE"
    std::u16string mimeType;          // for example u"image/bmp"
};

class EncoderList {
public:
    explicit EncoderList(std::vector<EncoderInfo> entries);

    // BMP, JPEG, GIF, TIFF, PNG.
    static const EncoderList &standard();

    const std::vector<EncoderInfo> &entries() const { return m_entries; }
    // The entry with this class identifier, or nullptr.
    const EncoderInfo *find(const Guid &clsid) const;

    // The list as ImageCodecInfo records: count records followed by the texts
    // they point to, in one block of `byteSize()` bytes written into `buffer`.
    std::uint32_t byteSize() const;
    void fillCodecInfo(void *buffer) const;

private:
    std::vector<EncoderInfo> m_entries;
};

// Writes `frame` (Format_ARGB32, not premultiplied, as Image::activeFrame gives
// it; other formats are converted) to `path` with the encoder whose class
// identifier is `clsid` in `list`. `params` may be null; EncoderQuality (one
// long value, 0..100) matters only to JPEG. An identifier that names no encoder
// returns InvalidParameter (FileNotFound or Win32Error-style statuses for I/O
// failures, as writeFileAtomically gives them) and writes nothing. `*cause`
// (when given) says why a save failed: the file system's reason (DiskFull,
// FolderMissing, SymlinkInTheWay, ...), EncodeFailed, OutOfMemory or NoEncoder;
// None on success.
Status saveFrame(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list = EncoderList::standard(),
                 Cause *cause = nullptr);

// The same for a frame the caller hands over: its pixels are let go as soon as
// the encoder has what it needs (the palette indexes, the filtered rows), which
// keeps an export pipeline's memory low. `pixelsDone`, when set, is called on
// this thread at that moment when it comes before the compression and the write
// (PNG, GIF); for the other formats the pixels are needed until the return.
Status saveFrame(QImage &&frame, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list = EncoderList::standard(),
                 Cause *cause = nullptr, const std::function<void()> &pixelsDone = {});

// Writes an animated GIF89a: `frames` (any format; converted to ARGB32) all of
// the size of the first, each shown for `delays[i]` hundredths of a second
// (missing delays count as 0); `loopCount` -1 writes no NETSCAPE2.0 block, 0
// loops for ever. Colours as saveFrame's GIF encoder chooses them. Atomic like
// saveFrame, with a cause like saveFrame's; InvalidParameter for no frames or
// frames of different sizes.
Status saveAnimatedGif(const std::vector<QImage> &frames, const std::vector<std::uint32_t> &delays,
                       int loopCount, const QString &path, Cause *cause = nullptr);

} // namespace engine
