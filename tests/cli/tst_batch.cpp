// The export command over many inputs, run as a process: folder trees, the
// output folder inside an input, name clashes, files at once, stopping on
// SIGINT and resuming, report lines, timing files, padded names, the progress
// line, the shard recipe of the README, and the failures that must never pass
// as success (the report file, an unusable output folder, the timing file's
// own failures).

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "common/clirun.h"
#include "common/gifwriter.h"
#include "common/terminal.h"
#include "common/tmpfs.h"

namespace {

using Run = fgtest::CliRun;
using fgtest::runCli;

// A w x h GIF of `frames` frames; `seed` varies the pixels so that different
// files export to different pictures, `noise` makes them slow to encode.
bool writeGif(const QString &path, int frames, int seed = 0, int w = 6, int h = 4, bool noise = false)
{
    fgtest::GifSpec spec;
    spec.width = w;
    spec.height = h;
    spec.loopCount = 0;
    for (int i = 0; i < 16; ++i)
        spec.globalPalette.push_back({std::uint8_t(16 * i), std::uint8_t(255 - 16 * i), std::uint8_t(seed * 40)});
    std::uint32_t state = 2463534242u + std::uint32_t(seed);
    for (int i = 0; i < frames; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(w * h, std::uint8_t((i + seed) % 16));
        if (noise)
            for (std::uint8_t &px : f.indexes) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                px = std::uint8_t(state & 15);
            }
        f.delay = 5 * (i % 4);
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

// Every file under `folder`, hidden ones too, as relative paths, sorted.
QStringList tree(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Relative path -> content hash of every file under `folder`.
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> out;
    for (const QString &rel : tree(folder))
        out.insert(rel, digest(QDir(folder).filePath(rel)));
    return out;
}

QList<QJsonObject> readReport(const QString &path)
{
    QList<QJsonObject> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return {}; // every line must stand alone as one object
        out << doc.object();
    }
    return out;
}

QJsonObject lineFor(const QList<QJsonObject> &lines, const QString &file)
{
    for (const QJsonObject &o : lines)
        if (o.value(QStringLiteral("file")).toString() == file)
            return o;
    return {};
}

// Fills the file system of `folder` to the last byte.
bool fillUp(const QString &folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    return true;
}

// Runs the front end with a terminal as its standard streams; returns what
// it printed there and its exit status.
int runOnTerminal(const QStringList &args, QByteArray *output)
{
    QList<QByteArray> bytes;
    bytes << QByteArray(FG_CLI_PATH);
    for (const QString &a : args)
        bytes << QFile::encodeName(a);
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            output->append(buf, int(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EIO once the child has closed the terminal
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void treeLayout_data();
    void treeLayout();
    void outputInsideInput();
    void linkToVisitedFolder();
    void nameClash_data();
    void nameClash();
    void jobsDoNotChangeOutput();
    void interruptAndResume();
    void skipExisting_data();
    void skipExisting();
    void reportLines();
    void reportFile_data();
    void reportFile();
    void inputIsOutputFolder_data();
    void inputIsOutputFolder();
    void unusableOutputFolder_data();
    void unusableOutputFolder();
    void subfolderThatCannotBeMade();
    void timingFileFailures_data();
    void timingFileFailures();
    void damagedFrames_data();
    void damagedFrames();
    void timingMatchesInfo_data();
    void timingMatchesInfo();
    void timingRecords();
    void padNames_data();
    void padNames();
    void progressOnlyOnTerminal_data();
    void progressOnlyOnTerminal();
    void shardRecipe();
};

void TestBatch::treeLayout_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("top folder only without --recursive")
        << false << QStringList{"a_1.GIF", "a_2.GIF", "z_1.GIF"};
    QTest::newRow("subfolders mirrored with --recursive")
        << true
        << QStringList{"a_1.GIF", "a_2.GIF", "sub/b_1.GIF", "sub/deeper/c_1.GIF", "sub/deeper/c_2.GIF",
                       "sub/deeper/c_3.GIF", "z_1.GIF"};
}

void TestBatch::treeLayout()
{
    // Hidden folders, files the catalogue does not list and empty folders
    // write nothing; a file given directly goes to the top of DIR.
    QFETCH(bool, recursive);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in + QStringLiteral("/sub/deeper")));
    QVERIFY(QDir().mkpath(in + QStringLiteral("/.hidden")));
    QVERIFY(QDir().mkpath(in + QStringLiteral("/empty")));
    QVERIFY(writeGif(in + QStringLiteral("/a.gif"), 2));
    QVERIFY(writeGif(in + QStringLiteral("/sub/b.gif"), 1));
    QVERIFY(writeGif(in + QStringLiteral("/sub/deeper/c.gif"), 3));
    QVERIFY(writeGif(in + QStringLiteral("/.hidden/h.gif"), 1));
    QVERIFY(writeGif(in + QStringLiteral("/sub/not-listed.png"), 1));
    QVERIFY(writeGif(dir.filePath(QStringLiteral("z.gif")), 1));
    const QString out = dir.filePath(QStringLiteral("out"));
    QStringList args{QStringLiteral("export"), in, dir.filePath(QStringLiteral("z.gif")),
                     QStringLiteral("--to"), out};
    if (recursive)
        args << QStringLiteral("--recursive");
    const Run r = runCli(args);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(tree(out), expected);
}

