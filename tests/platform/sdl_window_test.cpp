// The SDL backend's window and display on SDL's dummy video driver (no
// X server needed): SDL events become the window messages in order, the
// picture is presented scaled with its aspect kept and black borders, a
// render device reset loses the primary until Restore, and a run with no
// display says why on stderr.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>

#include "platform/platform.h"
#include "platform/sdl/sdl_internal.h"

namespace {

std::vector<Message> received;

intptr_t RecordingProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    received.push_back(Message{window, message, wParam, lParam});
    return OsDefWindowProc(window, message, wParam, lParam);
}

class SdlWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SdlBackendReset();
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
        // The software renderer draws into the window surface, where the
        // test can read the presented picture back.
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        received.clear();
    }
    void TearDown() override { SdlBackendReset(); }

    Window* Create(int w, int h) {
        const WindowClass wc{CS_VREDRAW | CS_HREDRAW | CS_OWNDC, RecordingProc, OsModuleHandle(), "Quillon", "Quillon"};
        EXPECT_TRUE(OsRegisterClass(wc));
        Window* window =
            OsCreateWindow(WS_EX_TOPMOST, "Quillon", "Quillon", WS_POPUP | WS_VISIBLE, 0, 0, w, h, OsModuleHandle());
        EXPECT_NE(window, nullptr) << SDL_GetError();
        OsShowWindow(window, SW_SHOWNORMAL);
        return window;
    }

    // Runs the program's message step until SDL has had time to deliver
    // everything queued: the step pumps at most once per millisecond.
    void Drain() {
        for (int idle = 0; idle < 3;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Message msg{};
            if (!OsPeekMessage(&msg)) {
                ++idle;
                continue;
            }
            idle = 0;
            while (OsPeekMessage(&msg)) {
                if (OsGetMessage(&msg) <= 0)
                    continue;
                OsTranslateMessage(&msg);
                OsDispatchMessage(&msg);
            }
        }
    }

    static void Push(const SDL_Event& e) { ASSERT_EQ(SDL_PushEvent(const_cast<SDL_Event*>(&e)), 1) << SDL_GetError(); }
};

SDL_Event Button(uint32_t type, uint8_t button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event Key(uint32_t type, SDL_Keycode sym, bool repeat) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.repeat = repeat ? 1 : 0;
    return e;
}

SDL_Event WindowEvent(uint8_t event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = event;
    return e;
}

SDL_Event Plain(uint32_t type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

TEST_F(SdlWindowTest, EventsBecomeMessagesInOrder) {
    Window* window = Create(640, 480);
    ASSERT_NE(window, nullptr);
    Drain();
    received.clear();
    const SDL_Event events[] = {
        Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20),
        Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20),
        Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 639, 479),
        Key(SDL_KEYDOWN, SDLK_SPACE, false),
        Key(SDL_KEYDOWN, SDLK_SPACE, true),
        Key(SDL_KEYUP, SDLK_SPACE, false),
        Key(SDL_KEYDOWN, SDLK_F7, false), // no virtual key of ours: dropped
        WindowEvent(SDL_WINDOWEVENT_MINIMIZED),
        WindowEvent(SDL_WINDOWEVENT_RESTORED),
        WindowEvent(SDL_WINDOWEVENT_MAXIMIZED),
        WindowEvent(SDL_WINDOWEVENT_CLOSE),
        Plain(SDL_QUIT), // follows the close of the last window: no second WM_CLOSE
    };
    for (const SDL_Event& e : events)
        Push(e);
    Drain();
    struct Want {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    const Want want[] = {
        {WM_LBUTTONDOWN, 1, (20 << 16) | 10},
        {WM_LBUTTONUP, 0, (20 << 16) | 10},
        {WM_RBUTTONDOWN, 2, (479 << 16) | 639},
        {WM_KEYDOWN, VK_SPACE, 1},
        {WM_KEYDOWN, VK_SPACE, 1 | (intptr_t{1} << 30)},
        {WM_KEYUP, VK_SPACE, 1 | (intptr_t{1} << 30) | (intptr_t{1} << 31)},
        {WM_SIZE, SIZE_MINIMIZED, 0},
        {WM_SIZE, SIZE_RESTORED, (480 << 16) | 640},
        {WM_SIZE, SIZE_MAXIMIZED, (480 << 16) | 640},
        {WM_CLOSE, 0, 0},
        {WM_DESTROY, 0, 0},
    };
    std::vector<Message> got;
    int characters = 0;
    for (const Message& m : received) {
        if (m.message == WM_CHAR)
            ++characters;
        else
            got.push_back(m);
    }
    EXPECT_EQ(characters, 2) << "TranslateMessage makes a WM_CHAR of each space key-down";
    ASSERT_EQ(got.size(), std::size(want));
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].window, window);
        EXPECT_EQ(got[i].message, want[i].message);
        EXPECT_EQ(got[i].wParam, want[i].wParam);
        EXPECT_EQ(got[i].lParam, want[i].lParam);
    }
    EXPECT_FALSE(OsDestroyWindow(window)) << "WM_CLOSE went through DefWindowProc";
}

