// A display brought up on the headless backend as the program does it
// (window, InitDisplay), with a scripted clock and the border stars parked
// off screen so that pictures hold only what a test looks at.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/frame.h"
#include "display/pages.h"
#include "display/layout.h"
#include "display/scene.h"
#include "display/stars.h"
#include "platform/crt_rand.h"
#include "platform/headless/headless.h"
#include "tests/support/process_fixture.h"

constexpr uint32_t START_TIME = 100000;
// Longer than the animation interval, so every frame takes both ticks.
constexpr uint32_t SLOW_FRAME_MS = 21;

inline int SurfaceWidth(Surface* surface) {
    SurfaceDesc desc{};
    SurfaceGetDesc(surface, &desc);
    return static_cast<int>(desc.width);
}

inline int SurfaceHeight(Surface* surface) {
    SurfaceDesc desc{};
    SurfaceGetDesc(surface, &desc);
    return static_cast<int>(desc.height);
}

// Every pixel of the surface, row by row.
inline std::vector<uint32_t> Pixels(Surface* surface) {
    const int width = SurfaceWidth(surface);
    const int height = SurfaceHeight(surface);
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(HeadlessPixel(surface, x, y));
    return pixels;
}

inline uint32_t PagePixel(int page, int x, int y) {
    return HeadlessPixel(display.page, x, PAGE_HEIGHT * (page - 1) + y);
}

class SceneTest : public ProcessTest {
protected:
    void SetUp() override {
        ProcessTest::SetUp();
        StartScene();
    }

    // The clock at START_TIME, the window and the display up, the stars
    // parked. A table's case starts with ResetProcessState(); StartScene().
    static void StartScene() {
        HeadlessSetTime(START_TIME);
        ASSERT_TRUE(CreateMainWindow());
        ASSERT_TRUE(InitDisplay(mainWindow));
        ParkStars();
    }

    // Top stars wait left of the screen, bottom stars right of it, for ever.
    static void ParkStars() {
        for (int i = 0; i < STAR_COUNT; ++i) {
            scene.topStars[i] = Star{-1000, 0, 0, 0};
            scene.bottomStars[i] = Star{10000, BOTTOM_STRIP_Y, 0, 0};
        }
    }

    // One frame, `ms` after the previous one.
    static bool Frame(uint32_t ms = SLOW_FRAME_MS) {
        HeadlessAdvanceTime(ms);
        return ComposeFrame();
    }

    // Frames until page 1 rests in view.
    static void FinishReveal() {
        for (int i = 0; i < 400 && scene.revealing; ++i)
            ASSERT_TRUE(Frame());
        ASSERT_FALSE(scene.revealing);
    }

    static void Input(uint32_t message, uintptr_t wParam = 0) {
        HeadlessPostInput(message, wParam);
        int exitCode = 0;
        while (!HeadlessQueuedMessages().empty())
            ASSERT_FALSE(MessageStep(&exitCode));
    }
};
