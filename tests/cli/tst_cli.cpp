// The command-line front end, run as a process: info (its frame records as JSON
// and as a table, the same in the timing files), export (naming, frame
// selection, formats), thumbs (listing rules, failures, stopping on a signal)
// and exit statuses.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>

#include "common/apngwriter.h"
#include "common/clirun.h"
#include "common/gifwriter.h"
#include "common/tmpfs.h"

namespace {

using Run = fgtest::CliRun;
using fgtest::runCli;

// An 8-frame 6 x 4 GIF whose frame i is filled with palette colour i; delays
// 10, 20, ... hundredths; loops for ever.
bool writeEightFrames(const QString &path)
{
    fgtest::GifSpec spec;
    spec.width = 6;
    spec.height = 4;
    spec.loopCount = 0;
    for (int i = 0; i < 8; ++i)
        spec.globalPalette.push_back({std::uint8_t(30 * i), std::uint8_t(255 - 30 * i), 7});
    for (int i = 0; i < 8; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(24, std::uint8_t(i));
        f.delay = 10 * (i + 1);
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// A GIF whose second frame has an offset, its own colour table, a transparent
// index, interlacing and background disposal.
QByteArray recordsGif()
{
    fgtest::GifSpec spec;
    spec.width = 8;
    spec.height = 6;
    spec.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    fgtest::GifFrame whole;
    whole.indexes = fgtest::filled(48, 2);
    fgtest::GifFrame part;
    part.x = 2;
    part.y = 1;
    part.w = 3;
    part.h = 2;
    part.localPalette = {{9, 9, 9}, {200, 200, 200}};
    part.indexes = fgtest::filled(6, 0);
    part.transparent = 1;
    part.disposal = 2;
    part.delay = 1;
    part.interlace = true;
    spec.frames = {whole, part};
    return fgtest::gifBytes(spec);
}

// A true-colour APNG whose second frame has its own rectangle, background
// disposal and blend over.
QByteArray recordsApng()
{
    fgtest::ApngSpec spec;
    spec.width = 4;
    spec.height = 4;
    spec.frames = {{fgtest::solidImage(4, 4, 0xFFFF0000), 0, 0, 1, 10, 0, 0},
                   {fgtest::solidImage(2, 2, 0x8000FF00), 1, 1, 25, 100, 1, 1}};
    return fgtest::apngBytes(spec);
}

QByteArray dataFile(const char *name)
{
    QFile f(QStringLiteral(FG_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void usageErrors_data();
    void usageErrors();
    void help();
    void infoText();
    void infoJson();
    void infoFramesAndTiming_data();
    void infoFramesAndTiming();
    void infoTable();
    void infoUnreadable();
    void infoTotalIn64Bits();
    void exportNaming_data();
    void exportNaming();
    void exportPixels();
    void exportFramesBeyondTheEnd();
    void exportUnreadable();
    void exportPngNamedGif();
    void exportFrameThatCannotBeSaved();
    void exportTrailingSlash();
    void thumbs();
    void thumbsOfWhatIsNoFolder();
    void thumbsStopsOnASignal_data();
    void thumbsStopsOnASignal();
    void exportNeverWritesThroughALink();
    void exportStopsOnAFullDisk();
    void sampleIsAnimated();
};

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"explode", "a.gif"};
    QTest::newRow("info without file") << QStringList{"info"};
    QTest::newRow("export without --to") << QStringList{"export", "a.gif"};
    QTest::newRow("export without input") << QStringList{"export", "--to", "x"};
    QTest::newRow("export no jobs") << QStringList{"export", "a.gif", "--to", "x", "--jobs", "0"};
    QTest::newRow("export jobs not a number") << QStringList{"export", "a.gif", "--to", "x", "--jobs", "two"};
    QTest::newRow("export bad format") << QStringList{"export", "a.gif", "--to", "x", "--format", "webp"};
    QTest::newRow("export bad frames") << QStringList{"export", "a.gif", "--to", "x", "--frames", "2,x"};
    QTest::newRow("export frame 0") << QStringList{"export", "a.gif", "--to", "x", "--frames", "0"};
    QTest::newRow("export backwards range") << QStringList{"export", "a.gif", "--to", "x", "--frames", "7-5"};
    QTest::newRow("export unknown option") << QStringList{"export", "a.gif", "--to", "x", "--fast"};
    QTest::newRow("export no memory") << QStringList{"export", "a.gif", "--to", "x", "--memory", "0"};
    QTest::newRow("info both as JSON and as a table") << QStringList{"info", "a.gif", "--json", "--table"};
    QTest::newRow("thumbs without --to") << QStringList{"thumbs", "."};
    QTest::newRow("sample without file") << QStringList{"sample"};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const Run r = runCli(args);
    QDir::setCurrent(before);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(QLatin1String("Usage:")));
    QCOMPARE(filesIn(dir.path()), QStringList{}); // nothing written
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
}

void TestCli::help()
{
    const Run r = runCli({QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QLatin1String("export INPUT... --to DIR")));
}

void TestCli::infoText()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("eight.gif"));
    QVERIFY(writeEightFrames(gif));
    const Run r = runCli({QStringLiteral("info"), gif});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QLatin1String("size: 6 x 4 pixels")));
    QVERIFY(r.out.contains(QLatin1String("frames: 8")));
    QVERIFY(r.out.contains(QLatin1String("delays (ms): 100 200 300 400 500 600 700 800")));
    QVERIFY(r.out.contains(QLatin1String("total time: 3600 ms")));
    QVERIFY(r.out.contains(QLatin1String("loop count: 0 (for ever)")));
    const QString sizeText = QStringLiteral("file size: %1.").arg(QFileInfo(gif).size() / 1024);
    QVERIFY(r.out.contains(sizeText));
}

