// Pictures a person drew in a paint program, read with libpng, and turned
// into the program's bitmap resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/bmp_writer.h"

// True when the bytes start with the PNG signature.
bool IsPng(const std::string& bytes);

// Decodes any PNG libpng reads into 0xAARRGGBB pixels, top row first.
// False with a message in `error` for a file that is not a readable PNG.
bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels, std::string& error);

// The font from a 784x12 strip of the 98 cells of 8x12 pixels, codes 32 to
// 129 from left to right (the layout of the FONT resource): an opaque
// black pixel (red, green and blue each below 64) is part of a glyph,
// anything else is background. False with a message naming the size found for any other size.
bool FontFromPng(const std::string& bytes, IndexedImage& font, std::string& error);

// A person's icon: a square PNG of at least 48x48 pixels. False with a
// message for any other size.
bool IconFromPng(const std::string& bytes, int& side, std::vector<uint32_t>& pixels, std::string& error);
// The square picture of `from` pixels a side made smaller to `to` (at most
// `from`): each pixel the alpha-weighted average of the area it covers.
std::vector<uint32_t> ShrinkSquare(const std::vector<uint32_t>& pixels, int from, int to);

// The animation from a 5120x64 strip of the 40 frames of 128x64, first
// frame at the left: black and transparent pixels (alpha below half) are
// the transparent colour, every other colour gets an entry of the 8-bit
// colour table. False with a message for any other size or for more than
// the 255 colours the table holds besides black.
bool AniFromPng(const std::string& bytes, IndexedImage& ani, std::string& error);
