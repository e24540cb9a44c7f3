// The one compositor over GIF, APNG and WebP: disposal and blending, where
// each format's own arithmetic shows, and damaged frames (the same rule for
// all three: nothing decodes -> FrameCorrupt and nothing drawn; part-way ->
// drawn as far as it goes and marked damaged; never a restart, so every frame
// is decoded once).

#include <QTemporaryDir>
#include <QtTest>

#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

#include "common/apngwriter.h"
#include "common/gifwriter.h"
#include "imaging/engine/image.h"
#include "imaging/engineseams.h"

using engine::Image;
using engine::Status;
using fgtest::solidImage;

namespace {

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Blue = 0xFF0000FF;

struct Expect {
    int frame;
    int x, y;
    QRgb argb; // exact, alpha and colour
};

// --- GIF ---------------------------------------------------------------------

const std::vector<fgtest::GifRgb> Palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

fgtest::GifFrame gifFrame(int x, int y, int w, int h, std::uint8_t index, int disposal = 0, int transparent = -1)
{
    fgtest::GifFrame f;
    f.x = x;
    f.y = y;
    f.w = w;
    f.h = h;
    f.indexes = fgtest::filled(w * h, index);
    f.disposal = disposal;
    f.transparent = transparent;
    return f;
}

QByteArray gif(int w, int h, std::vector<fgtest::GifFrame> frames)
{
    fgtest::GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.globalPalette = Palette;
    spec.frames = std::move(frames);
    return fgtest::gifBytes(spec);
}

// The data sub-blocks of image `n` (from 0) of a GIF whose frames have graphic
// controls and no local palettes, replaced by `blocks` (terminator included).
QByteArray replaceGifData(QByteArray bytes, int n, const QByteArray &blocks)
{
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i)
        at = bytes.indexOf(QByteArray("\x21\xF9\x04", 3), at + 1);
    const qsizetype data = at + 8 + 10 + 1; // graphic control, descriptor, code size
    qsizetype end = data;
    while (end < bytes.size() && bytes[end] != 0)
        end += 1 + std::uint8_t(bytes[end]);
    return bytes.replace(data, end + 1 - data, blocks);
}

// The first data sub-block of image `n`, cut to half its length and ended there.
QByteArray halveGifData(const QByteArray &bytes, int n)
{
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i)
        at = bytes.indexOf(QByteArray("\x21\xF9\x04", 3), at + 1);
    const qsizetype data = at + 8 + 10 + 1;
    const int half = std::uint8_t(bytes[data]) / 2;
    return replaceGifData(bytes, n, char(half) + bytes.mid(data + 1, half) + QByteArray(1, '\0'));
}

fgtest::GifFrame noise(int w, int h)
{
    fgtest::GifFrame f = gifFrame(0, 0, w, h, 0);
    std::uint32_t seed = 7;
    for (auto &i : f.indexes) {
        seed = seed * 1103515245u + 12345u;
        i = std::uint8_t(1 + ((seed >> 16) % 3)); // hard to compress
    }
    return f;
}

// --- APNG --------------------------------------------------------------------

fgtest::ApngFrame apngFrame(const QImage &image, int x = 0, int y = 0, std::uint8_t dispose = 0,
                            std::uint8_t blend = 0)
{
    fgtest::ApngFrame f;
    f.image = image;
    f.x = x;
    f.y = y;
    f.dispose = dispose;
    f.blend = blend;
    return f;
}

QByteArray apng(int w, int h, std::vector<fgtest::ApngFrame> frames)
{
    fgtest::ApngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.frames = std::move(frames);
    return fgtest::apngBytes(spec);
}

struct Chunk {
    QByteArray type;
    QByteArray data;
};

std::vector<Chunk> pngChunks(const QByteArray &png)
{
    std::vector<Chunk> chunks;
    for (qsizetype pos = 8; pos + 12 <= png.size();) {
        const qsizetype length = qsizetype(qFromBigEndian<quint32>(png.constData() + pos));
        chunks.push_back({png.mid(pos + 4, 4), png.mid(pos + 8, length)});
        pos += 12 + length;
    }
    return chunks;
}

