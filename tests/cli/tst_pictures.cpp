// animate and sheet at the command line: what is written (or, after a usage
// error or a missing frame, that nothing is), the exit status and the lines on
// stderr. What the files hold is tested in core (tst_animate, tst_sheet).

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "common/clirun.h"
#include "common/gifwriter.h"

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<QStringList>("args"); // IN: the source, OUT/: the output folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrHas");
        QTest::addColumn<QStringList>("written");
        const QStringList none;
        QTest::newRow("animate to gif: 30 ms at 2 times is raised to 20 ms and said")
            << QStringList{"animate", "IN", "--to", "OUT/a.gif", "--speed", "2"} << 0
            << "6 frame(s) shorter than 20 ms written as 20 ms" << QStringList{"a.gif"};
        QTest::newRow("animate to apng, chosen frames reversed")
            << QStringList{"animate", "IN", "--to", "OUT/a.apng", "--frames", "1-2,4", "--reverse", "--loop", "2"}
            << 0 << "" << QStringList{"a.apng"};
        QTest::newRow("animate to lossy webp ping-pong")
            << QStringList{"animate", "IN", "--to", "OUT/a.webp", "--pingpong", "--quality", "60"} << 0 << ""
            << QStringList{"a.webp"};
        QTest::newRow("--quality with gif is a usage error")
            << QStringList{"animate", "IN", "--to", "OUT/a.gif", "--quality", "60"} << 2 << "WebP only" << none;
        QTest::newRow("--quality with apng is a usage error")
            << QStringList{"animate", "IN", "--to", "OUT/a.png", "--quality", "60"} << 2 << "WebP only" << none;
        QTest::newRow("an unknown extension is a usage error")
            << QStringList{"animate", "IN", "--to", "OUT/a.bmp"} << 2 << ".gif, .webp, .png or .apng" << none;
        QTest::newRow("--reverse with --pingpong is a usage error")
            << QStringList{"animate", "IN", "--to", "OUT/a.gif", "--reverse", "--pingpong"} << 2 << "exclude" << none;
        QTest::newRow("a speed over 10 is a usage error")
            << QStringList{"animate", "IN", "--to", "OUT/a.gif", "--speed", "10.5"} << 2 << "0.1 to 10" << none;
        QTest::newRow("a frame the picture lacks writes nothing")
            << QStringList{"animate", "IN", "--to", "OUT/a.gif", "--frames", "2-9"} << 1 << "no frame 7" << none;
        QTest::newRow("a missing output folder fails with its cause")
            << QStringList{"animate", "IN", "--to", "OUT/gone/a.gif"} << 1 << "not written: folder missing" << none;
        QTest::newRow("a sheet in a missing folder fails with its cause")
            << QStringList{"sheet", "IN", "--to", "OUT/gone/s.png"} << 1 << "not written: folder missing" << none;
        QTest::newRow("sheet with its atlas")
            << QStringList{"sheet", "IN", "--to", "OUT/s.png", "--json", "array", "--unique", "--trim"} << 0 << ""
            << QStringList{"s.json", "s.png"};
        QTest::newRow("sheet split by --max-size")
            << QStringList{"sheet", "IN", "--to", "OUT/s.png", "--max-size", "20", "--strip"} << 0 << ""
            << QStringList{"s-1.json", "s-1.png", "s-2.json", "s-2.png"};
        QTest::newRow("a cell larger than --max-size is a usage error, nothing written")
            << QStringList{"sheet", "IN", "--to", "OUT/s.png", "--max-size", "9", "--padding", "1"} << 2
            << "does not fit --max-size 9" << none;
        QTest::newRow("--columns with --strip is a usage error")
            << QStringList{"sheet", "IN", "--to", "OUT/s.png", "--columns", "2", "--strip"} << 2 << "exclude" << none;
        QTest::newRow("an unknown atlas form is a usage error")
            << QStringList{"sheet", "IN", "--to", "OUT/s.png", "--json", "xml"} << 2 << "hash or array" << none;
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrHas);
        QFETCH(QStringList, written);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(out));
        const QString source = dir.filePath(QStringLiteral("in.gif"));
        // Six frames of 8 x 8, 30 ms each (four 8-pixel cells fit a 20-pixel sheet).
        QVERIFY(fgtest::writeColourCycle(source, 6, 8, 8, 3));
        for (QString &a : args) {
            if (a == QLatin1String("IN"))
                a = source;
            a.replace(QLatin1String("OUT/"), out + QLatin1Char('/'));
        }
        const fgtest::CliRun run = fgtest::runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(stderrHas), qPrintable(run.err));
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name), written);
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
