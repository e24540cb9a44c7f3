// The engine's encoders: every format read back, palette choices, atomic and
// permission-correct saving, the encoder list's record layout and the frame
// saver pipeline.

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "imaging/engine/atomicfile.h"
#include "imaging/engine/encoders.h"
#include "imaging/engine/framesaver.h"
#include "imaging/engine/image.h"

using namespace engine;

Q_DECLARE_METATYPE(engine::Guid)

namespace {

EncoderParameters qualityParams(std::uint32_t *quality)
{
    EncoderParameters p{};
    p.Count = 1;
    p.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeLong, quality};
    return p;
}

// `colours` distinct opaque colours laid out in blocks, plus a see-through
// corner when `transparent`.
QImage pattern(int w, int h, int colours, bool transparent)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int k = ((y / 4) * ((w + 3) / 4) + x / 4) % colours;
            row[x] = qRgb((k * 37) & 0xFF, (k * 91 + 13) & 0xFF, (k * 53 + k / 256 * 7 + 101) & 0xFF);
        }
    }
    if (transparent)
        for (int y = 0; y < h / 3; ++y)
            for (int x = 0; x < w / 3; ++x)
                img.setPixel(x, y, 0u);
    return img;
}

// A smooth picture with far more than 256 colours.
QImage gradient(int w, int h, bool transparent)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 127 / (w + h), 255));
    if (transparent)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 5; ++x)
                img.setPixel(x, y, 0u);
    return img;
}

// Pixels compared as RGBA with every fully transparent pixel the same.
QImage normalised(const QImage &in)
{
    QImage img = in.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(row[x]) == 0)
                row[x] = 0;
    }
    return img;
}

QImage onWhite(const QImage &in)
{
    QImage img = in.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(row[x]) == 0)
                row[x] = qRgb(255, 255, 255);
    }
    return img;
}

double meanChannelDifference(const QImage &a, const QImage &b)
{
    std::int64_t sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                   + std::abs(qBlue(p) - qBlue(q));
        }
    return double(sum) / (3.0 * a.width() * a.height());
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// IHDR colour type and bit depth of a PNG file.
int pngColourType(const QByteArray &png) { return png.size() > 25 ? quint8(png[25]) : -1; }
int pngBitDepth(const QByteArray &png) { return png.size() > 24 ? quint8(png[24]) : -1; }

class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

class TestEncoders : public QObject {
    Q_OBJECT

private slots:
    void standardListOrder();
    void codecInfoLayout();
    void roundTrip_data();
    void roundTrip();
    void jpegQualityMatters();
    void bmpIs24Bit();
    void pngChoosesPaletteOrRgba_data();
    void pngChoosesPaletteOrRgba();
    void pngIsCompressed();
    void gifQuantisesManyColours();
    void animatedGifReadsBack();
    void animatedGifBackToGlobalPalette();
    void unknownEncoderWritesNothing_data();
    void unknownEncoderWritesNothing();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void missingFolder();
    void usualPermissions_data();
    void usualPermissions();
    void replacingKeepsModeAndLeavesNoTemporary();
    void linkedFolderIsFollowed();
    void frameSaverWritesAllAndReportsFailures();
};

void TestEncoders::standardListOrder()
{
    const auto &e = EncoderList::standard().entries();
    QCOMPARE(e.size(), std::size_t(5));
    const char16_t *mimes[] = {u"image/bmp", u"image/jpeg", u"image/gif", u"image/tiff", u"image/png"};
    const Guid ids[] = {ClsidBmpEncoder, ClsidJpegEncoder, ClsidGifEncoder, ClsidTiffEncoder,
                        ClsidPngEncoder};
    for (std::size_t i = 0; i < 5; ++i) {
        QVERIFY(e[i].mimeType == mimes[i]);
        QVERIFY(e[i].clsid == ids[i]);
        QCOMPARE(EncoderList::standard().find(ids[i]), &e[i]);
        for (std::size_t j = 0; j < i; ++j)
            QVERIFY(!(e[i].clsid == e[j].clsid));
    }
    QCOMPARE(EncoderList::standard().find(Guid{}), nullptr);
}