void TestCli::infoJson()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("eight.gif"));
    QVERIFY(writeEightFrames(gif));
    // A still GIF without any graphic control block: one frame, delay 0.
    fgtest::GifSpec still;
    still.width = 3;
    still.height = 2;
    still.globalPalette = {{0, 0, 0}, {255, 255, 255}};
    fgtest::GifFrame f;
    f.indexes = fgtest::filled(6, 1);
    f.graphicControl = false;
    still.frames.push_back(f);
    const QString stillPath = dir.filePath(QStringLiteral("still.gif"));
    QVERIFY(fgtest::writeGif(stillPath, still));

    const Run r = runCli({QStringLiteral("info"), gif, stillPath, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(all.size(), 2);
    const QJsonObject a = all[0].toObject();
    QCOMPARE(a[QStringLiteral("width")].toInt(), 6);
    QCOMPARE(a[QStringLiteral("frameCount")].toInt(), 8);
    QCOMPARE(a[QStringLiteral("totalMs")].toInt(), 3600);
    QCOMPARE(a[QStringLiteral("delaysMs")].toArray().size(), 8);
    QCOMPARE(a[QStringLiteral("loopCount")].toInt(), 0);
    QCOMPARE(a[QStringLiteral("fileSize")].toInt(), int(QFileInfo(gif).size()));
    const QJsonObject b = all[1].toObject();
    QCOMPARE(b[QStringLiteral("frameCount")].toInt(), 1);
    QCOMPARE(b[QStringLiteral("delaysMs")].toArray(), QJsonArray{0});
    QVERIFY(b[QStringLiteral("loopCount")].isNull());
}

void TestCli::infoFramesAndTiming_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("frames"); // `info --json`'s "frames"
    QTest::newRow("GIF: global and local tables, offset, transparency, interlacing")
        << recordsGif()
        << QByteArray(R"([
            {"index":1,"delayMs":0,"playedMs":100,"x":0,"y":0,"width":8,"height":6,"disposal":"none",
             "blend":"over","colors":4,"localColors":false,"transparentIndex":null,"interlaced":false},
            {"index":2,"delayMs":10,"playedMs":100,"x":2,"y":1,"width":3,"height":2,"disposal":"background",
             "blend":"over","colors":2,"localColors":true,"transparentIndex":1,"interlaced":true}])");
    QTest::newRow("APNG: own rectangle, disposal and blend; delays play as stored")
        << recordsApng()
        << QByteArray(R"([
            {"index":1,"delayMs":100,"playedMs":100,"x":0,"y":0,"width":4,"height":4,"disposal":"none",
             "blend":"source","colors":null,"localColors":false,"transparentIndex":null,"interlaced":false},
            {"index":2,"delayMs":250,"playedMs":250,"x":1,"y":1,"width":2,"height":2,"disposal":"background",
             "blend":"over","colors":null,"localColors":false,"transparentIndex":null,"interlaced":false}])");
    QTest::newRow("WebP: own rectangles, disposal and blend")
        << dataFile("webp-lossless-blend-dispose.webp")
        << QByteArray(R"([
            {"index":1,"delayMs":33,"playedMs":33,"x":0,"y":0,"width":8,"height":8,"disposal":"none",
             "blend":"source","colors":null,"localColors":false,"transparentIndex":null,"interlaced":false},
            {"index":2,"delayMs":40,"playedMs":40,"x":2,"y":2,"width":4,"height":4,"disposal":"background",
             "blend":"over","colors":null,"localColors":false,"transparentIndex":null,"interlaced":false},
            {"index":3,"delayMs":100,"playedMs":100,"x":0,"y":0,"width":2,"height":2,"disposal":"none",
             "blend":"source","colors":null,"localColors":false,"transparentIndex":null,"interlaced":false}])");
}

