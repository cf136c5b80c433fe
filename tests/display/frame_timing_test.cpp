// The clock-driven effects of the frame: the two ticks, the line reveal,
// the page wipe, the opening box, the animation frames and the closing.
#include "scene_fixture.h"

#include <algorithm>

namespace {

using FrameTimingTest = SceneTest;

TEST_F(FrameTimingTest, FirstFrameTakesBothTicks) {
    // Both references start at 0, far behind the clock.
    ASSERT_TRUE(ComposeFrame());
    EXPECT_EQ(scene.revealLines[0].step, 1u);
    EXPECT_EQ(scene.revealLines[1].delay, 1);
    EXPECT_EQ(scene.aniInset, 30);
    EXPECT_EQ(scene.aniFrameX, 128);
    // The new reference is a clock reading, not the old one plus the interval.
    EXPECT_EQ(scene.transitionTime, START_TIME);
    EXPECT_EQ(scene.aniTime, START_TIME);
}

TEST_F(FrameTimingTest, TicksNeedMoreThanTheirIntervalOncePerFrame) {
    ASSERT_TRUE(ComposeFrame());
    struct Step {
        uint32_t advanceMs;
        uint32_t lineZeroStep; // transition ticks so far, plus 0
        int aniInset;          // 31 minus animation ticks so far
    };
    const Step steps[] = {
        {0, 1, 30},   {5, 1, 30}, // exactly 5 ms: not yet
        {1, 2, 30},               // 6 ms
        {5, 2, 30},   {1, 3, 30}, // 6 ms after the fresh reading
        {8, 4, 30},               // 20 ms since the animation tick: not yet
        {1, 4, 29},               // 21 ms
        {500, 5, 28},             // a long frame still steps each only once
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.advanceMs);
        ASSERT_TRUE(Frame(s.advanceMs));
        EXPECT_EQ(scene.revealLines[0].step, s.lineZeroStep);
        EXPECT_EQ(scene.aniInset, s.aniInset);
    }
}

TEST_F(FrameTimingTest, TicksSurviveTheClockWrapping) {
    HeadlessSetTime(0xFFFFFFF0u);
    ASSERT_TRUE(ComposeFrame());
    ASSERT_EQ(scene.revealLines[0].step, 1u);
    HeadlessSetTime(0xFFFFFFF5u); // 5 ms: no tick
    ASSERT_TRUE(ComposeFrame());
    EXPECT_EQ(scene.revealLines[0].step, 1u);
    HeadlessSetTime(0x00000001u); // 17 ms later across the wrap
    ASSERT_TRUE(ComposeFrame());
    EXPECT_EQ(scene.revealLines[0].step, 2u);
    EXPECT_EQ(scene.aniInset, 30);
    HeadlessSetTime(0x00000005u); // 21 ms since the animation tick
    ASSERT_TRUE(ComposeFrame());
    EXPECT_EQ(scene.aniInset, 29);
}

TEST(RevealOffsets, SlowDownToRest) {
    EXPECT_EQ(revealOffsets[0], 632);
    // Decrement per step, by the first index where it applies.
    const std::pair<int, int> pieces[] = {{1, 8}, {55, 7}, {65, 6}, {75, 5}, {81, 4}, {85, 3}, {89, 2}, {92, 1}};
    for (int i = 1; i < REVEAL_STEPS; ++i) {
        int decrement = 0;
        for (auto [first, d] : pieces)
            if (i >= first)
                decrement = d;
        EXPECT_EQ(revealOffsets[i - 1] - revealOffsets[i], decrement) << "step " << i;
    }
    const std::pair<int, int> landmarks[] = {{54, 200}, {64, 130}, {74, 70}, {80, 40},
                                             {84, 24},  {88, 12},  {91, 6},  {97, 0}};
    for (auto [step, offset] : landmarks)
        EXPECT_EQ(revealOffsets[step], offset) << "step " << step;
}

// Line i of the shown page, drawn shifted right by `offset`, as it must
// appear on the screen (the part within the screen).
void ExpectLineOnScreen(int line, int offset) {
    for (int y = 0; y < 12; ++y) {
        for (int x = offset; x < SCREEN_WIDTH; ++x) {
            const int screenY = PAGE_AREA_Y + 12 * line + y;
            if (screenY >= ANI_BOX_Y && x >= ANI_BOX_X && x < ANI_BOX_X + 128)
                continue;
            ASSERT_EQ(HeadlessPixel(display.primary, x, screenY),
                      HeadlessPixel(display.viewpage, x - offset, 12 * line + y))
                << "line " << line << " x " << x << " y " << y;
        }
    }
}

