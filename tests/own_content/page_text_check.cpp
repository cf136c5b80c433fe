// page_text_check PAGE.ppm FONT.bmp TEXT.txt
// Reads the text back from a picture of the program's PAGE surface (the four
// rendered pages, 640x1536, as `snapshot --ppm --surface PAGE` writes it):
// every 8x12 cell must show exactly the glyph the font has for the
// character the text source holds there, a glyph pixel in the tint of its
// row, the rest in the middle colour. Prints the first cell that does not,
// and exits 1; 0 when all 10240 cells show their character.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/content/release_text.h"
#include "tools/content/resource_check.h"

namespace {

constexpr uint32_t MIDDLE = 0x5D1759;

bool ReadPpm(const std::string& path, int& width, int& height, std::vector<uint32_t>& pixels) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255)
        return false;
    in.get();
    std::vector<unsigned char> raw(static_cast<size_t>(width) * height * 3);
    if (!in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size())))
        return false;
    pixels.resize(raw.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint32_t>(raw[3 * i]) << 16 | raw[3 * i + 1] << 8 | raw[3 * i + 2];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: page_text_check PAGE.ppm FONT.bmp TEXT.txt\n");
        return 2;
    }
    int width = 0, height = 0;
    std::vector<uint32_t> page;
    if (!ReadPpm(argv[1], width, height, page) || width != 640 || height != 4 * 384) {
        std::fprintf(stderr, "page_text_check: %s: not a 640x1536 PPM of the pages\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> fontBytes, sourceBytes, text;
    IndexedImage font;
    std::string error;
    if (!ReadWholeFile(argv[2], fontBytes) || !DecodeBmp(fontBytes, font, error)) {
        std::fprintf(stderr, "page_text_check: %s: cannot read the font %s\n", argv[2], error.c_str());
        return 1;
    }
    // The text as its author wrote it, read independently of the build:
    // 128 lines of 80, the backtick standing for the corner mark.
    if (!ReadWholeFile(argv[3], sourceBytes)) {
        std::fprintf(stderr, "page_text_check: %s: cannot read\n", argv[3]);
        return 1;
    }
    std::istringstream lines(std::string(sourceBytes.begin(), sourceBytes.end()));
    for (std::string line; std::getline(lines, line);)
        for (char c : line)
            text.push_back(c == TEXT_CORNER_STANDIN ? TEXT_CORNER : static_cast<uint8_t>(c));
    if (text.size() != TEXT_BYTES) {
        std::fprintf(stderr, "page_text_check: %s: not 128 lines of 80\n", argv[3]);
        return 1;
    }
    for (size_t cell = 0; cell < TEXT_BYTES; ++cell) {
        const int line = static_cast<int>(cell / TEXT_COLUMNS);
        const int column = static_cast<int>(cell % TEXT_COLUMNS);
        const int sourceX = (text[cell] - 32) * 8;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool glyph = font.pixels[static_cast<size_t>(y) * font.width + sourceX + x] == 1;
                const uint32_t shown = page[static_cast<size_t>(line * 12 + y) * width + column * 8 + x];
                if (glyph == (shown == MIDDLE)) {
                    std::fprintf(stderr,
                                 "page_text_check: page %d, line %d, column %d does not show '%c' (pixel %d,%d)\n",
                                 line / TEXT_PAGE_LINES + 1, line % TEXT_PAGE_LINES + 1, column + 1, text[cell], x, y);
                    return 1;
                }
            }
    }
    std::printf("ok: all 10240 cells of the four pages show the text of %s\n", argv[3]);
    return 0;
}