QByteArray pngBytes(const std::vector<Chunk> &chunks)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    for (const Chunk &c : chunks)
        fgtest::appendPngChunk(out, c.type.constData(), c.data);
    return out;
}

// Index of the n-th (from 0) chunk of `type`.
std::size_t nthChunk(const std::vector<Chunk> &chunks, const char *type, int n)
{
    for (std::size_t i = 0; i < chunks.size(); ++i)
        if (chunks[i].type == type && n-- == 0)
            return i;
    return chunks.size();
}

QImage noiseImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    std::uint32_t seed = 3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            image.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    return image;
}

// --- WebP --------------------------------------------------------------------

struct WebPFrame {
    QImage image;
    int x = 0, y = 0; // even
    bool disposeBackground = false;
    bool blend = true;
};

QByteArray webp(int w, int h, const std::vector<WebPFrame> &frames)
{
    struct MuxDeleter {
        void operator()(WebPMux *m) const { WebPMuxDelete(m); }
    };
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    WebPMuxAnimParams params{0, 0};
    if (!mux || WebPMuxSetCanvasSize(mux.get(), w, h) != WEBP_MUX_OK
        || WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK)
        return {};
    for (const WebPFrame &f : frames) {
        const QImage image = f.image.convertToFormat(QImage::Format_ARGB32);
        std::uint8_t *encoded = nullptr;
        const std::size_t size = WebPEncodeLosslessBGRA(image.constBits(), image.width(), image.height(),
                                                        int(image.bytesPerLine()), &encoded);
        WebPMuxFrameInfo info{};
        info.bitstream = {encoded, size};
        info.x_offset = f.x;
        info.y_offset = f.y;
        info.duration = 100;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = f.disposeBackground ? WEBP_MUX_DISPOSE_BACKGROUND : WEBP_MUX_DISPOSE_NONE;
        info.blend_method = f.blend ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        const bool pushed = size > 0 && WebPMuxPushFrame(mux.get(), &info, 1) == WEBP_MUX_OK;
        WebPFree(encoded);
        if (!pushed)
            return {};
    }
    WebPData out;
    WebPDataInit(&out);
    if (WebPMuxAssemble(mux.get(), &out) != WEBP_MUX_OK)
        return {};
    const QByteArray bytes(reinterpret_cast<const char *>(out.bytes), qsizetype(out.size));
    WebPDataClear(&out);
    return bytes;
}

// Frame `n`'s bitstream overwritten after its header (nothing of it decodes,
// while the file still demuxes) or over its last third (it breaks off part-way).
QByteArray breakWebPFrame(QByteArray bytes, int n, bool partWay = false)
{
    const WebPData data{reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
    WebPDemuxer *demux = WebPDemux(&data);
    WebPIterator it;
    qsizetype at = -1, size = 0;
    if (demux && WebPDemuxGetFrame(demux, n + 1, &it)) {
        at = qsizetype(it.fragment.bytes - data.bytes);
        size = qsizetype(it.fragment.size);
        WebPDemuxReleaseIterator(&it);
    }
    WebPDemuxDelete(demux);
    constexpr int ChunkAndImageHeader = 8 + 5; // "VP8L", size; signature, size and flags
    for (qsizetype i = at + (partWay ? size * 2 / 3 : ChunkAndImageHeader); at >= 0 && i < at + size; ++i)
        bytes[i] = char(0xFF);
    return bytes;
}

Status statusNamed(const QString &outcome)
{
    if (outcome == QLatin1String("corrupt"))
        return engine::FrameCorrupt;
    if (outcome == QLatin1String("refused"))
        return engine::OutOfMemory;
    return engine::Ok;
}

} // namespace

Q_DECLARE_METATYPE(QList<Expect>)

class TestCompositor : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    std::unique_ptr<Image> load(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QString::number(++m_serial));
        if (bytes.isEmpty() || !fgtest::writeBytes(path, bytes))
            return nullptr;
        return Image::load(path);
    }

