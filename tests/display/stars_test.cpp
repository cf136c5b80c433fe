// The border stars (placement, drift, the closing's acceleration and
// parking) and the frames-per-second counter.
#include "scene_fixture.h"

#include <algorithm>

#include "platform/crt_rand.h"

namespace {

using StarsTest = SceneTest;

TEST(RenewStar, FourDrawsInOrderTopThenBottom) {
    // The C runtime's generator seeded with 1 draws 41, 18467, 6334, 26500,
    // 19169, 15724, 11478, 29358.
    CrtSrand(1);
    Star top{}, bottom{};
    RenewStar(top, true);
    RenewStar(bottom, false);
    EXPECT_EQ(top.x, -41);
    EXPECT_EQ(top.y, 11);               // 18467 mod 24
    EXPECT_EQ(top.speed, 5);            // 6334 mod 5 + 1
    EXPECT_EQ(top.colour, 0x323232);    // 26500 mod 245 + 10 = 50
    EXPECT_EQ(bottom.x, 659);           // 19169 mod 50 + 640
    EXPECT_EQ(bottom.y, 460);           // 15724 mod 24 + 456
    EXPECT_EQ(bottom.speed, 4);         // 11478 mod 5 + 1
    EXPECT_EQ(bottom.colour, 0xD5D5D5); // 29358 mod 245 + 10 = 213
}

TEST(RenewStar, RangesAreCoveredAndKept) {
    CrtSrand(12345);
    struct Range {
        int low = 1 << 30, high = -(1 << 30);
        void Add(int v) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    };
    Range topX, topY, bottomX, bottomY, speed, grey;
    for (int i = 0; i < 5000; ++i) {
        Star top{}, bottom{};
        RenewStar(top, true);
        RenewStar(bottom, false);
        topX.Add(top.x);
        topY.Add(top.y);
        bottomX.Add(bottom.x);
        bottomY.Add(bottom.y);
        for (const Star& s : {top, bottom}) {
            speed.Add(s.speed);
            const int g = s.colour & 0xFF;
            ASSERT_EQ(s.colour, g * 0x010101);
            grey.Add(g);
        }
    }
    const std::pair<Range, std::pair<int, int>> expected[] = {
        {topX, {-49, 0}},      {topY, {0, 23}}, {bottomX, {640, 689}},
        {bottomY, {456, 479}}, {speed, {1, 5}}, {grey, {10, 254}},
    };
    for (const auto& [range, bounds] : expected) {
        EXPECT_EQ(range.low, bounds.first);
        EXPECT_EQ(range.high, bounds.second);
    }
}

int StarFills() { return HeadlessCallCount("ColorFill", "BACKBUF"); }

TEST_F(StarsTest, StarsDriftUnseenUntilTheyReachTheScreen) {
    struct Case {
        bool top;
        Star start;
        int unseenFrames; // frames moving off screen before the first drawing
        int firstDrawnX;
    };
    const Case cases[] = {
        {true, {-49, 5, 1, 0x404040}, 49, 0},     {true, {0, 23, 2, 0x0A0A0A}, 0, 0},
        {true, {-3, 0, 5, 0xFEFEFE}, 1, 2},       {false, {689, 470, 5, 0x808080}, 10, 639},
        {false, {640, 456, 1, 0x202020}, 1, 639},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.x);
        ParkStars();
        Star& star = c.top ? scene.topStars[7] : scene.bottomStars[7];
        star = c.start;
        const int fills = StarFills();
        for (int frame = 0; frame < c.unseenFrames; ++frame)
            ASSERT_TRUE(UpdateStars());
        EXPECT_EQ(StarFills(), fills);
        EXPECT_EQ(star.x, c.firstDrawnX);
        ASSERT_TRUE(UpdateStars());
        EXPECT_EQ(StarFills(), fills + 1);
        EXPECT_EQ(HeadlessPixel(display.backbuf, c.firstDrawnX, c.start.y), static_cast<uint32_t>(c.start.colour));
        EXPECT_EQ(star.x, c.firstDrawnX + (c.top ? c.start.speed : -c.start.speed));
    }
}

