#include "tools/font_source.h"

#include <cstdlib>
#include <vector>

#include "tools/art_source.h"

namespace {

constexpr int CELLS = FONT_LAST_CODE - FONT_FIRST_CODE + 1;
constexpr int FONT_WIDTH = CELLS * FONT_CELL_WIDTH;

bool RowHasInk(const IndexedImage& font, int cell, int row)
{
    for (int x = 0; x < FONT_CELL_WIDTH; ++x)
        if (font.pixels[static_cast<size_t>(row) * font.width + cell * FONT_CELL_WIDTH + x] != 0) return true;
    return false;
}

std::string CellFault(const IndexedImage& font, int cell)
{
    const int code = FONT_FIRST_CODE + cell;
    bool ink = false;
    for (int row = 0; row < FONT_CELL_HEIGHT; ++row) ink = ink || RowHasInk(font, cell, row);
    if (code == 32 && ink) return "code 32 (space) must be blank";
    if (code != 32 && !ink) return "code " + std::to_string(code) + " is blank; only code 32 may be";
    if (RowHasInk(font, cell, 0) && RowHasInk(font, cell, FONT_CELL_HEIGHT - 1))
        return "code " + std::to_string(code) +
               " touches both the top and the bottom row of its cell; leave one of them empty";
    return "";
}

} // namespace

std::string CheckFontCells(const IndexedImage& font)
{
    if (font.width != FONT_WIDTH || font.height != FONT_CELL_HEIGHT) return "FONT: wrong size";
    for (int cell = 0; cell < CELLS; ++cell) {
        const std::string fault = CellFault(font, cell);
        if (!fault.empty()) return "FONT: " + fault;
    }
    return "";
}

bool ParseFontSource(const std::string& source, IndexedImage& font, std::string& error)
{
    font = IndexedImage{FONT_WIDTH, FONT_CELL_HEIGHT, 1, {0x5D1759, 0x000000},
                        std::vector<uint8_t>(static_cast<size_t>(FONT_WIDTH) * FONT_CELL_HEIGHT, 0)};
    const std::vector<SourceLine> lines = MeaningfulLines(source, ';');
    size_t at = 0;
    for (int cell = 0; cell < CELLS; ++cell) {
        const int code = FONT_FIRST_CODE + cell;
        if (at >= lines.size()) {
            error = "the font ends before code " + std::to_string(code) + "; it needs cells for codes 32 to 129";
            return false;
        }
        const SourceLine& header = lines[at++];
        char* end = nullptr;
        const long given = header.text.size() > 1 && header.text[0] == '=' ? std::strtol(header.text.c_str() + 1, &end, 10) : -1;
        if (given != code) {
            error = AtLine(header.number, "expected the header `= " + std::to_string(code) + "` of the next cell, found `" +
                                              header.text + "`");
            return false;
        }
        for (int row = 0; row < FONT_CELL_HEIGHT; ++row) {
            if (at >= lines.size()) {
                error = "code " + std::to_string(code) + " ends after " + std::to_string(row) + " of its 12 rows";
                return false;
            }
            const SourceLine& line = lines[at++];
            const bool shaped = line.text.size() == FONT_CELL_WIDTH &&
                                line.text.find_first_not_of("#.") == std::string::npos;
            if (!shaped) {
                error = AtLine(line.number, "row " + std::to_string(row) + " of code " + std::to_string(code) +
                                                " must be 8 characters of `#` and `.`, found `" + line.text + "`");
                return false;
            }
            for (int x = 0; x < FONT_CELL_WIDTH; ++x)
                font.pixels[static_cast<size_t>(row) * FONT_WIDTH + cell * FONT_CELL_WIDTH + x] = line.text[x] == '#';
        }
        const std::string fault = CellFault(font, cell);
        if (!fault.empty()) {
            error = AtLine(header.number, fault);
            return false;
        }
    }
    if (at < lines.size()) {
        error = AtLine(lines[at].number, "text after the last cell (code 129): `" + lines[at].text + "`");
        return false;
    }
    return true;
}
