// Memory pixels shared by the backends: 32-bit 0x00RRGGBB pixels in rows of
// `pitch` bytes, where the pitch may be wider than width * 4. Every operation
// checks its rectangles against the buffers first and fails as a whole when
// one reaches outside (DDERR_INVALIDRECT), so nothing is ever clipped and
// nothing is written out of bounds. Padding bytes beyond the width are
// never written by these operations.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

struct PixelBuffer {
    int width = 0;
    int height = 0;
    int pitch = 0;                 // bytes per row, a multiple of 4, >= width * 4
    std::vector<uint32_t> storage; // pitch / 4 * height words

    uint32_t* Row(int y) { return storage.data() + static_cast<size_t>(y) * (pitch / 4); }
    const uint32_t* Row(int y) const { return storage.data() + static_cast<size_t>(y) * (pitch / 4); }
};

// Largest width or height of a buffer; larger requests fail instead of
// asking for gigabytes.
constexpr int MAX_BUFFER_SIDE = 16384;

// Sets the buffer up with width x height pixels, all 0, and `extraBytes`
// more bytes per row (rounded up to whole pixels) filled with `padByte`.
// False (buffer left empty) for sizes outside 1..MAX_BUFFER_SIDE or padding
// outside 0..4096.
bool PixelBufferInit(PixelBuffer& buffer, int width, int height, int extraBytes, uint8_t padByte);

// A rectangle with exclusive right and bottom edges lies inside the buffer
// (an empty one, left == right or top == bottom, counts when its edges are
// inside; an inverted one never does).
bool RectInside(const PixelBuffer& buffer, const Rect& rect);

// Fills `rect` (null: the whole buffer) with `colour`. RESULT_FAILED when the
// rectangle is not inside.
Result PixelFill(PixelBuffer& dest, const Rect* rect, uint32_t colour);

// Copies `sourceRect` (null: the whole source) of `source` to (x, y) of
// `dest`. With `useKey`, source pixels whose colour (low 24 bits) equals
// `key` (low 24 bits) are skipped. dest and source may be the same buffer,
// with overlapping rectangles. RESULT_FAILED when either rectangle is not
// inside its buffer.
Result PixelCopy(PixelBuffer& dest, int x, int y, const PixelBuffer& source, const Rect* sourceRect, bool useKey,
                 uint32_t key);