private slots:
    void disposalAndBlend_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<Expect>>("expected");

        QTest::newRow("GIF: the transparent index shows the canvas, other indexes replace it")
            << gif(4, 1, {gifFrame(0, 0, 4, 1, 1), gifFrame(1, 0, 2, 1, 2, 0, 2), gifFrame(2, 0, 2, 1, 3, 0, 2)})
            << QList<Expect>{{1, 1, 0, Red}, {1, 3, 0, Red}, {2, 2, 0, Blue}, {2, 3, 0, Blue}};
        QTest::newRow("GIF: background disposal clears the rectangle to transparent, not to a colour")
            << gif(4, 1, {gifFrame(0, 0, 4, 1, 1), gifFrame(1, 0, 2, 1, 2, 2), gifFrame(3, 0, 1, 1, 3)})
            << QList<Expect>{{1, 1, 0, Green}, {2, 1, 0, 0u}, {2, 2, 0, 0u}, {2, 0, 0, Red}, {2, 3, 0, Blue}};
        QTest::newRow("GIF: previous disposal puts back what was under the frame")
            << gif(4, 1, {gifFrame(0, 0, 4, 1, 1), gifFrame(1, 0, 2, 1, 2, 3), gifFrame(3, 0, 1, 1, 3)})
            << QList<Expect>{{1, 1, 0, Green}, {2, 1, 0, Red}, {2, 3, 0, Blue}};
        QTest::newRow("GIF: previous disposal on the first frame leaves it transparent")
            << gif(2, 1, {gifFrame(0, 0, 2, 1, 1, 3), gifFrame(1, 0, 1, 1, 2)})
            << QList<Expect>{{0, 0, 0, Red}, {1, 0, 0, 0u}, {1, 1, 0, Green}};

        // Half-transparent blue over half-transparent red: the APNG rules' "over"
        // rounded to the nearest, libwebp's fixed point rounding down.
        QTest::newRow("APNG: half-transparent over half-transparent, rounded")
            << apng(2, 2, {apngFrame(solidImage(2, 2, 0x80FF0000)), apngFrame(solidImage(2, 2, 0x800000FF), 0, 0, 0, 1)})
            << QList<Expect>{{1, 0, 0, qRgba(85, 0, 170, 192)}};
        QTest::newRow("APNG: blend source replaces the canvas, alpha included")
            << apng(2, 2, {apngFrame(solidImage(2, 2, Red)), apngFrame(solidImage(2, 2, 0x400000FF), 0, 0, 0, 0)})
            << QList<Expect>{{1, 0, 0, 0x400000FFu}};
        QTest::newRow("APNG: previous disposal puts back what was under the frame")
            << apng(4, 1, {apngFrame(solidImage(4, 1, Red)), apngFrame(solidImage(2, 1, Green), 1, 0, 2),
                           apngFrame(solidImage(1, 1, Blue), 3, 0)})
            << QList<Expect>{{1, 1, 0, Green}, {2, 1, 0, Red}, {2, 2, 0, Red}, {2, 3, 0, Blue}};
        QTest::newRow("WebP: half-transparent over half-transparent, libwebp's arithmetic")
            << webp(2, 2, {{solidImage(2, 2, 0x80FF0000)}, {solidImage(2, 2, 0x800000FF)}})
            << QList<Expect>{{1, 0, 0, qRgba(84, 0, 169, 192)}};
        // Blended over nothing the blue would round to 254.
        QTest::newRow("WebP: where the last disposal cleared the canvas the frame is taken unblended")
            << webp(4, 2, {{solidImage(4, 2, Red)}, {solidImage(2, 2, Green), 2, 0, true},
                           {solidImage(4, 2, 0x7F0000FF), 0, 0, false, true}})
            << QList<Expect>{{1, 2, 0, Green}, {2, 2, 0, 0x7F0000FFu}, {2, 0, 0, qRgba(127, 0, 126, 255)}};
        QTest::newRow("WebP: no blend replaces the canvas in the frame's rectangle")
            << webp(4, 2, {{solidImage(4, 2, Red)}, {solidImage(2, 2, 0x400000FF), 2, 0, false, false}})
            << QList<Expect>{{1, 2, 0, 0x400000FFu}, {1, 1, 0, Red}};
    }

    void disposalAndBlend()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<Expect>, expected);
        auto img = load(bytes);
        QVERIFY(img);
        // Forward, then backward (a restart) must give the same pixels.
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < expected.size(); ++i) {
                const Expect &e = pass == 0 ? expected[i] : expected[expected.size() - 1 - i];
                QCOMPARE(img->selectFrame(engine::FrameDimensionTime, std::uint32_t(e.frame)), engine::Ok);
                QCOMPARE(img->activeFrame().pixel(e.x, e.y), e.argb);
            }
        }
    }

    void damagedFrames_data()
    {
        // Per frame: "ok", "damaged" (drawn as far as it decodes), "corrupt"
        // (nothing drawn), "refused" (over the work limit). Pixels are checked
        // after every frame has been selected once, in order.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<QList<Expect>>("expected");

        const QByteArray gifThree
            = gif(4, 4, {gifFrame(0, 0, 4, 4, 1), gifFrame(0, 0, 2, 2, 2, 2), gifFrame(3, 3, 1, 1, 3)});
        QTest::newRow("GIF: a frame without data draws nothing, its disposal applies, the next goes on")
            << replaceGifData(gifThree, 1, QByteArray(1, '\0')) << QStringList{"ok", "corrupt", "ok"}
            << QList<Expect>{{1, 0, 0, Red}, {2, 0, 0, 0u}, {2, 3, 3, Blue}, {2, 2, 2, Red}};
        QTest::newRow("GIF: a frame whose data breaks off is drawn as far as it goes")
            << halveGifData(gif(16, 16, {gifFrame(0, 0, 16, 16, 3), noise(16, 16), gifFrame(0, 0, 1, 1, 2)}), 1)
            << QStringList{"ok", "damaged", "ok"} << QList<Expect>{{2, 0, 0, Green}, {2, 15, 15, Blue}};

        const QByteArray apngThree
            = apng(4, 4, {apngFrame(solidImage(4, 4, Red)), apngFrame(solidImage(2, 2, Green), 0, 0, 1),
                          apngFrame(solidImage(1, 1, Blue), 3, 3)});
        std::vector<Chunk> chunks = pngChunks(apngThree);
        chunks[nthChunk(chunks, "fdAT", 0)].data[4] = 0; // no zlib header
        QTest::newRow("APNG: a frame that cannot be inflated is no copy of the one before it")
            << pngBytes(chunks) << QStringList{"ok", "corrupt", "ok"}
            << QList<Expect>{{1, 0, 0, Red}, {2, 0, 0, 0u}, {2, 3, 3, Blue}};

        chunks = pngChunks(apng(8, 8, {apngFrame(solidImage(8, 8, Red)), apngFrame(noiseImage(8, 8)),
                                       apngFrame(solidImage(1, 1, Blue), 7, 7)}));
        QByteArray &half = chunks[nthChunk(chunks, "fdAT", 0)].data;
        half.truncate(4 + (half.size() - 4) / 2);
        QTest::newRow("APNG: a frame cut in half is drawn as far as it goes")
            << pngBytes(chunks) << QStringList{"ok", "damaged", "ok"}
            << QList<Expect>{{1, 0, 0, noiseImage(8, 8).pixel(0, 0)}, {1, 0, 7, Red}, {2, 7, 7, Blue}};

        chunks = pngChunks(apngThree);
        chunks.erase(chunks.begin() + std::ptrdiff_t(nthChunk(chunks, "fdAT", 0)));
        QTest::newRow("APNG: from a frame without data on, every frame is corrupt and counted")
            << pngBytes(chunks) << QStringList{"ok", "corrupt", "corrupt"} << QList<Expect>{{2, 0, 0, 0u}, {2, 3, 3, Red}};

        QImage indexed(2, 1, QImage::Format_Indexed8);
        indexed.setColorTable({Red, Green});
        indexed.fill(1);
        chunks = pngChunks(apng(2, 1, {apngFrame(indexed), apngFrame(indexed)}));
        chunks.erase(chunks.begin() + std::ptrdiff_t(nthChunk(chunks, "PLTE", 0)));
        QTest::newRow("APNG: palette frames without PLTE fail, never transparent frames")
            << pngBytes(chunks) << QStringList{"corrupt", "corrupt"} << QList<Expect>{};

        const QByteArray wide = apng(1, 268, {apngFrame(solidImage(1, 268, Red)), apngFrame(solidImage(1, 1, Blue))});
        chunks = pngChunks(wide);
        QByteArray &control = chunks[nthChunk(chunks, "fcTL", 1)].data;
        qToBigEndian<quint32>(4000, control.data() + 4); // 4,000 x 268 rows on the canvas
        qToBigEndian<quint32>(268, control.data() + 8);
        QTest::newRow("APNG: a frame far wider than the canvas is refused before inflating")
            << pngBytes(chunks) << QStringList{"ok", "refused"} << QList<Expect>{{1, 0, 0, Red}};

        chunks = pngChunks(apng(2, 1, {apngFrame(solidImage(2, 1, Red)), apngFrame(solidImage(1, 1, Blue))}));
        std::swap(chunks[nthChunk(chunks, "acTL", 0)], chunks[nthChunk(chunks, "fcTL", 0)]);
        QTest::newRow("APNG: the default image's fcTL before the acTL is still an animation")
            << pngBytes(chunks) << QStringList{"ok", "ok"} << QList<Expect>{{0, 1, 0, Red}, {1, 0, 0, Blue}};

        QTest::newRow("WebP: a frame that does not decode draws nothing, the next goes on without a restart")
            << breakWebPFrame(webp(4, 2, {{solidImage(4, 2, Red)}, {solidImage(2, 2, Green), 2, 0, true},
                                          {solidImage(2, 2, Blue), 0, 0}}),
                              1)
            << QStringList{"ok", "corrupt", "ok"}
            << QList<Expect>{{1, 2, 0, Red}, {2, 0, 0, Blue}, {2, 2, 0, 0u}, {2, 1, 1, Blue}};
        const QImage noisy = noiseImage(32, 32);
        QTest::newRow("WebP: a frame that breaks off part-way is drawn as far as it goes")
            << breakWebPFrame(webp(32, 32, {{solidImage(32, 32, Red)}, {noisy, 0, 0, false, false},
                                            {solidImage(2, 2, Blue), 0, 0}}),
                              1, true)
            << QStringList{"ok", "damaged", "ok"}
            << QList<Expect>{{1, 0, 0, noisy.pixel(0, 0)}, {1, 31, 31, Red}, {2, 0, 0, Blue}, {2, 5, 1, noisy.pixel(5, 1)}};
    }

    void damagedFrames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, outcomes);
        QFETCH(QList<Expect>, expected);
        const std::uint64_t before = engine::testing::frameDecodes.load();
        auto img = load(bytes);
        QVERIFY(img);
        QCOMPARE(img->frameCount(), std::uint32_t(outcomes.size()));
        for (std::uint32_t i = 0; i < img->frameCount(); ++i) {
            QCOMPARE(img->selectFrame(engine::FrameDimensionTime, i), statusNamed(outcomes[int(i)]));
            QCOMPARE(img->activeFrameIndex(), i);
            QCOMPARE(img->activeFrameDamaged(), outcomes[int(i)] == QLatin1String("damaged"));
        }
        // In order, each frame is decoded once, whatever is damaged.
        QCOMPARE(engine::testing::frameDecodes.load() - before, std::uint64_t(outcomes.size()));
        for (const Expect &e : expected) {
            img->selectFrame(engine::FrameDimensionTime, std::uint32_t(e.frame));
            QCOMPARE(img->activeFrame().pixel(e.x, e.y), e.argb);
        }
    }

    void webpSeekResumesFromASavedState()
    {
        auto img = load(webp(4, 2, {{solidImage(4, 2, Red)}, {solidImage(2, 2, Green), 2, 0, true},
                                    {solidImage(2, 2, Blue), 0, 0}}));
        QVERIFY(img);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        const auto state = img->saveState();
        QVERIFY(state);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 0), engine::Ok);
        const std::uint64_t before = engine::testing::frameDecodes.load();
        QCOMPARE(img->restoreState(*state), engine::Ok);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 2), engine::Ok);
        QCOMPARE(engine::testing::frameDecodes.load() - before, 1u);
        QCOMPARE(img->activeFrame().pixel(2, 0), 0u);
        QCOMPARE(img->activeFrame().pixel(0, 0), Blue);
    }
};

QTEST_GUILESS_MAIN(TestCompositor)
#include "tst_compositor.moc"
