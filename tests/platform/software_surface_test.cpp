// Memory surfaces through the platform interface on the headless backend:
// fills, copies with and without the colour key, pitch padding, rectangle
// checks, locks and the flip chain.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/software_surface.h"
#include "tests/support/process_fixture.h"

namespace {

class SurfaceTest : public ProcessTest {
protected:
    void SetUp() override {
        ProcessTest::SetUp();
        ASSERT_EQ(DdCreate(&dd), RESULT_OK);
        ASSERT_EQ(DdSetDisplayMode(dd, 640, 480, 32, 0, 0), RESULT_OK);
    }

    Surface* Make(const char* label, uint32_t w, uint32_t h, bool colourKey = false) {
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (colourKey ? DDSD_CKSRCBLT : 0);
        d.width = w;
        d.height = h;
        d.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        d.label = label;
        Surface* s = nullptr;
        EXPECT_EQ(DdCreateSurface(dd, &d, &s), RESULT_OK);
        return s;
    }

    // Every pixel of a surface through Lock, honouring the pitch.
    std::vector<uint32_t> Pixels(Surface* s) {
        SurfaceDesc d{};
        EXPECT_EQ(SurfaceLock(s, &d), RESULT_OK);
        std::vector<uint32_t> out;
        for (uint32_t y = 0; y < d.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.surface) + y * d.pitch);
            out.insert(out.end(), row, row + d.width);
        }
        EXPECT_EQ(SurfaceUnlock(s), RESULT_OK);
        return out;
    }

    DirectDraw* dd = nullptr;
};

