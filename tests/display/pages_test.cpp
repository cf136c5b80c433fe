// The rendered pages: glyph cells from FONT, tinted by the page row's
// gradient colour; the lock's pitch honoured; the page copy into view.
#include <algorithm>

#include "scene_fixture.h"

namespace {

using PagesTest = SceneTest;

TEST(TextGradient, TwoLinearPieces) {
    struct Case {
        int row;
        uint32_t pixel;
    };
    const Case cases[] = {
        {0, 0xF75900},   {62, 0xF77000},  {63, 0xF87100},  {190, 0xF9A000},
        {191, 0xFAA100}, {287, 0xFCC500}, {382, 0xFDE900}, {383, 0xFEEA00},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RgbPixel(textGradient[c.row]), c.pixel) << "row " << c.row;
    for (int r = 1; r < PAGE_HEIGHT; ++r) {
        EXPECT_GE(textGradient[r][0], textGradient[r - 1][0]);
        EXPECT_GE(textGradient[r][1], textGradient[r - 1][1]);
        EXPECT_EQ(textGradient[r][2], 0);
    }
}

// Every code 0..255: codes 32..129 have their own cell, 127 the corner mark
// in cell 95, everything else the blank cell of code 32.
TEST(GlyphSourceX, EveryCode) {
    for (int code = 0; code < 256; ++code) {
        const int expected = code < 32 || code > 129 ? 0 : 8 * (code - 32);
        EXPECT_EQ(GlyphSourceX(static_cast<uint8_t>(code)), expected) << "code " << code;
    }
    EXPECT_EQ(GlyphSourceX(127), 8 * 95);
    EXPECT_EQ(GlyphSourceX(128), 8 * 96);
    EXPECT_EQ(GlyphSourceX(129), 8 * 97);
    EXPECT_EQ(GlyphSourceX(130), 0);
    EXPECT_EQ(GlyphSourceX(31), 0);
}

// The release text as the program finds it: the TEXT resource.
const uint8_t* ReleaseTextResource() {
    ResourceBytes text{};
    EXPECT_TRUE(OsFindResource(OsModuleHandle(), "TEXT", RT_RCDATA_TYPE, &text));
    EXPECT_EQ(text.size, static_cast<uint32_t>(RELEASE_TEXT_SIZE));
    return text.data;
}

// What RenderPages must produce at (x, row) of page `page` (0..3), from the
// FONT surface as loaded and the release text.
uint32_t ExpectedPagePixel(const uint8_t* text, int page, int x, int row) {
    const uint8_t code = text[2560 * page + 80 * (row / 12) + x / 8];
    const int cellX = code >= 32 && code <= 129 ? 8 * (code - 32) : 0;
    const uint32_t fontPixel = HeadlessPixel(display.font, cellX + x % 8, row % 12);
    return (fontPixel & 0x00FFFFFFu) == 0 ? RgbPixel(textGradient[row]) : fontPixel;
}

void ExpectAllPagesRendered() {
    const uint8_t* text = ReleaseTextResource();
    ASSERT_NE(text, nullptr);
    for (int p = 0; p < PAGE_COUNT; ++p) {
        for (int row = 0; row < PAGE_HEIGHT; ++row) {
            for (int x = 0; x < PAGE_WIDTH; ++x) {
                ASSERT_EQ(HeadlessPixel(display.page, x, PAGE_HEIGHT * p + row), ExpectedPagePixel(text, p, x, row))
                    << "page " << p + 1 << " row " << row << " x " << x;
            }
        }
    }
}

// Rows 0 and 11 of every font cell get a glyph pixel in column 3, and one
// cell pixel a colour that is neither background nor glyph, so the first and
// last page rows hold glyph pixels whatever the artwork draws.
void MarkFontEdges() {
    for (int cell = 0; cell < 98; ++cell) {
        HeadlessSetPixel(display.font, 8 * cell + 3, 0, 0);
        HeadlessSetPixel(display.font, 8 * cell + 3, 11, 0);
    }
    HeadlessSetPixel(display.font, 5, 0, 0x123456); // blank cell of code 32
}

TEST_F(PagesTest, GlyphPixelsTakeTheGradientOfTheirPageRow) { ExpectAllPagesRendered(); }

// The pages come from whatever TEXT resource the program finds: every code
// 0..255 in turn, so each cell shows a different one from the built-in text.
TEST_F(PagesTest, AnotherTextResourceIsWhatThePagesShow) {
    std::vector<uint8_t> text(RELEASE_TEXT_SIZE);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>(i * 7 + i / 256);
    HeadlessSetResource("TEXT", RT_RCDATA_TYPE, text);
    ReleaseDisplay();
    ASSERT_TRUE(InitDisplay(mainWindow));
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    ASSERT_NE(display.text, nullptr);
    EXPECT_TRUE(std::equal(text.begin(), text.end(), display.text));
    ExpectAllPagesRendered();
}

TEST_F(PagesTest, FirstAndLastRowOfEveryPageAreOrangeAndYellow) {
    MarkFontEdges();
    ASSERT_TRUE(RenderPages());
    for (int p = 1; p <= PAGE_COUNT; ++p) {
        for (int x = 3; x < PAGE_WIDTH; x += 8) {
            ASSERT_EQ(PagePixel(p, x, 0), 0xF75900u) << "page " << p << " x " << x;
            ASSERT_EQ(PagePixel(p, x, 383), 0xFEEA00u) << "page " << p << " x " << x;
        }
    }
    // Only pixels of exactly 0 are tinted: the odd font pixel stays wherever
    // a blank (code 32) cell was drawn on a page's row 0.
    int oddPixels = 0;
    const uint8_t* text = ReleaseTextResource();
    for (int p = 1; p <= PAGE_COUNT; ++p)
        for (int c = 0; c < TEXT_COLUMNS; ++c)
            if (text[2560 * (p - 1) + c] == 32) {
                EXPECT_EQ(PagePixel(p, 8 * c + 5, 0), 0x123456u);
                ++oddPixels;
            }
    EXPECT_GT(oddPixels, 0);
    ExpectAllPagesRendered();
}

// The top byte of a 32-bit DirectDraw pixel is undefined: Wine's copies and
// fills set it to 0xFF. Black glyph pixels are black by their colour bits.
TEST_F(PagesTest, BlackWithTheUndefinedTopByteSetIsTintedToo) {
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 784; ++x)
            if (HeadlessPixel(display.font, x, y) == 0)
                HeadlessSetPixel(display.font, x, y, 0xFF000000u);
    ASSERT_TRUE(RenderPages());
    ExpectAllPagesRendered();
}

