#include "platform/software_surface.h"

#include <algorithm>
#include <cstring>

bool PixelBufferInit(PixelBuffer& buffer, int width, int height, int extraBytes, uint8_t padByte) {
    buffer = PixelBuffer{};
    if (width < 1 || height < 1 || width > MAX_BUFFER_SIDE || height > MAX_BUFFER_SIDE)
        return false;
    if (extraBytes < 0 || extraBytes > 4096)
        return false;
    const int extraPixels = (extraBytes + 3) / 4;
    const int rowWords = width + extraPixels;
    buffer.width = width;
    buffer.height = height;
    buffer.pitch = rowWords * 4;
    buffer.storage.assign(static_cast<size_t>(rowWords) * height, 0);
    if (extraPixels > 0) {
        uint32_t pad;
        std::memset(&pad, padByte, sizeof pad);
        for (int y = 0; y < height; ++y) {
            uint32_t* row = buffer.Row(y);
            for (int i = width; i < rowWords; ++i)
                row[i] = pad;
        }
    }
    return true;
}

bool RectInside(const PixelBuffer& buffer, const Rect& rect) {
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
           rect.right <= buffer.width && rect.bottom <= buffer.height;
}

Result PixelFill(PixelBuffer& dest, const Rect* rect, uint32_t colour) {
    const Rect r = rect ? *rect : Rect{0, 0, dest.width, dest.height};
    if (!RectInside(dest, r))
        return RESULT_FAILED;
    for (int y = r.top; y < r.bottom; ++y)
        std::fill_n(dest.Row(y) + r.left, r.right - r.left, colour);
    return RESULT_OK;
}

Result PixelCopy(PixelBuffer& dest, int x, int y, const PixelBuffer& source, const Rect* sourceRect, bool useKey,
                 uint32_t key) {
    const Rect s = sourceRect ? *sourceRect : Rect{0, 0, source.width, source.height};
    if (!RectInside(source, s))
        return RESULT_FAILED;
    const int w = s.right - s.left;
    const int h = s.bottom - s.top;
    // 64-bit sums: x + w must not overflow for hostile x.
    if (x < 0 || y < 0 || int64_t{x} + w > dest.width || int64_t{y} + h > dest.height)
        return RESULT_FAILED;
    if (w == 0 || h == 0)
        return RESULT_OK;

    // Within one buffer a copy downwards must go bottom row first, so no
    // source row is overwritten before it is read.
    const bool sameBuffer = &dest == &source;
    const bool bottomUp = sameBuffer && y > s.top;
    for (int i = 0; i < h; ++i) {
        const int row = bottomUp ? h - 1 - i : i;
        const uint32_t* from = source.Row(s.top + row) + s.left;
        uint32_t* to = dest.Row(y + row) + x;
        if (!useKey) {
            std::memmove(to, from, static_cast<size_t>(w) * 4);
            continue;
        }
        const uint32_t k = key & 0x00FFFFFFu;
        if (sameBuffer && y + row == s.top + row && x > s.left) {
            for (int j = w - 1; j >= 0; --j)
                if ((from[j] & 0x00FFFFFFu) != k)
                    to[j] = from[j];
        } else {
            for (int j = 0; j < w; ++j)
                if ((from[j] & 0x00FFFFFFu) != k)
                    to[j] = from[j];
        }
    }
    return RESULT_OK;
}