void TestBatch::outputInsideInput()
{
    // Run twice: the second run finds the first one's frames (GIFs) inside
    // its input and must not decompose them.
    QTemporaryDir dir;
    QVERIFY(writeGif(dir.filePath(QStringLiteral("a.gif")), 2));
    const QString out = dir.filePath(QStringLiteral("frames"));
    for (int i = 0; i < 2; ++i) {
        const Run r = runCli({QStringLiteral("export"), dir.path(), QStringLiteral("--recursive"),
                              QStringLiteral("--to"), out});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(tree(out), (QStringList{"a_1.GIF", "a_2.GIF"}));
    }
    // Also when DIR is reached through a link inside the input.
    QVERIFY(QFile::link(out, dir.filePath(QStringLiteral("link-to-frames"))));
    const Run r = runCli({QStringLiteral("export"), dir.path(), QStringLiteral("--recursive"),
                          QStringLiteral("--to"), out});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(tree(out), (QStringList{"a_1.GIF", "a_2.GIF"}));
}

void TestBatch::linkToVisitedFolder()
{
    // A link back up the tree would loop for ever if followed.
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in + QStringLiteral("/sub")));
    QVERIFY(writeGif(in + QStringLiteral("/sub/a.gif"), 1));
    QVERIFY(QFile::link(in, in + QStringLiteral("/sub/up")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--recursive"), QStringLiteral("--to"), out});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(tree(out), QStringList{"sub/a_1.GIF"});
}

void TestBatch::nameClash_data()
{
    // Inputs relative to the test folder; the first one listed (in argument
    // order, then name order) is the one exported.
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("exported");
    QTest::addColumn<QString>("refused");
    QTest::newRow("two folders with the same file name")
        << QStringList{"one", "two"} << "one/x.gif" << "two/x.gif";
    QTest::newRow("later folder against a file given first")
        << QStringList{"two/x.gif", "one"} << "two/x.gif" << "one/x.gif";
    QTest::newRow("names differing only in the extension")
        << QStringList{"three"} << "three/x.GIF" << "three/x.gif";
}

void TestBatch::nameClash()
{
    // The file exported first is large and the refused one small, so with
    // two files at once the refused one would finish first if timing decided.
    QFETCH(QStringList, inputs);
    QFETCH(QString, exported);
    QFETCH(QString, refused);
    QTemporaryDir dir;
    for (const char *sub : {"one", "two", "three"})
        QVERIFY(QDir().mkpath(dir.filePath(QLatin1String(sub))));
    QVERIFY(writeGif(dir.filePath(exported), 40, 1, 200, 200, true));
    QVERIFY(writeGif(dir.filePath(refused), 2, 2));
    QStringList args{QStringLiteral("export")};
    for (const QString &i : inputs)
        args << dir.filePath(i);
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    args << QStringLiteral("--to") << out << QStringLiteral("--jobs") << QStringLiteral("2")
         << QStringLiteral("--format") << QStringLiteral("png") << QStringLiteral("--report") << report;
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(dir.filePath(refused)) && r.err.contains(QLatin1String("same names")),
             qPrintable(r.err));
    QCOMPARE(tree(out).size(), 40);
    // The frames are the exported file's: frame 2 of the refused one differs.
    const QString reference = dir.filePath(QStringLiteral("ref"));
    QCOMPARE(runCli({QStringLiteral("export"), dir.filePath(exported), QStringLiteral("--to"), reference,
                     QStringLiteral("--format"), QStringLiteral("png")})
                 .exitCode,
             0);
    QCOMPARE(contents(out), contents(reference));
    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 2);
    const QJsonObject refusedLine = lineFor(lines, dir.filePath(refused));
    QCOMPARE(refusedLine.value(QStringLiteral("error")).toString(), QStringLiteral("NameClash"));
    QCOMPARE(refusedLine.value(QStringLiteral("clashesWith")).toString(), dir.filePath(exported));
    QCOMPARE(refusedLine.value(QStringLiteral("written")).toInt(), 0);
}

void TestBatch::jobsDoNotChangeOutput()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    for (int i = 0; i < 12; ++i) {
        const QString sub = in + QStringLiteral("/d%1").arg(i % 3);
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(writeGif(sub + QStringLiteral("/g%1.gif").arg(i), 1 + i % 5, i, 24, 16, true));
    }
    int expected = 0;
    for (int i = 0; i < 12; ++i)
        expected += 1 + i % 5 + 1; // frames and the timing file
    QMap<QString, QByteArray> first;
    for (const char *jobs : {"1", "2"}) {
        const QString out = dir.filePath(QStringLiteral("out") + QLatin1String(jobs));
        const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--recursive"), QStringLiteral("--to"),
                              out, QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--timing"),
                              QStringLiteral("--pad"), QStringLiteral("--jobs"), QLatin1String(jobs)});
        QCOMPARE(r.exitCode, 0);
        const QMap<QString, QByteArray> files = contents(out);
        QCOMPARE(files.size(), expected);
        if (first.isEmpty())
            first = files;
        else
            QCOMPARE(files, first);
    }
}

