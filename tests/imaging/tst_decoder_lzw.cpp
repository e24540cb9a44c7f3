// Image data that giflib's encoder never writes but real files contain: a code
// table that fills up without a clear code, code sizes below 2, data that runs
// past the last pixel or stops before it. The streams are made by a small LZW
// encoder of our own, the files byte by byte.

#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <utility>

#include "common/gifwriter.h"
#include "imaging/engine/image.h"

using engine::Image;

namespace {

struct LzwOptions {
    int codeSize = 8;
    bool clearWhenFull = false; // false: keep using the full table (deferred clear)
    bool endCode = true;
};

// GIF-flavoured LZW: codes written least significant bit first, the code width
// growing as the decoder expects it to.
QByteArray lzw(const std::vector<std::uint8_t> &pixels, const LzwOptions &o)
{
    QByteArray out;
    std::uint32_t acc = 0;
    int bits = 0;
    int width = o.codeSize + 1;
    const int clear = 1 << o.codeSize;
    auto put = [&](int code) {
        acc |= std::uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    std::map<std::pair<int, int>, int> dict;
    int running = clear + 2;
    put(clear);
    if (pixels.empty()) {
        put(clear + 1);
    } else {
        int cur = pixels[0];
        for (std::size_t i = 1; i < pixels.size(); ++i) {
            const int k = pixels[i];
            const auto it = dict.find({cur, k});
            if (it != dict.end()) {
                cur = it->second;
                continue;
            }
            put(cur);
            if (running >= (1 << width) && width < 12)
                ++width;
            if (running < 4096) {
                dict[{cur, k}] = running++;
            } else if (o.clearWhenFull) {
                put(clear);
                dict.clear();
                running = clear + 2;
                width = o.codeSize + 1;
            }
            cur = k;
        }
        put(cur);
        if (running >= (1 << width) && width < 12)
            ++width;
        if (o.endCode)
            put(clear + 1);
    }
    if (bits > 0)
        out.append(char(acc & 0xFF));
    return out;
}

QByteArray subBlocks(const QByteArray &data)
{
    QByteArray out;
    for (qsizetype i = 0; i < data.size(); i += 255) {
        const QByteArray part = data.mid(i, 255);
        out.append(char(part.size())).append(part);
    }
    out.append('\0');
    return out;
}

QByteArray le16(int v)
{
    return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF));
}

// A GIF with a 256-entry grey-blue palette (entry i = (i, i, 255 - i)) and the
// given images, each with its raw LZW data.
struct RawImage {
    int x = 0, y = 0, w = 0, h = 0;
    int codeSize = 8;
    QByteArray data; // LZW stream before splitting into sub-blocks
};

QByteArray rawGif(int w, int h, const std::vector<RawImage> &images)
{
    QByteArray b("GIF89a");
    b += le16(w) + le16(h);
    b.append(char(0xF7)).append('\0').append('\0');
    for (int i = 0; i < 256; ++i)
        b.append(char(i)).append(char(i)).append(char(255 - i));
    for (const RawImage &im : images) {
        b.append(',');
        b += le16(im.x) + le16(im.y) + le16(im.w) + le16(im.h);
        b.append('\0');
        b.append(char(im.codeSize));
        b += subBlocks(im.data);
    }
    b.append(';');
    return b;
}

QRgb colourOf(int index)
{
    return qRgb(index, index, 255 - index);
}

std::vector<std::uint8_t> noise(int n, int colours, std::uint32_t seed)
{
    std::vector<std::uint8_t> v(std::size_t(n), 0);
    for (auto &p : v) {
        seed = seed * 1103515245u + 12345u;
        p = std::uint8_t((seed >> 16) % std::uint32_t(colours));
    }
    return v;
}

} // namespace

