#include "tools/content/font_source.h"

#include <cstdlib>
#include <vector>

#include "tools/content/source_reader.h"

namespace {

constexpr int CELLS = FONT_LAST_CODE - FONT_FIRST_CODE + 1;
constexpr int FONT_WIDTH = CELLS * FONT_CELL_WIDTH;

bool RowHasInk(const IndexedImage& font, int cell, int row) {
    for (int x = 0; x < FONT_CELL_WIDTH; ++x)
        if (font.pixels[static_cast<size_t>(row) * font.width + cell * FONT_CELL_WIDTH + x] != 0)
            return true;
    return false;
}

// The rows a letter or digit must span, so that text keeps one baseline,
// one cap height and one x-height.
struct Metrics {
    int top;    // first row with ink
    int bottom; // last row with ink
};

bool LetterMetrics(int code, Metrics& m) {
    const std::string descenders = "gjpqy";
    const std::string ascenders = "bdfhklt";
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        m = {FONT_CAP_ROW, FONT_BASELINE_ROW};
    else if (code >= 'a' && code <= 'z') {
        const char c = static_cast<char>(code);
        // i and j carry their dot at the cap height.
        m.top = ascenders.find(c) != std::string::npos || c == 'i' || c == 'j' ? FONT_CAP_ROW : FONT_X_HEIGHT_ROW;
        m.bottom = descenders.find(c) != std::string::npos ? FONT_DESCENDER_ROW : FONT_BASELINE_ROW;
    } else
        return false;
    return true;
}

std::string MetricsFault(const IndexedImage& font, int cell) {
    const int code = FONT_FIRST_CODE + cell;
    Metrics m{};
    if (!LetterMetrics(code, m))
        return "";
    int top = -1, bottom = -1;
    for (int row = 0; row < FONT_CELL_HEIGHT; ++row)
        if (RowHasInk(font, cell, row)) {
            if (top < 0)
                top = row;
            bottom = row;
        }
    if (top != m.top || bottom != m.bottom)
        return "code " + std::to_string(code) + " (" + static_cast<char>(code) + ") spans rows " + std::to_string(top) +
               " to " + std::to_string(bottom) + "; it must span rows " + std::to_string(m.top) + " to " +
               std::to_string(m.bottom) + " like the other " +
               (code <= '9'   ? "digits"
                : code <= 'Z' ? "capitals"
                              : "letters of its kind");
    return "";
}

std::string CellFault(const IndexedImage& font, int cell) {
    const int code = FONT_FIRST_CODE + cell;
    bool ink = false;
    for (int row = 0; row < FONT_CELL_HEIGHT; ++row)
        ink = ink || RowHasInk(font, cell, row);
    if (code == 32 && ink)
        return "code 32 (space) must be blank";
    if (code != 32 && !ink)
        return "code " + std::to_string(code) + " is blank; only code 32 may be";
    if (RowHasInk(font, cell, 0) && RowHasInk(font, cell, FONT_CELL_HEIGHT - 1))
        return "code " + std::to_string(code) +
               " touches both the top and the bottom row of its cell; leave one of them empty";
    return MetricsFault(font, cell);
}

} // namespace

std::string CheckFontCells(const IndexedImage& font) {
    if (font.width != FONT_WIDTH || font.height != FONT_CELL_HEIGHT)
        return "FONT: wrong size";
    for (int cell = 0; cell < CELLS; ++cell) {
        const std::string fault = CellFault(font, cell);
        if (!fault.empty())
            return "FONT: " + fault;
    }
    return "";
}

bool ParseFontSource(const std::string& source, IndexedImage& font, std::string& error) {
    font = IndexedImage{FONT_WIDTH,
                        FONT_CELL_HEIGHT,
                        1,
                        {0x5D1759, 0x000000},
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
        const long given =
            header.text.size() > 1 && header.text[0] == '=' ? std::strtol(header.text.c_str() + 1, &end, 10) : -1;
        if (given != code) {
            error = AtLine(header.number, "expected the header `= " + std::to_string(code) +
                                              "` of the next cell, found `" + header.text + "`");
            return false;
        }
        for (int row = 0; row < FONT_CELL_HEIGHT; ++row) {
            if (at >= lines.size()) {
                error = "code " + std::to_string(code) + " ends after " + std::to_string(row) + " of its 12 rows";
                return false;
            }
            const SourceLine& line = lines[at++];
            const bool shaped =
                line.text.size() == FONT_CELL_WIDTH && line.text.find_first_not_of("#.") == std::string::npos;
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