void TestBatch::interruptAndResume()
{
    // Enough work that the run is still going when the signal comes.
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in));
    constexpr int Files = 40;
    constexpr int Frames = 20;
    for (int i = 0; i < Files; ++i)
        QVERIFY(writeGif(in + QStringLiteral("/g%1.gif").arg(i, 2, 10, QLatin1Char('0')), Frames, i, 240, 240, true));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const QStringList args{QStringLiteral("export"), in, QStringLiteral("--to"), out, QStringLiteral("--format"),
                           QStringLiteral("png"), QStringLiteral("--jobs"), QStringLiteral("2"),
                           QStringLiteral("--timing"), QStringLiteral("--skip-existing"),
                           QStringLiteral("--report"), report};

    QProcess p;
    p.start(QStringLiteral(FG_CLI_PATH), args);
    QVERIFY(p.waitForStarted());
    // Once a first input is complete (its timing file comes last).
    QTRY_VERIFY_WITH_TIMEOUT(!tree(out).filter(QStringLiteral("_timing.json")).isEmpty(), 60000);
    QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("interrupted")) && err.contains(QLatin1String("--skip-existing")),
             qPrintable(err));

    // Only finished files, no temporary of any kind, and not everything.
    const QStringList partial = tree(out);
    QVERIFY(partial.size() < Files * (Frames + 1));
    static const QRegularExpression finished(QStringLiteral("^g\\d\\d_(\\d+\\.png|timing\\.json)$"));
    for (const QString &name : partial) {
        QVERIFY2(finished.match(name).hasMatch(), qPrintable(name));
        if (name.endsWith(QLatin1String(".png")))
            QVERIFY2(!QImage(QDir(out).filePath(name)).isNull(), qPrintable(name));
    }
    // Each line of the stopped run is a finished input (or the one stopped).
    const QList<QJsonObject> stopped = readReport(report);
    QVERIFY(!stopped.isEmpty());
    QVERIFY(stopped.size() < Files);

    // The second run finishes the job and matches an uninterrupted run.
    const Run second = runCli(args);
    QCOMPARE(second.exitCode, 0);
    // Lines are appended: the second run's follow the first run's.
    const QList<QJsonObject> lines = readReport(report).mid(stopped.size());
    QCOMPARE(lines.size(), Files);
    int skipped = 0;
    for (const QJsonObject &o : lines)
        skipped += o.value(QStringLiteral("skipped")).toBool() ? 1 : 0;
    QVERIFY(skipped > 0 && skipped < Files);
    const QString reference = dir.filePath(QStringLiteral("ref"));
    QCOMPARE(runCli({QStringLiteral("export"), in, QStringLiteral("--to"), reference, QStringLiteral("--format"),
                     QStringLiteral("png"), QStringLiteral("--timing")})
                 .exitCode,
             0);
    // Timing files name their source, which is the same path in both runs.
    QCOMPARE(contents(out), contents(reference));
}

void TestBatch::skipExisting_data()
{
    // What happens to the output between the first and the second run.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("skipped");
    QTest::addColumn<int>("written"); // by the second run
    QTest::newRow("nothing: skipped") << "" << true << 0;
    QTest::newRow("a frame file removed: exported again") << "remove frame" << false << 12;
    QTest::newRow("the timing file removed: exported again") << "remove timing" << false << 12;
    QTest::newRow("the input newer than its frames: exported again") << "touch input" << false << 12;
    QTest::newRow("padded names asked for: exported again") << "pad" << false << 12;
    QTest::newRow("a link planted at a frame's name: exported again, the link refused")
        << "link frame" << false << 11;
}

void TestBatch::skipExisting()
{
    QFETCH(QString, change);
    QFETCH(bool, skipped);
    QFETCH(int, written);
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(writeGif(gif, 12));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    QStringList args{QStringLiteral("export"), gif, QStringLiteral("--to"), out, QStringLiteral("--timing"),
                     QStringLiteral("--skip-existing"), QStringLiteral("--report"), report};
    QCOMPARE(runCli(args).exitCode, 0);
    if (change == QLatin1String("remove frame"))
        QVERIFY(QFile::remove(out + QStringLiteral("/a_7.GIF")));
    else if (change == QLatin1String("remove timing"))
        QVERIFY(QFile::remove(out + QStringLiteral("/a_timing.json")));
    else if (change == QLatin1String("touch input")) {
        QFile input(gif);
        QVERIFY(input.open(QIODevice::ReadWrite));
        QVERIFY(input.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    }
    else if (change == QLatin1String("pad"))
        args << QStringLiteral("--pad");
    else if (change == QLatin1String("link frame")) {
        // Newer than the input, as a finished frame would be.
        QVERIFY(QFile::remove(out + QStringLiteral("/a_7.GIF")));
        QVERIFY(QFile::link(out + QStringLiteral("/a_1.GIF"), out + QStringLiteral("/a_7.GIF")));
    }
    QCOMPARE(runCli(args).exitCode, written == 12 || skipped ? 0 : 1);
    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].value(QStringLiteral("written")).toInt(), 12);
    QCOMPARE(lines[1].value(QStringLiteral("skipped")).toBool(), skipped);
    QCOMPARE(lines[1].value(QStringLiteral("written")).toInt(), written);
    if (change == QLatin1String("link frame")) {
        const QJsonArray failed = lines[1].value(QStringLiteral("failed")).toArray();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].toObject().value(QStringLiteral("reason")).toString(), QStringLiteral("SymlinkInTheWay"));
    }
}