TEST_F(SurfaceTest, ColourFillCoversExactlyTheRectangle) {
    struct Case {
        const char* name;
        bool whole;
        Rect rect;
    };
    const Case cases[] = {
        {"whole surface", true, {}},
        {"inner", false, {1, 1, 3, 2}},
        {"right and bottom edges are exclusive", false, {4, 3, 6, 4}},
        {"one pixel", false, {0, 0, 1, 1}},
        {"empty", false, {2, 2, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface* s = Make("FILL", 6, 4);
        ASSERT_EQ(SurfaceColorFill(s, nullptr, 0x111111), RESULT_OK);
        ASSERT_EQ(SurfaceColorFill(s, c.whole ? nullptr : &c.rect, 0x5D1759), RESULT_OK);
        const Rect r = c.whole ? Rect{0, 0, 6, 4} : c.rect;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                EXPECT_EQ(HeadlessPixel(s, x, y), inside ? 0x5D1759u : 0x111111u) << x << "," << y;
            }
        SurfaceRelease(s);
    }
}

TEST_F(SurfaceTest, RectanglesReachingOutsideFailWithoutWriting) {
    const Rect bad[] = {
        {-1, 0, 2, 2}, {0, -1, 2, 2}, {0, 0, 7, 1}, {0, 0, 1, 5}, {3, 0, 2, 1}, {0, 3, 1, 2}, {6, 4, 7, 5},
    };
    Surface* s = Make("FILL", 6, 4);
    Surface* src = Make("SRC", 6, 4);
    ASSERT_EQ(SurfaceColorFill(src, nullptr, 0xFFFFFF), RESULT_OK);
    for (const Rect& r : bad) {
        SCOPED_TRACE(::testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom);
        EXPECT_NE(SurfaceColorFill(s, &r, 0xABCDEF), RESULT_OK);
        EXPECT_NE(SurfaceBltFast(s, 0, 0, src, &r, DDBLTFAST_WAIT), RESULT_OK);
    }
    // Destinations that do not fit: the copy fails as a whole, nothing clipped.
    const Rect two{0, 0, 2, 2};
    const int badDest[][2] = {{5, 0}, {0, 3}, {-1, 0}, {0, -1}, {INT32_MAX, 0}, {0, INT32_MAX}};
    for (const auto& p : badDest)
        EXPECT_NE(SurfaceBltFast(s, p[0], p[1], src, &two, DDBLTFAST_WAIT), RESULT_OK);
    for (uint32_t v : Pixels(s))
        ASSERT_EQ(v, 0u);
}

TEST_F(SurfaceTest, BltFastCopiesOpaqueOrSkipsTheBlackKey) {
    Surface* keyed = Make("ANI", 4, 2, true);
    Surface* plain = Make("PLAIN", 4, 2);
    const uint32_t src[2][4] = {{0x000000, 0x102030, 0x000000, 0xFFFFFF}, {0x0A0B0C, 0x000000, 0x000001, 0x000000}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            HeadlessSetPixel(keyed, x, y, src[y][x]);
            HeadlessSetPixel(plain, x, y, src[y][x]);
        }
    struct Case {
        const char* name;
        Surface* source;
        uint32_t flags;
        bool keySkips;
    };
    const Case cases[] = {
        {"opaque", plain, DDBLTFAST_NOCOLORKEY | DDBLTFAST_WAIT, false},
        {"opaque from a keyed surface", keyed, DDBLTFAST_WAIT, false},
        {"colour key", keyed, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface* dest = Make("DEST", 8, 5);
        ASSERT_EQ(SurfaceColorFill(dest, nullptr, 0x777777), RESULT_OK);
        const Rect r{0, 0, 4, 2};
        ASSERT_EQ(SurfaceBltFast(dest, 3, 2, c.source, &r, c.flags), RESULT_OK);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x) {
                uint32_t want = 0x777777;
                if (x >= 3 && x < 7 && y >= 2 && y < 4) {
                    const uint32_t v = src[y - 2][x - 3];
                    want = (c.keySkips && v == 0) ? 0x777777 : v;
                }
                EXPECT_EQ(HeadlessPixel(dest, x, y), want) << x << "," << y;
            }
        SurfaceRelease(dest);
    }
    // A key asked for from a surface that has none is an error, not a guess.
    Surface* dest = Make("DEST", 8, 5);
    EXPECT_NE(SurfaceBltFast(dest, 0, 0, plain, nullptr, DDBLTFAST_SRCCOLORKEY), RESULT_OK);
}

// A copy within one surface reads the source as it was before the copy, in
// every direction the rectangles can overlap, with and without the key (the
// one black pixel, at 0,0, is skipped and leaves what was under it).
TEST_F(SurfaceTest, OverlappingCopyWithinOneSurface) {
    struct Case {
        const char* name;
        int fromX, fromY, toX, toY;
        bool keyed;
    };
    const Case cases[] = {
        {"opaque, down and right", 0, 0, 1, 2, false},
        {"keyed, down and right", 0, 0, 1, 2, true},
        {"keyed, right along the same rows", 0, 0, 2, 0, true},
        {"keyed, left along the same rows", 2, 1, 0, 1, true},
        {"keyed, up", 1, 2, 1, 0, true},
    };
    constexpr int SIDE = 6, COPY = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface* s = Make("S", SIDE, SIDE, true);
        uint32_t before[SIDE][SIDE];
        for (int y = 0; y < SIDE; ++y)
            for (int x = 0; x < SIDE; ++x)
                HeadlessSetPixel(s, x, y, before[y][x] = static_cast<uint32_t>(y * 16 + x));
        const Rect r{c.fromX, c.fromY, c.fromX + COPY, c.fromY + COPY};
        const uint32_t flags = (c.keyed ? DDBLTFAST_SRCCOLORKEY : DDBLTFAST_NOCOLORKEY) | DDBLTFAST_WAIT;
        ASSERT_EQ(SurfaceBltFast(s, c.toX, c.toY, s, &r, flags), RESULT_OK);
        for (int y = 0; y < SIDE; ++y)
            for (int x = 0; x < SIDE; ++x) {
                uint32_t want = before[y][x];
                const int u = x - c.toX + c.fromX, v = y - c.toY + c.fromY;
                if (x >= c.toX && x < c.toX + COPY && y >= c.toY && y < c.toY + COPY && !(c.keyed && before[v][u] == 0))
                    want = before[v][u];
                EXPECT_EQ(HeadlessPixel(s, x, y), want) << x << "," << y;
            }
        SurfaceRelease(s);
    }
}

