// Writes PNG pictures without a compression library: 8-bit RGB or RGBA,
// the image data in stored (uncompressed) deflate blocks.
#pragma once

#include <cstdint>
#include <vector>

// pixels: width * height values 0xAARRGGBB, top row first. Without alpha the
// top byte is ignored and the picture is RGB.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint32_t>& pixels, bool withAlpha);
