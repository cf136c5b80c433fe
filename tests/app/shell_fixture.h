// A fresh process for every case: the headless backend, the display, the
// scene and the shell's own state back at their start values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "display/shell.h"
#include "music/music.h"
#include "platform/headless/headless.h"

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override {
        // Nothing of one case may reach the next: stop what a case left
        // running before the backend forgets its objects.
        MusicStop();
        ReleaseDisplay();
        ResetAll();
    }

    static void ResetAll() {
        HeadlessReset();
        ResetDisplay();
        ResetScene();
        ResetApp();
    }

    // The window and the display up, as WinMain has them before seeding.
    static void StartWindowAndDisplay() {
        app.instance = OsModuleHandle();
        app.showCommand = SW_SHOWNORMAL;
        ASSERT_TRUE(CreateMainWindow());
        ASSERT_TRUE(InitDisplay());
    }

    static int RunWinMain() { return WinMain(OsModuleHandle(), nullptr, "", SW_SHOWNORMAL); }

    // WinMain's first half, so that input can be posted to the window before
    // the pre-roll begins; MainLoop() is the second half.
    static void RunStartUp() { ASSERT_TRUE(StartUp(OsModuleHandle(), SW_SHOWNORMAL)); }

    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : HeadlessMessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
};