void TestEncoders::codecInfoLayout()
{
    // A test-built list with a duplicate MIME type: records keep list order.
    std::vector<EncoderInfo> entries = EncoderList::standard().entries();
    EncoderInfo extra = entries[4];
    extra.clsid = Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    extra.codecName = u"second png";
    entries.push_back(extra);
    const EncoderList list(entries);

    const std::uint32_t size = list.byteSize();
    QVERIFY(size > 6 * sizeof(ImageCodecInfo));
    std::vector<std::uint8_t> buffer(size + 16, 0xAB);
    list.fillCodecInfo(buffer.data());
    for (std::size_t i = size; i < buffer.size(); ++i)
        QCOMPARE(buffer[i], std::uint8_t(0xAB)); // nothing written past byteSize()

    const auto *records = reinterpret_cast<const ImageCodecInfo *>(buffer.data());
    const auto *begin = reinterpret_cast<const char *>(buffer.data());
    const auto *end = begin + size;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ImageCodecInfo r;
        std::memcpy(&r, &records[i], sizeof r);
        QVERIFY(r.Clsid == entries[i].clsid);
        QVERIFY(r.FormatID == entries[i].formatId);
        for (const char16_t *t : {r.CodecName, r.FormatDescription, r.FilenameExtension, r.MimeType}) {
            const auto *p = reinterpret_cast<const char *>(t);
            QVERIFY(p >= begin + entries.size() * sizeof(ImageCodecInfo) && p < end);
        }
        QVERIFY(std::u16string(r.MimeType) == entries[i].mimeType);
        QVERIFY(std::u16string(r.CodecName) == entries[i].codecName);
        QVERIFY(std::u16string(r.FilenameExtension) == entries[i].filenameExtension);
    }
}

void TestEncoders::roundTrip_data()
{
    QTest::addColumn<int>("format"); // index into the standard list
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<int>("colours");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<bool>("keepsAlpha");

    QTest::newRow("bmp") << 0 << false << 1000 << 0 << false;
    QTest::newRow("bmp flattens onto white") << 0 << true << 50 << 0 << false;
    // JPEG: a smooth picture (colours = 0), compared by mean difference.
    QTest::newRow("jpeg") << 1 << false << 0 << 2 << false;
    QTest::newRow("jpeg flattens onto white") << 1 << true << 0 << 2 << false;
    QTest::newRow("gif exact colours") << 2 << false << 256 << 0 << true;
    QTest::newRow("gif 255 colours and transparency") << 2 << true << 255 << 0 << true;
    QTest::newRow("tiff") << 3 << true << 1000 << 0 << true;
    QTest::newRow("png palette") << 4 << true << 200 << 0 << true;
    QTest::newRow("png 4-bit palette") << 4 << false << 16 << 0 << true;
    QTest::newRow("png 1-bit palette odd width") << 4 << false << 2 << 0 << true;
    QTest::newRow("png rgba") << 4 << true << 1000 << 0 << true;
    QTest::newRow("png rgb") << 4 << false << 1000 << 0 << true;
}