TEST_F(SdlWindowTest, GetMessageWaitsForTheNextEvent) {
    ASSERT_NE(Create(320, 200), nullptr);
    Drain();
    std::thread late([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SDL_Event e = Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 1);
        SDL_PushEvent(&e);
    });
    Message msg{};
    EXPECT_GT(OsGetMessage(&msg), 0);
    late.join();
    EXPECT_EQ(msg.message, WM_RBUTTONDOWN);
}

class SdlDisplayTest : public SdlWindowTest {
protected:
    // A window of w x h with the 640x480 display and its flipping primary.
    void Open(int w, int h) {
        window = Create(w, h);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(DdCreate(&dd), RESULT_OK);
        ASSERT_EQ(DdSetCooperativeLevel(dd, window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT), RESULT_OK)
            << Video().reason;
        ASSERT_EQ(DdSetDisplayMode(dd, 640, 480, 32, 0, 0), RESULT_OK) << Video().reason;
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.backBufferCount = 1;
        d.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        ASSERT_EQ(DdCreateSurface(dd, &d, &primary), RESULT_OK);
        ASSERT_EQ(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back), RESULT_OK);
    }

    // The presented window pixel at (x, y) as 0x00RRGGBB.
    uint32_t Shown(int x, int y) {
        SDL_Surface* s = SDL_GetWindowSurface(Video().window);
        EXPECT_NE(s, nullptr) << SDL_GetError();
        if (!s)
            return 0xFFFFFFFFu;
        uint8_t r = 0, g = 0, b = 0;
        const auto* row = static_cast<const uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        uint32_t raw = 0;
        std::memcpy(&raw, row + static_cast<size_t>(x) * s->format->BytesPerPixel, s->format->BytesPerPixel);
        SDL_GetRGB(raw, s->format, &r, &g, &b);
        return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    }

    Window* window = nullptr;
    DirectDraw* dd = nullptr;
    Surface* primary = nullptr;
    Surface* back = nullptr;
};

// The picture fills the window at 4:3 between black borders. At a whole
// scale every screen pixel is one picture pixel (sharp); at a fractional one
// the picture is enlarged sharp by the whole part and smoothly by the rest,
// so a red/blue checkerboard shows blends of the two, and nothing else.
TEST_F(SdlDisplayTest, FlipPresentsScaledWithAspectKeptAndBlackBorders) {
    struct Case {
        int width, height;
        int left, right; // first and last picture column on screen
        bool sharp;
    };
    const Case cases[] = {
        {1000, 600, 100, 899, false}, // 1.25: 800x600, 100 black columns each side
        {1280, 960, 0, 1279, true},   // 2
        {1440, 960, 80, 1359, true},  // 2: 1280x960, 80 black columns each side
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        SdlBackendReset(); // each case on a fresh window and device
        Open(c.width, c.height);
        SurfaceDesc d{};
        ASSERT_EQ(SurfaceLock(back, &d), RESULT_OK);
        for (uint32_t y = 0; y < 480; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch);
            for (uint32_t x = 0; x < 640; ++x)
                row[x] = ((x + y) % 2) ? 0xFF0000u : 0x0000FFu;
        }
        ASSERT_EQ(SurfaceUnlock(back), RESULT_OK);
        ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);

        for (int y : {0, c.height / 2, c.height - 1}) {
            if (c.left > 0) {
                EXPECT_EQ(Shown(0, y), 0u);
                EXPECT_EQ(Shown(c.left - 1, y), 0u);
                EXPECT_EQ(Shown(c.right + 1, y), 0u);
                EXPECT_EQ(Shown(c.width - 1, y), 0u);
            }
        }
        int blended = 0;
        for (int x = c.left; x <= c.right; ++x) {
            const uint32_t v = Shown(x, c.height / 2 + 1);
            const uint32_t red = v >> 16, green = (v >> 8) & 0xFF, blue = v & 0xFF;
            // Only the two colours and their mixtures: nothing of the border
            // or of another pixel's colour leaks in.
            ASSERT_EQ(green, 0u) << std::hex << v << " at x " << std::dec << x;
            ASSERT_NEAR(static_cast<int>(red + blue), 255, 2) << std::hex << v << " at x " << std::dec << x;
            if (v != 0xFF0000u && v != 0x0000FFu)
                ++blended;
        }
        if (c.sharp) {
            EXPECT_EQ(blended, 0);
            // Pixel (x, y) of the picture covers screen pixels 2x, 2x + 1.
            EXPECT_EQ(Shown(c.left, 0), 0x0000FFu);
            EXPECT_EQ(Shown(c.left + 1, 0), 0x0000FFu);
            EXPECT_EQ(Shown(c.left + 2, 0), 0xFF0000u);
            EXPECT_EQ(Shown(c.right, c.height - 1), 0x0000FFu) << "picture pixel (639, 479)";
        } else {
            EXPECT_GT(blended, 0) << "a fractional scale is smooth";
        }
    }
}

