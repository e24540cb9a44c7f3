#include "imaging/engine/lzwdecoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/engine/gifdecoder.h"

namespace engine {

namespace {

// Copies n bytes in blocks of LzwDecoder::Slack, writing up to Slack - 1 bytes
// past dst + n. The source may overlap the destination's tail: each block is
// loaded before it is stored, and the bytes that matter are never overwritten.
inline void blockCopy(std::uint8_t *dst, const std::uint8_t *src, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; i += LzwDecoder::Slack)
        std::memmove(dst + i, src + i, LzwDecoder::Slack);
}

} // namespace

void LzwDecoder::start(GifSource *source, int codeSize)
{
    m_source = source;
    m_done = codeSize < 1 || codeSize > 11;
    m_blockLen = m_blockPos = 0;
    m_blocksEnded = false;
    m_bits = 0;
    m_bitCount = 0;
    m_pendingLen = 0;
    if (m_done)
        return;
    m_codeSize = codeSize;
    m_clear = 1 << codeSize;
    if (m_strings.size() < std::size_t(64 * 1024))
        m_strings.resize(std::size_t(64 * 1024));
    for (int i = 0; i < m_clear; ++i) {
        m_strings[std::size_t(i)] = i > 255 ? 0 : std::uint8_t(i);
        m_table[i] = Entry{std::uint32_t(i), 1};
    }
    m_width = m_codeSize + 1;
    m_next = m_clear + 2;
    m_prev = -1;
    m_top = std::uint32_t(m_clear);
}

bool LzwDecoder::nextBlock()
{
    if (m_blocksEnded)
        return false;
    std::uint8_t len = 0;
    if (m_source->read(&len, 1) != 1 || len == 0) {
        m_blocksEnded = true;
        return false;
    }
    const int got = m_source->read(m_block, len);
    if (got < len)
        m_blocksEnded = true; // file ends inside the block: use what is there
    m_blockLen = got;
    m_blockPos = 0;
    return got > 0;
}

int LzwDecoder::decode(std::uint8_t *out, int n)
{
    int produced = 0;
    if (m_pendingLen > 0) {
        const std::uint32_t take = std::min(std::uint32_t(n), m_pendingLen);
        std::memcpy(out, m_strings.data() + m_pendingOffset, take);
        m_pendingOffset += take;
        m_pendingLen -= take;
        produced = int(take);
    }
    if (m_done || produced == n)
        return produced;

    // Locals: the output is bytes, so the compiler would otherwise reload
    // every member after each store.
    const int clear = m_clear;
    int width = m_width;
    int next = m_next;
    int prev = m_prev;
    std::uint64_t bits = m_bits;
    int bitCount = m_bitCount;
    std::uint32_t top = m_top;
    Entry *const table = m_table;
    std::uint8_t *strings = m_strings.data();

    while (produced < n) {
        while (bitCount < width) {
            if (m_blockPos >= m_blockLen && !nextBlock()) {
                m_done = true;
                goto finish;
            }
            bits |= std::uint64_t(m_block[m_blockPos++]) << bitCount;
            bitCount += 8;
        }
        {
            const int code = int(bits & ((1u << width) - 1));
            bits >>= width;
            bitCount -= width;

            if (code == clear) {
                width = m_codeSize + 1;
                next = clear + 2;
                prev = -1;
                top = std::uint32_t(clear);
                continue;
            }
            if (code == clear + 1) {
                m_done = true;
                break;
            }
            if (prev < 0) {
                // The first code after a clear must be a literal.
                if (code > clear) {
                    m_done = true;
                    break;
                }
                out[produced++] = strings[code];
                prev = code;
                // Encoders count this code's slot too: with a code size of 1 the
                // first free code already needs the wider width.
                if (next == (1 << width) && width < 12)
                    ++width;
                continue;
            }
            if (code > next || (code == next && next >= 4096)) {
                m_done = true; // refers to a string not defined yet
                break;
            }
            if (next < 4096) {
                // The new string is prev's plus the first index of code's; when
                // code is the string being defined right now, that is prev's own
                // first index.
                const Entry p = table[prev];
                const std::size_t need = std::size_t(top) + p.length + 1 + Slack;
                if (need > m_strings.size()) {
                    m_strings.resize(std::max(need, m_strings.size() * 2));
                    strings = m_strings.data();
                }
                blockCopy(strings + top, strings + p.offset, p.length);
                strings[top + p.length] = code < next ? strings[table[code].offset] : strings[p.offset];
                table[next] = Entry{top, p.length + 1};
                top += p.length + 1;
                ++next;
                if (next == (1 << width) && width < 12)
                    ++width;
            }
            prev = code;

            const Entry e = table[code];
            if (e.length <= std::uint32_t(n - produced)) {
                blockCopy(out + produced, strings + e.offset, e.length);
                produced += int(e.length);
            } else {
                const std::uint32_t take = std::uint32_t(n - produced);
                std::memcpy(out + produced, strings + e.offset, take);
                produced = n;
                m_pendingOffset = e.offset + take;
                m_pendingLen = e.length - take;
            }
        }
    }
finish:
    m_width = width;
    m_next = next;
    m_prev = prev;
    m_bits = bits;
    m_bitCount = bitCount;
    m_top = top;
    return produced;
}

} // namespace engine
