#pragma once
// Sampling an animation by time instead of by frame number: sample k (from 0)
// shows the frame whose played interval [start, start + played) contains
// k × 1000 / R ms, for every k with k × 1000 / R below the total played time
// of one play. Frames of irregular length make "every n-th frame" meaningless;
// a fixed rate in time does not. A frame played 0 ms is never shown.
//
// The rate is kept as the exact fraction its decimal text says ("29.97" is
// 2997/100), so a sample that falls exactly on a frame boundary shows the
// frame that starts there, never the one before by a rounding error.
//
// Plain functions; any thread; nothing throws but std::bad_alloc.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// A rate in samples per second as an exact fraction; both parts > 0.
struct SampleRate {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
};

// Reads a rate written as a positive decimal number ("10", "2.5", "29.97");
// nothing for anything else (0, negatives, exponents, more than nine decimals).
std::optional<SampleRate> parseSampleRate(const QString &text);

struct Sample {
    std::int64_t timeMs = 0; // k × 1000 / R, rounded to whole ms (halves up)
    std::uint32_t frame = 0; // index (from 0) of the frame shown
};

// The samples of an animation whose frames play `playedMs` each, in order.
std::vector<Sample> sampleByTime(const std::vector<std::int64_t> &playedMs, SampleRate rate);
