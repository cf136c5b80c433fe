// placeholder_art OUTDIR
// Simple generated stand-ins for FONT, ANI, FPS and the release text, with
// the final sizes, depths and colour tables, until the real artwork builders
// take their place.
#include <cstdio>
#include <string>

#include "tools/bmp_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const std::string dir = argv[1];

    IndexedImage font{784, 12, 1, {0x5D1759, 0x000000}, std::vector<uint8_t>(784 * 12, 0)};
    for (int cell = 1; cell < 98; ++cell)
        for (int y = 2; y < 10; ++y)
            for (int x = 1; x < 7; ++x)
                if (y == 2 || y == 9 || x == 1 || x == 6 || ((x + y + cell) % 3 == 0))
                    font.pixels[y * 784 + cell * 8 + x] = 1;

    IndexedImage ani{5120, 64, 8, {}, std::vector<uint8_t>(5120 * 64, 0)};
    for (int i = 0; i < 256; ++i) ani.palette.push_back(static_cast<uint32_t>(i << 16 | (i / 2) << 8 | (255 - i)));
    ani.palette[0] = 0;
    for (int f = 0; f < 40; ++f)
        for (int y = 8; y < 56; ++y)
            for (int x = 0; x < 128; ++x) {
                const int cx = 64 + (f < 20 ? f : 40 - f) * 2 - 20;
                if ((x - cx) * (x - cx) + (y - 32) * (y - 32) < 400) ani.pixels[y * 5120 + f * 128 + x] = static_cast<uint8_t>(1 + (x + y + f * 6) % 255);
            }

    IndexedImage fps{170, 8, 4, {0x000000, 0x0A0A0A, 0xFFFFFF}, std::vector<uint8_t>(170 * 8, 0)};
    for (int d = 0; d < 14; ++d) {
        const int x0 = d < 4 ? d * 10 : 70 + (d - 4) * 10;
        for (int y = 1; y < 7; ++y)
            for (int x = 1; x < 8; ++x)
                fps.pixels[y * 170 + x0 + x] = (y == 1 || y == 6 || x == 1 || x == 7) ? 2 : (y + x + d) % 2;
    }

    std::string text;
    for (int line = 0; line < 128; ++line) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%-80s", ("  QUILLON placeholder text, page " + std::to_string(line / 32 + 1) +
                                                 ", line " + std::to_string(line % 32)).c_str());
        text.append(buf, 80);
    }
    std::FILE* t = std::fopen((dir + "/release.bin").c_str(), "wb");
    if (!t) return 1;
    std::fwrite(text.data(), 1, text.size(), t);
    std::fclose(t);
    return WriteBmp(dir + "/FONT.bmp", font) && WriteBmp(dir + "/ANI.bmp", ani) && WriteBmp(dir + "/FPS.bmp", fps) ? 0 : 1;
}
