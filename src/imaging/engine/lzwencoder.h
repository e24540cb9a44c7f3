#pragma once
// GIF LZW coding of palette indexes, for the animation writer.
//
// A pixel may offer a second index that shows the same thing (a pixel the
// canvas already shows: its own colour, or the transparent entry). The coder
// then takes whichever index continues the string it is matching, so runs
// are not broken where either choice alone would break them; this makes
// frames smaller than coding all such pixels one way or the other.
//
// Each string is the longest the table holds for the pixels ahead. A full
// table (4096 codes) is kept in use, without new entries, for as long as it
// codes about as well as it did while it grew; then a clear code starts a new
// one. GIF decoders have to handle such a "deferred" clear, and browsers do;
// clearing at once when full costs 1-7 % more here. The clear code comes
// first, and code widths grow as decoders expect.
// Plain function; any thread; nothing throws.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// Appends to `out` the minimum code size byte, the coded `indexes` in data
// sub-blocks of at most 255 bytes, and the block terminator. `alternatives`
// may be null; otherwise alternatives[i] is another index pixel i may take
// (equal to indexes[i] when it has none). `minCodeSize` is 2..8 and every
// index is below 1 << minCodeSize.
void encodeGifLzw(const std::uint8_t *indexes, const std::uint8_t *alternatives, std::size_t count,
                  int minCodeSize, std::vector<std::uint8_t> *out);

} // namespace engine