void TestEncoders::roundTrip()
{
    QFETCH(int, format);
    QFETCH(bool, transparent);
    QFETCH(int, colours);
    QFETCH(int, tolerance);
    QFETCH(bool, keepsAlpha);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    const QImage source =
        colours ? pattern(131, 67, colours, transparent) : gradient(131, 67, transparent);
    std::uint32_t quality = 100;
    const EncoderParameters params = qualityParams(&quality);
    const EncoderInfo &e = EncoderList::standard().entries()[std::size_t(format)];
    QCOMPARE(saveFrame(source, e.clsid, &params, path), Ok);

    QImageReader reader(path);
    QImage back = reader.read();
    QVERIFY2(!back.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(back.size(), source.size());
    const QImage expected = keepsAlpha ? normalised(source) : onWhite(source);
    if (tolerance == 0)
        QCOMPARE(normalised(back), expected);
    else
        QVERIFY(meanChannelDifference(normalised(back), expected) <= tolerance);
}

void TestEncoders::jpegQualityMatters()
{
    QTemporaryDir dir;
    const QImage source = gradient(200, 150, false);
    std::uint32_t low = 10;
    std::uint32_t high = 100;
    const EncoderParameters pLow = qualityParams(&low);
    const EncoderParameters pHigh = qualityParams(&high);
    QCOMPARE(saveFrame(source, ClsidJpegEncoder, &pLow, dir.filePath("low.jpg")), Ok);
    QCOMPARE(saveFrame(source, ClsidJpegEncoder, &pHigh, dir.filePath("high.jpg")), Ok);
    QCOMPARE(saveFrame(source, ClsidJpegEncoder, nullptr, dir.filePath("default.jpg")), Ok);
    const qint64 lowSize = QFileInfo(dir.filePath("low.jpg")).size();
    const qint64 highSize = QFileInfo(dir.filePath("high.jpg")).size();
    const qint64 defSize = QFileInfo(dir.filePath("default.jpg")).size();
    QVERIFY(lowSize < defSize);
    QVERIFY(defSize < highSize);
}

void TestEncoders::bmpIs24Bit()
{
    QTemporaryDir dir;
    QCOMPARE(saveFrame(pattern(10, 3, 5, true), ClsidBmpEncoder, nullptr, dir.filePath("a.bmp")), Ok);
    const QByteArray bmp = readAll(dir.filePath("a.bmp"));
    QVERIFY(bmp.startsWith("BM"));
    QCOMPARE(int(quint8(bmp[28])) | (int(quint8(bmp[29])) << 8), 24);
}

void TestEncoders::pngChoosesPaletteOrRgba_data()
{
    QTest::addColumn<int>("colours");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<int>("colourType");
    QTest::addColumn<int>("depth");

    QTest::newRow("2 colours") << 2 << false << 3 << 1;
    QTest::newRow("3 colours + transparent") << 3 << true << 3 << 2;
    QTest::newRow("16 colours") << 16 << false << 3 << 4;
    QTest::newRow("255 colours + transparent = 256") << 255 << true << 3 << 8;
    QTest::newRow("256 colours + transparent = 257") << 256 << true << 6 << 8;
    QTest::newRow("257 opaque colours") << 257 << false << 2 << 8;
}

void TestEncoders::pngChoosesPaletteOrRgba()
{
    QFETCH(int, colours);
    QFETCH(bool, transparent);
    QFETCH(int, colourType);
    QFETCH(int, depth);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    // Wide enough that every colour appears outside the see-through corner.
    const QImage source = pattern(400, 60, colours, transparent);
    QCOMPARE(saveFrame(source, ClsidPngEncoder, nullptr, path), Ok);
    const QByteArray png = readAll(path);
    QCOMPARE(pngColourType(png), colourType);
    QCOMPARE(pngBitDepth(png), depth);
    QCOMPARE(normalised(QImage(path)), normalised(source));
}

void TestEncoders::pngIsCompressed()
{
    // The export passes quality 100, which must not mean "store uncompressed".
    QTemporaryDir dir;
    std::uint32_t quality = 100;
    const EncoderParameters params = qualityParams(&quality);
    const QImage flat = pattern(800, 600, 8, true);
    const QImage smooth = gradient(800, 600, false);
    QCOMPARE(saveFrame(flat, ClsidPngEncoder, &params, dir.filePath("flat.png")), Ok);
    QCOMPARE(saveFrame(smooth, ClsidPngEncoder, &params, dir.filePath("smooth.png")), Ok);
    QVERIFY(QFileInfo(dir.filePath("flat.png")).size() < 800 * 600 / 20);
    QVERIFY(QFileInfo(dir.filePath("smooth.png")).size() < 800 * 600 * 3 / 10);
    QCOMPARE(QImage(dir.filePath("smooth.png")).convertToFormat(QImage::Format_ARGB32), smooth);
}

void TestEncoders::gifQuantisesManyColours()
{
    QTemporaryDir dir;
    const QImage source = gradient(160, 120, true);
    QVERIFY(source.convertToFormat(QImage::Format_ARGB32).colorCount() == 0);
    QCOMPARE(saveFrame(source, ClsidGifEncoder, nullptr, dir.filePath("q.gif")), Ok);
    const QByteArray gif = readAll(dir.filePath("q.gif"));
    QVERIFY(gif.startsWith("GIF89a"));

    QImage back(dir.filePath("q.gif"));
    QCOMPARE(back.size(), source.size());
    back = back.convertToFormat(QImage::Format_ARGB32);
    // See-through stays see-through, the rest stays opaque and close.
    std::int64_t error = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb s = source.pixel(x, y);
            const QRgb b = back.pixel(x, y);
            QCOMPARE(qAlpha(b) == 0, qAlpha(s) == 0);
            if (qAlpha(s))
                error += std::abs(qRed(s) - qRed(b)) + std::abs(qGreen(s) - qGreen(b))
                         + std::abs(qBlue(s) - qBlue(b));
        }
    const double mean = double(error) / (3.0 * source.width() * source.height());
    QVERIFY2(mean < 6.0, qPrintable(QString::number(mean)));
}