TEST_F(PagesTest, WidePitchIsHonouredAndItsPaddingUntouched) {
    struct Case {
        const char* name;
        int padding; // bytes beyond the 2560 of a row
    };
    const Case cases[] = {{"one pixel", 4}, {"sixteen pixels", 64}, {"a second row", 2560}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetProcessState();
        StartScene();
        ReleaseDisplay();
        HeadlessSetPitchPadding("PAGE", c.padding);
        ASSERT_TRUE(InitDisplay(mainWindow));
        ASSERT_EQ(HeadlessPitch(display.page), 2560 + c.padding);
        MarkFontEdges();
        ASSERT_TRUE(RenderPages());
        ExpectAllPagesRendered();
        for (int y = 0; y < PAGE_COUNT * PAGE_HEIGHT; ++y)
            for (int b = 0; b < c.padding; ++b)
                ASSERT_EQ(HeadlessPaddingByte(display.page, b, y), 0xA5u) << y;
    }
}

TEST_F(PagesTest, FailingGlyphCopyLockOrUnlockIsReportedAsFalse) {
    struct Case {
        const char* operation;
        const char* target;
        int skip;
    };
    const Case cases[] = {{"BltFast", "FONT>PAGE", 0}, {"BltFast", "FONT>PAGE", 10239}, {"Lock", "PAGE", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.skip));
        HeadlessInjectFault(c.operation, c.target, FaultMode::Once, c.skip);
        EXPECT_FALSE(RenderPages());
        HeadlessClearFaults();
    }
    EXPECT_TRUE(RenderPages());
    ExpectAllPagesRendered();
    // Last, as a failed unlock leaves the surface locked.
    HeadlessInjectFault("Unlock", "PAGE");
    EXPECT_FALSE(RenderPages());
}

TEST_F(PagesTest, CopyPageResetsTheRevealOnlyAfterACompletedWipe) {
    // Set-up copied page 1 with slideLine 384: wipe rows and reveal reset.
    EXPECT_EQ(scene.slideLine, 0);
    EXPECT_EQ(scene.slideLineBottom, 383);
    for (int i = 0; i < PAGE_LINES; ++i) {
        EXPECT_EQ(scene.revealLines[i].step, 0u);
        EXPECT_EQ(scene.revealLines[i].delay, 2 * i);
    }

    // In the middle of a wipe: only the pixels change.
    scene.slideLine = 100;
    scene.slideLineBottom = 283;
    scene.revealLines[3] = RevealLine{50, 0};
    ASSERT_TRUE(CopyPage(3));
    EXPECT_EQ(Pixels(display.viewpage), [] {
        std::vector<uint32_t> page;
        for (int y = 0; y < PAGE_HEIGHT; ++y)
            for (int x = 0; x < PAGE_WIDTH; ++x)
                page.push_back(PagePixel(3, x, y));
        return page;
    }());
    EXPECT_EQ(scene.slideLine, 100);
    EXPECT_EQ(scene.slideLineBottom, 283);
    EXPECT_EQ(scene.revealLines[3].step, 50u);

    // A failing copy leaves the wipe state alone even at 384.
    scene.slideLine = 384;
    HeadlessInjectFault("BltFast", "PAGE>VIEWPAGE");
    EXPECT_FALSE(CopyPage(2));
    EXPECT_EQ(scene.slideLine, 384);
    EXPECT_EQ(scene.revealLines[3].step, 50u);
}

} // namespace
