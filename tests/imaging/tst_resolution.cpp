// BMP, JPEG and TIFF files say 96 dpi (3,780 dots per metre) whatever the
// application object: checked here in a QCoreApplication, whose own default
// differs, so the window and the command line write identical files.

#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include "imaging/engine/encoders.h"

using namespace engine;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 le32(const QByteArray &b, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

} // namespace

class TestResolution : public QObject {
    Q_OBJECT
private slots:
    void bmpHeaderSays96Dpi();
    void filesReadBackAt96Dpi_data();
    void filesReadBackAt96Dpi();
};

void TestResolution::bmpHeaderSays96Dpi()
{
    QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.BMP"));
    QImage frame(5, 3, QImage::Format_ARGB32);
    frame.fill(qRgb(9, 8, 7));
    QCOMPARE(saveFrame(frame, ClsidBmpEncoder, nullptr, path), Ok);
    const QByteArray bmp = readAll(path);
    QVERIFY(bmp.size() >= 54);
    QCOMPARE(le32(bmp, 14 + 24), 3780u); // BITMAPINFOHEADER biXPelsPerMeter
    QCOMPARE(le32(bmp, 14 + 28), 3780u); // biYPelsPerMeter
}

void TestResolution::filesReadBackAt96Dpi_data()
{
    QTest::addColumn<QByteArray>("clsid");
    auto id = [](const Guid &g) { return QByteArray(reinterpret_cast<const char *>(&g), sizeof g); };
    QTest::newRow("bmp") << id(ClsidBmpEncoder);
    QTest::newRow("jpeg") << id(ClsidJpegEncoder);
    QTest::newRow("tiff") << id(ClsidTiffEncoder);
}

void TestResolution::filesReadBackAt96Dpi()
{
    QFETCH(QByteArray, clsid);
    Guid id{};
    std::memcpy(&id, clsid.constData(), sizeof id);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.out"));
    QImage frame(6, 4, QImage::Format_ARGB32);
    frame.fill(qRgba(9, 8, 7, 200));
    // The frame's own resolution does not leak into the file.
    frame.setDotsPerMeterX(1000);
    frame.setDotsPerMeterY(5000);
    QCOMPARE(saveFrame(frame, id, nullptr, path), Ok);
    const QImage back(path);
    QVERIFY(!back.isNull());
    // JPEG stores whole dots per inch; Qt reads 96 dpi back as 3,779.
    QCOMPARE(qRound(back.dotsPerMeterX() * 0.0254), 96);
    QCOMPARE(qRound(back.dotsPerMeterY() * 0.0254), 96);
}

QTEST_GUILESS_MAIN(TestResolution)
#include "tst_resolution.moc"
