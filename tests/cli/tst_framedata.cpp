// Frames as data on the command line: content hashes in the timing files,
// frames left out as duplicates (--unique), samples by time (--fps), their
// usage errors, and resuming runs whose names are known only after decoding.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "common/clirun.h"
#include "common/gifwriter.h"

namespace {

// A 4 x 4 GIF whose frames are whole screens of palette colours `colours`,
// shown for `delays` hundredths each.
bool writeFrames(const QString &path, const QList<int> &colours, const QList<int> &delays)
{
    fgtest::GifSpec spec;
    spec.width = 4;
    spec.height = 4;
    spec.globalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (qsizetype i = 0; i < colours.size(); ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(16, std::uint8_t(colours[i]));
        f.delay = delays.value(i, 10);
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList pngsIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
}

// A JSON value as short text: numbers as digits, null as "-".
QString brief(const QJsonValue &v)
{
    return v.isNull() || v.isUndefined() ? QStringLiteral("-") : v.isString() ? v.toString() : QString::number(v.toInteger());
}

QStringList column(const QJsonArray &frames, const char *key)
{
    QStringList out;
    for (const QJsonValue &f : frames)
        out << brief(f.toObject().value(QLatin1String(key)));
    return out;
}

} // namespace

class TestFrameData : public QObject {
    Q_OBJECT

private slots:
    void timingNamesEachFramesFile_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("index");
        QTest::addColumn<QStringList>("duplicateOf");
        QTest::addColumn<QStringList>("timeMs");
        QTest::addColumn<int>("duplicates");
        // Colours A B A C B, 100 ms each (frame 1 stored as 0: played 100 ms).
        QTest::newRow("--unique leaves out repeats that are not consecutive")
            << QStringList{QStringLiteral("--unique")} << QStringList{"x_1.png", "x_2.png", "x_4.png"}
            << QStringList{"x_1.png", "x_2.png", "x_1.png", "x_4.png", "x_2.png"}
            << QStringList{"1", "2", "3", "4", "5"} << QStringList{"-", "-", "1", "-", "2"}
            << QStringList{"-", "-", "-", "-", "-"} << 2;
        QTest::newRow("without --unique every frame is written")
            << QStringList{} << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_4.png", "x_5.png"}
            << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_4.png", "x_5.png"}
            << QStringList{"1", "2", "3", "4", "5"} << QStringList{"-", "-", "-", "-", "-"}
            << QStringList{"-", "-", "-", "-", "-"} << 0;
        QTest::newRow("frames left out by --frames have no file")
            << QStringList{QStringLiteral("--frames"), QStringLiteral("2-3")}
            << QStringList{"x_2.png", "x_3.png"} << QStringList{"-", "x_2.png", "x_3.png", "-", "-"}
            << QStringList{"1", "2", "3", "4", "5"} << QStringList{"-", "-", "-", "-", "-"}
            << QStringList{"-", "-", "-", "-", "-"} << 0;
        // Played 100, 30, 270, 50 ms: samples at 0, 100 (a boundary: frame 2
        // starts there), 200, 300 (frame 3 again), 400 (frame 4 starts).
        QTest::newRow("--fps samples by played time, a sample on a boundary shows the frame starting there")
            << QStringList{QStringLiteral("--fps"), QStringLiteral("10")}
            << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_4.png", "x_5.png"}
            << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_4.png", "x_5.png"}
            << QStringList{"1", "2", "3", "3", "4"} << QStringList{"-", "-", "-", "-", "-"}
            << QStringList{"0", "100", "200", "300", "400"} << 0;
        QTest::newRow("--fps with --unique leaves out a sample equal to an earlier one")
            << QStringList{QStringLiteral("--fps"), QStringLiteral("10"), QStringLiteral("--unique")}
            << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_5.png"}
            << QStringList{"x_1.png", "x_2.png", "x_3.png", "x_3.png", "x_5.png"}
            << QStringList{"1", "2", "3", "3", "4"} << QStringList{"-", "-", "-", "3", "-"}
            << QStringList{"0", "100", "200", "300", "400"} << 1;
    }
    void timingNamesEachFramesFile()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, written);
        QFETCH(QStringList, files);
        QFETCH(QStringList, index);
        QFETCH(QStringList, duplicateOf);
        QFETCH(QStringList, timeMs);
        QFETCH(int, duplicates);
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("x.gif"));
        const bool fps = options.contains(QStringLiteral("--fps"));
        // With --fps the third frame is long (270 ms) and the colours differ,
        // so the repeat is the sample, not the frame.
        QVERIFY(fps ? writeFrames(gif, {0, 1, 2, 3}, {0, 3, 27, 5})
                    : writeFrames(gif, {0, 1, 0, 2, 1}, {0, 10, 10, 10, 10}));
        const QString out = dir.filePath(QStringLiteral("out"));
        const QString report = dir.filePath(QStringLiteral("report.jsonl"));
        const fgtest::CliRun run = fgtest::runCli(QStringList{QStringLiteral("export"), gif,
                                                              QStringLiteral("--to"), out,
                                                              QStringLiteral("--format"), QStringLiteral("png"),
                                                              QStringLiteral("--timing"), QStringLiteral("--report"),
                                                              report}
                                                  + options);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(pngsIn(out), written);
        const QJsonArray frames = readJson(out + QStringLiteral("/x_timing.json"))
                                      .value(QStringLiteral("frames")).toArray();
        QCOMPARE(column(frames, "file"), files);
        QCOMPARE(column(frames, "index"), index);
        QCOMPARE(column(frames, "duplicateOf"), duplicateOf);
        QCOMPARE(column(frames, "timeMs"), fps ? timeMs : QStringList(frames.size(), QStringLiteral("-")));
        // A picture's hash is known wherever it was decoded, written or not,
        // and equal pictures have equal hashes.
        QHash<QString, QString> hashOfFile;
        for (const QJsonValue &v : frames) {
            const QJsonObject f = v.toObject();
            const QString hash = brief(f.value(QStringLiteral("hash")));
            QCOMPARE(hash == QLatin1String("-"), f.value(QStringLiteral("file")).isNull());
            if (hash == QLatin1String("-"))
                continue;
            QCOMPARE(hash.size(), 16);
            const QString file = f.value(QStringLiteral("file")).toString();
            QCOMPARE(hashOfFile.value(file, hash), hash);
            hashOfFile.insert(file, hash);
        }
        QFile lines(report);
        QVERIFY(lines.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(lines.readLine()).object().value(QStringLiteral("duplicates")).toInt(),
                 duplicates);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("--fps 0") << QStringList{QStringLiteral("--fps"), QStringLiteral("0")};
        QTest::newRow("--fps not a number") << QStringList{QStringLiteral("--fps"), QStringLiteral("ten")};
        QTest::newRow("--fps with --frames")
            << QStringList{QStringLiteral("--fps"), QStringLiteral("10"), QStringLiteral("--frames"),
                           QStringLiteral("1")};
        QTest::newRow("--unique resumed without --timing")
            << QStringList{QStringLiteral("--unique"), QStringLiteral("--skip-existing")};
        QTest::newRow("--fps resumed without --timing")
            << QStringList{QStringLiteral("--fps"), QStringLiteral("5"), QStringLiteral("--skip-existing")};
    }
    void usageErrors()
    {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("x.gif"));
        QVERIFY(writeFrames(gif, {0, 1}, {10, 10}));
        const fgtest::CliRun run = fgtest::runCli(
            QStringList{QStringLiteral("export"), gif, QStringLiteral("--to"), dir.filePath(QStringLiteral("out"))}
            + options);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("out"))));
    }

    // Resuming goes by the timing file: finished while it and every file it
    // names are there; a file gone makes the input run again.
    void resumeByTheTimingFile_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("--unique") << QStringList{QStringLiteral("--unique")};
        QTest::newRow("--fps") << QStringList{QStringLiteral("--fps"), QStringLiteral("4")};
    }
    void resumeByTheTimingFile()
    {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("x.gif"));
        QVERIFY(writeFrames(gif, {0, 1, 0}, {10, 10, 10}));
        const QString out = dir.filePath(QStringLiteral("out"));
        auto run = [&] {
            const QString report = dir.filePath(QStringLiteral("r.jsonl"));
            QFile::remove(report);
            const fgtest::CliRun r = fgtest::runCli(
                QStringList{QStringLiteral("export"), gif, QStringLiteral("--to"), out, QStringLiteral("--timing"),
                            QStringLiteral("--skip-existing"), QStringLiteral("--report"), report}
                + options);
            QFile lines(report);
            if (r.exitCode != 0 || !lines.open(QIODevice::ReadOnly))
                return QStringLiteral("failed: ") + r.err;
            return QJsonDocument::fromJson(lines.readLine()).object().value(QStringLiteral("skipped")).toBool()
                       ? QStringLiteral("skipped")
                       : QStringLiteral("exported");
        };
        QCOMPARE(run(), QStringLiteral("exported"));
        QCOMPARE(run(), QStringLiteral("skipped"));
        QVERIFY(QFile::remove(out + QStringLiteral("/x_1.GIF")));
        QCOMPARE(run(), QStringLiteral("exported"));
        QVERIFY(QFileInfo::exists(out + QStringLiteral("/x_1.GIF")));
    }
};

QTEST_GUILESS_MAIN(TestFrameData)
#include "tst_framedata.moc"