void TestBatch::reportLines()
{
    // A written file, an unreadable one, and one frame whose target is a folder.
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in));
    QVERIFY(writeGif(in + QStringLiteral("/good.gif"), 3));
    QVERIFY(writeGif(in + QStringLiteral("/blocked.gif"), 4));
    {
        QFile bad(in + QStringLiteral("/bad.gif"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out + QStringLiteral("/blocked_2.png")));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--to"), out, QStringLiteral("--format"),
                          QStringLiteral("png"), QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 1);
    // Standard error keeps the human-readable failures.
    QVERIFY(r.err.contains(in + QStringLiteral("/bad.gif")));
    QVERIFY(r.err.contains(out + QStringLiteral("/blocked_2.png")));

    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 3);
    for (const QJsonObject &o : lines) {
        for (const char *key : {"file", "frames", "written", "failed", "damaged", "skipped", "ms"})
            QVERIFY2(o.contains(QLatin1String(key)), key);
        QVERIFY(o.value(QStringLiteral("ms")).toDouble() >= 0);
        QCOMPARE(o.value(QStringLiteral("skipped")).toBool(), false);
    }
    const QJsonObject good = lineFor(lines, in + QStringLiteral("/good.gif"));
    QCOMPARE(good.value(QStringLiteral("frames")).toInt(), 3);
    QCOMPARE(good.value(QStringLiteral("written")).toInt(), 3);
    QCOMPARE(good.value(QStringLiteral("failed")).toArray().size(), 0);
    QVERIFY(good.value(QStringLiteral("error")).isNull());

    const QJsonObject bad = lineFor(lines, in + QStringLiteral("/bad.gif"));
    QCOMPARE(bad.value(QStringLiteral("written")).toInt(), 0);
    QCOMPARE(bad.value(QStringLiteral("error")).toString(), QStringLiteral("NotAPicture"));

    const QJsonObject blocked = lineFor(lines, in + QStringLiteral("/blocked.gif"));
    QCOMPARE(blocked.value(QStringLiteral("frames")).toInt(), 4);
    QCOMPARE(blocked.value(QStringLiteral("written")).toInt(), 3);
    const QJsonArray failed = blocked.value(QStringLiteral("failed")).toArray();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0].toObject().value(QStringLiteral("frame")).toInt(), 2);
    QCOMPARE(failed[0].toObject().value(QStringLiteral("reason")).toString(), QStringLiteral("FolderInTheWay"));
}

void TestBatch::reportFile_data()
{
    // What stands at the report's name before the run.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error"); // the one line on stderr, or empty
    QTest::newRow("a link to a regular file is refused")
        << "link to a file" << 1 << "report.jsonl: cannot write the report: a symbolic link is in the way";
    QTest::newRow("a link to nowhere is refused")
        << "link to nowhere" << 1 << "report.jsonl: cannot write the report: a symbolic link is in the way";
    QTest::newRow("a link to what is no regular file is written through") << "link to /dev/null" << 0 << "";
    QTest::newRow("- writes standard output") << "-" << 0 << "";
    QTest::newRow("/dev/stdout, a link to a pipe here, is written through") << "/dev/stdout" << 0 << "";
    QTest::newRow("a report cut mid-line gets a newline before the next line") << "cut" << 0 << "";
    QTest::newRow("a report that cannot be written stops the run")
        << "full" << 1 << "report.jsonl: cannot write the report: no space left on the device; export stopped";
}

