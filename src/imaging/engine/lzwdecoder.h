#pragma once
// LzwDecoder: the variable-length-code LZW decompressor of GIF image data,
// reading the data sub-blocks straight from a GifSource and producing palette
// indexes in any chunk sizes (a row, part of a row).
//
// Lenient where browsers are: initial code sizes up to 11 bits, a full code
// table without a clear code, data that ends without an end code. Whatever
// cannot be decoded ends the stream; the pixels produced until then stay valid.
//
// Every string of the code table is kept whole in one buffer, so a code is
// written with a few block copies instead of a walk along its prefixes. The
// buffer is reset by every clear code; it is at most about 8 MB (4096 strings
// of up to 4096 indexes), usually a few kilobytes.
//
// Plain value; one thread at a time.

#include <cstdint>
#include <vector>

namespace engine {

class GifSource;

class LzwDecoder {
public:
    // Room the caller leaves after the n indexes it asks decode() for: strings
    // are copied in blocks of this size.
    static constexpr int Slack = 16;

    // Starts a frame's data at the source's current position, just after the
    // minimum-code-size byte. `codeSize` outside 1..11 gives an empty stream.
    void start(GifSource *source, int codeSize);

    // Writes up to n indexes to out, which must have room for n + Slack bytes;
    // returns how many it wrote. Fewer than n means the stream ended (end code,
    // end of data or a corrupt code). Literal codes above 255 (code sizes over
    // 8) lie beyond any palette and come out as index 0, which is how
    // out-of-palette indexes are shown.
    int decode(std::uint8_t *out, int n);

private:
    bool nextBlock();

    GifSource *m_source = nullptr;
    bool m_done = true;

    // Bit reader over the current sub-block.
    std::uint8_t m_block[256];
    int m_blockLen = 0;
    int m_blockPos = 0;
    bool m_blocksEnded = true;
    std::uint64_t m_bits = 0;
    int m_bitCount = 0;

    int m_codeSize = 0;
    int m_clear = 0;
    int m_width = 0;
    int m_next = 0;
    int m_prev = -1;

    struct Entry {
        std::uint32_t offset; // into m_strings
        std::uint32_t length;
    };
    Entry m_table[4096];
    std::vector<std::uint8_t> m_strings;
    std::uint32_t m_top = 0; // end of the strings in use

    // Tail of a string that did not fit into the caller's buffer.
    std::uint32_t m_pendingOffset = 0;
    std::uint32_t m_pendingLen = 0;
};

} // namespace engine
