#pragma once
// The export command's run over many inputs: files decomposed several at a
// time, each through the shared export run (core/exportrun.h), the plan of
// which files and where from core/batch.h. Adds what only a long run at the
// command line needs: skipping inputs already done, a report line per input,
// timing files, the progress line, and stopping cleanly on SIGINT / SIGTERM.
//
// Threads: runBatch runs `jobs` worker threads, each taking the next input of
// the plan; everything a worker shares with the others (the report, the
// progress line, folder creation) goes through one mutex. Output never
// depends on the number of workers: the plan, not the timing, decides which
// of two clashing inputs is exported.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/batch.h"
#include "core/sampling.h"

namespace cli {

struct FrameRange {
    std::uint64_t first; // from 1
    std::uint64_t last;
};

// "2,5-7" -> {2..2, 5..7}; frame numbers count from 1. False on bad syntax.
bool parseFrames(const QString &text, std::vector<FrameRange> *out);

struct BatchOptions {
    QStringList inputs;
    QString folder;                 // --to
    int formatIndex = 0;            // into exportFormats()
    std::vector<FrameRange> ranges; // empty: every frame
    int jobs = 0;                   // files at once; 0: one per core
    bool recursive = false;
    bool skipExisting = false;
    bool timing = false;
    bool pad = false;
    bool quiet = false;
    bool unique = false;            // a picture equal to an earlier one is not written again
    std::optional<SampleRate> fps;  // one file per sample by time instead of per frame
    QString reportPath; // empty: no report; "-": standard output
    // The canvases of the files running at once stay within this (core/batch.h).
    std::int64_t memoryBytes = DefaultMemoryBudget;
};

// Runs the export; returns 0, 1 (some input failed) or ExitInterrupted.
int runBatch(const BatchOptions &options);

} // namespace cli
