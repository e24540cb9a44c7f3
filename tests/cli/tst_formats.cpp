// Animated WebP and PNG through the command line and the catalogue's listing
// rule: which files `thumbs` lists (never a still PNG), millisecond delays in
// `info`, and `export` naming and flattening transparent frames for JPG and BMP.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "common/apngwriter.h"
#include "common/clirun.h"
#include "common/gifwriter.h"
#include "core/listing.h"

namespace {

using Run = fgtest::CliRun;
using fgtest::runCli;

QString dataFile(const char *name)
{
    return QStringLiteral(FG_TEST_DATA "/") + QLatin1String(name);
}

// Two frames of 4 x 2: opaque red on the left half, transparent on the right;
// then blue over all of it. The first frame lasts 1/3 s.
QByteArray twoFrameApng(bool defaultImage = false)
{
    fgtest::ApngSpec spec;
    spec.width = 4;
    spec.height = 2;
    QImage first = fgtest::solidImage(4, 2, 0x00000000);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            first.setPixel(x, y, 0xFFFF0000);
    fgtest::ApngFrame a;
    a.image = first;
    a.delayNum = 1;
    a.delayDen = 3;
    fgtest::ApngFrame b;
    b.image = fgtest::solidImage(4, 2, 0xFF0000FF);
    spec.frames = {a, b};
    if (defaultImage)
        spec.defaultImage = fgtest::solidImage(4, 2, 0xFF00FF00);
    return fgtest::apngBytes(spec);
}

bool writeGif(const QString &path)
{
    fgtest::GifSpec spec;
    spec.width = spec.height = 2;
    spec.globalPalette = {{0, 0, 0}, {255, 0, 0}};
    fgtest::GifFrame f;
    f.indexes = fgtest::filled(4, 1);
    spec.frames.push_back(f);
    return fgtest::writeGif(path, spec);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void thumbsListsAnimationsButNoStillPng()
    {
        QTemporaryDir dir;
        const QString src = dir.filePath(QStringLiteral("src"));
        QVERIFY(QDir().mkpath(src));
        const QDir s(src);
        QVERIFY(writeGif(s.filePath(QStringLiteral("a.gif"))));
        QVERIFY(QFile::copy(dataFile("webp-lossless-blend-dispose.webp"), s.filePath(QStringLiteral("b.WEBP"))));
        QVERIFY(fgtest::writeBytes(s.filePath(QStringLiteral("c.apng")), twoFrameApng()));
        QVERIFY(fgtest::writeBytes(s.filePath(QStringLiteral("d.png")), twoFrameApng()));
        QVERIFY(fgtest::solidImage(3, 3, 0xFF00FF00).save(s.filePath(QStringLiteral("e.png")), "PNG"));
        QVERIFY(fgtest::writeBytes(s.filePath(QStringLiteral("f.Png")), twoFrameApng(true)));
        QVERIFY(fgtest::writeBytes(s.filePath(QStringLiteral("g.png.bak")), twoFrameApng()));
        QVERIFY(fgtest::writeBytes(s.filePath(QStringLiteral("h.png")), QByteArray("not a picture")));

        const QString out = dir.filePath(QStringLiteral("thumbs"));
        const Run r = runCli({QStringLiteral("thumbs"), src, QStringLiteral("--to"), out, QStringLiteral("--quiet")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QCOMPARE(filesIn(out), QStringList({"a.gif.png", "b.WEBP.png", "c.apng.png", "d.png.png", "f.Png.png"}));

        // The window's way, PNG files opened later, gives the same list in the same order.
        const CatalogueListing now = listCatalogue(src);
        const CatalogueListing later = listCatalogue(src, PngFiles::Later);
        QCOMPARE(later.names, QStringList({"a.gif", "b.WEBP", "c.apng"}));
        QCOMPARE(later.pngNames, QStringList({"d.png", "e.png", "f.Png", "h.png"}));
        QCOMPARE(mergeCatalogueNames(later.names, animatedPngNames(src, later.pngNames)), now.names);
        QCOMPARE(animatedPngNames(src, later.pngNames, [] { return true; }), QStringList());
    }

    void infoGivesMilliseconds_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<qint64>>("delays");
        QTest::addColumn<int>("loops");
        QTest::newRow("a WebP's 33 ms stay 33 ms") << QStringLiteral("webp") << QList<qint64>{33, 40, 100} << 3;
        QTest::newRow("an APNG's third of a second is 333 ms") << QStringLiteral("apng") << QList<qint64>{333, 100} << 0;
    }

    void infoGivesMilliseconds()
    {
        QFETCH(QString, file);
        QFETCH(QList<qint64>, delays);
        QFETCH(int, loops);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.") + file);
        if (file == QLatin1String("webp"))
            QVERIFY(QFile::copy(dataFile("webp-lossless-blend-dispose.webp"), path));
        else
            QVERIFY(fgtest::writeBytes(path, twoFrameApng()));
        const Run r = runCli({QStringLiteral("info"), path, QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).array().first().toObject();
        QList<qint64> got;
        for (const QJsonValue &v : o.value(QStringLiteral("delaysMs")).toArray())
            got << v.toInteger();
        QCOMPARE(got, delays);
        QCOMPARE(o.value(QStringLiteral("frameCount")).toInt(), int(delays.size()));
        QCOMPARE(o.value(QStringLiteral("loopCount")).toInt(), loops);
    }

    void exportFlattensTransparency_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("ext");
        QTest::newRow("BMP") << QStringLiteral("bmp") << QStringLiteral("BMP");
        QTest::newRow("JPG") << QStringLiteral("jpg") << QStringLiteral("JPG");
    }

    void exportFlattensTransparency()
    {
        QFETCH(QString, format);
        QFETCH(QString, ext);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sticker.anim.png"));
        QVERIFY(fgtest::writeBytes(path, twoFrameApng()));
        const QString out = dir.filePath(QStringLiteral("out"));
        const Run r = runCli({QStringLiteral("export"), path, QStringLiteral("--to"), out, QStringLiteral("--format"),
                              format, QStringLiteral("--quiet")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(filesIn(out), QStringList({"sticker.anim_1." + ext, "sticker.anim_2." + ext}));
        const QImage first(QDir(out).filePath("sticker.anim_1." + ext));
        const QImage second(QDir(out).filePath("sticker.anim_2." + ext));
        auto near = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) <= 8 && std::abs(qGreen(a) - qGreen(b)) <= 8
                && std::abs(qBlue(a) - qBlue(b)) <= 8;
        };
        QVERIFY(near(first.pixel(0, 0), qRgb(255, 0, 0)));
        QVERIFY(near(first.pixel(3, 1), qRgb(255, 255, 255))); // transparent: white
        QVERIFY(near(second.pixel(3, 1), qRgb(0, 0, 255)));
    }

    void exportWebPFrames()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("clip.webp"));
        QVERIFY(QFile::copy(dataFile("webp-lossless-blend-dispose.webp"), path));
        const QString out = dir.filePath(QStringLiteral("out"));
        const Run r = runCli({QStringLiteral("export"), path, QStringLiteral("--to"), out, QStringLiteral("--format"),
                              QStringLiteral("png"), QStringLiteral("--frames"), QStringLiteral("3"),
                              QStringLiteral("--quiet")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(filesIn(out), QStringList{QStringLiteral("clip_3.png")});
        const QImage third = QImage(QDir(out).filePath(QStringLiteral("clip_3.png"))).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(third.pixel(0, 0), 0xFF0000FFu);
        QCOMPARE(qAlpha(third.pixel(3, 3)), 0);
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