void TestEncoders::animatedGifReadsBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("anim.gif"));
    std::vector<QImage> frames{pattern(40, 30, 5, true), pattern(40, 30, 9, false),
                               gradient(40, 30, true)};
    QCOMPARE(saveAnimatedGif(frames, {7, 0, 250}, 3, path), Ok);

    Status status = GenericError;
    auto image = Image::load(path, &status);
    QCOMPARE(status, Ok);
    QVERIFY(image);
    QCOMPARE(image->frameCount(), 3u);
    QCOMPARE(image->frameDelays(), (std::vector<std::uint32_t>{7, 0, 250}));
    QCOMPARE(image->loopCount(), 3);
    for (std::uint32_t i = 0; i < 2; ++i) {
        QCOMPARE(image->selectFrame(FrameDimensionTime, i), Ok);
        // Each frame stands alone: the first frame's pixels never show through.
        QCOMPARE(normalised(image->activeFrame()), normalised(frames[i]));
    }
    QCOMPARE(saveAnimatedGif({pattern(4, 4, 2, false), pattern(5, 4, 2, false)}, {}, -1, path),
             InvalidParameter);
    QCOMPARE(saveAnimatedGif({}, {}, -1, path), InvalidParameter);
}

void TestEncoders::animatedGifBackToGlobalPalette()
{
    // Frame 2 needs a local table, frame 3 uses the global one again: frame 3
    // must show the global colours (and, under the sanitizers, nothing leaks).
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("abc.gif"));
    const std::vector<QImage> frames{pattern(8, 8, 3, false), pattern(8, 8, 7, true),
                                     pattern(8, 8, 3, false), pattern(8, 8, 7, true)};
    QCOMPARE(saveAnimatedGif(frames, {}, 0, path), Ok);
    auto image = Image::load(path);
    QVERIFY(image);
    QCOMPARE(image->frameCount(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        QCOMPARE(image->selectFrame(FrameDimensionTime, i), Ok);
        QCOMPARE(normalised(image->activeFrame()), normalised(frames[i]));
    }
}

void TestEncoders::unknownEncoderWritesNothing_data()
{
    QTest::addColumn<Guid>("clsid");
    QTest::addColumn<bool>("pngOnlyList");
    QTest::newRow("all zeros") << Guid{} << false;
    QTest::newRow("made up") << Guid{0xDEADBEEF, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}} << false;
    QTest::newRow("not in this list") << ClsidBmpEncoder << true;
}

void TestEncoders::unknownEncoderWritesNothing()
{
    QFETCH(Guid, clsid);
    QFETCH(bool, pngOnlyList);
    const EncoderList pngOnly({EncoderList::standard().entries()[4]});
    const EncoderList &list = pngOnlyList ? pngOnly : EncoderList::standard();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.out"));
    QCOMPARE(saveFrame(pattern(8, 8, 3, false), clsid, nullptr, path, list), InvalidParameter);
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 0);
}

void TestEncoders::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<Guid>("clsid");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("readOnlyFolder");
    // The encoder gives up: wider than the format allows.
    QTest::newRow("gif too wide") << ClsidGifEncoder << QSize(70000, 1) << false;
    QTest::newRow("jpeg too wide") << ClsidJpegEncoder << QSize(70000, 1) << false;
    QTest::newRow("unknown encoder") << Guid{} << QSize(4, 4) << false;
    QTest::newRow("read-only folder") << ClsidPngEncoder << QSize(4, 4) << true;
}