void TestBatch::reportFile()
{
    QFETCH(QString, setup);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in));
    for (int i = 0; i < 3; ++i)
        QVERIFY(writeGif(in + QStringLiteral("/g%1.gif").arg(i), 2, i));
    QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QByteArray cut = "{\"file\":\"cu";
    std::unique_ptr<fgtest::TmpfsScope> small;
    if (setup == QLatin1String("link to a file")) {
        QVERIFY(fgtest::writeBytes(victim, "keep me\n"));
        QVERIFY(QFile::link(victim, report));
    } else if (setup == QLatin1String("link to nowhere")) {
        QVERIFY(QFile::link(victim, report));
    } else if (setup == QLatin1String("link to /dev/null")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), report));
    } else if (setup == QLatin1String("-") || setup == QLatin1String("/dev/stdout")) {
        report = setup;
    } else if (setup == QLatin1String("cut")) {
        QVERIFY(fgtest::writeBytes(report, cut));
    } else if (setup == QLatin1String("full")) {
        small = std::make_unique<fgtest::TmpfsScope>(dir.filePath(QStringLiteral("small")), QStringLiteral("64k"));
        if (!small->mounted())
            QSKIP("cannot mount a small file system here (needs root)");
        QVERIFY(fillUp(dir.filePath(QStringLiteral("small"))));
        report = dir.filePath(QStringLiteral("small/report.jsonl"));
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--to"), out, QStringLiteral("--jobs"),
                          QStringLiteral("1"), QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, exitCode);
    if (error.isEmpty()) {
        QCOMPARE(r.err, QString());
    } else {
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
    }
    if (setup.startsWith(QLatin1String("link to n")) || setup == QLatin1String("link to a file")) {
        QVERIFY(QFileInfo(report).isSymLink());
        QCOMPARE(QFileInfo::exists(victim), setup == QLatin1String("link to a file"));
        if (QFileInfo::exists(victim)) {
            QFile kept(victim);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), QByteArray("keep me\n"));
        }
        QCOMPARE(tree(out), QStringList()); // refused before anything was written
    }
    if (setup == QLatin1String("-") || setup == QLatin1String("/dev/stdout")) {
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (const QString &line : lines)
            QVERIFY(QJsonDocument::fromJson(line.toUtf8()).isObject());
    }
    if (setup == QLatin1String("cut")) {
        QFile f(report);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        QVERIFY2(all.startsWith(cut + "\n{"), all.constData());
        QVERIFY(QFile::resize(report, 0) && fgtest::writeBytes(report, all.mid(cut.size() + 1)));
        QCOMPARE(readReport(report).size(), 3);
    }
}

void TestBatch::inputIsOutputFolder_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::newRow("export IN --to IN") << false;
    QTest::newRow("export IN --recursive --to IN") << true;
}

void TestBatch::inputIsOutputFolder()
{
    QFETCH(bool, recursive);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("sub"))));
    QVERIFY(writeGif(dir.filePath(QStringLiteral("a.gif")), 2));
    QVERIFY(writeGif(dir.filePath(QStringLiteral("sub/b.gif")), 2));
    QStringList args{QStringLiteral("export"), dir.path(), QStringLiteral("--to"), dir.path()};
    if (recursive)
        args << QStringLiteral("--recursive");
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QLatin1String("INPUT is the output folder; nothing to export")), qPrintable(r.err));
    QCOMPARE(tree(dir.path()), (QStringList{"a.gif", "sub/b.gif"}));
}

void TestBatch::unusableOutputFolder_data()
{
    // DIR relative to a read-only file system's mount point.
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("error");
    QTest::newRow("a folder that cannot be made: one line, stopped")
        << "sub" << "cannot create the folder: read-only file system";
    QTest::newRow("a folder that cannot be written: one line, stopped")
        << "" << "cannot write into the folder: read-only file system";
}

void TestBatch::unusableOutputFolder()
{
    QFETCH(QString, to);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString point = dir.filePath(QStringLiteral("ro"));
    const fgtest::TmpfsScope readOnly(point, QStringLiteral("64k"), true);
    if (!readOnly.mounted())
        QSKIP("cannot mount a read-only file system here (needs root)");
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in));
    for (int i = 0; i < 5; ++i)
        QVERIFY(writeGif(in + QStringLiteral("/g%1.gif").arg(i), 2, i));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--to"), point + QLatin1Char('/') + to,
                          QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QCOMPARE(readReport(report).size(), 0); // no input was tried
}

void TestBatch::subfolderThatCannotBeMade()
{
    // A file where a subfolder of DIR should go: only the inputs of that
    // subfolder fail.
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(in + QStringLiteral("/sub")));
    QVERIFY(writeGif(in + QStringLiteral("/a.gif"), 2));
    QVERIFY(writeGif(in + QStringLiteral("/sub/b.gif"), 2));
    QVERIFY(writeGif(in + QStringLiteral("/sub/c.gif"), 2));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(fgtest::writeBytes(out + QStringLiteral("/sub"), "in the way"));
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const Run r = runCli({QStringLiteral("export"), in, QStringLiteral("--recursive"), QStringLiteral("--to"), out,
                          QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(tree(out), (QStringList{"a_1.GIF", "a_2.GIF", "sub"}));
    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lineFor(lines, in + QStringLiteral("/a.gif")).value(QStringLiteral("error")).isNull());
    for (const char *name : {"/sub/b.gif", "/sub/c.gif"})
        QCOMPARE(lineFor(lines, in + QLatin1String(name)).value(QStringLiteral("error")).toString(),
                 QStringLiteral("NotAFolder"));
}

