#include "imaging/engine/encoders.h"

#include <QImageWriter>

#include <cstring>
#include <vector>

#include "imaging/engine/atomicfile.h"
#include "imaging/engine/gifencoder.h"
#include "imaging/engine/palette.h"
#include "imaging/engine/pngwriter.h"

namespace engine {

namespace {

constexpr Guid formatId(std::uint32_t n)
{
    return Guid{0x5B0E7F00u + n, 0x41C2, 0x4E0B, {0x8D, 0x27, 0x46, 0x4D, 0x54, 0x49, 0x44, std::uint8_t(n)}};
}

// Codec flags as the records carry them: encoder, supports bitmaps, built in.
constexpr std::uint32_t CodecFlags = 0x1 | 0x4 | 0x10000;

std::size_t textBytes(const std::u16string &s)
{
    return (s.size() + 1) * sizeof(char16_t);
}

// Any 0x00RRGGBB pixel with alpha blended onto white.
inline std::uint32_t onWhite(std::uint32_t argb)
{
    const std::uint32_t a = argb >> 24;
    if (a == 0xFF)
        return argb;
    const std::uint32_t inv = 255 - a;
    auto mix = [&](int shift) {
        const std::uint32_t c = (argb >> shift) & 0xFF;
        return ((c * a + 255 * inv + 127) / 255) << shift;
    };
    return 0xFF000000u | mix(16) | mix(8) | mix(0);
}

// BMP and JPEG have no alpha: what lies under a transparent pixel (often
// black) would show, so flatten onto white first. In place, row by row: the
// frame belongs to the save (a copy is made only while the caller still
// shares it), and the result is an opaque RGB32 picture.
bool flattenOnWhiteInPlace(QImage &frame)
{
    if (!frame.bits())
        return false; // no memory for the copy
    for (int y = 0; y < frame.height(); ++y) {
        auto *p = reinterpret_cast<std::uint32_t *>(frame.scanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            p[x] = onWhite(p[x]);
    }
    return frame.reinterpretAsFormat(QImage::Format_RGB32);
}

void put16(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

// A 24-bit bottom-up BMP (file header and BITMAPINFOHEADER, no palette, rows
// padded to 4 bytes), the layout Qt's writer gives an opaque picture, written
// one row at a time: no copy of the picture is made. Alpha is flattened onto
// white on the way.
bool writeBmp(const QImage &frame, AtomicFile &file)
{
    constexpr std::uint32_t FileHeaderBytes = 14;
    constexpr std::uint32_t InfoHeaderBytes = 40;
    const std::uint32_t w = std::uint32_t(frame.width());
    const std::uint32_t h = std::uint32_t(frame.height());
    const std::uint32_t rowBytes = (w * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * h;
    std::uint8_t header[FileHeaderBytes + InfoHeaderBytes] = {'B', 'M'};
    put32(header + 2, FileHeaderBytes + InfoHeaderBytes + imageBytes);
    put32(header + 10, FileHeaderBytes + InfoHeaderBytes);
    std::uint8_t *info = header + FileHeaderBytes;
    put32(info, InfoHeaderBytes);
    put32(info + 4, w);
    put32(info + 8, h);
    put16(info + 12, 1);  // planes
    put16(info + 14, 24); // bits per pixel
    put32(info + 20, imageBytes);
    put32(info + 24, SavedDotsPerMetre);
    put32(info + 28, SavedDotsPerMetre);
    if (!file.write(reinterpret_cast<const char *>(header), sizeof header))
        return false;
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int y = int(h) - 1; y >= 0; --y) {
        const auto *s = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        std::uint8_t *d = row.data();
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t c = onWhite(s[x]);
            *d++ = std::uint8_t(c);
            *d++ = std::uint8_t(c >> 8);
            *d++ = std::uint8_t(c >> 16);
        }
        if (!file.write(reinterpret_cast<const char *>(row.data()), rowBytes))
            return false;
    }
    return true;
}

int jpegQuality(const EncoderParameters *params)
{
    if (!params)
        return DefaultJpegQuality;
    for (std::uint32_t i = 0; i < params->Count; ++i) {
        const EncoderParameter &p = params->Parameter[i];
        if (p.Guid_ == EncoderQuality && p.NumberOfValues >= 1
            && p.Type == EncoderParameterValueTypeLong && p.Value) {
            std::uint32_t v = 0;
            std::memcpy(&v, p.Value, sizeof v);
            return int(v > 100 ? 100 : v);
        }
    }
    return DefaultJpegQuality;
}

// The status and cause of a save whose encoding step returned `encoded`: a
// failure of the file comes first (a full disk makes the encoder fail too).
Status finishSave(AtomicFile &file, Status encoded, Cause *cause)
{
    if (file.status() == Ok && encoded != Ok) {
        if (cause)
            *cause = encoded == OutOfMemory ? Cause::OutOfMemory : Cause::EncodeFailed;
        return encoded;
    }
    return file.commit(cause);
}

Status writeWithQt(AtomicFile &file, QImage &image, const char *format, int quality,
                   int compression)
{
    if (file.status() != Ok)
        return file.status();
    image.setDotsPerMeterX(SavedDotsPerMetre);
    image.setDotsPerMeterY(SavedDotsPerMetre);
    QImageWriter writer(file.device(), format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    // The return value is the truth: errorString() may say "Unknown error"
    // after a good write.
    return writer.write(image) ? Ok : GenericError;
}

Status writeGif(const IndexedFrame &indexed, AtomicFile &file)
{
    if (file.status() != Ok)
        return file.status();
    GifEncoder enc(&file);
    Status s = enc.begin(indexed.width, indexed.height, indexed, -1);
    if (s == Ok)
        s = enc.addFrame(indexed, 0);
    if (s == Ok)
        s = enc.finish();
    return s;
}

} // namespace

EncoderList::EncoderList(std::vector<EncoderInfo> entries) : m_entries(std::move(entries)) {}

const EncoderList &EncoderList::standard()
{
    static const EncoderList list(std::vector<EncoderInfo>{
        {ClsidBmpEncoder, formatId(1), EncoderKind::Bmp, u"FalorenGIF BMP Encoder", u"BMP",
         u"*.BMP;*.DIB;*.RLE", u"image/bmp"},
        {ClsidJpegEncoder, formatId(2), EncoderKind::Jpeg, u"FalorenGIF JPEG Encoder", u"JPEG",
         u"*.JPG;*.JPEG;*.JPE;*.JFIF", u"image/jpeg"},
        {ClsidGifEncoder, formatId(3), EncoderKind::Gif, u"FalorenGIF GIF Encoder", u"GIF",
         u"*.GIF", u"image/gif"},
        {ClsidTiffEncoder, formatId(4), EncoderKind::Tiff, u"FalorenGIF TIFF Encoder", u"TIFF",
         u"*.TIF;*.TIFF", u"image/tiff"},
        {ClsidPngEncoder, formatId(5), EncoderKind::Png, u"FalorenGIF PNG Encoder", u"PNG",
         u"*.PNG", u"image/png"},
    });
    return list;
}

const EncoderInfo *EncoderList::find(const Guid &clsid) const
{
    for (const EncoderInfo &e : m_entries)
        if (e.clsid == clsid)
            return &e;
    return nullptr;
}

std::uint32_t EncoderList::byteSize() const
{
    std::size_t size = m_entries.size() * sizeof(ImageCodecInfo);
    for (const EncoderInfo &e : m_entries)
        size += textBytes(e.codecName) + textBytes(e.formatDescription)
                + textBytes(e.filenameExtension) + textBytes(e.mimeType);
    return std::uint32_t(size);
}

void EncoderList::fillCodecInfo(void *buffer) const
{
    auto *records = static_cast<ImageCodecInfo *>(buffer);
    auto *text = reinterpret_cast<char16_t *>(records + m_entries.size());
    auto put = [&text](const std::u16string &s) {
        const char16_t *start = text;
        std::memcpy(text, s.c_str(), textBytes(s));
        text += s.size() + 1;
        return start;
    };
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const EncoderInfo &e = m_entries[i];
        ImageCodecInfo r{};
        r.Clsid = e.clsid;
        r.FormatID = e.formatId;
        r.CodecName = put(e.codecName);
        r.DllName = nullptr; // built in
        r.FormatDescription = put(e.formatDescription);
        r.FilenameExtension = put(e.filenameExtension);
        r.MimeType = put(e.mimeType);
        r.Flags = CodecFlags;
        r.Version = 1;
        std::memcpy(&records[i], &r, sizeof r);
    }
}

Status saveFrame(const QImage &frame, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list, Cause *cause)
{
    return saveFrame(QImage(frame), clsid, params, path, list, cause);
}

Status saveFrame(QImage &&source, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list, Cause *cause,
                 const std::function<void()> &pixelsDone)
{
    const EncoderInfo *encoder = list.find(clsid);
    if (!encoder || source.isNull() || path.isEmpty()) {
        if (cause)
            *cause = encoder ? Cause::EncodeFailed : Cause::NoEncoder;
        return InvalidParameter;
    }
    QImage frame = source.format() == QImage::Format_ARGB32
                       ? std::move(source)
                       : source.convertToFormat(QImage::Format_ARGB32);
    source = QImage();
    if (frame.isNull()) {
        if (cause)
            *cause = Cause::OutOfMemory;
        return OutOfMemory;
    }

    // Opened first, so a save that cannot succeed (no folder, a link in the way)
    // costs no encoding.
    AtomicFile file(path);
    if (file.status() != Ok)
        return file.commit(cause);
    Status encoded = Ok;
    switch (encoder->kind) {
    case EncoderKind::Png: {
        // Our own writer: Qt's would take the export quality (100) as "store
        // uncompressed", and it cannot write palette files from ARGB frames fast.
        const QByteArray png = encodePng(std::move(frame), 0, pixelsDone);
        encoded = png.isEmpty() ? OutOfMemory : Ok;
        if (encoded == Ok)
            file.write(png);
        break;
    }
    case EncoderKind::Gif: {
        IndexedFrame indexed;
        if (!gifPalette(frame, &indexed)) {
            encoded = OutOfMemory;
            break;
        }
        frame = QImage();
        if (pixelsDone)
            pixelsDone();
        encoded = writeGif(indexed, file);
        break;
    }
    case EncoderKind::Bmp:
        // Only a write can fail here.
        writeBmp(frame, file);
        break;
    case EncoderKind::Jpeg:
        if (!flattenOnWhiteInPlace(frame)) {
            encoded = OutOfMemory;
            break;
        }
        encoded = writeWithQt(file, frame, "jpeg", jpegQuality(params), -1);
        break;
    case EncoderKind::Tiff:
        encoded = writeWithQt(file, frame, "tiff", -1, 1 /* LZW */);
        break;
    }
    return finishSave(file, encoded, cause);
}

Status saveAnimatedGif(const std::vector<QImage> &frames, const std::vector<std::uint32_t> &delays,
                       int loopCount, const QString &path, Cause *cause)
{
    if (frames.empty() || frames.front().isNull() || path.isEmpty()) {
        if (cause)
            *cause = Cause::EncodeFailed;
        return InvalidParameter;
    }
    const QSize size = frames.front().size();
    for (const QImage &f : frames) {
        if (f.size() != size) {
            if (cause)
                *cause = Cause::EncodeFailed;
            return InvalidParameter;
        }
    }
    AtomicFile file(path);
    if (file.status() != Ok)
        return file.commit(cause);
    GifEncoder enc(&file);
    Status s = Ok;
    for (std::size_t i = 0; i < frames.size() && s == Ok; ++i) {
        IndexedFrame indexed;
        if (!gifPalette(frames[i], &indexed)) {
            s = OutOfMemory;
            break;
        }
        if (i == 0)
            s = enc.begin(size.width(), size.height(), indexed, loopCount);
        if (s == Ok)
            s = enc.addFrame(indexed, i < delays.size() ? delays[i] : 0);
    }
    if (s == Ok)
        s = enc.finish();
    return finishSave(file, s, cause);
}

} // namespace engine
