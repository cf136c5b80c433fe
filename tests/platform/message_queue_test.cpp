// The window and its queue on the headless backend: peek leaves the message,
// get removes it and reports WM_QUIT as 0, dispatch reaches the class's
// procedure, DestroyWindow sends WM_DESTROY at once, DefWindowProc closes.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/window_core.h"
#include "tests/support/process_fixture.h"

namespace {

std::vector<Message> received;

intptr_t RecordingProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    received.push_back(Message{window, message, wParam, lParam});
    if (message == WM_DESTROY)
        OsPostQuitMessage(7);
    return OsDefWindowProc(window, message, wParam, lParam);
}

class MessageQueueTest : public ProcessTest {
protected:
    void SetUp() override {
        ProcessTest::SetUp();
        received.clear();
        const WindowClass wc{CS_VREDRAW | CS_HREDRAW | CS_OWNDC, RecordingProc, OsModuleHandle(), "Quillon", "Quillon"};
        ASSERT_TRUE(OsRegisterClass(wc));
        window = OsCreateWindow(WS_EX_TOPMOST, "Quillon", "Quillon", WS_POPUP | WS_VISIBLE, 0, 0, OsScreenWidth(),
                                OsScreenHeight(), OsModuleHandle());
        ASSERT_NE(window, nullptr);
    }

    // One pass of the program's message step; returns the GetMessage result
    // or -2 when nothing waited.
    int Step(Message& msg) {
        if (!OsPeekMessage(&msg))
            return -2;
        const int r = OsGetMessage(&msg);
        if (r > 0) {
            OsTranslateMessage(&msg);
            OsDispatchMessage(&msg);
        }
        return r;
    }

    Window* window = nullptr;
};

TEST_F(MessageQueueTest, ClassAndWindowRules) {
    const WindowClass again{0, RecordingProc, nullptr, nullptr, "Quillon"};
    EXPECT_FALSE(OsRegisterClass(again)) << "a class name is registered once";
    EXPECT_FALSE(OsRegisterClass(WindowClass{0, nullptr, nullptr, nullptr, "NoProcedure"}));
    EXPECT_FALSE(OsRegisterClass(WindowClass{0, RecordingProc, nullptr, nullptr, nullptr})) << "a class needs a name";
    EXPECT_EQ(OsCreateWindow(0, "NoProcedure", "x", 0, 0, 0, 1, 1, nullptr), nullptr);
    EXPECT_EQ(OsCreateWindow(0, "Unknown", "x", 0, 0, 0, 1, 1, nullptr), nullptr);
    EXPECT_EQ(HeadlessWindow(), window);
    EXPECT_EQ(OsScreenWidth(), 640);
    EXPECT_EQ(OsScreenHeight(), 480);
    // Once it is gone another may be made, and the window keeps the place
    // and size it was made with (the program's tests read them back; a
    // place off the origin shows one that was not kept).
    ASSERT_TRUE(OsDestroyWindow(window));
    Window* moved = OsCreateWindow(0, "Quillon", "Moved", WS_POPUP, 12, 34, 56, 78, nullptr);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ((std::vector<int>{moved->x, moved->y, moved->width, moved->height}), (std::vector<int>{12, 34, 56, 78}));
}

TEST_F(MessageQueueTest, PeekLeavesGetRemovesInOrder) {
    Message msg{};
    EXPECT_FALSE(OsPeekMessage(&msg));
    HeadlessPostInput(WM_RBUTTONDOWN);
    ASSERT_TRUE(OsPostMessage(window, WM_KEYDOWN, VK_SPACE, 0));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(OsPeekMessage(&msg));
        EXPECT_EQ(msg.message, WM_RBUTTONDOWN);
    }
    EXPECT_EQ(HeadlessQueuedMessages().size(), 2u);
    ASSERT_GT(Step(msg), 0);
    ASSERT_GT(Step(msg), 0);
    // TranslateMessage turned the space key into WM_CHAR, queued behind.
    ASSERT_GT(Step(msg), 0);
    EXPECT_EQ(Step(msg), -2);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, WM_RBUTTONDOWN);
    EXPECT_EQ(received[1].message, WM_KEYDOWN);
    EXPECT_EQ(received[1].wParam, VK_SPACE);
    EXPECT_EQ(received[2].message, WM_CHAR);
    EXPECT_EQ(received[2].wParam, static_cast<uintptr_t>(' '));
}