TEST_F(SurfaceTest, PitchPaddingIsReportedAndNeverWritten) {
    HeadlessSetPitchPadding("WIDE", 12);
    Surface* wide = Make("WIDE", 5, 3, true);
    Surface* narrow = Make("NARROW", 5, 3);
    EXPECT_EQ(HeadlessPitch(wide), 5 * 4 + 12);
    EXPECT_EQ(HeadlessPitch(narrow), 5 * 4);
    SurfaceDesc d{};
    ASSERT_EQ(SurfaceGetDesc(wide, &d), RESULT_OK);
    EXPECT_EQ(d.pitch, 32);
    ASSERT_EQ(SurfaceLock(wide, &d), RESULT_OK);
    EXPECT_EQ(d.pitch, 32);
    EXPECT_EQ(d.width, 5u);
    ASSERT_EQ(SurfaceUnlock(wide), RESULT_OK);

    ASSERT_EQ(SurfaceColorFill(wide, nullptr, 0xFFFFFFFF), RESULT_OK);
    ASSERT_EQ(SurfaceColorFill(narrow, nullptr, 0x123456), RESULT_OK);
    ASSERT_EQ(SurfaceBltFast(wide, 0, 0, narrow, nullptr, DDBLTFAST_WAIT), RESULT_OK);
    ASSERT_EQ(SurfaceBltFast(narrow, 0, 0, wide, nullptr, DDBLTFAST_SRCCOLORKEY), RESULT_OK);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(HeadlessPixel(narrow, x, y), 0x123456u);
        for (int b = 0; b < 12; ++b)
            EXPECT_EQ(HeadlessPaddingByte(wide, b, y), 0xA5u) << "row " << y << " byte " << b;
    }
    EXPECT_EQ(HeadlessPaddingByte(wide, 12, 0), 0xFFFFFFFFu);
    EXPECT_EQ(HeadlessPaddingByte(wide, 0, 3), 0xFFFFFFFFu) << "there is no row 3";
    // Past the last column or row there is no pixel to read or write.
    for (const auto& [x, y] : {std::pair{5, 0}, std::pair{0, 3}, std::pair{-1, 0}, std::pair{0, -1}}) {
        HeadlessSetPixel(narrow, x, y, 0xABCDEF);
        EXPECT_EQ(HeadlessPixel(narrow, x, y), 0xFFFFFFFFu) << x << "," << y;
    }
    EXPECT_EQ(Pixels(narrow), std::vector<uint32_t>(15, 0x123456u));
    EXPECT_EQ(HeadlessPaddingByte(narrow, 0, 0), 0xFFFFFFFFu);
}

// The buffer every backend keeps its pixels in: each side from 1 to the
// largest one, 16384, on its own (a long thin strip is as wrong as a huge
// square), and 0..4096 bytes of padding per row; anything else is refused
// and leaves the buffer empty.
TEST(PixelBufferTest, EachSideAndThePaddingHaveTheirOwnBounds) {
    struct Case {
        int width, height, extraBytes;
        bool made;
    };
    const Case cases[] = {
        {1, 1, 0, true},  {16384, 1, 0, true},  {1, 16384, 0, true},  {3, 2, 4096, true}, {0, 1, 0, false},
        {1, 0, 0, false}, {16385, 1, 0, false}, {1, 16385, 0, false}, {3, 2, -1, false},  {3, 2, 4097, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " + " << c.extraBytes);
        PixelBuffer buffer;
        EXPECT_EQ(PixelBufferInit(buffer, c.width, c.height, c.extraBytes, 0xA5), c.made);
        EXPECT_EQ(buffer.width, c.made ? c.width : 0);
        EXPECT_EQ(buffer.height, c.made ? c.height : 0);
        // Whole pixels: the padding rounded up to 4 bytes.
        EXPECT_EQ(buffer.pitch, c.made ? c.width * 4 + (c.extraBytes + 3) / 4 * 4 : 0);
        EXPECT_EQ(buffer.storage.size(), c.made ? static_cast<size_t>(buffer.pitch / 4) * c.height : 0u);
    }
}

