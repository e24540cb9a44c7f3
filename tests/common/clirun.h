#pragma once
// Runs the command-line front end (FG_CLI_PATH, defined for the tests that use
// it) as a separate process and collects its exit code and output.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace fgtest {

struct CliRun {
    int exitCode = -1; // -1 when it did not end normally within two minutes
    QString out;
    QString err;
};

inline CliRun runCli(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(FG_CLI_PATH), args);
    CliRun r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace fgtest
