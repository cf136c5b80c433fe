// WinMain from start to end, in-process against the headless backend: the
// window set-up, the seeding of the stars, the exact pre-roll, the frame
// loop and the exit codes.
#include "display/error_exit.h"
#include "platform/crt_rand.h"
#include "platform/window_core.h"
#include "shell_fixture.h"

namespace {

// A message the window procedure ignores, to fill pre-roll passes.
constexpr uint32_t FILLER = WM_MBUTTONDOWN;

class WinMainTest : public ShellTest {
protected:
    static void PostFillers(int count) {
        for (int i = 0; i < count; ++i)
            HeadlessPostInput(FILLER);
    }

    // Fillers that make the next posted message the first one after `passes`
    // pre-roll passes, counting what the backend queued during start-up.
    static void FillPasses(int passes) { PostFillers(passes - static_cast<int>(HeadlessQueuedMessages().size())); }
};

TEST_F(WinMainTest, TheWindowIsATopMostPopUpCoveringTheScreen) {
    HeadlessSetScreenSize(1920, 1080);
    app.instance = OsModuleHandle();
    ASSERT_TRUE(CreateMainWindow());
    Window* window = HeadlessWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window, mainWindow);
    EXPECT_EQ(window->className, "Quillon");
    EXPECT_EQ(window->title, "Quillon");
    EXPECT_EQ(window->exStyle, WS_EX_TOPMOST);
    EXPECT_EQ(window->style, WS_POPUP | WS_VISIBLE);
    EXPECT_TRUE(window->visible);
    EXPECT_TRUE(window->focused) << "the space bar reaches it";
    EXPECT_EQ(window->x, 0);
    EXPECT_EQ(window->y, 0);
    EXPECT_EQ(window->width, 1920);
    EXPECT_EQ(window->height, 1080);
}

struct SetupFailure {
    const char* operation;
    const char* message;
};

TEST_F(WinMainTest, WindowSetupFailuresEndWithZero) {
    const SetupFailure cases[] = {
        {"RegisterClass", "Could not register window class! Terminate application!"},
        {"CreateWindow", "Could not create main window! Terminate application!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        ResetProcessState();
        HeadlessInjectFault(c.operation);
        EXPECT_EQ(RunWinMain(), 0);
        ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
        EXPECT_EQ(HeadlessMessageBoxes()[0].text, c.message);
        EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "ERROR");
        EXPECT_FALSE(HeadlessMessageBoxes()[0].hadOwner);
        EXPECT_EQ(HeadlessCallCount("DdCreate"), 0);
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 0);
    }
}

TEST_F(WinMainTest, DestroyDuringThePreRollEndsWithZeroWithoutMusic) {
    // Input during the pre-roll reaches the window procedure at once: space
    // toggles the counter, the buttons are ignored while page 1 is revealed.
    RunStartUp();
    HeadlessPostInput(WM_KEYDOWN, VK_SPACE);
    HeadlessPostInput(WM_LBUTTONDOWN);
    HeadlessPostInput(WM_RBUTTONDOWN);
    HeadlessPostInput(WM_DESTROY);

    EXPECT_EQ(MainLoop(), 0);
    EXPECT_TRUE(scene.showFps);
    EXPECT_FALSE(scene.quitRequested);
    EXPECT_FALSE(scene.pageSliding);
    EXPECT_EQ(scene.targetPage, 1);
    EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 0);
    EXPECT_EQ(HeadlessFlipCount(), 0);
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

struct PreRollCase {
    int fillers; // counted from the end of the pre-roll: 0 = exactly 500000 passes
    int exitCode;
    bool musicStarted;
};

TEST_F(WinMainTest, ThePreRollIsExactly500000Passes) {
    const PreRollCase cases[] = {
        // WM_DESTROY is the first message after the pre-roll: the music
        // starts, a frame is composed, the destroy ends the loop.
        {0, 1, true},
        // WM_DESTROY in the last pass: its quit message is still queued when
        // the pre-roll ends; the music must not start after the shutdown.
        {-1, 0, false},
        // WM_DESTROY one pass earlier: the last pass retrieves the quit.
        {-2, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fillers);
        ResetProcessState();
        HeadlessSetAutoAdvance(7);
        RunStartUp();
        FillPasses(PRE_ROLL_PASSES + c.fillers);
        HeadlessPostInput(WM_DESTROY);
        EXPECT_EQ(MainLoop(), c.exitCode);
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), c.musicStarted ? 1 : 0);
        EXPECT_EQ(HeadlessFlipCount(), c.musicStarted ? 1 : 0);
        EXPECT_FALSE(HeadlessAudioOpen());
        EXPECT_FALSE(HeadlessDisplayHeld());
        EXPECT_TRUE(HeadlessMessageBoxes().empty());
    }
}

