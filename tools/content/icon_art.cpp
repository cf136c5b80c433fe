#include "tools/content/icon_art.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tools/content/source_reader.h"
#include "tools/writers/byte_writer.h"
#include "tools/writers/png_writer.h"

namespace {

double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

// Distance from p to the segment a-b and the position t (0..1) along it.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by, double& t) {
    const double dx = bx - ax, dy = by - ay;
    t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
    const double ex = px - (ax + t * dx), ey = py - (ay + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }
uint32_t GetBig32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

} // namespace

bool ParseIconParams(const std::string& source, IconParams& p, std::string& error) {
    std::vector<std::pair<std::string, Setting>> settings;
    if (!ParseSettings(source, settings, error))
        return false;
    struct Colour {
        const char* name;
        uint32_t* target;
    };
    struct Number {
        const char* name;
        double* target;
    };
    const Colour colours[] = {{"tile_edge", &p.tileEdge},
                              {"tile_centre", &p.tileCentre},
                              {"ring_top", &p.ringTop},
                              {"ring_bottom", &p.ringBottom},
                              {"outline", &p.outline}};
    const Number numbers[] = {{"corner", &p.corner},
                              {"ring_x", &p.ringX},
                              {"ring_y", &p.ringY},
                              {"ring_outer", &p.ringOuter},
                              {"ring_inner", &p.ringInner},
                              {"tail_from_x", &p.tailFromX},
                              {"tail_from_y", &p.tailFromY},
                              {"tail_to_x", &p.tailToX},
                              {"tail_to_y", &p.tailToY},
                              {"tail_width_from", &p.tailWidthFrom},
                              {"tail_width_to", &p.tailWidthTo}};
    for (const auto& [name, setting] : settings) {
        bool known = false;
        for (const Colour& c : colours) {
            if (name != c.name)
                continue;
            known = true;
            const std::string v = setting.values.size() == 1 ? setting.values[0] : "";
            if (v.size() != 6 || v.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                error = AtLine(setting.line, "`" + name + "` must be a colour RRGGBB in hexadecimal");
                return false;
            }
            *c.target = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 16));
        }
        for (const Number& n : numbers) {
            if (name != n.name)
                continue;
            known = true;
            char* end = nullptr;
            const std::string v = setting.values.size() == 1 ? setting.values[0] : "";
            const double value = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(value >= 0 && value <= 1)) {
                error = AtLine(setting.line, "`" + name + "` must be a number from 0 to 1 (a fraction of the side)");
                return false;
            }
            *n.target = value;
        }
        if (!known) {
            error = AtLine(setting.line, "unknown setting `" + name + "`");
            return false;
        }
    }
    for (const Colour& c : colours)
        if (std::none_of(settings.begin(), settings.end(), [&](const auto& s) { return s.first == c.name; })) {
            error = std::string("setting `") + c.name + "` is missing";
            return false;
        }
    for (const Number& n : numbers)
        if (std::none_of(settings.begin(), settings.end(), [&](const auto& s) { return s.first == n.name; })) {
            error = std::string("setting `") + n.name + "` is missing";
            return false;
        }
    if (p.ringInner >= p.ringOuter) {
        error = "`ring_inner` must be smaller than `ring_outer`";
        return false;
    }
    return true;
}

std::vector<uint32_t> RenderIcon(const IconParams& p, int size) {
    constexpr int SS = 8; // subsamples per pixel side
    std::vector<uint32_t> out(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < SS; ++sy)
                for (int sx = 0; sx < SS; ++sx) {
                    const double u = (x + (sx + 0.5) / SS) / size, v = (y + (sy + 0.5) / SS) / size;
                    // Rounded tile.
                    const double cx = std::max(std::fabs(u - 0.5) - (0.5 - p.corner), 0.0);
                    const double cy = std::max(std::fabs(v - 0.5) - (0.5 - p.corner), 0.0);
                    if (cx * cx + cy * cy > p.corner * p.corner)
                        continue;
                    uint32_t colour = MixColour(p.tileEdge, p.tileCentre, Clamp01(1 - std::fabs(v - 0.5) * 2.6));
                    // Ring and tail, with a thin outline so they stand off the tile.
                    const double dx = u - p.ringX, dy = v - p.ringY;
                    const double d = std::sqrt(dx * dx + dy * dy);
                    const double mid = (p.ringOuter + p.ringInner) / 2, halfRing = (p.ringOuter - p.ringInner) / 2;
                    const double ringReach = std::fabs(d - mid) - halfRing;
                    double t = 0;
                    const double along = SegmentDistance(u, v, p.tailFromX, p.tailFromY, p.tailToX, p.tailToY, t);
                    const double tailReach = along - (p.tailWidthFrom + (p.tailWidthTo - p.tailWidthFrom) * t) / 2;
                    const double reach = std::min(ringReach, tailReach);
                    const double line = 1.2 / size;
                    if (reach < 0)
                        colour =
                            MixColour(p.ringTop, p.ringBottom,
                                      Clamp01((v - (p.ringY - p.ringOuter)) / (p.tailToY - (p.ringY - p.ringOuter))));
                    else if (reach < line)
                        colour = p.outline;
                    r += (colour >> 16) & 0xFF;
                    g += (colour >> 8) & 0xFF;
                    b += colour & 0xFF;
                    a += 1;
                }
            if (a == 0)
                continue;
            const uint32_t alpha = static_cast<uint32_t>(std::lround(255.0 * a / (SS * SS)));
            out[static_cast<size_t>(y) * size + x] = alpha << 24 | static_cast<uint32_t>(std::lround(r / a)) << 16 |
                                                     static_cast<uint32_t>(std::lround(g / a)) << 8 |
                                                     static_cast<uint32_t>(std::lround(b / a));
        }
    return out;
}

