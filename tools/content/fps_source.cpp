#include "tools/content/fps_source.h"

#include <vector>

#include "tools/content/source_reader.h"

namespace {

constexpr int WIDTH = 170;
constexpr int HEIGHT = 8;
constexpr int CELL = 10;
constexpr char ORDER[] = "FPS:0123456789";
constexpr int CELLS = sizeof ORDER - 1;
constexpr uint8_t BLACK = 0, OUTLINE = 1, WHITE = 2;

// Column where the cell of ORDER[i] begins: the label at 0..39, the digits
// after the three blank slots.
int CellColumn(int i) { return i < 4 ? i * CELL : 70 + (i - 4) * CELL; }

} // namespace

bool ParseFpsSource(const std::string& source, IndexedImage& fps, std::string& error) {
    fps = IndexedImage{WIDTH, HEIGHT, 4, std::vector<uint32_t>(16, 0x000000),
                       std::vector<uint8_t>(static_cast<size_t>(WIDTH) * HEIGHT, BLACK)};
    fps.palette[OUTLINE] = FPS_OUTLINE;
    fps.palette[WHITE] = 0xFFFFFF;
    const std::vector<SourceLine> lines = MeaningfulLines(source, ';');
    size_t at = 0;
    for (int i = 0; i < CELLS; ++i) {
        const std::string name(1, ORDER[i]);
        if (at >= lines.size()) {
            error = "the source ends before the cell `" + name + "`; it needs F, P, S, : and 0 to 9";
            return false;
        }
        const SourceLine& header = lines[at++];
        if (header.text != "= " + name) {
            error = AtLine(header.number, "expected the header `= " + name + "`, found `" + header.text + "`");
            return false;
        }
        const int x0 = CellColumn(i);
        for (int y = 0; y < HEIGHT; ++y) {
            if (at >= lines.size()) {
                error = "cell `" + name + "` ends after " + std::to_string(y) + " of its 8 rows";
                return false;
            }
            const SourceLine& line = lines[at++];
            if (line.text.size() != CELL || line.text.find_first_not_of("#.") != std::string::npos) {
                error = AtLine(line.number, "row " + std::to_string(y) + " of `" + name +
                                                "` must be 10 characters of `#` and `.`, found `" + line.text + "`");
                return false;
            }
            for (int x = 0; x < CELL; ++x) {
                if (line.text[x] != '#')
                    continue;
                if (x == 0 || x == CELL - 1 || y == 0 || y == HEIGHT - 1) {
                    error = AtLine(line.number,
                                   "white pixel at column " + std::to_string(x) + " of `" + name +
                                       "` leaves no room for its outline; keep white in columns 1-8, rows 1-6");
                    return false;
                }
                fps.pixels[static_cast<size_t>(y) * WIDTH + x0 + x] = WHITE;
            }
        }
        bool ink = false;
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < CELL; ++x)
                ink = ink || fps.pixels[static_cast<size_t>(y) * WIDTH + x0 + x] == WHITE;
        if (!ink) {
            error = AtLine(header.number, "cell `" + name + "` is empty");
            return false;
        }
    }
    if (at < lines.size()) {
        error = AtLine(lines[at].number, "text after the last cell (`9`): `" + lines[at].text + "`");
        return false;
    }
    // The outline: every black pixel next to white (eight neighbours) turns
    // near-black, so the digits stay readable over the stars that pass them.
    std::vector<uint8_t> lit = fps.pixels;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            if (fps.pixels[static_cast<size_t>(y) * WIDTH + x] != BLACK)
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && nx < WIDTH && ny >= 0 && ny < HEIGHT &&
                        fps.pixels[static_cast<size_t>(ny) * WIDTH + nx] == WHITE)
                        lit[static_cast<size_t>(y) * WIDTH + x] = OUTLINE;
                }
        }
    fps.pixels = lit;
    return true;
}

std::string CheckFpsColumns(const IndexedImage& fps) {
    if (fps.width != WIDTH || fps.height != HEIGHT)
        return "FPS: wrong size";
    auto colour = [&](int x, int y) { return fps.palette[fps.pixels[static_cast<size_t>(y) * WIDTH + x]]; };
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 40; x < 70; ++x)
            if (colour(x, y) != 0)
                return "FPS: the digit slots at columns 40 to 69 must be black; column " + std::to_string(x) +
                       " is not";
    for (int i = 0; i < CELLS; ++i) {
        const int x0 = CellColumn(i);
        bool white = false;
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < CELL; ++x) {
                const bool isWhite = colour(x0 + x, y) == 0xFFFFFF;
                white = white || isWhite;
                if (isWhite && (x == 0 || x == CELL - 1 || y == 0 || y == HEIGHT - 1))
                    return std::string("FPS: white on the edge of cell `") + ORDER[i] + "`";
            }
        if (!white)
            return std::string("FPS: cell `") + ORDER[i] + "` at column " + std::to_string(x0) + " is empty";
    }
    return "";
}