// The shown picture's pixels of rows `top` to `top` + 23 that are not the
// black of the border strip, outside the animation box.
std::vector<std::pair<int, int>> LitInStrip(int top) {
    std::vector<std::pair<int, int>> lit;
    for (int y = top; y < top + 24; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const bool inBox = y >= ANI_BOX_Y && x >= ANI_BOX_X && x < ANI_BOX_X + ANI_FRAME_WIDTH;
            if (!inBox && HeadlessPixel(display.primary, x, y) != 0)
                lit.emplace_back(x, y);
        }
    return lit;
}

using Lit = std::vector<std::pair<int, int>>;

TEST_F(StarsTest, TheBorderStripsAreRestoredEachFrameSoAStarLeavesNoTrail) {
    for (int frame = 0; frame < 2; ++frame)
        ASSERT_TRUE(Frame()); // the two whole copies
    // Stars along the strips' outer and inner rows and out over both ends.
    scene.topStars[4] = Star{0, 0, 1, 0x808080};
    scene.topStars[5] = Star{300, 23, 2, 0x808080};
    scene.topStars[6] = Star{636, 10, 1, 0x808080}; // leaves at 640, renewed off screen
    CrtSrand(1);                                    // its renewal draws 41 first: x = -41
    scene.bottomStars[8] = Star{5, 479, 1, 0x404040};
    scene.bottomStars[9] = Star{300, 456, 2, 0x404040};
    for (int frame = 0; frame < 6; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_TRUE(Frame());
        // In each strip only the pixels where the stars were drawn this frame.
        Lit top{{frame, 0}};
        if (frame < 4)
            top.emplace_back(636 + frame, 10);
        top.emplace_back(300 + 2 * frame, 23);
        EXPECT_EQ(LitInStrip(0), top);
        EXPECT_EQ(LitInStrip(456), (Lit{{300 - 2 * frame, 456}, {5 - frame, 479}}));
    }
}

TEST_F(StarsTest, HidingTheCounterOrClosingLeavesNoCounterOnScreen) {
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closing" : "space bar");
        ResetProcessState();
        StartScene();
        FinishReveal();
        Input(WM_KEYDOWN, VK_SPACE);
        for (int frame = 0; frame < 2; ++frame)
            ASSERT_TRUE(Frame());
        EXPECT_FALSE(LitInStrip(0).empty());
        Input(closing ? WM_LBUTTONDOWN : WM_KEYDOWN, VK_SPACE);
        // Both buffers of the flip chain come round: neither keeps the counter.
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(Frame());
            EXPECT_EQ(LitInStrip(0), Lit{}) << "frame " << frame;
        }
    }
}

TEST_F(StarsTest, ClosingSpeedsDrawnStarsUp) {
    scene.quitRequested = true;
    scene.topStars[3] = Star{100, 10, 3, 0x303030};
    scene.bottomStars[3] = Star{500, 470, 3, 0x303030};
    const int topPath[] = {100, 104, 109, 115};
    const int bottomPath[] = {500, 496, 491, 485};
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(scene.topStars[3].x, topPath[frame]);
        ASSERT_EQ(scene.bottomStars[3].x, bottomPath[frame]);
        ASSERT_TRUE(UpdateStars());
        EXPECT_EQ(HeadlessPixel(display.backbuf, topPath[frame], 10), 0x303030u);
        EXPECT_EQ(HeadlessPixel(display.backbuf, bottomPath[frame], 470), 0x303030u);
        EXPECT_EQ(scene.topStars[3].speed, 4 + frame);
    }
    EXPECT_EQ(scene.topStars[3].x, topPath[3]);
    EXPECT_EQ(scene.bottomStars[3].x, bottomPath[3]);
}