class TestDecoderLzw : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    std::unique_ptr<Image> loadBytes(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("l%1.gif").arg(++m_serial));
        if (!fgtest::writeBytes(path, bytes))
            return nullptr;
        return Image::load(path);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void streams_data()
    {
        QTest::addColumn<int>("codeSize");
        QTest::addColumn<int>("colours");
        QTest::addColumn<bool>("clearWhenFull");
        QTest::addColumn<bool>("endCode");

        QTest::newRow("full table kept (deferred clear)") << 8 << 256 << false << true;
        QTest::newRow("full table cleared") << 8 << 256 << true << true;
        QTest::newRow("no end code") << 8 << 256 << false << false;
        QTest::newRow("code size 1") << 1 << 2 << false << true;
        QTest::newRow("code size 2, few colours, full table") << 2 << 3 << false << true;
        QTest::newRow("code size 11") << 11 << 256 << false << true;
    }
    void streams()
    {
        QFETCH(int, codeSize);
        QFETCH(int, colours);
        QFETCH(bool, clearWhenFull);
        QFETCH(bool, endCode);
        const int w = 150, h = 120; // enough codes to fill the table several times
        const auto pixels = noise(w * h, colours, 3);
        RawImage im;
        im.w = w;
        im.h = h;
        im.codeSize = codeSize;
        im.data = lzw(pixels, LzwOptions{codeSize, clearWhenFull, endCode});
        auto img = loadBytes(rawGif(w, h, {im}));
        QVERIFY(img);
        const QImage &f = img->activeFrame();
        for (int i = 0; i < w * h; ++i)
            if (f.pixel(i % w, i / w) != colourOf(pixels[std::size_t(i)]))
                QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(i % w).arg(i / w)));
    }

    void dataBeyondTheLastPixel()
    {
        // The first image's stream holds twice its pixels; the second image
        // must still be found and drawn.
        const auto pixels = noise(2 * 40 * 30, 200, 5);
        RawImage first;
        first.w = 40;
        first.h = 30;
        first.data = lzw(pixels, LzwOptions{});
        RawImage second;
        second.x = 5;
        second.y = 6;
        second.w = second.h = 1;
        second.data = lzw({7}, LzwOptions{});
        auto img = loadBytes(rawGif(40, 30, {first, second}));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 2u);
        QCOMPARE(img->activeFrame().pixel(39, 29), colourOf(pixels[40 * 30 - 1]));
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(img->activeFrame().pixel(5, 6), colourOf(7));
        QCOMPARE(img->activeFrame().pixel(6, 6), colourOf(pixels[6 * 40 + 6]));
    }

    void streamEndsBeforeTheLastPixel()
    {
        // An end code after 100 of 400 pixels: those show, the rest stays
        // transparent, and the frame still counts.
        const auto pixels = noise(100, 50, 9);
        RawImage im;
        im.w = im.h = 20;
        im.data = lzw(pixels, LzwOptions{});
        auto img = loadBytes(rawGif(20, 20, {im}));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 1u);
        QCOMPARE(img->activeFrame().pixel(19, 4), colourOf(pixels[99]));
        QCOMPARE(qAlpha(img->activeFrame().pixel(0, 5)), 0);
        QCOMPARE(qAlpha(img->activeFrame().pixel(19, 19)), 0);
    }

    void corruptCodes_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("codeSize");
        // Code size 2: clear 4, end 5, first free code 6; codes are 3 bits.
        // 4, 1, 7: refers to a code two places beyond the table.
        QTest::newRow("code beyond the table") << QByteArray("\xCC\x01", 2) << 2;
        // 4, 6: a table code right after a clear.
        QTest::newRow("table code after clear") << QByteArray("\x34", 1) << 2;
        QTest::newRow("code size 0") << QByteArray("\x01\x02\x03", 3) << 0;
        QTest::newRow("code size 12") << QByteArray("\x01\x02\x03", 3) << 12;
        QTest::newRow("code size 255") << QByteArray("\xFF\xFF\xFF", 3) << 255;
        QTest::newRow("no data") << QByteArray() << 8;
    }
    void corruptCodes()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, codeSize);
        RawImage im;
        im.w = im.h = 4;
        im.codeSize = codeSize;
        im.data = data;
        RawImage next;
        next.w = next.h = 1;
        next.data = lzw({9}, LzwOptions{});
        auto img = loadBytes(rawGif(4, 4, {im, next}));
        QVERIFY(img);
        QCOMPARE(img->frameCount(), 2u);
        QCOMPARE(img->selectFrame(engine::FrameDimensionTime, 1), engine::Ok);
        QCOMPARE(img->activeFrame().pixel(0, 0), colourOf(9));
    }
};

QTEST_GUILESS_MAIN(TestDecoderLzw)
#include "tst_decoder_lzw.moc"
