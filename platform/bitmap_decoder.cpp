#include "platform/bitmap_decoder.h"

#include <SDL.h>

#include <cstring>

#include "platform/software_surface.h"

namespace {

uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// A resource that starts at the info header gets the 14-byte file header
// SDL expects put in front; the pixel data follows the header and the colour
// table.
std::vector<uint8_t> WithFileHeader(const uint8_t* bytes, uint32_t size)
{
    std::vector<uint8_t> file;
    if (size < 40) return file;
    const uint32_t headerSize = Read32(bytes);
    if (headerSize < 40 || headerSize > size) return file;
    const uint16_t bitCount = static_cast<uint16_t>(bytes[14] | (bytes[15] << 8));
    const uint32_t compression = Read32(bytes + 16);
    uint32_t colours = Read32(bytes + 32);
    if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
    if (colours > 256) return file;
    uint32_t masks = (compression == 3 && headerSize == 40) ? 12 : 0; // BI_BITFIELDS
    const uint32_t offset = 14 + headerSize + masks + colours * 4;
    const uint32_t total = size + 14;
    file.resize(14);
    const uint8_t header[14] = {'B',
                                'M',
                                static_cast<uint8_t>(total),
                                static_cast<uint8_t>(total >> 8),
                                static_cast<uint8_t>(total >> 16),
                                static_cast<uint8_t>(total >> 24),
                                0,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(offset),
                                static_cast<uint8_t>(offset >> 8),
                                static_cast<uint8_t>(offset >> 16),
                                static_cast<uint8_t>(offset >> 24)};
    std::memcpy(file.data(), header, 14);
    file.insert(file.end(), bytes, bytes + size);
    return file;
}

} // namespace

bool DecodeBitmap(const uint8_t* bytes, uint32_t size, int width, int height, DecodedBitmap& out, std::string& error)
{
    out = DecodedBitmap{};
    if (!bytes || size < 2) {
        error = "empty bitmap resource";
        return false;
    }
    if (width < 0 || height < 0 || width > MAX_BUFFER_SIDE || height > MAX_BUFFER_SIDE) {
        error = "bitmap size out of range";
        return false;
    }
    std::vector<uint8_t> file;
    if (!(bytes[0] == 'B' && bytes[1] == 'M')) {
        file = WithFileHeader(bytes, size);
        if (file.empty()) {
            error = "not a BMP";
            return false;
        }
        bytes = file.data();
        size = static_cast<uint32_t>(file.size());
    }
    if (size > static_cast<uint32_t>(INT32_MAX)) {
        error = "bitmap too large";
        return false;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(bytes, static_cast<int>(size));
    if (!rw) {
        error = SDL_GetError();
        return false;
    }
    SDL_Surface* loaded = SDL_LoadBMP_RW(rw, 1);
    if (!loaded) {
        error = SDL_GetError();
        return false;
    }
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB888, 0);
    SDL_FreeSurface(loaded);
    if (!rgb) {
        error = SDL_GetError();
        return false;
    }
    const int srcW = rgb->w;
    const int srcH = rgb->h;
    const int dstW = width ? width : srcW;
    const int dstH = height ? height : srcH;
    if (srcW < 1 || srcH < 1 || dstW > MAX_BUFFER_SIDE || dstH > MAX_BUFFER_SIDE) {
        SDL_FreeSurface(rgb);
        error = "bitmap size out of range";
        return false;
    }
    out.width = dstW;
    out.height = dstH;
    out.pixels.resize(static_cast<size_t>(dstW) * dstH);
    if (SDL_MUSTLOCK(rgb)) SDL_LockSurface(rgb);
    const auto* base = static_cast<const uint8_t*>(rgb->pixels);
    for (int y = 0; y < dstH; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * srcH / dstH);
        const auto* srcRow = reinterpret_cast<const uint32_t*>(base + static_cast<size_t>(sy) * rgb->pitch);
        uint32_t* dstRow = out.pixels.data() + static_cast<size_t>(y) * dstW;
        for (int x = 0; x < dstW; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * srcW / dstW);
            dstRow[x] = srcRow[sx] & 0x00FFFFFFu;
        }
    }
    if (SDL_MUSTLOCK(rgb)) SDL_UnlockSurface(rgb);
    SDL_FreeSurface(rgb);
    return true;
}
