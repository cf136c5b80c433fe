// artpreview: pictures of the built resources for a person to look at
// (PPM, enlarged where the resource is small). Not part of the build.
//   artpreview font FONT.bmp OUT.ppm              the cells, 16 a row, x4
//   artpreview ani ANI.bmp OUT.ppm                the 40 frames, 8 a row, x2
//   artpreview fps FPS.bmp OUT.ppm                the counter strip, x6, on grey
//   artpreview page FONT.bmp TEXT.bin N OUT.ppm [ANI.bmp]
//                                                 page N (1-4) on the 640x480 screen
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/tool_options.h"
#include "tools/content/resource_check.h"

namespace {

struct Picture {
    int width, height;
    std::vector<uint32_t> rgb;
    void Set(int x, int y, uint32_t c) { rgb[static_cast<size_t>(y) * width + x] = c; }
};

bool WritePpm(const std::string& path, const Picture& p) {
    std::vector<uint8_t> out;
    const std::string header = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    out.assign(header.begin(), header.end());
    for (uint32_t c : p.rgb)
        out.insert(out.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    return WriteWholeFile(path, out);
}

bool Load(const std::string& path, IndexedImage& image) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes) || !DecodeBmp(bytes, image, error)) {
        std::fprintf(stderr, "artpreview: %s: cannot read %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

uint32_t At(const IndexedImage& i, int x, int y) { return i.palette[i.pixels[static_cast<size_t>(y) * i.width + x]]; }

// Row r of a page's text gradient: orange at the top, yellow at the bottom.
uint32_t Gradient(int r) {
    const int red = r <= 190 ? 247 + (r + 1) / 64 : 250 + (r - 191) / 48;
    const int green = r <= 190 ? 89 + 3 * (r + 1) / 8 : 161 + 73 * (r - 191) / 192;
    return static_cast<uint32_t>(red << 16 | green << 8);
}

Picture Screen(const IndexedImage& font, const std::vector<uint8_t>& text, int page, const IndexedImage* ani) {
    static const uint32_t bars[23] = {0x010004, 0x020109, 0x04020E, 0x050313, 0x060418, 0x08051D, 0x090621, 0x0A0726,
                                      0x0C082B, 0x0D0930, 0x0E0A35, 0x100B3A, 0x160C3C, 0x1C0D3F, 0x220E42, 0x280F45,
                                      0x2E1048, 0x34114B, 0x3A124E, 0x401351, 0x461454, 0x4C1557, 0x52165A};
    Picture p{640, 480, std::vector<uint32_t>(640 * 480, 0)};
    for (int y = 47; y <= 432; ++y)
        for (int x = 0; x < 640; ++x)
            p.Set(x, y, 0x5D1759);
    for (int k = 0; k < 23; ++k)
        for (int x = 0; x < 640; ++x) {
            p.Set(x, 24 + k, bars[k]);
            p.Set(x, 455 - k, bars[k]);
        }
    for (int line = 0; line < 32; ++line)
        for (int col = 0; col < 80; ++col) {
            const int code = text[static_cast<size_t>((page - 1) * 2560 + line * 80 + col)];
            const int sx = code >= 32 && code <= 129 ? 8 * (code - 32) : 0;
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 8; ++x) {
                    const uint32_t c = At(font, sx + x, y);
                    p.Set(col * 8 + x, 48 + line * 12 + y, c == 0 ? Gradient(line * 12 + y) : c);
                }
        }
    if (ani)
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x)
                if (At(*ani, x, y) != 0)
                    p.Set(510 + x, 416 + y, At(*ani, x, y));
    return p;
}

} // namespace

const char USAGE[] =
    "usage: artpreview font|ani|fps BMP OUT.ppm | page FONT.bmp TEXT.bin N OUT.ppm [ANI.bmp]\n"
    "Pictures of the built resources for a person to look at (PPM).\n"
    "Exit status: 0 written, 1 a file fails, 2 usage.\n";

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "artpreview", USAGE, true); done >= 0)
        return done;
    const std::string mode = argc > 1 ? argv[1] : "";
    IndexedImage image;
    if (mode == "font" && argc == 4 && Load(argv[2], image)) {
        constexpr int Z = 4;
        Picture p{16 * 9 * Z, 7 * 13 * Z, std::vector<uint32_t>(16 * 9 * Z * 7 * 13 * Z, 0x202020)};
        for (int cell = 0; cell < 98; ++cell)
            for (int y = 0; y < 12 * Z; ++y)
                for (int x = 0; x < 8 * Z; ++x) {
                    const uint32_t c = At(image, cell * 8 + x / Z, y / Z);
                    p.Set((cell % 16) * 9 * Z + x, (cell / 16) * 13 * Z + y, c == 0 ? 0xF7A000 : c);
                }
        return WritePpm(argv[3], p) ? 0 : 1;
    }
    if (mode == "ani" && argc == 4 && Load(argv[2], image)) {
        constexpr int Z = 2;
        Picture p{8 * 130 * Z, 5 * 66 * Z, std::vector<uint32_t>(8 * 130 * Z * 5 * 66 * Z, 0x404040)};
        for (int f = 0; f < 40; ++f)
            for (int y = 0; y < 64 * Z; ++y)
                for (int x = 0; x < 128 * Z; ++x)
                    p.Set((f % 8) * 130 * Z + Z + x, (f / 8) * 66 * Z + Z + y, At(image, f * 128 + x / Z, y / Z));
        return WritePpm(argv[3], p) ? 0 : 1;
    }
    if (mode == "fps" && argc == 4 && Load(argv[2], image)) {
        constexpr int Z = 6;
        Picture p{172 * Z, 10 * Z, std::vector<uint32_t>(172 * Z * 10 * Z, 0x3A124E)};
        for (int y = 0; y < 8 * Z; ++y)
            for (int x = 0; x < 170 * Z; ++x) {
                const uint32_t c = At(image, x / Z, y / Z);
                if (c != 0)
                    p.Set(Z + x, Z + y, c);
            }
        return WritePpm(argv[3], p) ? 0 : 1;
    }
    if (mode == "page" && (argc == 6 || argc == 7) && Load(argv[2], image)) {
        std::vector<uint8_t> text;
        IndexedImage ani;
        const int page = std::stoi(argv[4]);
        if (!ReadWholeFile(argv[3], text) || text.size() != 10240 || page < 1 || page > 4)
            return 1;
        if (argc == 7 && !Load(argv[6], ani))
            return 1;
        return WritePpm(argv[5], Screen(image, text, page, argc == 7 ? &ani : nullptr)) ? 0 : 1;
    }
    std::fputs(USAGE, stderr);
    return 2;
}
