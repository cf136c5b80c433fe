// The release text: 128 lines of exactly 80 characters, codes 32 to 127,
// linked in as 10240 bytes without line ends; four pages of 32 lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int TEXT_LINES = 128;
constexpr int TEXT_COLUMNS = 80;
constexpr int TEXT_PAGE_LINES = 32;
constexpr size_t TEXT_BYTES = TEXT_LINES * TEXT_COLUMNS;
// The box corner mark, code 127, is invisible in an editor, so the source
// writes it as a backtick; the built text holds no backtick.
constexpr char TEXT_CORNER_STANDIN = '`';
constexpr uint8_t TEXT_CORNER = 127;

// Turns the editable source (LF or CRLF line ends, an optional end after the
// last line) into the 10240 linked-in bytes, mapping the backtick to code
// 127, and checks the result with CheckReleaseText. False with a message
// that names the wrong line in `error` otherwise.
bool BuildReleaseText(const std::string& source, std::vector<uint8_t>& text, std::string& error);

// The rules of the built text: exactly 10240 bytes, codes 32 to 127 only,
// and on lines 29 to 31 of pages 1 to 3 a box drawn with the corner mark,
// `-`/`=` edges and `|` sides whose middle line starts with "LMB=Quit" and
// ends with "RMB=Next page"; page 4 has no such box. "" when all hold.
std::string CheckReleaseText(const std::vector<uint8_t>& text);
