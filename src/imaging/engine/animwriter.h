#pragma once
// Animation writers: composited frames (each the whole picture as it should be
// seen, in the order they play) written back as an animated GIF, APNG or WebP.
//
// GIF: one global colour table when `sharedColours` (every frame's colours
// together, alpha made all-or-nothing) holds them all; otherwise the first
// frame's table is global and a frame that does not fit it gets a local table,
// quantised by libimagequant only when the frame's changed pixels alone have
// more than 256 colours. Each frame is stored as the smallest rectangle that
// changed; its unchanged pixels are transparent or their own colour, whichever
// codes shorter (engine/lzwencoder.h); a frame whose next frame needs a pixel
// cleared is disposed to the background. Delays are written in
// hundredths with the rounding error carried to the next frame, and never
// below MinGifDelayMs (see there).
// APNG: frame 0 is the whole canvas, later frames the rectangle that changed,
// replacing what was there or, when that is smaller and every changed pixel
// is opaque, laid over it with the unchanged pixels transparent; one palette
// (PLTE, tRNS, a transparent entry added when there is room) when
// `sharedColours` holds every RGBA colour, RGBA otherwise. Delays in
// milliseconds.
// WebP: libwebp's animation encoder, lossless unless a quality is given. It
// may merge a frame equal to the one before into one longer frame, or write a
// single frame as a still picture; the played timeline is the same.
//
// Every file is written through engine/atomicfile.h: it appears complete or not
// at all. Delays are in milliseconds (fractions allowed: a speed change makes
// them); loop counts are total plays, 0 for ever.
//
// Ownership: a writer owns its file until finish() or its destruction (which
// leaves nothing). One thread at a time; nothing here throws.

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/engine/failure.h"
#include "imaging/engine/palette.h"
#include "imaging/engine/records.h"

namespace engine {

enum class AnimationFormat { Gif, Apng, Webp };

// Browsers play a GIF delay of 10 ms or less as 100 ms, and some slow down
// anything under 20 ms: a new GIF never stores less than this.
inline constexpr double MinGifDelayMs = 20.0;

// The format an output file name asks for: .gif, .webp, .png or .apng (any
// case); nothing for other names.
std::optional<AnimationFormat> animationFormatForName(const QString &path);

// The distinct colours of frames seen so far, as a format stores them (GIF:
// alpha all or nothing; APNG: every alpha kept, transparent pixels one colour),
// up to 256; beyond that it only remembers that there were more.
class ColourSet {
public:
    explicit ColourSet(AnimationFormat format);
    void add(const QImage &frame); // Format_ARGB32
    bool fits() const { return !m_overflow; }
    // The colours, ARGB non-premultiplied; empty once they do not fit.
    std::vector<std::uint32_t> colours() const;

private:
    bool m_binaryAlpha;
    bool m_overflow = false;
    ColourLookup m_seen;
    std::vector<std::uint32_t> m_colours; // in order of appearance
};

struct AnimationOptions {
    AnimationFormat format = AnimationFormat::Gif;
    int width = 0, height = 0;
    std::uint32_t frameCount = 0; // frames that will be added (APNG's header needs it)
    int plays = 1;                // total plays, 0 for ever
    int quality = -1;             // WebP: -1 lossless, 0..100 lossy; others ignore it
    // GIF and APNG: ColourSet::colours() over all frames, or empty when they do
    // not fit in one table.
    std::vector<std::uint32_t> sharedColours;
};

// What the writer had to change to store the frames.
struct AnimationNotes {
    int raisedDelays = 0;    // GIF frames shorter than MinGifDelayMs, written as that
    int quantisedFrames = 0; // GIF frames with more than 256 colours of their own
};

class AnimationWriter {
public:
    // Opens `path` for writing. Never null; a failure shows in status().
    static std::unique_ptr<AnimationWriter> create(const QString &path,
                                                   const AnimationOptions &options);
    virtual ~AnimationWriter() = default;

    // Adds the next frame (width x height, Format_ARGB32) shown `delayMs`.
    virtual Status addFrame(const QImage &frame, double delayMs) = 0;
    // Writes what is left and puts the file in place.
    virtual Status finish() = 0;

    Status status() const { return m_status; }
    Cause cause() const { return m_cause; }
    const AnimationNotes &notes() const { return m_notes; }

protected:
    Status fail(Status status, Cause cause)
    {
        if (m_status == Ok) {
            m_status = status;
            m_cause = cause;
        }
        return m_status;
    }
    Status m_status = Ok;
    Cause m_cause = Cause::None;
    AnimationNotes m_notes;
};

} // namespace engine
