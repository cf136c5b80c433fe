#include "tools/writers/png_writer.h"

#include <algorithm>
#include <cstddef>

#include "tools/writers/byte_writer.h"

namespace {

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBig32(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    PutBig32(png, Crc32(body.data(), body.size()));
}

} // namespace

std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint32_t>& pixels, bool withAlpha) {
    std::vector<uint8_t> raw; // per row: filter byte 0 (none), then the pixels
    raw.reserve(static_cast<size_t>(height) * (1 + (withAlpha ? 4 : 3) * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = pixels[static_cast<size_t>(y) * width + x];
            raw.insert(raw.end(),
                       {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
            if (withAlpha)
                raw.push_back(static_cast<uint8_t>(c >> 24));
        }
    }
    // A zlib stream of stored deflate blocks of at most 65535 bytes each.
    std::vector<uint8_t> z{0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        PutLe16(z, static_cast<uint32_t>(n));
        PutLe16(z, static_cast<uint32_t>(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
        if (at + n >= raw.size())
            break;
    }
    uint32_t s1 = 1, s2 = 0; // Adler-32
    for (uint8_t byte : raw) {
        s1 = (s1 + byte) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    PutBig32(z, s2 << 16 | s1);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    // 8 bits per channel, RGBA (6) or RGB (2), deflate, no filter choice, no interlace.
    header.insert(header.end(), {8, static_cast<uint8_t>(withAlpha ? 6 : 2), 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}
