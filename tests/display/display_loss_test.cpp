// A lost display in the middle of an effect: restored, or rebuilt with the
// wipe and closing progress painted again, and the effect goes on.
#include "scene_fixture.h"

namespace {

using DisplayLossTest = SceneTest;

// Makes the next frame find PRIMARY lost and unrestorable, so that it
// rebuilds the whole display.
void LoseDisplayForGood() {
    HeadlessSetPrimaryLost(true);
    HeadlessInjectFault("Restore");
}

// Rows of VIEWPAGE that the wipe has painted so far.
bool Wiped(int y) { return y % 2 == 0 ? y < scene.slideLine : y > scene.slideLineBottom; }

void ExpectViewpageWipedOver(int page) {
    for (int y = 0; y < PAGE_HEIGHT; ++y)
        for (int x = 0; x < PAGE_WIDTH; x += 3)
            ASSERT_EQ(HeadlessPixel(display.viewpage, x, y), Wiped(y) ? MIDDLE_COLOUR : PagePixel(page, x, y))
                << "row " << y << " x " << x;
}

void ExpectBarsOnScreen() {
    for (int x = 0; x < ANI_BOX_X; x += 9) {
        ASSERT_EQ(HeadlessPixel(display.primary, x, 24), 0x010004u) << x;
        ASSERT_EQ(HeadlessPixel(display.primary, x, 46), 0x52165Au) << x;
        ASSERT_EQ(HeadlessPixel(display.primary, x, 433), 0x52165Au) << x;
    }
}

TEST_F(DisplayLossTest, RebuildInTheMiddleOfAWipeShowsTheTargetPageUnderTheWipedRows) {
    FinishReveal();
    Input(WM_RBUTTONDOWN);
    for (int tick = 0; tick < 50; ++tick)
        ASSERT_TRUE(Frame());
    ASSERT_EQ(scene.slideLine, 100);

    LoseDisplayForGood();
    const int flips = HeadlessFlipCount();
    ASSERT_TRUE(Frame());
    EXPECT_EQ(HeadlessCallCount("DdCreate"), 2);
    EXPECT_EQ(HeadlessFlipCount(), flips + 1);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_EQ(scene.slideLine, 102);
    // Rows the wipe has not reached show the next page already.
    ExpectViewpageWipedOver(2);
    // Both new buffers of the flip chain get the whole background again.
    ExpectBarsOnScreen();
    ASSERT_TRUE(Frame());
    ExpectBarsOnScreen();
    ExpectViewpageWipedOver(2);

    // The wipe runs on to its end and page 2 is revealed.
    for (int frame = 0; frame < 200 && scene.pageSliding; ++frame)
        ASSERT_TRUE(Frame());
    ASSERT_FALSE(scene.pageSliding);
    ASSERT_TRUE(scene.revealing);
    EXPECT_EQ(scene.slideLine, 0);
    for (int y = 0; y < PAGE_HEIGHT; ++y)
        ASSERT_EQ(HeadlessPixel(display.viewpage, 100, y), PagePixel(2, 100, y)) << y;
    FinishReveal();
}

TEST_F(DisplayLossTest, RebuildDuringTheClosingClearsExactlyTheRowsAlreadyCleared) {
    FinishReveal();
    const std::vector<uint32_t> aniLoaded = Pixels(display.ani);
    Input(WM_LBUTTONDOWN);
    for (int tick = 0; tick < 12; ++tick)
        ASSERT_TRUE(Frame());
    ASSERT_EQ(scene.aniBandTop, 12);

    LoseDisplayForGood();
    ASSERT_TRUE(Frame());
    EXPECT_EQ(HeadlessCallCount("DdCreate"), 2);
    // The rebuild cleared rows 0..11 and 52..63 again, this frame's tick
    // rows 12 and 51.
    EXPECT_EQ(scene.aniBandTop, 13);
    EXPECT_EQ(scene.aniBandBottom, 50);
    for (int y = 0; y < 64; ++y) {
        const bool cleared = y < 13 || y > 50;
        for (int x = 0; x < ANI_STRIP_WIDTH; x += 5)
            ASSERT_EQ(HeadlessPixel(display.ani, x, y), cleared ? 0u : aniLoaded[y * ANI_STRIP_WIDTH + x])
                << "row " << y << " x " << x;
    }
    // The closing wipe shows the page that was in view under its rows.
    ExpectViewpageWipedOver(1);

    // The closing goes on to its end.
    for (int frame = 0; frame < 300 && !scene.exitNow; ++frame)
        ASSERT_TRUE(Frame());
    ASSERT_TRUE(scene.exitNow);
    EXPECT_EQ(scene.aniBandTop, 32);
    for (int x = 0; x < ANI_STRIP_WIDTH; x += 7)
        for (int y = 0; y < 64; ++y)
            ASSERT_EQ(HeadlessPixel(display.ani, x, y), 0u);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

TEST_F(DisplayLossTest, RestoredPrimaryKeepsTheSurfacesAndTheFrameGoesOn) {
    for (int frame = 0; frame < 5; ++frame)
        ASSERT_TRUE(Frame());
    Surface* page = display.page;
    HeadlessSetPrimaryLost(true);
    const int flips = HeadlessFlipCount();
    ASSERT_TRUE(Frame());
    EXPECT_EQ(HeadlessCallCount("DdCreate"), 1);
    EXPECT_EQ(display.page, page);
    EXPECT_EQ(HeadlessFlipCount(), flips + 1);
    ExpectBarsOnScreen();
}

TEST_F(DisplayLossTest, RestoredPrimaryWithAnOffscreenSurfaceStillLostEndsAtTheFirstCopyFromIt) {
    struct Case {
        const char* lost;
        bool showFps;
        bool wiping;
        const char* message;
    };
    const Case cases[] = {
        {"BACKGROUND", false, false, "BACKGROUND->BACKBUF copy error!"},
        {"VIEWPAGE", false, false, "PAGE->BACKBUF copy error!"},
        {"VIEWPAGE", false, true, "BACKGROUND->VIEWPAGE copy error!"},
        {"ANI", false, false, "ANI->BACKBUF copy error!"},
        {"FPS", true, false, "GFX->FPS copy error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ResetProcessState();
        StartScene();
        FinishReveal();
        scene.showFps = c.showFps;
        if (c.wiping)
            Input(WM_RBUTTONDOWN);
        ASSERT_TRUE(Frame());
        HeadlessSetPrimaryLost(true);
        HeadlessSetSurfaceLost(c.lost, true);
        const int flips = HeadlessFlipCount();
        EXPECT_FALSE(Frame());
        EXPECT_EQ(HeadlessCallCount("DdCreate"), 1); // restored, not rebuilt
        EXPECT_EQ(HeadlessFlipCount(), flips);
        ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
        EXPECT_EQ(HeadlessMessageBoxes()[0].text, std::string(c.message) + " Terminate application!");
    }
}

} // namespace
