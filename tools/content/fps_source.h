// The frame counter's editable source: 14 cells of 10x8 in the order
// F, P, S, :, 0 to 9, each a line `= X` and 8 rows of 10 characters, `#`
// white and `.` black. Lines starting with `;` and blank lines are comments.
#pragma once

#include <string>

#include "tools/writers/bmp_writer.h"

constexpr uint32_t FPS_OUTLINE = 0x0A0A0A;

// Builds the 170x8 four-bit FPS image: the label cells at columns 0 to 39,
// three black digit slots at 40 to 69, digit d at 70 + 10d, every white
// pixel ringed by the near-black outline. Colour table: 0 black, 1 outline,
// 2 white, the rest black. False with "line N: ..." in `error` on a
// malformed source or white too close to a cell's edge for its outline.
bool ParseFpsSource(const std::string& source, IndexedImage& fps, std::string& error);

// Column rules of the built picture: blank digit slots, every label and
// digit cell drawn, white kept off the cell edges. "" when they hold.
std::string CheckFpsColumns(const IndexedImage& fps);
