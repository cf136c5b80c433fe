#include "tools/content/png_reader.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "tools/content/ani_generator.h"
#include "tools/content/font_source.h"

namespace {

constexpr int FONT_CELLS = FONT_LAST_CODE - FONT_FIRST_CODE + 1;
constexpr uint64_t MAX_PNG_PIXELS = uint64_t{1} << 25;

bool SizeIs(int width, int height, int wantWidth, int wantHeight, const std::string& what, std::string& error) {
    if (width == wantWidth && height == wantHeight)
        return true;
    error = "the picture is " + std::to_string(width) + "x" + std::to_string(height) + " pixels; " + what +
            " must be " + std::to_string(wantWidth) + "x" + std::to_string(wantHeight);
    return false;
}

} // namespace

bool IsPng(const std::string& bytes) {
    return bytes.size() >= 8 && png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) == 0;
}

bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        error = std::string("not a readable PNG: ") + image.message;
        return false;
    }
    image.format = PNG_FORMAT_BGRA; // little-endian 0xAARRGGBB words
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    // No piece needs more than a few hundred thousand pixels (an icon may be
    // shrunk from a photo). Decoding takes 8 bytes a pixel: 16000x16000 (a
    // file of 250 KB may hold it) would take 2 GB, all that the browser's
    // tools have, and half a minute. Beyond 32 M pixels the picture is
    // refused before it is decoded.
    if (width > 65536 || height > 65536 ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > MAX_PNG_PIXELS) {
        png_image_free(&image);
        error = "the picture is " + std::to_string(width) + "x" + std::to_string(height) + " pixels, far too large";
        return false;
    }
    std::vector<uint8_t> raw(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, raw.data(), 0, nullptr)) {
        error = std::string("not a readable PNG: ") + image.message;
        return false;
    }
    pixels.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] =
            raw[4 * i] | raw[4 * i + 1] << 8 | raw[4 * i + 2] << 16 | static_cast<uint32_t>(raw[4 * i + 3]) << 24;
    return true;
}

bool FontFromPng(const std::string& bytes, IndexedImage& font, std::string& error) {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    if (!DecodePng(bytes, width, height, pixels, error))
        return false;
    if (!SizeIs(width, height, FONT_CELLS * FONT_CELL_WIDTH, FONT_CELL_HEIGHT,
                "a font strip (98 cells of 8x12, codes 32 to 129)", error))
        return false;
    font = IndexedImage{width, height, 1, {0x5D1759, 0x000000}, {}};
    font.pixels.reserve(pixels.size());
    // The letters are black in the program, so black is what draws them;
    // the background may be any other colour (the built-in font's own dark
    // purple too) or transparent.
    for (uint32_t p : pixels) {
        const bool black = (p >> 16 & 0xFF) < 64 && (p >> 8 & 0xFF) < 64 && (p & 0xFF) < 64;
        font.pixels.push_back((p >> 24) >= 128 && black ? 1 : 0);
    }
    return true;
}

bool AniFromPng(const std::string& bytes, IndexedImage& ani, std::string& error) {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    if (!DecodePng(bytes, width, height, pixels, error))
        return false;
    if (!SizeIs(width, height, ANI_FRAMES * ANI_FRAME_WIDTH, ANI_FRAME_HEIGHT,
                "an animation strip (40 frames of 128x64 side by side)", error))
        return false;
    ani = IndexedImage{width, height, 8, {0x000000}, {}};
    std::map<uint32_t, uint8_t> entries;
    ani.pixels.reserve(pixels.size());
    for (uint32_t p : pixels) {
        const uint32_t colour = p & 0xFFFFFF;
        if ((p >> 24) < 128 || colour == 0) {
            ani.pixels.push_back(0);
            continue;
        }
        auto [at, added] = entries.try_emplace(colour, static_cast<uint8_t>(ani.palette.size()));
        if (added) {
            if (ani.palette.size() == 256) {
                error =
                    "the picture has more than 255 colours besides black; the animation's colour table holds "
                    "255 (reduce the colours, e.g. to an indexed palette, in the paint program)";
                return false;
            }
            ani.palette.push_back(colour);
        }
        ani.pixels.push_back(at->second);
    }
    // The table always has 256 entries; the unused ones repeat the last
    // colour, as only entry 0 may be black.
    const uint32_t filler = ani.palette.size() > 1 ? ani.palette.back() : 0x808080;
    ani.palette.resize(256, filler);
    return true;
}

bool IconFromPng(const std::string& bytes, int& side, std::vector<uint32_t>& pixels, std::string& error) {
    int width = 0, height = 0;
    if (!DecodePng(bytes, width, height, pixels, error))
        return false;
    if (width != height || width < 48) {
        error = "the picture is " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels; an icon must be square and at least 48x48 (it is shown at 32x32 and 48x48)";
        return false;
    }
    side = width;
    return true;
}

std::vector<uint32_t> ShrinkSquare(const std::vector<uint32_t>& pixels, int from, int to) {
    std::vector<uint32_t> out(static_cast<size_t>(to) * to);
    const double scale = static_cast<double>(from) / to;
    // How much of source cell i (along one axis) lies inside [begin, end).
    auto overlap = [](int i, double begin, double end) {
        return std::max(0.0, std::min<double>(i + 1, end) - std::max<double>(i, begin));
    };
    for (int y = 0; y < to; ++y)
        for (int x = 0; x < to; ++x) {
            double a = 0, r = 0, g = 0, b = 0, area = 0;
            const double x0 = x * scale, x1 = (x + 1) * scale, y0 = y * scale, y1 = (y + 1) * scale;
            for (int sy = static_cast<int>(y0); sy < std::min<double>(from, std::ceil(y1)); ++sy)
                for (int sx = static_cast<int>(x0); sx < std::min<double>(from, std::ceil(x1)); ++sx) {
                    const double w = overlap(sx, x0, x1) * overlap(sy, y0, y1);
                    const uint32_t p = pixels[static_cast<size_t>(sy) * from + sx];
                    const double alpha = (p >> 24) / 255.0 * w;
                    a += alpha;
                    r += (p >> 16 & 0xFF) * alpha;
                    g += (p >> 8 & 0xFF) * alpha;
                    b += (p & 0xFF) * alpha;
                    area += w;
                }
            if (a <= 0)
                continue;
            out[static_cast<size_t>(y) * to + x] = static_cast<uint32_t>(std::lround(255.0 * a / area)) << 24 |
                                                   static_cast<uint32_t>(std::lround(r / a)) << 16 |
                                                   static_cast<uint32_t>(std::lround(g / a)) << 8 |
                                                   static_cast<uint32_t>(std::lround(b / a));
        }
    return out;
}
