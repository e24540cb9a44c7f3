#pragma once
// The frames a command that makes one picture from many (animate, sheet) works
// on: every frame, or those a --frames list names. Unlike export, which writes
// what exists, such a command writes nothing when the list names frames the
// picture does not have: a picture made without them would not be the one
// asked for.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "batch.h"
#include "cli.h"
#include "core/picturefacts.h"
#include "imaging/engine/image.h"

namespace cli {

// Frame indexes (from 0, ascending, each once) for `ranges` (empty: all) out
// of `count`; false, with the missing frames named on stderr, when a range
// goes past the last frame.
inline bool chosenFrames(const QString &source, const std::vector<FrameRange> &ranges,
                         std::uint32_t count, std::vector<std::uint32_t> *out)
{
    out->clear();
    for (const FrameRange &r : ranges) {
        if (r.last > count) {
            printError(QStringLiteral("%1: there is no frame %2 (the picture has %3)")
                           .arg(source).arg(std::max<std::uint64_t>(r.first, std::uint64_t(count) + 1))
                           .arg(count));
            return false;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        bool chosen = ranges.empty();
        for (const FrameRange &r : ranges)
            chosen = chosen || (i + 1 >= r.first && i + 1 <= r.last);
        if (chosen)
            out->push_back(i);
    }
    return true;
}

// The picture at `source` with its chosen frames in *frames; null, said on
// stderr, when it cannot be read or `ranges` name frames it does not have.
inline std::unique_ptr<engine::Image> loadWithFrames(const QString &source, const std::vector<FrameRange> &ranges,
                                                     std::vector<std::uint32_t> *frames)
{
    engine::Status status = engine::Ok;
    std::unique_ptr<engine::Image> image = engine::Image::load(source, &status);
    if (!image) {
        printError(QStringLiteral("%1: cannot read the picture: %2")
                       .arg(source, causeText(loadFailureCause(status))));
        return nullptr;
    }
    if (!chosenFrames(source, ranges, image->frameCount(), frames))
        return nullptr;
    return image;
}

} // namespace cli
