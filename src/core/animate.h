#pragma once
// A selection of an animation's frames saved as a new animation: the frames
// composited as export writes them, in the order asked for (forwards,
// backwards, or forwards then backwards without repeating the two end frames),
// each shown for its played delay divided by the speed, written by the
// engine's animation writers (imaging/engine/animwriter.h) as GIF, APNG or WebP.
//
// Memory stays a few canvases whatever the frame count: frames are composed
// again rather than held, and a backward order is served from a window of
// recent frames refilled from the decoder's saved states.
//
// Plain functions; one thread at a time per Image (a job's thread); only the
// cancel flag is read across threads. Nothing throws but std::bad_alloc.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/engine/animwriter.h"
#include "imaging/engine/image.h"

enum class FrameOrder { Forward, Reverse, PingPong };

// Limits of the speed factor: a tenth of the speed to ten times the speed.
inline constexpr double MinSpeed = 0.1;
inline constexpr double MaxSpeed = 10.0;

struct AnimateRequest {
    QString target;
    engine::AnimationFormat format = engine::AnimationFormat::Gif;
    std::vector<std::uint32_t> frames; // chosen frames (from 0), ascending; empty: all
    FrameOrder order = FrameOrder::Forward;
    double speed = 1.0; // delays are divided by it
    int plays = -1;     // total plays, 0 for ever; -1: as many as the source
    int quality = -1;   // WebP only: -1 lossless, 0..100 lossy
    // Bytes of recent frames held to serve a backward order (at least two
    // frames are held); the larger, the fewer times frames are composed again.
    std::int64_t heldBytes = std::int64_t(64) << 20;
    // Set from another thread to stop before the next frame; nothing is written.
    const std::atomic_bool *cancel = nullptr;
    // Called after each frame written (the frames written so far, of all), on
    // the calling thread.
    std::function<void(std::uint32_t done, std::uint32_t total)> progress;
};

struct AnimateResult {
    engine::Cause cause = engine::Cause::None;
    std::int64_t failedFrame = -1; // the source frame that could not be composed
    std::uint32_t framesWritten = 0;
    bool cancelled = false; // stopped by the request's cancel flag; nothing written
    engine::AnimationNotes notes;
};

// Whether the file at `path` starts with a GIF signature (its delays then play
// by the browsers' rule, engine::playedDelayMs).
bool isGifFile(const QString &path);

// Total plays of the picture, 0 for ever: a GIF's loop block counts repeats
// after the first play and a GIF without one plays once; APNG and WebP store
// the plays themselves.
int sourcePlays(const engine::Image &image, bool gif);

// The frames asked for: `chosen`, or every one of `frameCount` when none is.
std::vector<std::uint32_t> framesOrAll(std::vector<std::uint32_t> chosen, std::uint32_t frameCount);

// The source frames in the order they are written.
std::vector<std::uint32_t> playOrder(const std::vector<std::uint32_t> &chosen, FrameOrder order);

// Writes the new animation from `image` (loaded from a file for which `gif`
// tells isGifFile). Nothing is left at the target when it fails.
AnimateResult animate(engine::Image &image, bool gif, const AnimateRequest &request);