TEST_F(SurfaceTest, LockedSurfaceIsBusyUntilUnlocked) {
    Surface* s = Make("S", 4, 4);
    Surface* t = Make("T", 4, 4);
    SurfaceDesc d{};
    ASSERT_EQ(SurfaceLock(s, &d), RESULT_OK);
    ASSERT_NE(d.surface, nullptr);
    EXPECT_NE(SurfaceLock(s, &d), RESULT_OK);
    EXPECT_NE(SurfaceColorFill(s, nullptr, 1), RESULT_OK);
    EXPECT_NE(SurfaceBltFast(t, 0, 0, s, nullptr, 0), RESULT_OK);
    DeviceContext* dc = nullptr;
    EXPECT_NE(SurfaceGetDC(s, &dc), RESULT_OK);
    ASSERT_EQ(SurfaceUnlock(s), RESULT_OK);
    EXPECT_NE(SurfaceUnlock(s), RESULT_OK);
    EXPECT_EQ(SurfaceColorFill(s, nullptr, 1), RESULT_OK);
}

class FlipChainTest : public SurfaceTest {
protected:
    void SetUp() override {
        SurfaceTest::SetUp();
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.backBufferCount = 1;
        d.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        ASSERT_EQ(DdCreateSurface(dd, &d, &primary), RESULT_OK);
        ASSERT_EQ(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back), RESULT_OK);
    }
    Surface* primary = nullptr;
    Surface* back = nullptr;
};

TEST_F(FlipChainTest, BackBufferHoldsThePictureOfTwoFlipsAgo) {
    EXPECT_EQ(HeadlessSurface("PRIMARY"), primary);
    EXPECT_EQ(HeadlessSurface("BACKBUF"), back);
    SurfaceDesc d{};
    ASSERT_EQ(SurfaceGetDesc(primary, &d), RESULT_OK);
    EXPECT_EQ(d.width, 640u);
    EXPECT_EQ(d.height, 480u);
    // Frame n is drawn as one colour in the back buffer and flipped. The
    // flip observer sees each picture as it is shown.
    static std::vector<uint32_t> observed;
    observed.clear();
    HeadlessOnFlip([](Surface* shown) { observed.push_back(HeadlessPixel(shown, 0, 0)); });
    for (uint32_t frame = 1; frame <= 5; ++frame) {
        if (frame >= 3) {
            EXPECT_EQ(HeadlessPixel(back, 10, 10), frame - 2) << "before drawing frame " << frame;
        }
        ASSERT_EQ(SurfaceColorFill(back, nullptr, frame), RESULT_OK);
        ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);
        EXPECT_EQ(HeadlessPixel(primary, 639, 479), frame);
    }
    EXPECT_EQ(HeadlessFlipCount(), 5);
    EXPECT_NE(SurfaceFlip(back), RESULT_OK);
    EXPECT_EQ(observed, (std::vector<uint32_t>{1, 2, 3, 4, 5})) << "a failed flip shows nothing new";
    HeadlessOnFlip(nullptr);
}

TEST_F(FlipChainTest, LostPrimaryFailsUntilRestored) {
    HeadlessSetPrimaryLost(true);
    EXPECT_EQ(SurfaceIsLost(primary), RESULT_SURFACELOST);
    EXPECT_EQ(SurfaceFlip(primary), RESULT_SURFACELOST);
    EXPECT_EQ(SurfaceColorFill(back, nullptr, 0), RESULT_SURFACELOST);
    ASSERT_EQ(SurfaceRestore(primary), RESULT_OK);
    EXPECT_EQ(SurfaceIsLost(primary), RESULT_OK);
    EXPECT_EQ(SurfaceFlip(primary), RESULT_OK);
}

