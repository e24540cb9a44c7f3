#pragma once
// Exporting many pictures in one run: which files a list of inputs stands for,
// where each one's frames go, which inputs would overwrite each other's frames,
// whether an input's frames are already there, and the timing file written
// beside the frames. The command line's export builds its runs on these; the
// export itself is the shared run (core/exportrun.h).
//
// Inputs: a file stands for itself and writes into the output folder; a folder
// stands for the files the catalogue lists in it (core/listing.h), and with
// `recursive` for those of its subfolders too (hidden ones excepted), written
// into the same subfolders of the output folder. A folder reached twice (a
// link to a folder already walked) and the output folder itself are not
// walked, so a run never decomposes its own output. Order: inputs as given,
// each folder's entries in the catalogue's name order.
//
// Name clashes: two inputs with the same output folder and base name would
// write the same frame names. The later one in the order above is planned as
// failed (clashWith names the earlier one); deciding this before anything
// runs keeps the outcome the same however many files run at once.
//
// Memory: the files running at once hold their canvases within one budget
// (MemoryBudget). A file whose canvases would not fit beside those of the
// files running waits until they do; a file over the budget on its own runs
// alone, so every file runs in the end.
//
// Plain functions, any thread, and MemoryBudget, shared by the threads of a
// run; nothing throws but std::bad_alloc.

#include <QByteArray>
#include <QMutex>
#include <QWaitCondition>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/picturefacts.h"
#include "core/listing.h"
#include "imaging/engine/failure.h"

struct BatchItem {
    QString source;    // the input file, as given or joined onto its folder input
    QString folder;    // where its frames go, ending in "/"
    QString base;      // the frame names' stem: the file name without its last extension
    int clashWith = -1; // index of the earlier item writing the same names, or -1
};

struct BatchProblem {
    QString path; // an input or a subfolder that could not be walked, or a skipped entry
    engine::Cause cause = engine::Cause::None;
    // For entries the catalogue skips (links to nowhere, link loops, special files).
    bool skippedEntry = false;
    CatalogueListing::Skipped::Kind kind = CatalogueListing::Skipped::SpecialFile;
};

struct BatchPlan {
    std::vector<BatchItem> items;
    std::vector<BatchProblem> problems; // in walking order
    // An INPUT folder was the output folder itself, and was not walked.
    bool inputIsOutput = false;
};

// Plans a run over `inputs` into `outputFolder` (which should exist already,
// so that it is recognised inside an input).
BatchPlan planBatch(const QStringList &inputs, const QString &outputFolder, bool recursive);

// The timing file of an item: folder + base + "_timing.json".
QString timingFileName(const BatchItem &item);
// The digits of the largest frame number, the width --pad uses.
int numberWidthFor(std::uint32_t frameCount);

// Whether every file in `paths` is a regular file (a link or a folder is not)
// and was modified after `source`.
bool filesNewerThan(const QStringList &paths, const QString &source);

// One entry of a timing file's "frames": a frame of the picture, or a sample
// taken by time (core/sampling.h) showing one.
struct TimingEntry {
    std::uint32_t frame = 0;           // the frame (from 0)
    QString file;                      // the file holding it; empty: none (null)
    std::optional<std::uint64_t> hash; // its content hash; nothing: not decoded (null)
    int duplicateOf = 0;               // the earlier frame's index or sample's number; 0: null
    std::int64_t timeMs = -1;          // a sample's time; -1 for frames (not written)
};

// The timing file's JSON: the canvas size, loop count and delays of `facts`
// (as `info --json` gives them), and per entry the frame as `info --json`
// writes it (core/factsjson.h) with its file, hash and duplicateOf (and
// timeMs for samples).
QByteArray timingJson(const QString &source, const PictureFacts &facts,
                      const std::vector<TimingEntry> &entries);

// The files a timing file names, joined onto `folder`; nothing when it cannot
// be read as one. A run whose names are known only after decoding (samples,
// duplicates left out) takes its input as finished by these.
std::optional<QStringList> filesOfTiming(const QString &timingPath, const QString &folder);

// The budget for the canvases of the files a run exports at once, unless the
// user gives another: enough for a few files of the largest canvases there are
// (engine::MaxCanvasPixels, 256 MiB each) side by side with ordinary ones.
inline constexpr std::int64_t DefaultMemoryBudget = std::int64_t(1) << 30;

// What one file's export holds at its peak, for a canvas of `width` x `height`
// and `encoderThreads` encoders: the canvas the decoder draws on, the pixels it
// keeps for "previous" disposal, and the frames handed to the encoders (as
// many as the encoders, within the saver's byte budget, at least one).
std::int64_t exportMemoryBytes(int width, int height, int encoderThreads);

// Whether a file needing `wanted` bytes may start beside `running` files that
// hold `inUse` bytes: when it fits, or when nothing runs.
bool fitsMemoryBudget(int running, std::int64_t inUse, std::int64_t wanted, std::int64_t budget);

// The budget of one run, shared by its workers.
class MemoryBudget {
public:
    explicit MemoryBudget(std::int64_t budget) : m_budget(budget) {}

    // Waits until `bytes` fit (fitsMemoryBudget) and takes them; false, taking
    // nothing, once `stop` is set.
    bool take(std::int64_t bytes, const std::atomic_bool &stop);
    // Gives back what a take took.
    void give(std::int64_t bytes);

private:
    const std::int64_t m_budget;
    QMutex m_mutex;
    QWaitCondition m_changed;
    int m_running = 0;
    std::int64_t m_inUse = 0;
};