void TestCli::infoFramesAndTiming()
{
    // The timing file gives each frame as info does, plus the file it went to.
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, frames);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.anim"));
    QVERIFY(!bytes.isEmpty() && fgtest::writeBytes(path, bytes));
    const Run info = runCli({QStringLiteral("info"), path, QStringLiteral("--json")});
    QCOMPARE(info.exitCode, 0);
    const QJsonArray printed =
        QJsonDocument::fromJson(info.out.toUtf8()).array()[0].toObject()[QStringLiteral("frames")].toArray();
    QCOMPARE(printed, QJsonDocument::fromJson(frames).array());

    const QString out = dir.filePath(QStringLiteral("out"));
    QCOMPARE(runCli({QStringLiteral("export"), path, QStringLiteral("--to"), out, QStringLiteral("--timing")}).exitCode,
             0);
    QFile timingFile(out + QStringLiteral("/p_timing.json"));
    QVERIFY(timingFile.open(QIODevice::ReadOnly));
    const QJsonArray timing =
        QJsonDocument::fromJson(timingFile.readAll()).object()[QStringLiteral("frames")].toArray();
    QCOMPARE(timing.size(), printed.size());
    for (qsizetype i = 0; i < timing.size(); ++i) {
        QJsonObject t = timing[i].toObject();
        QCOMPARE(t.take(QStringLiteral("file")).toString(), QStringLiteral("p_%1.GIF").arg(i + 1));
        QVERIFY(t.take(QStringLiteral("hash")).isString());
        QVERIFY(t.take(QStringLiteral("duplicateOf")).isNull());
        QCOMPARE(t, printed[i].toObject());
    }
}

void TestCli::infoTable()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("r.gif"));
    QVERIFY(fgtest::writeBytes(gif, recordsGif()));
    const Run r = runCli({QStringLiteral("info"), gif, QStringLiteral("--table")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QLatin1String("frames: 2"))); // the facts first, as without --table
    QStringList lines;
    for (const QString &line : r.out.split(QLatin1Char('\n')))
        lines << line.simplified();
    QVERIFY2(lines.contains(QStringLiteral("frame delay ms played ms x y width height disposal blend colors local "
                                           "transparent interlaced")),
             qPrintable(r.out));
    QVERIFY(lines.contains(QStringLiteral("1 0 100 0 0 8 6 none over 4 no - no")));
    QVERIFY(lines.contains(QStringLiteral("2 10 100 2 1 3 2 background over 2 yes 1 yes")));
}

void TestCli::infoUnreadable()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("eight.gif"));
    QVERIFY(writeEightFrames(good));
    const QString text = dir.filePath(QStringLiteral("notes.gif"));
    writeText(text, "just some words\n");
    const Run r = runCli({QStringLiteral("info"), text, good});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(text));
    QVERIFY(r.out.contains(QLatin1String("frames: 8"))); // the good one still reported
}

