// The window procedure's table: each message under each condition, and the
// flags it must leave.
#include <algorithm>

#include "app/window_proc.h"

#include "shell_fixture.h"

namespace {

struct Flags {
    bool active;
    bool showFps;
    bool quitRequested;
    bool pageSliding;
    uint8_t targetPage;
    bool revealing;
    uint8_t backgroundFrames;

    bool operator==(const Flags&) const = default;
};

void PrintTo(const Flags& f, std::ostream* os) {
    *os << "{active " << f.active << ", showFps " << f.showFps << ", quit " << f.quitRequested << ", sliding "
        << f.pageSliding << ", target " << int(f.targetPage) << ", revealing " << f.revealing << ", bgFrames "
        << int(f.backgroundFrames) << "}";
}

Flags Current() {
    return {app.active,       scene.showFps,   scene.quitRequested,   scene.pageSliding,
            scene.targetPage, scene.revealing, scene.backgroundFrames};
}

void Apply(const Flags& f) {
    app.active = f.active;
    scene.showFps = f.showFps;
    scene.quitRequested = f.quitRequested;
    scene.pageSliding = f.pageSliding;
    scene.targetPage = f.targetPage;
    scene.revealing = f.revealing;
    scene.backgroundFrames = f.backgroundFrames;
}

// A page shown in full, nothing under way.
constexpr Flags SHOWN{true, false, false, false, 1, false, 2};

Flags With(Flags f, void (*change)(Flags&)) {
    change(f);
    return f;
}

struct Row {
    const char* name;
    uint32_t message;
    uintptr_t wParam;
    Flags before;
    Flags after;
};

const Row ROWS[] = {
    {"minimise stops the frames", WM_SIZE, SIZE_MINIMIZED, SHOWN, With(SHOWN, [](Flags& f) { f.active = false; })},
    {"restore resumes them and redraws the background", WM_SIZE, SIZE_RESTORED,
     With(SHOWN, [](Flags& f) { f.active = false; }), With(SHOWN, [](Flags& f) { f.backgroundFrames = 0; })},
    {"maximise counts as a restore", WM_SIZE, SIZE_MAXIMIZED, With(SHOWN, [](Flags& f) { f.active = false; }),
     With(SHOWN, [](Flags& f) { f.backgroundFrames = 0; })},
    {"space shows the counter", WM_KEYDOWN, VK_SPACE, SHOWN, With(SHOWN, [](Flags& f) { f.showFps = true; })},
    {"space hides it again", WM_KEYDOWN, VK_SPACE, With(SHOWN, [](Flags& f) { f.showFps = true; }), SHOWN},
    {"space during the closing still toggles", WM_KEYDOWN, VK_SPACE,
     With(SHOWN,
          [](Flags& f) {
              f.quitRequested = true;
              f.pageSliding = true;
          }),
     With(SHOWN,
          [](Flags& f) {
              f.quitRequested = true;
              f.pageSliding = true;
              f.showFps = true;
          })},
    {"another key", WM_KEYDOWN, VK_ESCAPE, SHOWN, SHOWN},
    {"space released", WM_KEYUP, VK_SPACE, SHOWN, SHOWN},
    {"a character", WM_CHAR, ' ', SHOWN, SHOWN},
    {"left button on a shown page", WM_LBUTTONDOWN, 0, SHOWN, With(SHOWN, [](Flags& f) { f.quitRequested = true; })},
    {"left button during a reveal", WM_LBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.revealing = true; }),
     With(SHOWN, [](Flags& f) { f.revealing = true; })},
    {"left button during a wipe", WM_LBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.pageSliding = true; }),
     With(SHOWN, [](Flags& f) { f.pageSliding = true; })},
    {"left button again after it was accepted", WM_LBUTTONDOWN, 0,
     With(SHOWN, [](Flags& f) { f.quitRequested = true; }), With(SHOWN, [](Flags& f) { f.quitRequested = true; })},
    {"right button on page 1", WM_RBUTTONDOWN, 0, SHOWN,
     With(SHOWN,
          [](Flags& f) {
              f.targetPage = 2;
              f.pageSliding = true;
          })},
    {"right button on page 3", WM_RBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.targetPage = 3; }),
     With(SHOWN,
          [](Flags& f) {
              f.targetPage = 4;
              f.pageSliding = true;
          })},
    {"right button on page 4 wraps to 1", WM_RBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.targetPage = 4; }),
     With(SHOWN,
          [](Flags& f) {
              f.targetPage = 1;
              f.pageSliding = true;
          })},
    {"right button during a reveal", WM_RBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.revealing = true; }),
     With(SHOWN, [](Flags& f) { f.revealing = true; })},
    {"right button during a wipe", WM_RBUTTONDOWN, 0,
     With(SHOWN,
          [](Flags& f) {
              f.pageSliding = true;
              f.targetPage = 2;
          }),
     With(SHOWN,
          [](Flags& f) {
              f.pageSliding = true;
              f.targetPage = 2;
          })},
    {"right button during the closing", WM_RBUTTONDOWN, 0, With(SHOWN, [](Flags& f) { f.quitRequested = true; }),
     With(SHOWN, [](Flags& f) { f.quitRequested = true; })},
    {"left button released", WM_LBUTTONUP, 0, SHOWN, SHOWN},
    {"right button released", WM_RBUTTONUP, 0, SHOWN, SHOWN},
    {"middle button", WM_MBUTTONDOWN, 0, SHOWN, SHOWN},
};

