#pragma once
// A PNG written a band of rows at a time, for pictures too large to hold whole
// (sprite sheets): 8-bit RGBA, each row filtered by the smallest-sum rule and
// fed to zlib's streaming deflate, the compressed bytes going out as IDAT
// chunks whenever a buffer fills. Memory: two rows and the buffers, whatever
// the picture's height.
//
// The file is written through engine/atomicfile.h: it appears complete, after
// finish(), or not at all.
//
// Ownership: the writer owns its file. One thread at a time; nothing throws.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/engine/failure.h"
#include "imaging/engine/records.h"

namespace engine {

class PngStreamWriter {
public:
    PngStreamWriter(const QString &path, int width, int height);
    ~PngStreamWriter();
    PngStreamWriter(const PngStreamWriter &) = delete;
    PngStreamWriter &operator=(const PngStreamWriter &) = delete;

    // Appends the next row: `width` ARGB32 pixels (not premultiplied); null
    // for a fully transparent row.
    Status addRow(const std::uint32_t *argb);
    // Ends the stream once every row is in and puts the file in place.
    Status finish();

    Status status() const { return m_status; }
    Cause cause() const { return m_cause; }

private:
    struct Stream;
    Status fail(Status status, Cause cause);
    bool flushOut(bool all);
    void chunk(const char *type, const std::uint8_t *data, std::size_t size);

    std::unique_ptr<Stream> m_stream;
    Status m_status = Ok;
    Cause m_cause = Cause::None;
    int m_width;
    int m_height;
    int m_rows = 0;
    std::vector<std::uint8_t> m_previous, m_current, m_filtered, m_trial, m_out;
};

} // namespace engine