TEST_F(StarsTest, LeavingStarsAreRenewedTopFirstOrParkedWhenClosing) {
    scene.topStars[0] = Star{640, 3, 2, 0x101010};
    scene.bottomStars[0] = Star{-1, 460, 2, 0x101010};
    CrtSrand(1);
    ASSERT_TRUE(UpdateStars());
    Star top{}, bottom{};
    CrtSrand(1);
    RenewStar(top, true);
    RenewStar(bottom, false);
    EXPECT_EQ(scene.topStars[0].x, -41); // the top star took the first four draws
    EXPECT_EQ(scene.topStars[0].colour, top.colour);
    EXPECT_EQ(scene.bottomStars[0].x, bottom.x);
    EXPECT_EQ(scene.bottomStars[0].colour, bottom.colour);

    // While closing, stars that left stay where they are, no draw is taken
    // and nothing is drawn.
    scene.quitRequested = true;
    scene.topStars[0] = Star{700, 3, 9, 0x101010};
    scene.bottomStars[0] = Star{-20, 460, 9, 0x101010};
    CrtSrand(7);
    const int nextDraw = CrtRand();
    CrtSrand(7);
    const int fills = StarFills();
    for (int frame = 0; frame < 5; ++frame)
        ASSERT_TRUE(UpdateStars());
    EXPECT_EQ(StarFills(), fills);
    EXPECT_EQ(scene.topStars[0].x, 700);
    EXPECT_EQ(scene.bottomStars[0].x, -20);
    EXPECT_EQ(CrtRand(), nextDraw);
}

TEST_F(StarsTest, ClosingClearsTheScreenOfStarsWithinAHundredFrames) {
    CrtSrand(99);
    for (int i = 0; i < STAR_COUNT; ++i) {
        RenewStar(scene.topStars[i], true);
        RenewStar(scene.bottomStars[i], false);
    }
    for (int frame = 0; frame < 20; ++frame)
        ASSERT_TRUE(UpdateStars());
    scene.quitRequested = true;
    for (int frame = 0; frame < 100; ++frame)
        ASSERT_TRUE(UpdateStars());
    const int fills = StarFills();
    ASSERT_TRUE(UpdateStars());
    EXPECT_EQ(StarFills(), fills);
}

TEST_F(StarsTest, FpsIsMeasuredAfterMoreThanASecond) {
    // The first measurement comes in the first frame: one frame in the
    // 100 s since clock 0 is 0 frames per second.
    MeasureFps();
    EXPECT_EQ(scene.fps, 0u);
    EXPECT_EQ(scene.fpsTime, START_TIME);
    EXPECT_EQ(scene.frameCount, 0u);

    struct Case {
        int frames;
        uint32_t lastFrameMs; // after the previous measurement
        uint32_t fps;         // expected after the last frame
        bool measured;
    };
    const Case cases[] = {
        {8, 1100, 7, true},   // 8000 / 1100
        {10, 1000, 7, false}, // exactly a second: not yet
        {1, 1001, 10, true},  // now 11 frames in 1001 ms
        {60, 1001, 59, true}, // 60000 / 1001
        {1, 0xFFFFFFFFu, 0, true},
        {1500, 1400, 1071, true},
        // More frames than a 32-bit frameCount * 1000 can hold.
        {4300000, 1001, 4295704, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        const uint32_t base = scene.fpsTime;
        for (int i = 1; i <= c.frames; ++i) {
            HeadlessSetTime(base + (i == c.frames ? c.lastFrameMs : 1));
            MeasureFps();
        }
        EXPECT_EQ(scene.fps, c.fps);
        EXPECT_EQ(scene.fpsTime, c.measured ? base + c.lastFrameMs : base);
    }
}

// The counter's digit slots and the picture at (1, 1) of the back buffer.
void ExpectCounterShows(int hundreds, int tens, int units, uint32_t beneath) {
    const int digits[3] = {hundreds, tens, units};
    for (int slot = 0; slot < 3; ++slot)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(HeadlessPixel(display.fps, 40 + 10 * slot + x, y),
                          HeadlessPixel(display.fps, 70 + 10 * digits[slot] + x, y))
                    << "slot " << slot;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 70; ++x) {
            const uint32_t fps = HeadlessPixel(display.fps, x, y);
            ASSERT_EQ(HeadlessPixel(display.backbuf, 1 + x, 1 + y), fps != 0 ? fps : beneath) << x << "," << y;
        }
        ASSERT_EQ(HeadlessPixel(display.backbuf, 71, 1 + y), beneath);
    }
}