TEST_F(FrameTimingTest, LinesStartTwoTicksApartAndArriveAfter97) {
    for (int tick = 1; tick <= 159; ++tick) {
        ASSERT_TRUE(Frame());
        for (int i = 0; i < PAGE_LINES; ++i) {
            const int waited = std::max(0, tick - 2 * i);
            ASSERT_EQ(scene.revealLines[i].delay, std::max(0, 2 * i - tick)) << "tick " << tick << " line " << i;
            ASSERT_EQ(scene.revealLines[i].step, static_cast<uint32_t>(std::min(97, waited)))
                << "tick " << tick << " line " << i;
        }
        ASSERT_TRUE(scene.revealing) << "tick " << tick;
    }
    // Line 31 arrived with tick 159; the next frame draws it in place.
    ASSERT_TRUE(Frame());
    EXPECT_FALSE(scene.revealing);
    ExpectLineOnScreen(31, 0);
    ExpectLineOnScreen(0, 0);
}

TEST_F(FrameTimingTest, RevealDrawsMovingLinesAndNothingAfterTheFirstWaitingLine) {
    for (int tick = 0; tick < 40; ++tick)
        ASSERT_TRUE(Frame());
    // The 41st frame draws the state after 40 ticks: lines 0..20 move (line
    // 20 just started), line 21 waits, and lines 21..31 are not drawn.
    ASSERT_TRUE(Frame());
    for (int i = 0; i <= 20; ++i)
        ExpectLineOnScreen(i, revealOffsets[std::min(97, 40 - 2 * i)]);
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
        for (int y = PAGE_AREA_Y + 12 * 21; y < ANI_BOX_Y; ++y)
            ASSERT_EQ(HeadlessPixel(display.primary, x, y), MIDDLE_COLOUR) << x << "," << y;
    }
    // Left of a shifted line the earlier picture (here the middle field) stays.
    EXPECT_EQ(HeadlessPixel(display.primary, 0, PAGE_AREA_Y + 12 * 20), MIDDLE_COLOUR);
}

TEST_F(FrameTimingTest, WipeInterlacesFromBothEndsThenRevealsTheNextPage) {
    FinishReveal();
    Input(WM_RBUTTONDOWN);
    ASSERT_TRUE(scene.pageSliding);
    ASSERT_EQ(scene.targetPage, 2);

    for (int tick = 1; tick <= 191; ++tick) {
        ASSERT_TRUE(Frame());
        ASSERT_TRUE(scene.pageSliding);
        ASSERT_EQ(scene.slideLine, 2 * tick);
        ASSERT_EQ(scene.slideLineBottom, 383 - 2 * tick);
        if (tick == 50 || tick == 191) {
            // Painted: even rows from the top and odd rows from the bottom,
            // one of each per tick; the rest is still page 1.
            for (int y = 0; y < PAGE_HEIGHT; ++y) {
                const bool wiped = y % 2 == 0 ? y < 2 * tick : y > 383 - 2 * tick;
                for (int x = 0; x < PAGE_WIDTH; x += 7)
                    ASSERT_EQ(HeadlessPixel(display.viewpage, x, y), wiped ? MIDDLE_COLOUR : PagePixel(1, x, y))
                        << "tick " << tick << " row " << y;
            }
            // What the screen shows is the page area of that picture.
            for (int x = 0; x < PAGE_WIDTH; x += 13)
                ASSERT_EQ(HeadlessPixel(display.primary, x, PAGE_AREA_Y + 2), MIDDLE_COLOUR);
        }
    }
    // Tick 192 ends the wipe: page 2 in view, its reveal under way.
    ASSERT_TRUE(Frame());
    EXPECT_FALSE(scene.pageSliding);
    EXPECT_TRUE(scene.revealing);
    EXPECT_EQ(scene.slideLine, 0);
    EXPECT_EQ(scene.slideLineBottom, 383);
    for (int y = 0; y < PAGE_HEIGHT; y += 3)
        for (int x = 0; x < PAGE_WIDTH; x += 5)
            ASSERT_EQ(HeadlessPixel(display.viewpage, x, y), PagePixel(2, x, y));
    // The new reveal's first advance happened in the same tick.
    EXPECT_EQ(scene.revealLines[0].step, 1u);
    EXPECT_EQ(scene.revealLines[1].delay, 1);
    FinishReveal();
    ExpectLineOnScreen(5, 0);
}

TEST_F(FrameTimingTest, EachWipeTickPaintsTwoWholeRowsAndNothingElse) {
    FinishReveal();
    Input(WM_RBUTTONDOWN);
    ASSERT_EQ(SurfaceColorFill(display.viewpage, nullptr, 0x123456), RESULT_OK);
    for (int tick = 0; tick < 3; ++tick)
        ASSERT_TRUE(Frame());
    // Rows 0, 2, 4 from the top and 383, 381, 379 from the bottom, edge to edge.
    for (int y = 0; y < PAGE_HEIGHT; ++y) {
        const bool painted = y == 0 || y == 2 || y == 4 || y == 383 || y == 381 || y == 379;
        for (int x : {0, 1, 320, 638, 639})
            ASSERT_EQ(HeadlessPixel(display.viewpage, x, y), painted ? MIDDLE_COLOUR : 0x123456u)
                << "row " << y << " x " << x;
    }
}