void TestBatch::timingFileFailures_data()
{
    QTest::addColumn<QString>("trap");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("error");
    QTest::newRow("a link at the timing file's name")
        << "link" << "SymlinkInTheWay" << "s_timing.json: cannot save the timing file: a symbolic link is in the way";
    QTest::newRow("no space left for the timing file")
        << "full" << "DiskFull" << "s_timing.json: cannot save the timing file: no space left on the device";
}

void TestBatch::timingFileFailures()
{
    QFETCH(QString, trap);
    QFETCH(QString, reason);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("s.gif"));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    std::unique_ptr<fgtest::TmpfsScope> small;
    if (trap == QLatin1String("link")) {
        QVERIFY(writeGif(gif, 3));
        QVERIFY(QDir().mkpath(out));
        QVERIFY(QFile::link(victim, out + QStringLiteral("/s_timing.json")));
    } else {
        small = std::make_unique<fgtest::TmpfsScope>(out, QStringLiteral("64k"));
        if (!small->mounted())
            QSKIP("cannot mount a small file system here (needs root)");
        // One small frame fits; a timing file listing 2,000 frames does not.
        QVERIFY(fgtest::writeColourCycle(gif, 2000, 1, 1));
    }
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const Run r = runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out, QStringLiteral("--frames"),
                          QStringLiteral("1"), QStringLiteral("--timing"), QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].value(QStringLiteral("written")).toInt(), 1);
    QCOMPARE(lines[0].value(QStringLiteral("error")).toString(), reason);
    QVERIFY(!QFileInfo::exists(victim));
}

void TestBatch::damagedFrames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("written");
    QTest::addColumn<QList<int>>("failed");  // FrameUnreadable
    QTest::addColumn<QList<int>>("damaged");
    QTest::addColumn<QString>("error");
    QTest::newRow("GIF cut short in its last frame: written as far as it decodes, named damaged")
        << "cut.gif" << 3 << QList<int>{} << QList<int>{3}
        << "cut.gif: frame 3 is damaged (corrupt or cut short); written as far as it decodes";
    QTest::newRow("WebP with a corrupt frame: that frame fails, the later ones are written")
        << "corrupt.webp" << 2 << QList<int>{2} << QList<int>{}
        << "corrupt.webp: frame 2 cannot be decoded (corrupt frame data)";
}