int CounterCopies() { return HeadlessCallCount("BltFast", "FPS>BACKBUF"); }

TEST_F(StarsTest, CounterShowsThreeDigitsWithLeadingZeros) {
    // The artwork's digits must differ, or no slot could be told apart.
    auto digit = [](int d) {
        std::vector<uint32_t> cell;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                cell.push_back(HeadlessPixel(display.fps, 70 + 10 * d + x, y));
        return cell;
    };
    for (int d = 1; d < 10; ++d)
        ASSERT_NE(digit(0), digit(d)) << d;
    scene.showFps = true;
    struct Case {
        uint32_t fps;
        int h, t, u;
    };
    for (const Case& c :
         {Case{7, 0, 0, 7}, Case{999, 9, 9, 9}, Case{0, 0, 0, 0}, Case{385, 3, 8, 5}, Case{100, 1, 0, 0}}) {
        SCOPED_TRACE(c.fps);
        ASSERT_EQ(SurfaceColorFill(display.backbuf, nullptr, 0x123456), RESULT_OK);
        scene.fps = c.fps;
        ASSERT_TRUE(DrawFpsCounter());
        ExpectCounterShows(c.h, c.t, c.u, 0x123456);
    }
}

TEST_F(StarsTest, CounterHiddenWhenOffWhenClosingAndAtThousandFps) {
    struct Case {
        bool showFps;
        bool quitRequested;
        uint32_t fps;
    };
    for (const Case& c :
         {Case{false, false, 7}, Case{true, true, 7}, Case{true, false, 1000}, Case{true, false, 123456}}) {
        scene.showFps = c.showFps;
        scene.quitRequested = c.quitRequested;
        scene.fps = c.fps;
        const int copies = CounterCopies();
        const int digitCopies = HeadlessCallCount("BltFast", "FPS>FPS");
        EXPECT_TRUE(DrawFpsCounter());
        EXPECT_EQ(CounterCopies(), copies);
        EXPECT_EQ(HeadlessCallCount("BltFast", "FPS>FPS"), digitCopies);
    }
}

TEST_F(StarsTest, CounterInFramesReads000DuringTheFirstSecond) {
    Input(WM_KEYDOWN, VK_SPACE);
    ASSERT_TRUE(scene.showFps);
    for (int frame = 0; frame < 40; ++frame) {
        ASSERT_TRUE(Frame());
        ASSERT_EQ(scene.fps, 0u);
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 70; ++x) {
            const uint32_t fps = HeadlessPixel(display.fps, x, y);
            if (fps != 0) {
                ASSERT_EQ(HeadlessPixel(display.primary, 1 + x, 1 + y), fps);
            }
        }
    for (int slot = 0; slot < 3; ++slot)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(HeadlessPixel(display.fps, 40 + 10 * slot + x, 4), HeadlessPixel(display.fps, 70 + x, 4));

    // Past the first second: 48 frames of 21 ms in 1008 ms since the first
    // measurement, 47 fps.
    for (int frame = 0; frame < 9; ++frame)
        ASSERT_TRUE(Frame());
    EXPECT_EQ(scene.fps, 47u);

    // The closing hides it in the very frame after the left button.
    FinishReveal();
    Input(WM_LBUTTONDOWN);
    const int copies = CounterCopies();
    for (int frame = 0; frame < 50; ++frame)
        ASSERT_TRUE(Frame());
    EXPECT_EQ(CounterCopies(), copies);
}

} // namespace
