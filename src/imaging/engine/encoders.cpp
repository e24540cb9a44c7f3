#include "imaging/engine/encoders.h"

#include <QBuffer>
#include <QImageWriter>

#include <cstring>

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
// black) would show, so flatten onto white first.
QImage flattenOnWhite(const QImage &frame, QImage::Format format)
{
    QImage out(frame.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < frame.height(); ++y) {
        const auto *s = reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y));
        auto *d = reinterpret_cast<std::uint32_t *>(out.scanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            d[x] = onWhite(s[x]);
    }
    return format == QImage::Format_RGB32 ? out : out.convertToFormat(format);
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

Status writeBytes(const QString &path, const QByteArray &bytes)
{
    return writeFileAtomically(path, bytes);
}

Status writeWithQt(const QString &path, const QImage &image, const char *format, int quality,
                   int compression)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, format);
        if (quality >= 0)
            writer.setQuality(quality);
        if (compression >= 0)
            writer.setCompression(compression);
        // The return value is the truth: errorString() may say "Unknown error"
        // after a good write.
        if (!writer.write(image))
            return GenericError;
    }
    return writeFileAtomically(path, bytes);
}

Status writeGif(const IndexedFrame &indexed, const QString &path)
{
    GifEncoder enc;
    Status s = enc.begin(indexed.width, indexed.height, indexed, -1);
    if (s == Ok)
        s = enc.addFrame(indexed, 0);
    if (s == Ok)
        s = enc.finish();
    if (s != Ok)
        return s;
    return writeBytes(path, enc.data());
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
                 const QString &path, const EncoderList &list)
{
    return saveFrame(QImage(frame), clsid, params, path, list);
}

Status saveFrame(QImage &&source, const Guid &clsid, const EncoderParameters *params,
                 const QString &path, const EncoderList &list)
{
    const EncoderInfo *encoder = list.find(clsid);
    if (!encoder || source.isNull() || path.isEmpty())
        return InvalidParameter;
    QImage frame = source.format() == QImage::Format_ARGB32
                       ? std::move(source)
                       : source.convertToFormat(QImage::Format_ARGB32);
    source = QImage();
    if (frame.isNull())
        return OutOfMemory;

    switch (encoder->kind) {
    case EncoderKind::Png: {
        // Our own writer: Qt's would take the export quality (100) as "store
        // uncompressed", and it cannot write palette files from ARGB frames fast.
        QByteArray png;
        IndexedFrame indexed;
        if (exactPalette(frame, AlphaMode::Full, &indexed)) {
            frame = QImage();
            png = encodeIndexedPng(indexed);
        } else {
            png = encodeTrueColourPng(frame);
        }
        if (png.isEmpty())
            return OutOfMemory;
        return writeBytes(path, png);
    }
    case EncoderKind::Gif: {
        IndexedFrame indexed;
        if (!gifPalette(frame, &indexed))
            return OutOfMemory;
        frame = QImage();
        return writeGif(indexed, path);
    }
    case EncoderKind::Bmp: {
        const QImage flat = flattenOnWhite(frame, QImage::Format_RGB888);
        frame = QImage();
        if (flat.isNull())
            return OutOfMemory;
        return writeWithQt(path, flat, "bmp", -1, -1);
    }
    case EncoderKind::Jpeg: {
        const QImage flat = flattenOnWhite(frame, QImage::Format_RGB32);
        frame = QImage();
        if (flat.isNull())
            return OutOfMemory;
        return writeWithQt(path, flat, "jpeg", jpegQuality(params), -1);
    }
    case EncoderKind::Tiff:
        return writeWithQt(path, frame, "tiff", -1, 1 /* LZW */);
    }
    return InvalidParameter;
}

Status saveAnimatedGif(const std::vector<QImage> &frames, const std::vector<std::uint32_t> &delays,
                       int loopCount, const QString &path)
{
    if (frames.empty() || frames.front().isNull() || path.isEmpty())
        return InvalidParameter;
    const QSize size = frames.front().size();
    GifEncoder enc;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].size() != size)
            return InvalidParameter;
        IndexedFrame indexed;
        if (!gifPalette(frames[i], &indexed))
            return OutOfMemory;
        Status s = Ok;
        if (i == 0)
            s = enc.begin(size.width(), size.height(), indexed, loopCount);
        if (s == Ok)
            s = enc.addFrame(indexed, i < delays.size() ? delays[i] : 0);
        if (s != Ok)
            return s;
    }
    const Status s = enc.finish();
    if (s != Ok)
        return s;
    return writeBytes(path, enc.data());
}

} // namespace engine