TEST_F(WinMainTest, TheOrdinaryEndReturnsOne) {
    // As if the left button had been accepted: the closing effect eats the
    // animation, the final wipe runs, and the frame then posts WM_DESTROY.
    scene.quitRequested = true;
    HeadlessSetAutoAdvance(7);

    EXPECT_EQ(RunWinMain(), 1);
    EXPECT_TRUE(scene.exitNow);
    EXPECT_EQ(scene.aniBandTop, 32);
    EXPECT_GT(HeadlessFlipCount(), 192);
    EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 1);
    EXPECT_FALSE(HeadlessAudioOpen());
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_FALSE(HeadlessWindowDestroyed()); // the ordinary end only posts WM_DESTROY
}

void PostKeyWhileBoxIsUp() { HeadlessPostInput(WM_KEYDOWN, VK_SPACE); }

TEST_F(WinMainTest, AFatalErrorInAFrameEndsWithZero) {
    struct Case {
        const char* name;
        bool inputAheadOfQuit;
        bool onlyWinMainInstallsTheStop; // as in the program, where no test reset ran
    };
    const Case cases[] = {
        {"nothing else queued", false, false},
        {"a key pressed while the box was up", true, false},
        {"a key pressed while the box was up, stop installed by WinMain", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetProcessState();
        if (c.onlyWinMainInstallsTheStop)
            SetStopLoopHook(nullptr);
        HeadlessSetAutoAdvance(7);
        HeadlessInjectFault("Flip", "", FaultMode::Always);
        if (c.inputAheadOfQuit)
            HeadlessOnMessageBox(PostKeyWhileBoxIsUp);

        EXPECT_EQ(RunWinMain(), 0);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Could not flip to primary surface! Terminate application!"});
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 1);
        EXPECT_FALSE(HeadlessAudioOpen());
        EXPECT_FALSE(HeadlessDisplayHeld());
        EXPECT_TRUE(HeadlessWindowDestroyed());
    }
}

TEST_F(WinMainTest, AMinimisedWindowComposesNoFrames) {
    HeadlessSetAutoAdvance(7);
    RunStartUp();
    FillPasses(PRE_ROLL_PASSES);
    // Frame loop, one message per pass: a frame, then the minimise; ten
    // passes without frames; the restore (no frame in its pass); five
    // passes with frames; the destroy after the sixth.
    HeadlessPostInput(WM_SIZE, SIZE_MINIMIZED);
    PostFillers(10);
    HeadlessPostInput(WM_SIZE, SIZE_RESTORED);
    PostFillers(5);
    HeadlessPostInput(WM_DESTROY);

    EXPECT_EQ(MainLoop(), 1);
    EXPECT_EQ(HeadlessFlipCount(), 1 + 6);
}

TEST_F(WinMainTest, StarsAreSeededFromTheClockTopThenBottom) {
    const uint32_t now = 0x12345678;
    HeadlessSetTime(now);
    RunStartUp();

    // Four draws per star, x, y, speed, grey; a top star, then the bottom
    // star of the same index.
    CrtSrand(now);
    for (int i = 0; i < STAR_COUNT; ++i) {
        SCOPED_TRACE(i);
        for (bool top : {true, false}) {
            const Star& star = top ? scene.topStars[i] : scene.bottomStars[i];
            const int r1 = CrtRand(), r2 = CrtRand(), r3 = CrtRand(), r4 = CrtRand();
            EXPECT_EQ(star.x, top ? -(r1 % 50) : r1 % 50 + 640);
            EXPECT_EQ(star.y, top ? r2 % 24 : r2 % 24 + 456);
            EXPECT_EQ(star.speed, r3 % 5 + 1);
            EXPECT_EQ(star.colour, (r4 % 245 + 10) * 0x010101);
        }
    }
}

} // namespace
