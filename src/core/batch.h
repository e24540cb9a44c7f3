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
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "core/framerecords.h"
#include "core/giffacts.h"
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
};

// Plans a run over `inputs` into `outputFolder` (which should exist already,
// so that it is recognised inside an input).
BatchPlan planBatch(const QStringList &inputs, const QString &outputFolder, bool recursive);

// The timing file of an item: folder + base + "_timing.json".
QString timingFileName(const BatchItem &item);
// The digits of the largest frame number, the width --pad uses.
int numberWidthFor(std::uint32_t frameCount);

// Whether every file in `paths` exists and was modified after `source`.
bool filesNewerThan(const QStringList &paths, const QString &source);

// The timing file's JSON: the canvas size, loop count and delays of `facts`
// (as `info --json` gives them), each frame's stored rectangle, disposal and
// blend from `records` (the whole canvas, "none" and "over" where a frame has
// no record), and the file name each frame was written under (`files`, one
// per frame; an empty name is written as null: a frame not exported).
QByteArray timingJson(const QString &source, const GifFacts &facts, const FrameRecords &records,
                      const QStringList &files);