void TestBatch::damagedFrames()
{
    QFETCH(QString, file);
    QFETCH(int, written);
    QFETCH(QList<int>, failed);
    QFETCH(QList<int>, damaged);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    if (file.endsWith(QLatin1String(".gif"))) {
        // Three noisy frames; the file ends inside the last one's image data.
        fgtest::GifSpec spec;
        spec.width = 40;
        spec.height = 40;
        for (int i = 0; i < 16; ++i)
            spec.globalPalette.push_back({std::uint8_t(16 * i), std::uint8_t(255 - 16 * i), 0});
        std::uint32_t state = 2463534242u;
        for (int i = 0; i < 3; ++i) {
            fgtest::GifFrame f;
            f.indexes.resize(1600);
            for (std::uint8_t &px : f.indexes) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                px = std::uint8_t(state & 15);
            }
            spec.frames.push_back(f);
        }
        const QByteArray whole = fgtest::gifBytes(spec);
        QVERIFY(fgtest::writeBytes(path, whole.left(whole.size() - 300)));
    } else {
        // The second frame's lossless data, after its header, is noise.
        QFile source(QStringLiteral(FG_TEST_DATA "/webp-lossless-blend-dispose.webp"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        const qsizetype second = bytes.indexOf("ANMF", bytes.indexOf("ANMF") + 4);
        const qsizetype data = bytes.indexOf("VP8L", second);
        QVERIFY(second > 0 && data > second);
        const qsizetype size = qsizetype(quint8(bytes[data + 4])) | qsizetype(quint8(bytes[data + 5])) << 8;
        for (qsizetype i = data + 8 + 5; i < data + 8 + size; ++i)
            bytes[i] = char(0xFF);
        QVERIFY(fgtest::writeBytes(path, bytes));
    }
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    const Run r = runCli({QStringLiteral("export"), path, QStringLiteral("--to"), dir.filePath(QStringLiteral("out")),
                          QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    const QList<QJsonObject> lines = readReport(report);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].value(QStringLiteral("written")).toInt(), written);
    QList<int> failedFrames;
    for (const QJsonValue &f : lines[0].value(QStringLiteral("failed")).toArray()) {
        failedFrames << f.toObject().value(QStringLiteral("frame")).toInt();
        QCOMPARE(f.toObject().value(QStringLiteral("reason")).toString(), QStringLiteral("FrameUnreadable"));
    }
    QCOMPARE(failedFrames, failed);
    QList<int> damagedFrames;
    for (const QJsonValue &d : lines[0].value(QStringLiteral("damaged")).toArray())
        damagedFrames << d.toInt();
    QCOMPARE(damagedFrames, damaged);
}

void TestBatch::timingMatchesInfo_data()
{
    // Files whose structure is unusual: the timing file must still list every
    // frame the export counts, with the delays `info --json` gives.
    QTest::addColumn<QString>("file");
    const QDir data(QStringLiteral(FG_TEST_DATA));
    for (const QString &name : data.entryList({QStringLiteral("*.gif")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << data.filePath(name);
}

void TestBatch::timingMatchesInfo()
{
    QFETCH(QString, file);
    QTemporaryDir dir;
    const Run info = runCli({QStringLiteral("info"), file, QStringLiteral("--json")});
    QCOMPARE(info.exitCode, 0);
    const QJsonObject facts = QJsonDocument::fromJson(info.out.toUtf8()).array().at(0).toObject();
    const Run r = runCli({QStringLiteral("export"), file, QStringLiteral("--to"), dir.path(), QStringLiteral("--timing"),
                          QStringLiteral("--format"), QStringLiteral("png")});
    QCOMPARE(r.exitCode, 0);
    const QString base = QFileInfo(file).completeBaseName();
    QFile timingFile(dir.filePath(base + QStringLiteral("_timing.json")));
    QVERIFY(timingFile.open(QIODevice::ReadOnly));
    const QJsonObject timing = QJsonDocument::fromJson(timingFile.readAll()).object();
    QCOMPARE(timing.value(QStringLiteral("file")).toString(), file);
    for (const char *key : {"width", "height", "loopCount", "totalMs"})
        QCOMPARE(timing.value(QLatin1String(key)), facts.value(QLatin1String(key)));
    const QJsonArray frames = timing.value(QStringLiteral("frames")).toArray();
    const QJsonArray delays = facts.value(QStringLiteral("delaysMs")).toArray();
    QCOMPARE(frames.size(), facts.value(QStringLiteral("frameCount")).toInt());
    qint64 played = 0;
    for (int i = 0; i < frames.size(); ++i) {
        const QJsonObject f = frames[i].toObject();
        QCOMPARE(f.value(QStringLiteral("index")).toInt(), i + 1);
        QCOMPARE(f.value(QStringLiteral("delayMs")), delays[i]);
        const QString name = f.value(QStringLiteral("file")).toString();
        QCOMPARE(name, base + QStringLiteral("_%1.png").arg(i + 1));
        // Every exported frame is a whole canvas.
        QCOMPARE(QImage(dir.filePath(name)).size(),
                 QSize(timing.value(QStringLiteral("width")).toInt(), timing.value(QStringLiteral("height")).toInt()));
        played += f.value(QStringLiteral("playedMs")).toInteger();
    }
    QCOMPARE(timing.value(QStringLiteral("totalPlayedMs")).toInteger(), played);
}

void TestBatch::timingRecords()
{
    // Each frame as stored: its rectangle (also beyond the screen), its
    // disposal ("unspecified" and reserved codes read as "none"), and the
    // delay a browser plays (10 ms or less plays as 100 ms).
    fgtest::GifSpec spec;
    spec.width = 8;
    spec.height = 6;
    spec.globalPalette = {{0, 0, 0}, {255, 0, 0}};
    struct Stored {
        int x, y, w, h, disposal, delay;
        const char *disposalName;
        int playedMs;
    };
    const Stored stored[] = {
        {0, 0, 8, 6, 0, 0, "none", 100},       {2, 1, 3, 2, 1, 1, "none", 100},
        {5, 4, 6, 5, 2, 2, "background", 20},   {1, 1, 2, 2, 3, 7, "previous", 70},
        {0, 0, 1, 1, 5, 11, "none", 110},
    };
    for (const Stored &s : stored) {
        fgtest::GifFrame f;
        f.x = s.x;
        f.y = s.y;
        f.w = s.w;
        f.h = s.h;
        f.indexes = fgtest::filled(s.w * s.h, 1);
        f.disposal = s.disposal;
        f.delay = s.delay;
        spec.frames.push_back(f);
    }
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("s.gif"));
    QVERIFY(fgtest::writeGif(gif, spec));
    const QString out = dir.filePath(QStringLiteral("out"));
    QCOMPARE(runCli({QStringLiteral("export"), gif, QStringLiteral("--to"), out, QStringLiteral("--timing"),
                     QStringLiteral("--frames"), QStringLiteral("2-3")})
                 .exitCode,
             0);
    QFile timingFile(out + QStringLiteral("/s_timing.json"));
    QVERIFY(timingFile.open(QIODevice::ReadOnly));
    const QJsonObject timing = QJsonDocument::fromJson(timingFile.readAll()).object();
    QVERIFY(timing.value(QStringLiteral("loopCount")).isNull());
    QCOMPARE(timing.value(QStringLiteral("totalMs")).toInt(), 210);
    QCOMPARE(timing.value(QStringLiteral("totalPlayedMs")).toInt(), 400);
    const QJsonArray frames = timing.value(QStringLiteral("frames")).toArray();
    QCOMPARE(frames.size(), 5);
    for (int i = 0; i < 5; ++i) {
        const QJsonObject f = frames[i].toObject();
        const Stored &s = stored[i];
        QCOMPARE(f.value(QStringLiteral("x")).toInt(), s.x);
        QCOMPARE(f.value(QStringLiteral("y")).toInt(), s.y);
        QCOMPARE(f.value(QStringLiteral("width")).toInt(), s.w);
        QCOMPARE(f.value(QStringLiteral("height")).toInt(), s.h);
        QCOMPARE(f.value(QStringLiteral("disposal")).toString(), QLatin1String(s.disposalName));
        QCOMPARE(f.value(QStringLiteral("blend")).toString(), QStringLiteral("over"));
        QCOMPARE(f.value(QStringLiteral("delayMs")).toInt(), s.delay * 10);
        QCOMPARE(f.value(QStringLiteral("playedMs")).toInt(), s.playedMs);
        // Only the frames exported have a file.
        if (i == 1 || i == 2)
            QCOMPARE(f.value(QStringLiteral("file")).toString(), QStringLiteral("s_%1.GIF").arg(i + 1));
        else
            QVERIFY(f.value(QStringLiteral("file")).isNull());
    }
}

void TestBatch::padNames_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("9 frames: one digit, nothing to pad")
        << 9 << QStringList{"--pad", "--frames", "1,9"} << QStringList{"x_1.GIF", "x_9.GIF"};
    QTest::newRow("12 frames: two digits")
        << 12 << QStringList{"--pad", "--frames", "1,10"} << QStringList{"x_01.GIF", "x_10.GIF"};
    QTest::newRow("width of the frame count, not of the frames chosen")
        << 100 << QStringList{"--pad", "--frames", "3"} << QStringList{"x_003.GIF"};
    QTest::newRow("without --pad, as the window writes them")
        << 12 << QStringList{"--frames", "1,10"} << QStringList{"x_1.GIF", "x_10.GIF"};
}

void TestBatch::padNames()
{
    QFETCH(int, frames);
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("x.gif"));
    QVERIFY(writeGif(gif, frames));
    const QString out = dir.filePath(QStringLiteral("out"));
    const Run r = runCli(QStringList{QStringLiteral("export"), gif, QStringLiteral("--to"), out} + options);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(tree(out), expected);
}

void TestBatch::progressOnlyOnTerminal_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("shown");
    QTest::newRow("terminal: shown") << true << false << true;
    QTest::newRow("terminal with --quiet: silent") << true << true << false;
    QTest::newRow("pipe: silent") << false << false << false;
}

