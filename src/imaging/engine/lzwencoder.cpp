#include "imaging/engine/lzwencoder.h"

#include <array>
#include <memory>

namespace engine {

namespace {

constexpr int MaxCode = 4095;   // the last code of the table
// A full table is judged over this many codes at a time...
constexpr long Window = 300;
// ...and kept while it codes at least this share of the pixels per code it
// coded while it grew. Both chosen on screen recordings and photographic
// frames: clearing at once when full (the usual coder) costs 1-7 % more.
constexpr double KeepRatio = 0.9;
constexpr int MaxBits = 12;
constexpr int SlotBits = 13;    // open addressing, at most half full
constexpr std::uint32_t SlotMask = (1u << SlotBits) - 1;
// Ways through a run of pixels with a choice followed at once; more cost time
// and rarely find a longer string.
constexpr std::size_t Ways = 32;

// The string table: (prefix code, index) -> code. A slot holds the key
// (20 bits) and the code (12 bits) in its low half and the table's generation
// above, so one load answers a probe and a clear code empties the table
// without touching memory.
class StringTable {
public:
    StringTable() { m_slots.fill(0); }
    void clear() { ++m_generation; }
    // The code for key = prefix << 8 | index, -1 when there is none.
    int find(std::uint32_t key) const
    {
        const std::uint64_t mine = std::uint64_t(m_generation) << 32;
        std::uint32_t s = slot(key);
        for (;;) {
            const std::uint64_t v = m_slots[s];
            if ((v & ~std::uint64_t(0xFFFFFFFF)) != mine)
                return -1;
            if (std::uint32_t(v) >> 12 == key)
                return int(v & 0xFFF);
            s = (s + 1) & SlotMask;
        }
    }
    void insert(std::uint32_t key, int code)
    {
        const std::uint64_t mine = std::uint64_t(m_generation) << 32;
        std::uint32_t s = slot(key);
        while ((m_slots[s] & ~std::uint64_t(0xFFFFFFFF)) == mine)
            s = (s + 1) & SlotMask;
        m_slots[s] = mine | (std::uint64_t(key) << 12) | std::uint64_t(code);
    }

private:
    static std::uint32_t slot(std::uint32_t key) { return (key * 2654435761u) >> (32 - SlotBits); }

    std::array<std::uint64_t, 1u << SlotBits> m_slots; // generation 0: never used
    std::uint32_t m_generation = 1;
};

// Codes packed least significant bit first into sub-blocks.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<std::uint8_t> *out) : m_out(out) {}
    void put(int code, int bits)
    {
        m_bits |= std::uint64_t(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            byte(std::uint8_t(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    void finish()
    {
        if (m_count > 0)
            byte(std::uint8_t(m_bits));
        if (m_block > 0)
            flushBlock();
        m_out->push_back(0);
    }

private:
    void byte(std::uint8_t b)
    {
        m_buffer[m_block++] = b;
        if (m_block == 255)
            flushBlock();
    }
    void flushBlock()
    {
        m_out->push_back(std::uint8_t(m_block));
        m_out->insert(m_out->end(), m_buffer.begin(), m_buffer.begin() + m_block);
        m_block = 0;
    }

    std::vector<std::uint8_t> *m_out;
    std::uint64_t m_bits = 0;
    int m_count = 0;
    std::array<std::uint8_t, 255> m_buffer{};
    int m_block = 0;
};

} // namespace

void encodeGifLzw(const std::uint8_t *indexes, const std::uint8_t *alternatives, std::size_t count,
                  int minCodeSize, std::vector<std::uint8_t> *out)
{
    out->push_back(std::uint8_t(minCodeSize));
    CodeWriter writer(out);
    auto table = std::make_unique<StringTable>();
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int next = clear + 2;
    int bits = minCodeSize + 1;
    int limit = 1 << bits;

    // Writes a code, then widens the codes when the table has outgrown them.
    auto put = [&](int code) {
        writer.put(code, bits);
        if (next >= limit && bits < MaxBits) {
            ++bits;
            limit = 1 << bits;
        }
    };
    put(clear);
    if (count == 0) {
        put(end);
        writer.finish();
        return;
    }
    // The longest string in the table that pixels [from, ...) can spell,
    // starting with index `first` for pixel `from`: every way through the
    // pixels' choices is followed at once (at most Ways of them). Returns the
    // end of the match and leaves its code in `code`.
    struct Way {
        int code;
    };
    std::vector<Way> ways, further;
    ways.reserve(Ways);
    further.reserve(Ways);
    auto longest = [&](std::uint8_t first, std::size_t from, int *code) {
        ways.assign(1, Way{first});
        std::size_t at = from + 1;
        for (; at < count; ++at) {
            const std::uint8_t a = indexes[at];
            const std::uint8_t b = alternatives ? alternatives[at] : a;
            if (b == a && ways.size() == 1) { // one way on: no lists needed
                const int k = table->find((std::uint32_t(ways.front().code) << 8) | a);
                if (k < 0)
                    break;
                ways.front().code = k;
                continue;
            }
            further.clear();
            for (const Way &way : ways) {
                const std::uint32_t base = std::uint32_t(way.code) << 8;
                const int k = table->find(base | a);
                if (k >= 0)
                    further.push_back(Way{k});
                if (b != a && further.size() < Ways) {
                    const int j = table->find(base | b);
                    if (j >= 0)
                        further.push_back(Way{j});
                }
                if (further.size() >= Ways)
                    break;
            }
            if (further.empty())
                break;
            ways.swap(further);
        }
        *code = ways.front().code;
        return at;
    };
    // The index pixel `at` starts its string with: of its two, the one that
    // matches further (the first on a tie, the transparent one where the
    // writer offers a choice).
    auto startOf = [&](std::size_t at) {
        const std::uint8_t a = indexes[at];
        const std::uint8_t b = alternatives ? alternatives[at] : a;
        if (b == a)
            return a;
        int unused = 0;
        return longest(b, at, &unused) > longest(a, at, &unused) ? b : a;
    };

    std::size_t at = 0;
    // Pixels per code while the table grew, and over the last codes since it
    // is full.
    struct Tally {
        long codes = 0;
        std::size_t pixels = 0;
        void add(std::size_t n) { ++codes, pixels += n; }
        double pixelsPerCode() const { return codes ? double(pixels) / double(codes) : 0; }
    };
    Tally building, frozen;
    std::uint8_t first = startOf(0);
    int prefix = 0;
    for (;;) {
        const std::size_t stop = longest(first, at, &prefix);
        if (stop >= count)
            break;
        // The next string starts at `stop`; its first index completes the
        // table's entry for this one.
        const std::uint8_t following = startOf(stop);
        put(prefix);
        if (next > MaxCode) {
            frozen.add(stop - at);
        } else {
            building.add(stop - at);
        }
        if (frozen.codes >= Window) {
            // The full table is kept while it serves about as well as it did
            // while it grew; once the pictures moved on, it starts again.
            const bool worse = frozen.pixelsPerCode() < building.pixelsPerCode() * KeepRatio;
            frozen = Tally{};
            if (worse) {
                put(clear);
                table->clear();
                next = clear + 2;
                bits = minCodeSize + 1;
                limit = 1 << bits;
                building = Tally{};
            }
        } else if (next <= MaxCode) {
            table->insert((std::uint32_t(prefix) << 8) | following, next++);
        }
        at = stop;
        first = following;
    }
    put(prefix);
    put(end);
    writer.finish();
}

} // namespace engine