void TestCli::infoTotalIn64Bits()
{
    // 6,600 frames of the longest delay (655.35 s) run longer than 2^32 ms.
    fgtest::GifSpec spec;
    spec.globalPalette = {{0, 0, 0}, {255, 255, 255}};
    fgtest::GifFrame f;
    f.indexes = fgtest::filled(1, 1);
    f.delay = 65535;
    spec.frames.assign(6600, f);
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("long.gif"));
    QVERIFY(fgtest::writeGif(gif, spec));
    const Run r = runCli({QStringLiteral("info"), gif, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject();
    QCOMPARE(o[QStringLiteral("frameCount")].toInt(), 6600);
    QCOMPARE(o[QStringLiteral("totalMs")].toInteger(), qint64(6600) * 655350);
}

void TestCli::exportNaming_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    const auto names = [](const QString &ext, std::initializer_list<int> numbers) {
        QStringList out;
        for (int n : numbers)
            out << QStringLiteral("walk.cycle_%1%2").arg(n).arg(ext);
        out.sort();
        return out;
    };
    QTest::newRow("default gif, all") << QStringList{} << names(".GIF", {1, 2, 3, 4, 5, 6, 7, 8});
    QTest::newRow("png 2,5-7") << QStringList{"--format", "png", "--frames", "2,5-7"}
                               << names(".png", {2, 5, 6, 7});
    QTest::newRow("bmp 8") << QStringList{"--format", "bmp", "--frames", "8"} << names(".BMP", {8});
    QTest::newRow("jpg 1-2") << QStringList{"--format=jpg", "--frames=1-2"} << names(".JPG", {1, 2});
    QTest::newRow("tif 3, overlapping") << QStringList{"--format", "tif", "--frames", "3,3-3"}
                                        << names(".TIF", {3});
    QTest::newRow("gif 1,8") << QStringList{"--format", "gif", "--frames", "8,1"} << names(".GIF", {1, 8});
}

void TestCli::exportNaming()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("walk.cycle.gif"));
    QVERIFY(writeEightFrames(gif));
    const QString out = dir.filePath(QStringLiteral("frames"));
    const Run r = runCli(QStringList{QStringLiteral("export"), gif, QStringLiteral("--to"), out} + options);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(filesIn(out), expected);
    // Every file is a readable picture of the GIF's size.
    for (const QString &name : expected)
        QCOMPARE(QImage(QDir(out).filePath(name)).size(), QSize(6, 4));
}

void TestCli::exportPixels()
{
    // Frame N holds palette colour N - 1: the file named N has that colour.
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(writeEightFrames(gif));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), dir.path(),
                          QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--frames"),
                          QStringLiteral("3,6")});
    QCOMPARE(r.exitCode, 0);
    for (int n : {3, 6}) {
        const QImage img(dir.filePath(QStringLiteral("a_%1.png").arg(n)));
        QCOMPARE(img.pixel(5, 3), qRgb(30 * (n - 1), 255 - 30 * (n - 1), 7));
    }
}

void TestCli::exportFramesBeyondTheEnd()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(writeEightFrames(gif));
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out,
                          QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--frames"),
                          QStringLiteral("7-10")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QLatin1String("9-10")));
    QCOMPARE(filesIn(out), (QStringList{QStringLiteral("a_7.png"), QStringLiteral("a_8.png")}));
}

void TestCli::exportUnreadable()
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("x.gif"));
    writeText(text, "GIF? no.\n");
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli({QStringLiteral("export"), text, QStringLiteral("--to"), out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(text));
    QVERIFY(filesIn(out).isEmpty());
}

void TestCli::exportPngNamedGif()
{
    // A picture that is no GIF but loads (a PNG named .gif) is one frame.
    QTemporaryDir dir;
    QImage png(5, 3, QImage::Format_ARGB32);
    png.fill(qRgba(10, 200, 30, 255));
    const QString path = dir.filePath(QStringLiteral("still.gif"));
    QVERIFY(png.save(path, "PNG"));
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli({QStringLiteral("export"), path, QStringLiteral("--to"), out,
                          QStringLiteral("--format"), QStringLiteral("bmp")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(filesIn(out), QStringList{QStringLiteral("still_1.BMP")});
    QCOMPARE(QImage(QDir(out).filePath(QStringLiteral("still_1.BMP"))).pixel(4, 2), qRgb(10, 200, 30));
}

void TestCli::exportFrameThatCannotBeSaved()
{
    // A folder already holds the name of frame 2: that frame fails, the others
    // are written, and the run says which one and why.
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(writeEightFrames(gif));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out + QStringLiteral("/a_2.png")));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out,
                          QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--frames"),
                          QStringLiteral("1-3")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(out + QStringLiteral("/a_2.png")), qPrintable(r.err));
    QVERIFY(!r.err.contains(QLatin1String("a_1.png")));
    QVERIFY(QFileInfo(out + QStringLiteral("/a_2.png")).isDir());
    QCOMPARE(filesIn(out), (QStringList{QStringLiteral("a_1.png"), QStringLiteral("a_3.png")}));
}

