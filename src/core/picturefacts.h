#pragma once
// The facts about one animation (GIF, WebP or APNG) that the window's
// information fields and the command line's `info` show: picture size, file
// size and its text, frame count, each frame's delay in milliseconds, the
// running time, the loop count, and how each frame is stored (the engine's
// frame records: rectangle, disposal, blend, colour table).
//
// Delays: the picture's millisecond delays (a GIF's hundredths x 10, a WebP's or
// an APNG's milliseconds unrounded); a frame beyond the end of the list counts
// 0. The running time is summed in 64 bits. A picture without a frame-delay
// list (a PNG named .gif) has no delays at all (hasDelays false, running time 0).
// There is one record per frame; a frame the engine has no record for covers
// the whole canvas with disposal none, blend over and its delay.
//
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QString>

#include <cstdint>
#include <vector>

#include "imaging/engine/failure.h"
#include "imaging/engine/framerecord.h"
#include "imaging/engine/image.h"

struct PictureFacts {
    int width = 0;
    int height = 0;
    std::int64_t fileSize = 0;
    QString fileSizeText; // "4.88 KB"
    std::uint32_t frameCount = 0;
    bool hasDelays = false;
    std::vector<std::int64_t> delaysMs; // one per frame when hasDelays
    std::int64_t totalMs = 0;
    int loopCount = -1; // -1: the file has none; 0: for ever
    bool gif = false;   // a GIF (its short delays play longer: engine::playedDelayMs)
    std::vector<engine::FrameRecord> frames; // one per frame
};

// The facts of a loaded picture; `path` is where it was loaded from (its size).
PictureFacts pictureFacts(const engine::Image &image, const QString &path);

// Loads `path` and returns its facts; on failure sets *status (not Ok) and
// returns empty facts.
PictureFacts readPictureFacts(const QString &path, engine::Status *status);

// Why a picture did not load, from the status engine::Image::load gave
// (a GIF without a single frame loads with GenericError).
engine::Cause loadFailureCause(engine::Status status);
