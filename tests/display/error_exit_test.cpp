// The error exit: its order (loop stopped, cursor back, display released,
// box shown, window destroyed) and its text.
#include <cstring>

#include "display/error_exit.h"
#include "tests/app/shell_fixture.h"

namespace {

// What was true while the box was up.
struct AtBox {
    bool displayHeld;
    int liveSurfaces;
    bool running;
    bool active;
    int cursorCount;
    bool windowDestroyed;
};
AtBox atBox;

void RecordAtBox() {
    atBox = {HeadlessDisplayHeld(), HeadlessLiveSurfaceCount(), app.running, app.active,
             HeadlessCursorCount(), HeadlessWindowDestroyed()};
}

class ErrorExitTest : public ShellTest {};

TEST_F(ErrorExitTest, ReleasesTheDisplayBeforeTheBoxAndDestroysTheWindowAfterIt) {
    StartWindowAndDisplay();
    const int hiddenCount = HeadlessCursorCount();
    HeadlessOnMessageBox(RecordAtBox);

    EXPECT_FALSE(ErrorExit("PAGE->BACKBUF copy error!"));

    EXPECT_FALSE(atBox.displayHeld);
    EXPECT_EQ(atBox.liveSurfaces, 0);
    EXPECT_FALSE(atBox.running);
    EXPECT_FALSE(atBox.active);
    EXPECT_EQ(atBox.cursorCount, hiddenCount + 1);
    EXPECT_FALSE(atBox.windowDestroyed);

    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    const auto& box = HeadlessMessageBoxes()[0];
    EXPECT_EQ(box.text, "PAGE->BACKBUF copy error! Terminate application!");
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_TRUE(box.hadOwner);

    // The window's WM_DESTROY posted the quit message with 0.
    EXPECT_TRUE(HeadlessWindowDestroyed());
    const auto queued = HeadlessQueuedMessages();
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued.back().message, WM_QUIT);
    EXPECT_EQ(queued.back().wParam, 0u);
}

TEST_F(ErrorExitTest, BeforeTheWindowExistsTheBoxHasNoOwner) {
    EXPECT_FALSE(ErrorExit("Could not register window class!"));
    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    EXPECT_FALSE(HeadlessMessageBoxes()[0].hadOwner);
    EXPECT_EQ(HeadlessMessageBoxes()[0].text, "Could not register window class! Terminate application!");
    EXPECT_FALSE(app.running);
}

TEST_F(ErrorExitTest, ASecondPassFindsNothingLeftToRelease) {
    // A failed rebuild reports its own message, then the frame reports that
    // nothing could be restored: two boxes, one destruction, one quit.
    StartWindowAndDisplay();
    ErrorExit("CreateSurface (PAGE) failed!");
    HeadlessClearReleaseLog();
    ErrorExit("Could not restore all objects!");

    EXPECT_TRUE(HeadlessReleaseLog().empty());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"CreateSurface (PAGE) failed! Terminate application!",
                                                    "Could not restore all objects! Terminate application!"}));
    int quits = 0;
    for (const Message& m : HeadlessQueuedMessages())
        quits += m.message == WM_QUIT;
    EXPECT_EQ(quits, 1);
}

TEST_F(ErrorExitTest, AnOverlongMessageIsCutNotOverrun) {
    std::string longMessage(400, 'x');
    ErrorExit(longMessage.c_str());
    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    const std::string& text = HeadlessMessageBoxes()[0].text;
    EXPECT_LT(text.size(), 400u);
    EXPECT_EQ(text.find_first_not_of('x'), std::string::npos);
}

} // namespace