// TranslateMessage makes a WM_CHAR of the keys that type something, as
// Windows does for an unshifted keyboard; the others give none.
TEST_F(MessageQueueTest, TranslateMessageMakesTheCharactersOfTypingKeys) {
    struct Case {
        const char* name;
        uintptr_t key;
        int character; // -1: no WM_CHAR
    };
    const Case cases[] = {
        {"space", VK_SPACE, ' '}, {"digit", '7', '7'},         {"letter, lower case", 'Q', 'q'},
        {"return", 0x0D, '\r'},   {"escape", VK_ESCAPE, 0x1B}, {"F1", 0x70, -1},
        {"shift", 0x10, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        ASSERT_TRUE(OsPostMessage(window, WM_KEYDOWN, c.key, 0));
        Message msg{};
        while (Step(msg) > 0) {
        }
        ASSERT_EQ(received.size(), c.character < 0 ? 1u : 2u);
        if (c.character >= 0) {
            EXPECT_EQ(received[1].message, WM_CHAR);
            EXPECT_EQ(received[1].wParam, static_cast<uintptr_t>(c.character));
        }
    }
}

TEST_F(MessageQueueTest, QuitMessageGivesZeroAndItsExitCode) {
    HeadlessPostInput(WM_LBUTTONDOWN);
    OsPostQuitMessage(3);
    HeadlessPostInput(WM_LBUTTONDOWN);
    Message msg{};
    EXPECT_GT(Step(msg), 0);
    EXPECT_EQ(Step(msg), 0);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(HeadlessQueuedMessages().size(), 1u);
}

TEST_F(MessageQueueTest, DestroyWindowSendsDestroyAtOnceAndOnlyOnce) {
    HeadlessPostInput(WM_LBUTTONDOWN);
    ASSERT_TRUE(OsDestroyWindow(window));
    ASSERT_EQ(received.size(), 1u) << "WM_DESTROY is sent before DestroyWindow returns";
    EXPECT_EQ(received[0].message, WM_DESTROY);
    EXPECT_TRUE(HeadlessWindowDestroyed());
    EXPECT_EQ(HeadlessWindow(), nullptr);
    EXPECT_FALSE(OsDestroyWindow(window));
    EXPECT_FALSE(OsDestroyWindow(nullptr));
    EXPECT_FALSE(OsPostMessage(window, WM_SIZE, SIZE_RESTORED, 0)) << "a destroyed window takes no messages";
    // The click queued before the destruction goes nowhere; the quit
    // message posted by WM_DESTROY follows it.
    Message msg{};
    EXPECT_GT(Step(msg), 0);
    EXPECT_EQ(received.size(), 1u);
    EXPECT_EQ(Step(msg), 0);
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MessageQueueTest, DefWindowProcClosesOnWmClose) {
    HeadlessPostInput(WM_CLOSE);
    Message msg{};
    ASSERT_GT(Step(msg), 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, WM_CLOSE);
    EXPECT_EQ(received[1].message, WM_DESTROY);
    EXPECT_TRUE(HeadlessWindowDestroyed());
    EXPECT_EQ(Step(msg), 0);
}

TEST_F(MessageQueueTest, CursorCountAndMessageBoxes) {
    EXPECT_EQ(OsShowCursor(false), -1);
    EXPECT_EQ(OsShowCursor(false), -2);
    EXPECT_EQ(OsShowCursor(true), -1);
    EXPECT_EQ(HeadlessCursorCount(), -1);

    static int callbacks;
    callbacks = 0;
    HeadlessOnMessageBox([] { ++callbacks; });
    OsMessageBox(window, "SetDisplayMode failed! Terminate application!", "ERROR");
    OsMessageBox(nullptr, "second", "ERROR");
    ASSERT_EQ(HeadlessMessageBoxes().size(), 2u);
    EXPECT_TRUE(HeadlessMessageBoxes()[0].hadOwner);
    EXPECT_EQ(HeadlessMessageBoxes()[0].text, "SetDisplayMode failed! Terminate application!");
    EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "ERROR");
    EXPECT_FALSE(HeadlessMessageBoxes()[1].hadOwner);
    EXPECT_EQ(callbacks, 2);
    HeadlessReset();
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_EQ(HeadlessCursorCount(), 0);
}

TEST(HeadlessClock, ScriptedAutoAdvancingAndVirtualSleep) {
    HeadlessReset();
    EXPECT_EQ(OsTimeGetTime(), 0u);
    HeadlessSetTime(0xFFFFFFF0u);
    HeadlessAdvanceTime(0x20);
    EXPECT_EQ(OsTimeGetTime(), 0x10u) << "the clock wraps at 32 bits";
    HeadlessSetAutoAdvance(5);
    EXPECT_EQ(OsTimeGetTime(), 0x15u);
    EXPECT_EQ(OsTimeGetTime(), 0x1Au);
    HeadlessSetAutoAdvance(0);
    HeadlessSetVirtualSleep(true);
    OsSleep(1000);
    EXPECT_EQ(OsTimeGetTime(), 0x1Au + 1000);
    HeadlessReset();
}

TEST(HeadlessThreads, RunAndJoinOnClose) {
    HeadlessReset();
    static std::atomic<int> value;
    static int threadParameter = 42;
    value = 0;
    Thread* t = OsCreateThread(
        [](void* p) -> uint32_t {
            OsSleep(2);
            value.store(*static_cast<int*>(p));
            return 0;
        },
        &threadParameter);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(OsSetThreadPriorityTimeCritical(t));
    OsCloseThread(t);
    EXPECT_EQ(value.load(), 42);
}

} // namespace
