// Decoding of a stored BMP into 32-bit pixels, the part of LoadImageA that
// both backends share. The bytes may be a whole .bmp file or, as in a
// Windows RT_BITMAP resource, start at the BITMAPINFOHEADER.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, top row first, width * height
};

// Decodes an uncompressed BMP (1, 4 or 8 bits with a colour table, or 24 and
// 32 bits) and, when `width` x `height` differs from the stored size,
// stretches it by nearest neighbour. A width or height of 0 keeps the stored
// one. False, with the reason in `error`, for bytes that are no such BMP,
// are cut short, or give a size out of range.
bool DecodeBitmap(const uint8_t* bytes, uint32_t size, int width, int height, DecodedBitmap& out, std::string& error);
