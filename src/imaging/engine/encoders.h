#pragma once
// The engine's encoders and their list: BMP, JPEG, GIF, TIFF, PNG, in this order,
// each with a stable class identifier of our own. The standard list is fixed at
// start-up and never changes; tests build their own lists (an extra encoder with
// a duplicate MIME type, say) with the constructor.
//
// Saving writes through a temporary file that is renamed into place (QSaveFile),
// so a failed save never damages a file that was already there; files get the
// usual permissions. Thread-safe: frames may be encoded on worker threads.

#include <QImage>
#include <QString>

#include <string>
#include <vector>

#include "imaging/engine/records.h"

namespace engine {

enum class EncoderKind { Bmp, Jpeg, Gif, Tiff, Png };

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
// failures) and writes nothing.
Status saveFrame(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list = EncoderList::standard());

} // namespace engine
