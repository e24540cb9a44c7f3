// File names that are not UTF-8 (a GBK "动画.gif", a Latin-1 "café.gif") go
// through info, export and thumbs with their bytes intact, and every JSON the
// command line writes (info --json, the report, the timing file) gives each
// byte that is not UTF-8 as the same "\udcXX" escape. The command line is
// started with the raw bytes as arguments (posix_spawn; QProcess would convert).
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "common/gifwriter.h"
#include "common/rawtree.h"
#include "common/spawn.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(int fd)
{
    QByteArray all;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        all.append(buffer, n);
    }
    return all;
}

Outcome run(const std::vector<QByteArray> &args)
{
    Outcome o;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return o;
    std::vector<QByteArray> bytes{QByteArrayLiteral(FG_CLI_PATH)};
    bytes.insert(bytes.end(), args.begin(), args.end());
    const pid_t pid = fgtest::spawnBytes(bytes, out[1], err[1], {out[0], err[0]});
    ::close(out[1]);
    ::close(err[1]);
    if (pid > 0) {
        // Small outputs: reading one pipe after the other cannot block the child.
        o.err = readAll(err[0]);
        o.out = readAll(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(out[0]);
    ::close(err[0]);
    return o;
}

// Names in `folder`, as bytes.
QList<QByteArray> namesIn(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *d = opendir(folder.constData())) {
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names << QByteArray(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

class TestByteNames : public QObject {
    Q_OBJECT
private slots:
    void commands_data()
    {
        QTest::addColumn<QByteArray>("base");
        QTest::newRow("GBK 动画") << QByteArray("\xB6\xAF\xBB\xAD");
        QTest::newRow("Latin-1 café") << QByteArray("caf\xE9");
    }

    void commands()
    {
        QFETCH(QByteArray, base);
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        const fgtest::RawTreeRemover cleanUp(root);
        const QByteArray src = root + "/src";
        QVERIFY(::mkdir(src.constData(), 0755) == 0);
        QVERIFY(fgtest::writeColourCycle(dir.filePath(QStringLiteral("plain.gif")), 3, 4, 3, 5));
        const QByteArray gif = src + "/" + base + ".gif";
        QCOMPARE(::rename((root + "/plain.gif").constData(), gif.constData()), 0);

        QByteArray escaped;
        for (char c : base)
            escaped += (c & 0x80) ? "\\udc" + QByteArray::number(uchar(c), 16) : QByteArray(1, c);
        const QByteArray jsonName = "/src/" + escaped + ".gif\"";

        const Outcome info = run({"info", gif, "--json"});
        QCOMPARE(info.exitCode, 0);
        QVERIFY(info.out.contains("\"frameCount\": 3"));
        QVERIFY2(info.out.contains(jsonName), info.out.constData());

        const QByteArray out = root + "/out";
        // The report's own name is not UTF-8 either.
        const QByteArray report = root + "/" + base + ".jsonl";
        const Outcome exported = run({"export", gif, "--to", out, "--format", "png", "--timing", "--report", report});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(namesIn(out), (QList<QByteArray>{base + "_1.png", base + "_2.png", base + "_3.png",
                                                  base + "_timing.json"}));
        for (const QByteArray &json : {report, out + "/" + base + "_timing.json"}) {
            QFile f;
            const int fd = ::open(json.constData(), O_RDONLY);
            QVERIFY(fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
            const QByteArray text = f.readAll();
            QVERIFY2(text.contains(jsonName), text.constData());
        }
        QVERIFY(namesIn(root).contains(base + ".jsonl"));

        const QByteArray thumbs = root + "/thumbs";
        const Outcome thumbed = run({"thumbs", src, "--to", thumbs});
        QCOMPARE(thumbed.exitCode, 0);
        QCOMPARE(namesIn(thumbs), QList<QByteArray>{base + ".gif.png"});
    }
};

QTEST_GUILESS_MAIN(TestByteNames)
#include "tst_bytenames.moc"