TEST_F(FlipChainTest, ReleaseTakesTheBackBufferAlongAndStaleHandlesFail) {
    Surface* page = Make("PAGE", 8, 8);
    EXPECT_EQ(HeadlessLiveSurfaceLabels(), (std::vector<std::string>{"PRIMARY", "BACKBUF", "PAGE"}));
    SurfaceRelease(back); // goes with its primary only
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 3);
    SurfaceRelease(primary);
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 1);
    EXPECT_EQ(HeadlessSurface("BACKBUF"), nullptr);
    EXPECT_NE(SurfaceColorFill(back, nullptr, 0), RESULT_OK);
    EXPECT_NE(SurfaceBltFast(page, 0, 0, back, nullptr, 0), RESULT_OK);
    SurfaceRelease(page);
    SurfaceRelease(page); // a second release is ignored
    DdRelease(dd);
    DdRelease(dd);
    EXPECT_EQ(HeadlessReleaseLog(), (std::vector<std::string>{"PRIMARY", "PAGE", "DirectDraw"}));
    EXPECT_FALSE(HeadlessDisplayHeld());
}

// The primary surfaces the display takes, as DirectDraw takes them: alone,
// or flipping (FLIP | COMPLEX) with the one back buffer that a count given
// in the request asks for; a count without flipping, flipping without a
// count, two back buffers or a flip that is not complex are refused.
TEST_F(SurfaceTest, APrimaryIsAloneOrFlipsWithOneBackBuffer) {
    constexpr uint32_t FLIPPING = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    struct Case {
        const char* name;
        bool countGiven;
        uint32_t count;
        uint32_t caps;
        bool made;
    };
    const Case cases[] = {
        {"alone", false, 1, DDSCAPS_PRIMARYSURFACE, true},
        {"alone, a count of 0", true, 0, DDSCAPS_PRIMARYSURFACE, true},
        {"flipping with one back buffer", true, 1, FLIPPING, true},
        {"flipping without a count", false, 1, FLIPPING, false},
        {"flipping with two back buffers", true, 2, FLIPPING, false},
        {"a back buffer without flipping", true, 1, DDSCAPS_PRIMARYSURFACE, false},
        {"flipping, not complex", true, 1, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | (c.countGiven ? DDSD_BACKBUFFERCOUNT : 0);
        d.backBufferCount = c.count;
        d.caps = c.caps;
        Surface* primary = nullptr;
        EXPECT_EQ(DdCreateSurface(dd, &d, &primary) == RESULT_OK, c.made);
        EXPECT_EQ(primary != nullptr, c.made);
        if (!primary)
            continue;
        Surface* back = nullptr;
        EXPECT_EQ(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back) == RESULT_OK, (c.caps & DDSCAPS_FLIP) != 0);
        SurfaceDesc made{};
        ASSERT_EQ(SurfaceGetDesc(primary, &made), RESULT_OK);
        EXPECT_EQ(made.backBufferCount, (c.caps & DDSCAPS_FLIP) ? 1u : 0u);
        SurfaceRelease(primary);
    }
}

TEST_F(FlipChainTest, SecondPrimaryIsRefused) {
    SurfaceDesc d{};
    d.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.backBufferCount = 1;
    d.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    Surface* again = nullptr;
    EXPECT_NE(DdCreateSurface(dd, &d, &again), RESULT_OK);
    EXPECT_EQ(again, nullptr);
}

TEST_F(SurfaceTest, PortablePixmapHoldsThePixelsAsRgb) {
    HeadlessSetPitchPadding("SHOT", 4);
    Surface* s = Make("SHOT", 2, 2);
    HeadlessSetPixel(s, 0, 0, 0x5D1759);
    HeadlessSetPixel(s, 1, 0, 0x010203);
    HeadlessSetPixel(s, 0, 1, 0xFFFFFF);
    const std::string path = ::testing::TempDir() + "quillon_surface.ppm";
    ASSERT_TRUE(HeadlessWritePpm(s, path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char bytes[64] = {};
    const size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    std::remove(path.c_str());
    const std::string header = "P6\n2 2\n255\n";
    ASSERT_EQ(n, header.size() + 12);
    EXPECT_EQ(std::string(bytes, header.size()), header);
    const unsigned char want[12] = {0x5D, 0x17, 0x59, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes + header.size(), want, 12), 0);
    EXPECT_FALSE(HeadlessWritePpm(s, "/nonexistent-dir/x.ppm"));
}

} // namespace
