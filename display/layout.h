// The screen's geometry: where each piece of the picture sits on the
// 640x480 screen, and the size of every surface. Everything the display
// draws is placed by these names; a number that can be said in them is.
#pragma once

// The screen and its flip chain (PRIMARY, BACKBUF, BACKGROUND).
constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;
constexpr int SCREEN_BITS_PER_PIXEL = 32;

// The black strips at the top and the bottom of the screen, where the stars
// drift and the background is copied again every frame.
constexpr int STRIP_HEIGHT = 24;
constexpr int BOTTOM_STRIP_Y = SCREEN_HEIGHT - STRIP_HEIGHT; // 456

// The background: bar k on rows 24+k and 455-k, then the flat middle field.
constexpr int BAR_COUNT = 23;
constexpr int BAR_TOP_ROW = STRIP_HEIGHT;
constexpr int MIDDLE_TOP_ROW = 47; // the middle field: rows 47..432
constexpr int MIDDLE_BOTTOM_ROW = 432;

// The glyphs: FONT is one row of 8x12 cells for the codes 32..129.
constexpr int GLYPH_WIDTH = 8;
constexpr int GLYPH_HEIGHT = 12;
constexpr int FIRST_GLYPH_CODE = 32;
constexpr int LAST_GLYPH_CODE = 129;
constexpr int FONT_WIDTH = GLYPH_WIDTH * (LAST_GLYPH_CODE - FIRST_GLYPH_CODE + 1); // 784

// A page: 32 lines of 80 characters; PAGE holds the four one below the
// other, VIEWPAGE the one in view, shown from screen row 48.
constexpr int TEXT_COLUMNS = 80;
constexpr int PAGE_LINES = 32;
constexpr int PAGE_COUNT = 4;
constexpr int PAGE_WIDTH = TEXT_COLUMNS * GLYPH_WIDTH; // 640
constexpr int PAGE_HEIGHT = PAGE_LINES * GLYPH_HEIGHT; // 384
constexpr int PAGES_HEIGHT = PAGE_COUNT * PAGE_HEIGHT; // 1536
constexpr int PAGE_AREA_Y = 48;                        // first screen row of the page area
constexpr int WIPE_SOURCE_ROW = 49;                    // a BACKGROUND row of the middle colour

// The animation: ANI holds its 40 frames of 128x64 side by side; the box
// shows one of them at (510, 416).
constexpr int ANI_FRAME_WIDTH = 128;
constexpr int ANI_FRAME_HEIGHT = 64;
constexpr int ANI_FRAME_COUNT = 40;
constexpr int ANI_STRIP_WIDTH = ANI_FRAME_COUNT * ANI_FRAME_WIDTH;  // 5120
constexpr int ANI_LAST_FRAME_X = ANI_STRIP_WIDTH - ANI_FRAME_WIDTH; // 4992
constexpr int ANI_BOX_X = 510;
constexpr int ANI_BOX_Y = 416;

// The counter: FPS holds the label with three digit slots (0..69) and the
// ten digits (70..169); the label goes to (1, 1) of the screen.
constexpr int FPS_WIDTH = 170;
constexpr int FPS_HEIGHT = 8;
constexpr int FPS_LABEL_WIDTH = 70;
constexpr int FPS_DIGIT_WIDTH = 10;
constexpr int FPS_SLOTS_X = 40;  // hundreds, tens, units at 40, 50, 60
constexpr int FPS_DIGITS_X = 70; // digit d at 70 + 10d
constexpr int FPS_SCREEN_X = 1;
constexpr int FPS_SCREEN_Y = 1;

static_assert(PAGE_WIDTH == SCREEN_WIDTH);
static_assert(FPS_DIGITS_X + 10 * FPS_DIGIT_WIDTH == FPS_WIDTH);
