#include "tools/content/resource_check.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/content/font_source.h"
#include "tools/content/fps_source.h"
#include "tools/content/ani_generator.h"

namespace {

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

std::string Hex(uint32_t colour) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", colour);
    return buf;
}

} // namespace

bool DecodeBmp(const std::vector<uint8_t>& b, IndexedImage& out, std::string& error) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    const uint32_t dataOffset = Get32(b, 10);
    const uint32_t headerSize = Get32(b, 14);
    const int32_t width = static_cast<int32_t>(Get32(b, 18));
    const int32_t height = static_cast<int32_t>(Get32(b, 22));
    const uint32_t planes = Get16(b, 26);
    const uint32_t bpp = Get16(b, 28);
    const uint32_t compression = Get32(b, 30);
    uint32_t colours = Get32(b, 46);
    if (headerSize != 40 || planes != 1 || compression != 0) {
        error = "not an uncompressed BMP with a 40-byte header";
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8) {
        error = std::to_string(bpp) + " bits per pixel; only 1, 4 and 8 are read";
        return false;
    }
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536) {
        error = "bad size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (colours == 0)
        colours = 1u << bpp;
    if (colours > (1u << bpp)) {
        error = std::to_string(colours) + " colour-table entries for " + std::to_string(bpp) + " bits per pixel";
        return false;
    }
    const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    if (dataOffset < 54 + colours * 4 || dataOffset + rowBytes * height > b.size()) {
        error = "file too short for its header";
        return false;
    }
    out.width = width;
    out.height = height;
    out.bitsPerPixel = static_cast<int>(bpp);
    out.palette.clear();
    for (uint32_t i = 0; i < colours; ++i)
        out.palette.push_back(Get32(b, 54 + 4 * i) & 0xFFFFFF);
    out.pixels.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const size_t row = dataOffset + rowBytes * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const size_t bit = static_cast<size_t>(x) * bpp;
            const uint8_t byte = b[row + bit / 8];
            const uint8_t index = static_cast<uint8_t>((byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1));
            if (index >= colours) {
                error = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") uses entry " +
                        std::to_string(index) + " outside the colour table";
                return false;
            }
            out.pixels[static_cast<size_t>(y) * width + x] = index;
        }
    }
    return true;
}

const BitmapShape& FontShape() {
    static const BitmapShape shape{"FONT", 784, 12, 1, 2, {0x5D1759, 0x000000}, {}, false};
    return shape;
}

const BitmapShape& AniShape() {
    static const BitmapShape shape{"ANI", 5120, 64, 8, 256, {0x000000}, {}, true};
    return shape;
}

const BitmapShape& FpsShape() {
    static const BitmapShape shape{"FPS", 170, 8, 4, 16, {0x000000}, {0x000000, 0x0A0A0A, 0xFFFFFF}, false};
    return shape;
}

std::string CheckBitmap(const IndexedImage& image, const BitmapShape& s) {
    const std::string name = s.name;
    if (image.width != s.width || image.height != s.height)
        return name + ": " + std::to_string(image.width) + "x" + std::to_string(image.height) + " pixels, expected " +
               std::to_string(s.width) + "x" + std::to_string(s.height);
    if (image.bitsPerPixel != s.bitsPerPixel)
        return name + ": " + std::to_string(image.bitsPerPixel) + " bits per pixel, expected " +
               std::to_string(s.bitsPerPixel);
    if (static_cast<int>(image.palette.size()) != s.paletteSize)
        return name + ": " + std::to_string(image.palette.size()) + " colour-table entries, expected " +
               std::to_string(s.paletteSize);
    for (size_t i = 0; i < s.paletteHead.size(); ++i)
        if (image.palette[i] != s.paletteHead[i])
            return name + ": colour-table entry " + std::to_string(i) + " is " + Hex(image.palette[i]) + ", expected " +
                   Hex(s.paletteHead[i]);
    if (s.onlyEntryZeroBlack)
        for (size_t i = 1; i < image.palette.size(); ++i)
            if (image.palette[i] == 0)
                return name + ": colour-table entry " + std::to_string(i) +
                       " is black, which would be transparent; only entry 0 may be black";
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        return name + ": pixel count does not match the size";
    if (!s.allowedColours.empty())
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const uint32_t colour = image.palette[image.pixels[i]];
            bool allowed = false;
            for (uint32_t a : s.allowedColours)
                allowed = allowed || a == colour;
            if (!allowed)
                return name + ": pixel (" + std::to_string(i % image.width) + "," + std::to_string(i / image.width) +
                       ") has colour " + Hex(colour) + ", which the resource does not use";
        }
    return "";
}

namespace {

std::string DecodeAndCheck(const std::vector<uint8_t>& bytes, const BitmapShape& shape, IndexedImage& image) {
    std::string error;
    if (!DecodeBmp(bytes, image, error))
        return std::string(shape.name) + ": " + error;
    return CheckBitmap(image, shape);
}

} // namespace

std::string CheckFontBmp(const std::vector<uint8_t>& bytes, bool withLook) {
    IndexedImage image;
    std::string error = DecodeAndCheck(bytes, FontShape(), image);
    return error.empty() && withLook ? CheckFontCells(image) : error;
}

std::string CheckAniBmp(const std::vector<uint8_t>& bytes, bool withLook) {
    IndexedImage image;
    std::string error = DecodeAndCheck(bytes, AniShape(), image);
    return error.empty() && withLook ? CheckAniFrames(image) : error;
}

std::string CheckFontBmpLook(const std::vector<uint8_t>& bytes) {
    IndexedImage image;
    return DecodeAndCheck(bytes, FontShape(), image).empty() ? CheckFontCells(image) : "";
}

std::string CheckAniBmpLook(const std::vector<uint8_t>& bytes) {
    IndexedImage image;
    return DecodeAndCheck(bytes, AniShape(), image).empty() ? CheckAniFrames(image) : "";
}

std::string CheckFpsBmp(const std::vector<uint8_t>& bytes) {
    IndexedImage image;
    std::string error = DecodeAndCheck(bytes, FpsShape(), image);
    return error.empty() ? CheckFpsColumns(image) : error;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