void TestCli::exportTrailingSlash()
{
    // A folder given with its trailing "/" (as "/" itself is) gets no second one.
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("walk.gif"));
    QVERIFY(writeEightFrames(gif));
    const QString out = dir.filePath(QStringLiteral("blocked")) + QLatin1Char('/');
    writeText(dir.filePath(QStringLiteral("blocked")), "a file, not a folder");
    Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), dir.path() + QLatin1Char('/'),
                    QStringLiteral("--frames"), QStringLiteral("1")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("walk_1.GIF"))));
    // The reported name shows how names are joined.
    r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!r.err.contains(QLatin1String("//")));
}

void TestCli::thumbs()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(src));
    for (const char *name : {"b.gif", "A.GIF", "c.Gif", ".hidden.gif", "d.gif.bak"})
        QVERIFY(writeEightFrames(QDir(src).filePath(QLatin1String(name))));
    QVERIFY(QDir(src).mkdir(QStringLiteral("e.gif")));
    QVERIFY(QFile::link(QDir(src).filePath(QStringLiteral("b.gif")), QDir(src).filePath(QStringLiteral("link.gif"))));
    QVERIFY(QFile::link(QDir(src).filePath(QStringLiteral("gone")), QDir(src).filePath(QStringLiteral("dangling.gif"))));
    // A pipe named like a GIF is never opened (opening it would block).
    QCOMPARE(::mkfifo(QFile::encodeName(QDir(src).filePath(QStringLiteral("pipe.gif"))).constData(), 0644), 0);
    // Unreadable ones, reported in catalogue order (numbers by value).
    writeText(QDir(src).filePath(QStringLiteral("x10.gif")), "text");
    writeText(QDir(src).filePath(QStringLiteral("x9.gif")), "text");

    const QString out = dir.filePath(QStringLiteral("thumbs"));
    const Run r = runCli({QStringLiteral("thumbs"), src, QStringLiteral("--to"), out});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(filesIn(out), (QStringList{QStringLiteral("A.GIF.png"), QStringLiteral("b.gif.png"),
                                        QStringLiteral("c.Gif.png"), QStringLiteral("link.gif.png")}));
    // Reasons in English, like the rest of the command line.
    const QString bad9 = QDir(src).filePath(QStringLiteral("x9.gif")) + QStringLiteral(": cannot read the picture: not a picture");
    const QString bad10 = QDir(src).filePath(QStringLiteral("x10.gif")) + QStringLiteral(": cannot read the picture: not a picture");
    QVERIFY2(r.err.contains(bad9), qPrintable(r.err));
    // What is skipped is said, not silently dropped.
    QVERIFY(r.err.contains(QDir(src).filePath(QStringLiteral("dangling.gif")) + QStringLiteral(": skipped: a link to nowhere")));
    QVERIFY(r.err.contains(QDir(src).filePath(QStringLiteral("pipe.gif")) + QStringLiteral(": skipped: not a regular file")));
    QVERIFY(r.err.indexOf(bad9) < r.err.indexOf(bad10));

    const QImage thumb(QDir(out).filePath(QStringLiteral("b.gif.png")));
    QCOMPARE(thumb.size(), QSize(120, 120));
    QCOMPARE(thumb.pixel(0, 0), qRgb(0xC8, 0xC8, 0xC8));
    QCOMPARE(thumb.pixel(119, 60), qRgb(0xC8, 0xC8, 0xC8));
    QCOMPARE(thumb.pixel(60, 60), qRgb(0, 255, 7)); // frame 1, colour 0, drawn at its own size in the middle

    // A folder with only good GIFs exits 0.
    QVERIFY(QFile::remove(QDir(src).filePath(QStringLiteral("x9.gif"))));
    QVERIFY(QFile::remove(QDir(src).filePath(QStringLiteral("x10.gif"))));
    QCOMPARE(runCli({QStringLiteral("thumbs"), src, QStringLiteral("--to"), out}).exitCode, 0);
}

