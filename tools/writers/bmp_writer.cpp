#include "tools/writers/bmp_writer.h"
#include "tools/writers/byte_writer.h"

#include <cstdio>
#include <stdexcept>

std::vector<uint8_t> EncodeBmp(const IndexedImage& image) {
    const int bpp = image.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8)
        throw std::invalid_argument("depth must be 1, 4 or 8 bits");
    if (image.width <= 0 || image.height <= 0)
        throw std::invalid_argument("empty image");
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        throw std::invalid_argument("pixel count does not match width x height");
    const size_t maxColours = size_t{1} << bpp;
    if (image.palette.empty() || image.palette.size() > maxColours)
        throw std::invalid_argument("palette size does not fit the depth");
    for (uint8_t p : image.pixels)
        if (p >= image.palette.size())
            throw std::invalid_argument("pixel index outside the palette");

    const uint32_t rowBytes = ((static_cast<uint32_t>(image.width) * bpp + 31) / 32) * 4;
    const uint32_t paletteBytes = static_cast<uint32_t>(image.palette.size()) * 4;
    const uint32_t dataOffset = 14 + 40 + paletteBytes;
    const uint32_t dataBytes = rowBytes * static_cast<uint32_t>(image.height);

    std::vector<uint8_t> out;
    out.reserve(dataOffset + dataBytes);
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, dataOffset + dataBytes);
    PutLe32(out, 0);
    PutLe32(out, dataOffset);
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(image.width));
    PutLe32(out, static_cast<uint32_t>(image.height)); // positive: bottom-up
    PutLe16(out, 1);
    PutLe16(out, static_cast<uint32_t>(bpp));
    PutLe32(out, 0); // BI_RGB
    PutLe32(out, dataBytes);
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, static_cast<uint32_t>(image.palette.size()));
    PutLe32(out, 0);
    for (uint32_t c : image.palette) {
        out.push_back(static_cast<uint8_t>(c));       // blue
        out.push_back(static_cast<uint8_t>(c >> 8));  // green
        out.push_back(static_cast<uint8_t>(c >> 16)); // red
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t p = image.pixels[static_cast<size_t>(y) * image.width + x];
            const int bit = x * bpp;
            row[bit / 8] |= static_cast<uint8_t>(p << (8 - bpp - bit % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool WriteBmp(const std::string& path, const IndexedImage& image) {
    const std::vector<uint8_t> bytes = EncodeBmp(image);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
