// Reading back and checking the built resources. Every art builder runs the
// check of its own output before it writes the file, and the tests run the
// same checks on the files the build linked in, so a resource of the wrong
// shape never reaches the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/bmp_writer.h"

// Decodes an uncompressed BMP of 1, 4 or 8 bits per pixel (the form that
// EncodeBmp writes). False with a message in `error` for anything else.
bool DecodeBmp(const std::vector<uint8_t>& bytes, IndexedImage& out, std::string& error);

// What a bitmap resource must be. An empty `palette` field means "any";
// `allowedColours` (when not empty) lists the only colours its pixels may show.
struct BitmapShape {
    const char* name;
    int width;
    int height;
    int bitsPerPixel;
    int paletteSize;                      // exact number of colour-table entries
    std::vector<uint32_t> paletteHead;    // the first entries must be exactly these
    std::vector<uint32_t> allowedColours; // empty: any colour of the table
    bool onlyEntryZeroBlack;              // no entry but 0 may be 0x000000 (colour key)
};

const BitmapShape& FontShape(); // "FONT": 784x12, 1 bpp, {0x5D1759, black}
const BitmapShape& AniShape();  // "ANI": 5120x64, 8 bpp, 256 entries, only entry 0 black
const BitmapShape& FpsShape();  // "FPS": 170x8, 4 bpp, 16 entries, black/0x0A0A0A/white

// "" when `image` has the shape, else one sentence naming the first fault,
// e.g. "FONT: 783x12 pixels, expected 784x12".
std::string CheckBitmap(const IndexedImage& image, const BitmapShape& shape);
// Decodes the file's bytes and checks them, plus the rules of each resource
// that go beyond its shape (font cells, counter columns, animation frames).
std::string CheckFontBmp(const std::vector<uint8_t>& bytes);
std::string CheckAniBmp(const std::vector<uint8_t>& bytes);
std::string CheckFpsBmp(const std::vector<uint8_t>& bytes);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
