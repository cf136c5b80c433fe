// The static pictures: the background bars and the four rendered text pages,
// the copy of one page into view and the reset of the line reveal.
#pragma once

#include <cstdint>

constexpr uint32_t MIDDLE_COLOUR = 0x5D1759;
constexpr int PAGE_WIDTH = 640;
constexpr int PAGE_HEIGHT = 384;
constexpr int PAGE_COUNT = 4;
constexpr int TEXT_COLUMNS = 80;
constexpr int RELEASE_TEXT_SIZE = 10240;

// The release text, linked in: 128 lines of 80 codes, no line ends.
extern const uint8_t ReleaseText[RELEASE_TEXT_SIZE];

extern const uint8_t barColours[23][3];
extern const uint8_t textGradient[PAGE_HEIGHT][3];

// Each returns false at the first failing surface operation, reporting
// nothing; the caller reports.
bool DrawBackground();
bool RenderPages();
bool CopyPage(int page);
void ResetReveal();
