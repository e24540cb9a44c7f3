#pragma once
// The command-line front end's commands and the small helpers they share.
// Each command takes its arguments (after the command name) and returns the
// process exit status: 0 everything written, 1 some file failed, 2 usage error.

#include <QString>
#include <QStringList>

#include <atomic>
#include <csignal>
#include <cstdint>

#include "imaging/engine/failure.h"
#include "imaging/engine/records.h"

namespace cli {

enum Exit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

int infoCommand(const QStringList &args);
int exportCommand(const QStringList &args);
int thumbsCommand(const QStringList &args);
int sampleCommand(const QStringList &args);
int animateCommand(const QStringList &args);
int sheetCommand(const QStringList &args);

// Prints the usage text on stdout (for --help) or stderr (after a usage error).
void printUsage(bool toStderr);
// Prints "falorengif-cli: MESSAGE" and the usage on stderr; returns ExitUsage.
int usageError(const QString &message);

// One line on stderr.
void printError(const QString &message);
// A short English reason for an engine status.
QString statusText(engine::Status status);
// A short English reason for a failure cause.
QString causeText(engine::Cause cause);

// Makes the output folder (and its parents); on failure says why on stderr and
// returns the cause.
engine::Cause makeOutputFolder(const QString &folder);

// Exit status of an interrupted run (128 + SIGINT, as shells report it).
constexpr int ExitInterrupted = 130;

// SIGINT and SIGTERM set `flag` while this lives (the previous handlers come
// back afterwards): a run that checks the flag stops after the files being
// written, and the writer removes its own temporaries. One at a time.
class StopSignals {
public:
    explicit StopSignals(std::atomic_bool *flag);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

// A progress line on stderr, redrawn in place; silent unless stderr is a
// terminal, and silent when `quiet`.
class Progress {
public:
    Progress(const char *what, std::uint64_t total, bool quiet = false);
    ~Progress();
    void update(std::uint64_t done);

private:
    const char *m_what;
    std::uint64_t m_total;
    bool m_enabled;
    bool m_drawn = false;
};

} // namespace cli