void TestBatch::progressOnlyOnTerminal()
{
    QFETCH(bool, terminal);
    QFETCH(bool, quiet);
    QFETCH(bool, shown);
    if (terminal)
        FG_SKIP_WITHOUT_TERMINAL();
    QTemporaryDir dir;
    QVERIFY(writeGif(dir.filePath(QStringLiteral("a.gif")), 3));
    QVERIFY(writeGif(dir.filePath(QStringLiteral("b.gif")), 2));
    QStringList args{QStringLiteral("export"), dir.path(), QStringLiteral("--to"), dir.filePath(QStringLiteral("out"))};
    if (quiet)
        args << QStringLiteral("--quiet");
    QString err;
    if (terminal) {
        QByteArray output;
        QCOMPARE(runOnTerminal(args, &output), 0);
        err = QString::fromLocal8Bit(output);
    } else {
        const Run r = runCli(args);
        QCOMPARE(r.exitCode, 0);
        err = r.err + r.out;
    }
    QCOMPARE(err.contains(QLatin1String("2/2 files, 5 frames")), shown);
    if (!shown)
        QCOMPARE(err, QString());
}

void TestBatch::shardRecipe()
{
    // The README's recipe with two local shards instead of two machines.
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallel.isEmpty())
        QSKIP("GNU parallel is not installed");
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("gifs"));
    QVERIFY(QDir().mkpath(in));
    for (int i = 0; i < 6; ++i)
        QVERIFY(writeGif(in + QStringLiteral("/g%1.gif").arg(i), 1 + i, i));
    const QString script = QStringLiteral(
        "set -e\n"
        "cd \"$1\"\n"
        "find gifs -name '*.gif' | sort > files.txt\n"
        "split -n l/2 files.txt shard.\n"
        "mkdir -p reports\n"
        "ls shard.* | parallel --sshlogin 2/: \"xargs -d '\\n' -a {} $2 export --to frames"
        " --format png --skip-existing --quiet --report reports/{/}.jsonl\"\n"
        "cat reports/*.jsonl > report.jsonl\n");
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), dir.path(),
                                        QStringLiteral(FG_CLI_PATH)});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(QDir(dir.filePath(QStringLiteral("reports"))).entryList(QDir::Files).size(), 2);
    const QList<QJsonObject> lines = readReport(dir.filePath(QStringLiteral("report.jsonl")));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(tree(dir.filePath(QStringLiteral("frames"))).size(), 1 + 2 + 3 + 4 + 5 + 6);
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