class WindowProcTest : public ShellTest {};

TEST_F(WindowProcTest, EveryRowOfTheTable) {
    StartWindowAndDisplay();
    for (const Row& row : ROWS) {
        SCOPED_TRACE(row.name);
        Apply(row.before);
        WindowProc(mainWindow, row.message, row.wParam, 0);
        EXPECT_EQ(Current(), row.after);
        EXPECT_TRUE(app.running);
    }
    EXPECT_TRUE(HeadlessDisplayHeld());
    for (const Message& queued : HeadlessQueuedMessages())
        EXPECT_NE(queued.message, WM_QUIT);
}

TEST_F(WindowProcTest, PagesCycleOneToFourAndBackToOne) {
    StartWindowAndDisplay();
    Apply(SHOWN);
    const uint8_t expected[] = {2, 3, 4, 1, 2};
    for (uint8_t page : expected) {
        WindowProc(mainWindow, WM_RBUTTONDOWN, 0, 0);
        EXPECT_EQ(scene.targetPage, page);
        EXPECT_TRUE(scene.pageSliding);
        // A second press while the wipe runs changes nothing.
        WindowProc(mainWindow, WM_RBUTTONDOWN, 0, 0);
        EXPECT_EQ(scene.targetPage, page);
        scene.pageSliding = false; // the wipe and reveal have ended
    }
}

TEST_F(WindowProcTest, AutoRepeatedSpaceTogglesEachTime) {
    StartWindowAndDisplay();
    // Drain whatever the window's creation queued.
    int exitCode = -1;
    while (!HeadlessQueuedMessages().empty())
        ASSERT_FALSE(MessageStep(&exitCode));

    // Held down: the first key-down, then auto-repeated ones (bit 30 of
    // lParam set), each with the character that TranslateMessage makes of it.
    for (int i = 0; i < 5; ++i) {
        HeadlessPostInput(WM_KEYDOWN, VK_SPACE, i == 0 ? 1 : 0x40000001);
        while (!HeadlessQueuedMessages().empty())
            ASSERT_FALSE(MessageStep(&exitCode));
        EXPECT_EQ(scene.showFps, i % 2 == 0) << "key-down " << i;
    }
}

TEST_F(WindowProcTest, DestroyShutsEverythingDown) {
    StartWindowAndDisplay();
    ASSERT_TRUE(MusicStart() || HeadlessCallCount("WaveOutOpen") == 1);
    ASSERT_TRUE(HeadlessAudioOpen());
    HeadlessClearReleaseLog();
    WindowProc(mainWindow, WM_DESTROY, 0, 0);

    // The music stops (its feeder ended, the device closed) before the
    // display goes, and the DirectDraw object is the last thing released.
    const auto released = HeadlessReleaseLog();
    ASSERT_GE(released.size(), 3u);
    EXPECT_EQ(released.front(), "waveOut");
    EXPECT_EQ(released.back(), "DirectDraw");
    EXPECT_EQ(std::count(released.begin(), released.end(), "waveOut"), 1);

    EXPECT_FALSE(app.running);
    EXPECT_FALSE(app.active);
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    EXPECT_FALSE(HeadlessAudioOpen());
    EXPECT_FALSE(HeadlessAudioPlaying());
    const auto queued = HeadlessQueuedMessages();
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued.back().message, WM_QUIT);
    EXPECT_EQ(queued.back().wParam, 0u);
}

TEST_F(WindowProcTest, CloseGoesThroughTheDefaultProcedureToDestroy) {
    StartWindowAndDisplay();
    WindowProc(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(HeadlessWindowDestroyed());
    EXPECT_FALSE(app.running);
    EXPECT_FALSE(HeadlessDisplayHeld());
}

} // namespace
