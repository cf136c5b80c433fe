// The static pictures: the background bars and the four rendered text pages,
// the copy of one page into view and the reset of the line reveal.
#pragma once

#include <array>
#include <cstdint>

#include "display/layout.h"

constexpr uint32_t MIDDLE_COLOUR = 0x5D1759;
constexpr int RELEASE_TEXT_SIZE = PAGE_COUNT * PAGE_LINES * TEXT_COLUMNS; // 10240

// The release text is the raw-data resource TEXT: 128 lines of 80 codes,
// no line ends, exactly RELEASE_TEXT_SIZE bytes.
constexpr const char RELEASE_TEXT_RESOURCE[] = "TEXT";

// R, G, B of bar k, k = 0 outermost .. 22 innermost.
extern const uint8_t barColours[BAR_COUNT][3];
// R, G, B for every row of a page: orange 0xF75900 at row 0, 0xFAA100 at
// row 191, yellow 0xFEEA00 at row 383, in two linear pieces.
extern const std::array<std::array<uint8_t, 3>, PAGE_HEIGHT> textGradient;

constexpr uint32_t RgbPixel(const uint8_t rgb[3]) {
    return static_cast<uint32_t>(rgb[0]) << 16 | static_cast<uint32_t>(rgb[1]) << 8 | rgb[2];
}
constexpr uint32_t RgbPixel(const std::array<uint8_t, 3>& rgb) { return RgbPixel(rgb.data()); }

// Column in FONT where the glyph cell of `code` begins: 8(code - 32) for the
// 98 codes 32..129; every other code gets the blank cell of code 32 at 0.
constexpr int GlyphSourceX(uint8_t code) {
    return code >= FIRST_GLYPH_CODE && code <= LAST_GLYPH_CODE ? GLYPH_WIDTH * (code - FIRST_GLYPH_CODE) : 0;
}

// Each returns false at the first failing surface operation, reporting
// nothing; the caller reports.
//
// DrawBackground paints the bars and the middle field into BACKGROUND, which
// must be black before; rows 0..23 and 456..479 stay untouched.
bool DrawBackground();
// Finds the TEXT resource and keeps it in display.text for RenderPages;
// false (display.text null) when there is none of exactly
// RELEASE_TEXT_SIZE bytes.
bool FindReleaseText();
// Renders the 32x80 cells of each page (display.text) from FONT into PAGE, then tints every
// pixel of value exactly 0 with the gradient colour of its page row, in
// locked memory (the lock's pitch is honoured; bytes beyond column 639 are
// never written).
bool RenderPages();
// Copies page 1..4 of PAGE into VIEWPAGE. Only when slideLine is 384 (a wipe
// has just ended, or start-up) also sets the wipe rows to 0 and 383 and
// restarts the reveal; a failed copy changes no state.
bool CopyPage(int page);
// Line i waits 2i ticks, then starts at step 0.
void ResetReveal();