std::vector<uint8_t> EncodeIco(const IconParams& params, const std::vector<int>& sizes) {
    return EncodeIco([&params](int size) { return RenderIcon(params, size); }, sizes);
}

std::vector<uint8_t> EncodeIco(const IconPicture& picture, const std::vector<int>& sizes) {
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes) {
        const std::vector<uint32_t> argb = picture(size);
        std::vector<uint8_t> img;
        const uint32_t maskRow = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
        PutLe32(img, 40);
        PutLe32(img, static_cast<uint32_t>(size));
        PutLe32(img, static_cast<uint32_t>(size) * 2); // colour rows plus mask rows
        PutLe16(img, 1);
        PutLe16(img, 32);
        PutLe32(img, 0);
        PutLe32(img, static_cast<uint32_t>(size * size * 4) + maskRow * size);
        for (int i = 0; i < 4; ++i)
            PutLe32(img, 0);
        for (int y = size - 1; y >= 0; --y)
            for (int x = 0; x < size; ++x)
                PutLe32(img, argb[static_cast<size_t>(y) * size + x]);
        for (int y = size - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskRow, 0);
            for (int x = 0; x < size; ++x)
                if ((argb[static_cast<size_t>(y) * size + x] >> 24) == 0)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            img.insert(img.end(), row.begin(), row.end());
        }
        images.push_back(img);
    }
    std::vector<uint8_t> ico;
    PutLe16(ico, 0);
    PutLe16(ico, 1); // icon
    PutLe16(ico, static_cast<uint32_t>(sizes.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        ico.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        ico.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        ico.push_back(0);
        ico.push_back(0);
        PutLe16(ico, 1);
        PutLe16(ico, 32);
        PutLe32(ico, static_cast<uint32_t>(images[i].size()));
        PutLe32(ico, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& img : images)
        ico.insert(ico.end(), img.begin(), img.end());
    return ico;
}

std::vector<uint8_t> EncodePng(const std::vector<uint32_t>& argb, int size) {
    return EncodePng(size, size, argb, true);
}

std::string CheckIco(const std::vector<uint8_t>& ico, const std::vector<int>& sizes) {
    if (ico.size() < 6 || Get16(ico, 0) != 0 || Get16(ico, 2) != 1)
        return "icon: not an .ico file";
    if (Get16(ico, 4) != sizes.size())
        return "icon: " + std::to_string(Get16(ico, 4)) + " images, expected " + std::to_string(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        if (entry + 16 > ico.size())
            return "icon: directory cut short";
        const uint32_t bytes = Get32(ico, entry + 8), offset = Get32(ico, entry + 12);
        if (ico[entry] != sizes[i] || ico[entry + 1] != sizes[i] || Get16(ico, entry + 6) != 32)
            return "icon: image " + std::to_string(i) + " is not " + std::to_string(sizes[i]) + "x" +
                   std::to_string(sizes[i]) + " at 32 bits";
        if (offset + static_cast<uint64_t>(bytes) > ico.size() || bytes < 40 ||
            Get32(ico, offset + 4) != static_cast<uint32_t>(sizes[i]) ||
            Get32(ico, offset + 8) != static_cast<uint32_t>(sizes[i]) * 2)
            return "icon: image " + std::to_string(i) + " has a bad bitmap header";
        const uint32_t expected = 40 + sizes[i] * sizes[i] * 4 + ((sizes[i] + 31) / 32) * 4 * sizes[i];
        if (bytes != expected)
            return "icon: image " + std::to_string(i) + " has " + std::to_string(bytes) + " bytes, expected " +
                   std::to_string(expected);
    }
    return "";
}

std::string CheckPng(const std::vector<uint8_t>& png, int size) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 33 || !std::equal(signature, signature + 8, png.begin()))
        return "png: not a PNG file";
    if (std::string(png.begin() + 12, png.begin() + 16) != "IHDR")
        return "png: no header chunk";
    if (GetBig32(png, 16) != static_cast<uint32_t>(size) || GetBig32(png, 20) != static_cast<uint32_t>(size))
        return "png: " + std::to_string(GetBig32(png, 16)) + "x" + std::to_string(GetBig32(png, 20)) + ", expected " +
               std::to_string(size) + "x" + std::to_string(size);
    if (png[24] != 8 || png[25] != 6)
        return "png: not 8-bit RGBA";
    return "";
}
