#include "platform/bitmap_decoder.h"

#include "platform/software_surface.h"

// The decoder reads the BMP layout itself (no SDL), so every backend, the
// browser build included, decodes the same way: a BITMAPINFOHEADER or a
// later, larger header; BI_RGB at 1, 4 or 8 bits with a colour table or at
// 24 and 32 bits; rows bottom-up (positive height) or top-down (negative).
// Every offset and size is checked against the bytes before it is used.
namespace {

constexpr uint32_t FILE_HEADER_SIZE = 14;
constexpr uint32_t INFO_HEADER_SIZE = 40;
constexpr uint32_t BI_RGB = 0;

uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct Layout {
    const uint8_t* info = nullptr;   // BITMAPINFOHEADER
    uint32_t infoAvailable = 0;      // bytes from `info` to the end
    const uint8_t* pixels = nullptr; // first stored row
    uint32_t pixelsAvailable = 0;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    const uint8_t* palette = nullptr; // 4 bytes per entry: B, G, R, reserved
    uint32_t colours = 0;
};

// Finds the headers, the colour table and the pixel rows. The bytes are a
// whole file ("BM" and the file header's pixel offset) or, as an RT_BITMAP
// resource stores them, start at the info header with the pixels right
// after the colour table.
bool ReadLayout(const uint8_t* bytes, uint32_t size, Layout& l, std::string& error) {
    const bool file = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    const uint32_t infoAt = file ? FILE_HEADER_SIZE : 0;
    if (size < infoAt + INFO_HEADER_SIZE) {
        error = file ? "truncated BMP header" : "not a BMP";
        return false;
    }
    l.info = bytes + infoAt;
    l.infoAvailable = size - infoAt;
    const uint32_t headerSize = Read32(l.info);
    if (headerSize < INFO_HEADER_SIZE || headerSize > l.infoAvailable) {
        error = "not a BMP";
        return false;
    }
    const int32_t width = static_cast<int32_t>(Read32(l.info + 4));
    const int32_t height = static_cast<int32_t>(Read32(l.info + 8));
    l.bitCount = Read16(l.info + 14);
    const uint32_t compression = Read32(l.info + 16);
    if (Read16(l.info + 12) != 1 || compression != BI_RGB) {
        error = "unsupported BMP (compressed or several planes)";
        return false;
    }
    if (l.bitCount != 1 && l.bitCount != 4 && l.bitCount != 8 && l.bitCount != 24 && l.bitCount != 32) {
        error = "unsupported BMP depth";
        return false;
    }
    if (width < 1 || height == 0 || height == INT32_MIN || width > MAX_BUFFER_SIDE ||
        (height < 0 ? -height : height) > MAX_BUFFER_SIDE) {
        error = "bitmap size out of range";
        return false;
    }
    l.width = width;
    l.topDown = height < 0;
    l.height = l.topDown ? -height : height;

    uint32_t colours = 0;
    if (l.bitCount <= 8) {
        colours = Read32(l.info + 32);
        if (colours == 0)
            colours = 1u << l.bitCount;
        if (colours > (1u << l.bitCount)) {
            error = "colour table larger than the depth allows";
            return false;
        }
    }
    const uint64_t tableEnd = uint64_t{headerSize} + uint64_t{colours} * 4;
    if (tableEnd > l.infoAvailable) {
        error = "truncated colour table";
        return false;
    }
    l.palette = l.info + headerSize;
    l.colours = colours;

    uint64_t pixelsAt = infoAt + tableEnd;
    if (file)
        pixelsAt = Read32(bytes + 10);
    if (pixelsAt > size) {
        error = "pixel data outside the file";
        return false;
    }
    l.pixels = bytes + pixelsAt;
    l.pixelsAvailable = size - static_cast<uint32_t>(pixelsAt);
    return true;
}

uint32_t StoredPixel(const Layout& l, const uint8_t* row, int x) {
    if (l.bitCount == 24 || l.bitCount == 32) {
        const uint8_t* p = row + static_cast<size_t>(x) * (l.bitCount / 8);
        return (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
    }
    const int perByte = 8 / l.bitCount;
    const uint8_t byte = row[x / perByte];
    const int shift = 8 - l.bitCount * (x % perByte + 1);
    const uint32_t index = (byte >> shift) & ((1u << l.bitCount) - 1);
    // An index past a short colour table shows black, as GDI draws it.
    if (index >= l.colours)
        return 0;
    const uint8_t* entry = l.palette + index * 4;
    return (static_cast<uint32_t>(entry[2]) << 16) | (static_cast<uint32_t>(entry[1]) << 8) | entry[0];
}

} // namespace

bool DecodeBitmap(const uint8_t* bytes, uint32_t size, int width, int height, DecodedBitmap& out, std::string& error) {
    out = DecodedBitmap{};
    if (!bytes || size < 2) {
        error = "empty bitmap resource";
        return false;
    }
    if (width < 0 || height < 0 || width > MAX_BUFFER_SIDE || height > MAX_BUFFER_SIDE) {
        error = "bitmap size out of range";
        return false;
    }
    Layout l;
    if (!ReadLayout(bytes, size, l, error))
        return false;
    // Rows are padded to 4 bytes.
    const uint64_t stride = (uint64_t{static_cast<uint32_t>(l.width)} * l.bitCount + 31) / 32 * 4;
    if (stride * static_cast<uint64_t>(l.height) > l.pixelsAvailable) {
        error = "truncated pixel data";
        return false;
    }
    const int dstW = width ? width : l.width;
    const int dstH = height ? height : l.height;
    out.width = dstW;
    out.height = dstH;
    out.pixels.resize(static_cast<size_t>(dstW) * dstH);
    for (int y = 0; y < dstH; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * l.height / dstH);
        const int storedRow = l.topDown ? sy : l.height - 1 - sy;
        const uint8_t* row = l.pixels + stride * static_cast<uint64_t>(storedRow);
        uint32_t* dstRow = out.pixels.data() + static_cast<size_t>(y) * dstW;
        for (int x = 0; x < dstW; ++x)
            dstRow[x] = StoredPixel(l, row, static_cast<int>(static_cast<int64_t>(x) * l.width / dstW));
    }
    return true;
}
