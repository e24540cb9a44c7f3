#pragma once
// How each frame of an animation is stored in its file, as opposed to the
// composited canvas the engine hands out: the frame's rectangle, what happens
// to it before the next frame (disposal) and how it is laid over the canvas
// (blend). The timing files written next to exported frames describe frames
// with these records.
//
// GIFs are read here with a walk over the file's blocks that skips the image
// data (the same walk the engine's frame count makes: a second GIF after a
// missing trailer adds frames, a frame whose data ends early still counts).
// Disposal "unspecified" and the reserved codes count as "none". A GIF always
// blends "over". Other pictures have no stored records here: readFrameRecords
// returns none and the caller treats each frame as the whole canvas.
//
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QString>

#include <cstdint>
#include <vector>

struct FrameRecord {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    enum Disposal { DisposeNone, DisposeBackground, DisposePrevious } disposal = DisposeNone;
    enum Blend { BlendOver, BlendSource } blend = BlendOver;
};

struct FrameRecords {
    bool gif = false;                 // the file starts with a GIF signature
    std::vector<FrameRecord> frames;  // in file order; empty when not a GIF or unreadable
};

FrameRecords readFrameRecords(const QString &path);

// The names the timing file uses: "none", "background", "previous"; "over", "source".
const char *disposalName(FrameRecord::Disposal disposal);
const char *blendName(FrameRecord::Blend blend);

// What a browser plays for a stored delay: GIF delays of 10 ms or less play
// as 100 ms; other formats play the delay as stored.
std::int64_t playedDelayMs(std::int64_t storedMs, bool gif);