// The box shows rows aniInset..63-aniInset of frame aniFrameX at the
// screen's rows 416+aniInset..; everything else shows the background.
void ExpectAnimationBox(int frameX, int inset) {
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            const uint32_t ani = HeadlessPixel(display.ani, frameX + x, y);
            const bool inBox = y >= inset && y <= 63 - inset;
            const uint32_t expected =
                inBox && ani != 0 ? ani : HeadlessPixel(display.background, ANI_BOX_X + x, ANI_BOX_Y + y);
            ASSERT_EQ(HeadlessPixel(display.primary, ANI_BOX_X + x, ANI_BOX_Y + y), expected)
                << "inset " << inset << " x " << x << " y " << y;
        }
    }
}

TEST_F(FrameTimingTest, BoxOpensFromTwoRowsToSixtyFourIn31Ticks) {
    // During the opening lines 29..31 of the page are not yet revealed, so the
    // page area under the box still shows the middle field.
    for (int tick = 0; tick <= 31; ++tick) {
        const int frameX = scene.aniFrameX;
        ASSERT_EQ(scene.aniInset, std::max(0, 31 - tick));
        ASSERT_TRUE(Frame());
        ExpectAnimationBox(frameX, std::max(0, 31 - tick));
    }
    EXPECT_EQ(scene.aniInset, 0);
}

TEST_F(FrameTimingTest, AnimationRunsThroughFortyFramesAndWraps) {
    for (int tick = 0; tick < 85; ++tick) {
        ASSERT_EQ(scene.aniFrameX, 128 * (tick % 40)) << "tick " << tick;
        ASSERT_TRUE(Frame());
    }
}

TEST_F(FrameTimingTest, ClosingEatsTheAnimationThenWipesAndEndsWithExitCodeOne) {
    FinishReveal();
    const std::vector<uint32_t> aniBefore = Pixels(display.ani);
    Input(WM_LBUTTONDOWN);
    ASSERT_TRUE(scene.quitRequested);

    // First frame: the transition tick comes before the animation tick, which
    // starts the final wipe.
    ASSERT_TRUE(Frame());
    EXPECT_TRUE(scene.pageSliding);
    EXPECT_FALSE(scene.nextPageAfterSlide);
    EXPECT_EQ(scene.slideLine, 0);
    for (int tick = 2; tick <= 40; ++tick) {
        ASSERT_TRUE(Frame());
        const int cleared = std::min(tick, 32);
        ASSERT_EQ(scene.aniBandTop, cleared);
        ASSERT_EQ(scene.aniBandBottom, 63 - cleared);
        if (tick == 10 || tick == 32) {
            for (int y = 0; y < 64; ++y) {
                const bool gone = y < cleared || y > 63 - cleared;
                for (int x = 0; x < ANI_STRIP_WIDTH; x += 3)
                    ASSERT_EQ(HeadlessPixel(display.ani, x, y), gone ? 0u : aniBefore[y * ANI_STRIP_WIDTH + x])
                        << "tick " << tick << " row " << y;
            }
        }
    }
    // The final wipe: 192 ticks from the frame after the first.
    for (int tick = 41; tick <= 192; ++tick) {
        ASSERT_FALSE(scene.exitNow) << tick;
        ASSERT_TRUE(Frame());
    }
    ASSERT_FALSE(scene.exitNow);
    ASSERT_TRUE(Frame());
    ASSERT_TRUE(scene.exitNow);
    for (int y = 0; y < PAGE_HEIGHT; ++y)
        ASSERT_EQ(HeadlessPixel(display.viewpage, 320, y), MIDDLE_COLOUR);

    // Every frame from now on posts WM_DESTROY; the message step hands it to
    // the window procedure, which ends the frame loop.
    ASSERT_TRUE(HeadlessQueuedMessages().empty());
    ASSERT_TRUE(Frame());
    const std::vector<Message> queued = HeadlessQueuedMessages();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].message, WM_DESTROY);
    EXPECT_EQ(queued[0].window, mainWindow);
    int exitCode = -1;
    EXPECT_FALSE(MessageStep(&exitCode));
    EXPECT_FALSE(app.running);
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

// The whole program: WinMain with a clock that moves on every reading and
// the left button already accepted, so the closing runs from the start.
TEST_F(ProcessTest, ClosingThroughWinMainReturnsOne) {
    HeadlessSetTime(START_TIME);
    HeadlessSetAutoAdvance(1);
    HeadlessInjectFault("WaveOutOpen", "", FaultMode::Always); // silent run
    scene.quitRequested = true;
    EXPECT_EQ(WinMain(OsModuleHandle(), nullptr, "", SW_SHOWNORMAL), 1);
    EXPECT_TRUE(scene.exitNow);
    EXPECT_EQ(scene.aniBandTop, 32);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_FALSE(HeadlessDisplayHeld());
}

} // namespace