TEST_F(SdlDisplayTest, RenderDeviceResetLosesThePrimaryUntilRestored) {
    Open(640, 480);
    ASSERT_EQ(SurfaceColorFill(back, nullptr, 0x5D1759), RESULT_OK);
    ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);
    EXPECT_EQ(Shown(320, 240), 0x5D1759u);
    Push(Plain(SDL_RENDER_DEVICE_RESET));
    Drain();
    EXPECT_EQ(SurfaceIsLost(primary), RESULT_SURFACELOST);
    EXPECT_EQ(SurfaceFlip(primary), RESULT_SURFACELOST);
    ASSERT_EQ(SurfaceRestore(primary), RESULT_OK) << Video().reason;
    EXPECT_EQ(SurfaceIsLost(primary), RESULT_OK);
    ASSERT_EQ(SurfaceColorFill(back, nullptr, 0x010004), RESULT_OK);
    ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);
    EXPECT_EQ(Shown(320, 240), 0x010004u);
    SurfaceRelease(primary);
    DdRelease(dd);
}

TEST_F(SdlDisplayTest, ReleaseThenDestroyAndDestroyWhileHeld) {
    Open(640, 480);
    // Destroying the window while the display is still held (WM_DESTROY
    // then releases it) must not leave SDL with a dangling renderer.
    ASSERT_TRUE(OsDestroyWindow(window));
    SurfaceRelease(primary);
    DdRelease(dd);
    EXPECT_EQ(Video().window, nullptr);
    EXPECT_EQ(Video().renderer, nullptr);
}

TEST_F(SdlWindowTest, CursorCountHidesAndShows) {
    ASSERT_NE(Create(64, 64), nullptr);
    EXPECT_EQ(OsShowCursor(false), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(OsShowCursor(true), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(SdlWindowTest, NoDisplayFailsWindowCreationAndSaysWhy) {
    SDL_setenv("SDL_VIDEODRIVER", "no-such-video-driver", 1);
    EXPECT_EQ(OsScreenWidth(), 0);
    const WindowClass wc{0, RecordingProc, nullptr, "Quillon", "Quillon"};
    ASSERT_TRUE(OsRegisterClass(wc));
    EXPECT_EQ(OsCreateWindow(WS_EX_TOPMOST, "Quillon", "Quillon", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr),
              nullptr);
    DirectDraw* dd = nullptr;
    EXPECT_NE(DdCreate(&dd), RESULT_OK);
    ::testing::internal::CaptureStderr();
    OsMessageBox(nullptr, "Could not create main window! Terminate application!", "ERROR");
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string first = "Could not create main window! Terminate application!\n";
    ASSERT_EQ(err.substr(0, first.size()), first);
    EXPECT_NE(err.find("SDL_Init(video)", first.size()), std::string::npos) << err;
}

} // namespace
