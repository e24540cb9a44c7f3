// The command line's progress line: drawn on a terminal, never when standard
// error is a pipe or a file, and never with --quiet.
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/gifwriter.h"
#include "common/spawn.h"
#include "common/terminal.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray err;
};

// Runs the command line with standard error on a terminal (a pseudo-terminal
// this test reads) or on a pipe.
Outcome run(const QStringList &args, bool terminal)
{
    Outcome o;
    int readEnd = -1, writeEnd = -1;
    if (terminal) {
        readEnd = posix_openpt(O_RDWR | O_NOCTTY);
        if (readEnd < 0 || grantpt(readEnd) != 0 || unlockpt(readEnd) != 0)
            return o;
        writeEnd = ::open(ptsname(readEnd), O_RDWR | O_NOCTTY);
    } else {
        int fds[2];
        if (pipe(fds) != 0)
            return o;
        readEnd = fds[0];
        writeEnd = fds[1];
    }
    std::vector<QByteArray> bytes{QByteArrayLiteral(FG_CLI_PATH)};
    for (const QString &a : args)
        bytes.push_back(QFile::encodeName(a));
    const pid_t pid = fgtest::spawnBytes(bytes, -1, writeEnd, {readEnd});
    ::close(writeEnd);
    if (pid < 0) {
        ::close(readEnd);
        return o;
    }
    char buffer[4096];
    for (;;) {
        pollfd p{readEnd, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0)
            break;
        const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
        if (n <= 0)
            break; // EOF, or EIO once the terminal's last writer is gone
        o.err.append(buffer, n);
    }
    ::close(readEnd);
    int status = 0;
    waitpid(pid, &status, 0);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

} // namespace

class TestProgress : public QObject {
    Q_OBJECT
private slots:
    void progressLine_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("terminal: drawn") << true << false << true;
        QTest::newRow("terminal with --quiet: silent") << true << true << false;
        QTest::newRow("pipe: silent") << false << false << false;
        QTest::newRow("pipe with --quiet: silent") << false << true << false;
    }

    void progressLine()
    {
        QFETCH(bool, terminal);
        QFETCH(bool, quiet);
        QFETCH(bool, drawn);
        if (terminal)
            FG_SKIP_WITHOUT_TERMINAL();
        QTemporaryDir dir;
        const QString gif = dir.filePath(QStringLiteral("p.gif"));
        QVERIFY(fgtest::writeColourCycle(gif, 5, 4, 4));
        for (const QString &command : {QStringLiteral("export"), QStringLiteral("thumbs")}) {
            QStringList args{command, command == QLatin1String("export") ? gif : dir.path(),
                             QStringLiteral("--to"), dir.filePath(command + QStringLiteral("-out"))};
            if (quiet)
                args << QStringLiteral("--quiet");
            const Outcome o = run(args, terminal);
            QCOMPARE(o.exitCode, 0);
            // Each command's line starts with its name and is redrawn in place.
            QCOMPARE(o.err.contains('\r') && o.err.contains(command.toLatin1()), drawn);
            if (!drawn)
                QVERIFY2(o.err.isEmpty(), o.err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