void TestCli::thumbsOfWhatIsNoFolder()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("file"));
    writeText(file, "x");
    for (const QString &source : {file, dir.filePath(QStringLiteral("nowhere"))}) {
        const Run r = runCli({QStringLiteral("thumbs"), source, QStringLiteral("--to"), dir.filePath(QStringLiteral("t"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(source + QStringLiteral(": cannot read the folder: ")), qPrintable(r.err));
    }
}

void TestCli::thumbsStopsOnASignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("replacing"); // replacing thumbnails goes through named temporaries
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGTERM while replacing earlier thumbnails") << int(SIGTERM) << true;
}

void TestCli::thumbsStopsOnASignal()
{
    QFETCH(int, signal);
    QFETCH(bool, replacing);
    // Enough work that the run is still going when the signal comes.
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(src));
    QVERIFY(fgtest::writeColourCycle(dir.filePath(QStringLiteral("big.gif")), 2, 900, 900));
    constexpr int Files = 300;
    for (int i = 0; i < Files; ++i)
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("big.gif")), src + QStringLiteral("/g%1.gif").arg(i)));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList args{QStringLiteral("thumbs"), src, QStringLiteral("--to"), out};
    if (replacing)
        QCOMPARE(runCli(args).exitCode, 0);
    const QDateTime start = QDateTime::currentDateTime();

    QProcess p;
    p.start(QStringLiteral(FG_CLI_PATH), args);
    QVERIFY(p.waitForStarted());
    // Once a first thumbnail is written (or replaced).
    const auto begun = [&] {
        for (const QString &name : filesIn(out))
            if (!replacing || QFileInfo(QDir(out).filePath(name)).lastModified() > start)
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(begun(), 60000);
    QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(QLatin1String("interrupted")));
    // Only whole thumbnails, no temporary of any kind.
    const QStringList left = filesIn(out);
    if (!replacing)
        QVERIFY(left.size() < Files);
    for (const QString &name : left) {
        QVERIFY2(QRegularExpression(QStringLiteral("^g\\d+\\.gif\\.png$")).match(name).hasMatch(), qPrintable(name));
        QCOMPARE(QImage(QDir(out).filePath(name)).size(), QSize(120, 120));
    }
}

void TestCli::exportNeverWritesThroughALink()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("x.gif"));
    QVERIFY(writeEightFrames(gif));
    const QString out = dir.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(out));
    const QString victim = dir.filePath(QStringLiteral("important.conf"));
    writeText(victim, "keep me\n");
    QVERIFY(QFile::link(victim, out + QStringLiteral("/x_1.png")));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out,
                          QStringLiteral("--format"), QStringLiteral("png")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("x_1.png: cannot save frame 1: a symbolic link is in the way")),
             qPrintable(r.err));
    QFile kept(victim);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me\n"));
    QVERIFY(QFileInfo(out + QStringLiteral("/x_1.png")).isSymLink());
    QCOMPARE(filesIn(out).size(), 8); // the link and frames 2 to 8
}

void TestCli::exportStopsOnAFullDisk()
{
    QTemporaryDir dir;
    const QString point = dir.filePath(QStringLiteral("small"));
    const fgtest::TmpfsScope tmpfs(point, QStringLiteral("64k"));
    if (!tmpfs.mounted())
        QSKIP("cannot mount a small file system here (needs root)");
    // 60 frames of 100 x 100 as BMP (about 30 KB each) on 64 KB.
    const QString gif = dir.filePath(QStringLiteral("many.gif"));
    QVERIFY(fgtest::writeColourCycle(gif, 60, 100, 100));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), point,
                          QStringLiteral("--format"), QStringLiteral("bmp")});
    QCOMPARE(r.exitCode, 1);
    // One line, however many files were in flight; nothing half-written left.
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(QStringLiteral("no space left on the device; stopped, ")), qPrintable(r.err));
    for (const QString &name : QDir(point).entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(name.endsWith(QLatin1String(".BMP")) && QFileInfo(QDir(point).filePath(name)).size() > 30000,
                 qPrintable(name));
}

void TestCli::sampleIsAnimated()
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("sample.gif"));
    QCOMPARE(runCli({QStringLiteral("sample"), gif}).exitCode, 0);
    const Run r = runCli({QStringLiteral("info"), gif, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject();
    QVERIFY(o[QStringLiteral("frameCount")].toInt() > 1);
    QVERIFY(o[QStringLiteral("totalMs")].toInt() > 0);
    const QJsonArray delays = o[QStringLiteral("delaysMs")].toArray();
    QVERIFY(delays[0] != delays[1]);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