void TestEncoders::failedSaveKeepsOldFile()
{
    QFETCH(Guid, clsid);
    QFETCH(QSize, size);
    QFETCH(bool, readOnlyFolder);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frame_1.out"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    if (readOnlyFolder) {
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with rights that ignore folder permissions (root)");
        }
    }
    QImage frame(size, QImage::Format_ARGB32);
    frame.fill(qRgb(10, 20, 30));
    QVERIFY(saveFrame(frame, clsid, nullptr, path) != Ok);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readAll(path), QByteArray("old contents"));
    // No temporary file left behind either.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("frame_1.out")});
}

void TestEncoders::missingFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/a.png"));
    QCOMPARE(saveFrame(pattern(4, 4, 2, false), ClsidPngEncoder, nullptr, path), FileNotFound);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

void TestEncoders::usualPermissions_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("mask");
    for (int f = 0; f < 5; ++f) {
        const QByteArray name = QByteArray("format ") + QByteArray::number(f);
        QTest::newRow((name + " umask 022").constData()) << f << 022;
        QTest::newRow((name + " umask 002").constData()) << f << 002;
    }
}

void TestEncoders::usualPermissions()
{
    QFETCH(int, format);
    QFETCH(int, mask);
    UmaskScope umaskScope(mode_t(mask & 0777));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.out"));
    const Guid clsid = EncoderList::standard().entries()[std::size_t(format)].clsid;
    QCOMPARE(saveFrame(pattern(9, 9, 3, false), clsid, nullptr, path), Ok);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0666 & ~mask);
}

void TestEncoders::replacingKeepsModeAndLeavesNoTemporary()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    QCOMPARE(writeFileAtomically(path, "first"), Ok);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(saveFrame(pattern(6, 6, 3, false), ClsidPngEncoder, nullptr, path), Ok);
    QCOMPARE(QImage(path).size(), QSize(6, 6));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("a.png")});
    QCOMPARE(writeFileAtomically(QString(), "x"), InvalidParameter);
}

void TestEncoders::linkedFolderIsFollowed()
{
    // Links on the way to the file are followed; only a link at the name itself
    // is refused (tst_atomicwrite).
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const QString linkedFolder = dir.filePath(QStringLiteral("linked"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")), linkedFolder));
    QCOMPARE(saveFrame(pattern(5, 4, 2, false), ClsidBmpEncoder, nullptr,
                       linkedFolder + QStringLiteral("/a.bmp")),
             Ok);
    QVERIFY(QFileInfo(linkedFolder).isSymLink());
    QCOMPARE(QImage(dir.filePath(QStringLiteral("real/a.bmp"))).size(), QSize(5, 4));
}

void TestEncoders::frameSaverWritesAllAndReportsFailures()
{
    QTemporaryDir dir;
    const int count = 24;
    {
        FrameSaver saver(2, 3);
        for (int i = 0; i < count; ++i) {
            // Frame 7 goes to a folder that does not exist.
            const QString path = i == 7 ? dir.filePath(QStringLiteral("missing/f.png"))
                                        : dir.filePath(QStringLiteral("f%1.png").arg(i));
            saver.submit(pattern(64, 48, 3 + i, i % 2), ClsidPngEncoder, nullptr, path,
                         std::uint32_t(i));
        }
        QVERIFY(saver.wait());
        QCOMPARE(saver.completed(), std::uint32_t(count));
        const auto failures = saver.failures();
        QCOMPARE(failures.size(), std::size_t(1));
        QCOMPARE(failures[0].tag, 7u);
        QCOMPARE(failures[0].status, FileNotFound);
    }
    for (int i = 0; i < count; ++i) {
        if (i == 7)
            continue;
        const QImage back(dir.filePath(QStringLiteral("f%1.png").arg(i)));
        QCOMPARE(normalised(back), normalised(pattern(64, 48, 3 + i, i % 2)));
    }
}

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
