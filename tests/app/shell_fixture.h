// The shell's cases: a fresh process for each (ProcessTest), with the
// window and the display brought up as WinMain brings them up.
#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "music/music.h"
#include "platform/headless/headless.h"
#include "tests/support/process_fixture.h"

class ShellTest : public ProcessTest {
protected:
    // The window and the display up, as WinMain has them before seeding.
    static void StartWindowAndDisplay() {
        app.instance = OsModuleHandle();
        app.showCommand = SW_SHOWNORMAL;
        ASSERT_TRUE(CreateMainWindow());
        ASSERT_TRUE(InitDisplay(mainWindow));
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
