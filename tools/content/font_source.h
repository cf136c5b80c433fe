// The screen font's editable source: one cell of 8x12 pixels per code from
// 32 to 129, in code order, each written as a line `= CODE label` and 12
// rows of 8 characters, `#` for a glyph pixel and `.` for background.
// Lines starting with `;` and blank lines are comments.
#pragma once

#include <string>

#include "tools/writers/bmp_writer.h"

constexpr int FONT_FIRST_CODE = 32;
constexpr int FONT_LAST_CODE = 129;
constexpr int FONT_CELL_WIDTH = 8;
constexpr int FONT_CELL_HEIGHT = 12;
// Vertical metrics of letters and digits: capitals, digits and ascenders
// from row 1, the x-height from row 3, the baseline on row 8, descenders
// down to row 10. Rows 0 and 11 stay free for the air between lines.
constexpr int FONT_CAP_ROW = 1;
constexpr int FONT_X_HEIGHT_ROW = 3;
constexpr int FONT_BASELINE_ROW = 8;
constexpr int FONT_DESCENDER_ROW = 10;

// Builds the 784x12 one-bit FONT image (entry 0 = 0x5D1759 background,
// entry 1 = black glyph). False with "line N: ..." in `error` when the
// source is malformed or a cell breaks a rule of CheckFontCells.
bool ParseFontSource(const std::string& source, IndexedImage& font, std::string& error);

// The rules of the cells themselves: code 32 blank, every other code drawn,
// no cell touching both its top and its bottom row (lines of text would
// merge), and letters and digits spanning exactly the rows of their kind
// (the metrics above). "" when all hold, else the first fault, naming the code.
std::string CheckFontCells(const IndexedImage& font);
