// Writes uncompressed Windows BMP files (BITMAPINFOHEADER, bottom-up rows,
// each padded to 4 bytes) with 1, 4 or 8 bits per pixel and a colour table,
// the form in which the program's bitmap resources are stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IndexedImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;          // 1, 4 or 8
    std::vector<uint32_t> palette; // 0x00RRGGBB, at most 2^bitsPerPixel entries
    std::vector<uint8_t> pixels;   // width * height palette indices, top row first
};

// The BMP file's bytes. Throws std::invalid_argument for an image whose
// sizes, depth, palette or indices do not fit together.
std::vector<uint8_t> EncodeBmp(const IndexedImage& image);
// Writes EncodeBmp(image) to path; false (with errno set) on failure.
bool WriteBmp(const std::string& path, const IndexedImage& image);
