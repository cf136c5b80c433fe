#include "app/win_main.h"

#include "app/app_state.h"
#include "app/window_proc.h"
#include "display/display_device.h"
#include "display/error_exit.h"
#include "display/frame.h"
#include "display/scene.h"
#include "display/stars.h"
#include "music/music.h"
#include "platform/crt_rand.h"

bool CreateMainWindow() {
    WindowClass windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.windowProc = WindowProc;
    windowClass.instance = app.instance;
    // The module holds no menu resource, so the window gets no menu.
    windowClass.menuName = "Quillon";
    windowClass.className = "Quillon";
    if (!OsRegisterClass(windowClass)) {
        return ErrorExit("Could not register window class!");
    }

    // Covers the desktop at its size before the display mode changes.
    mainWindow = OsCreateWindow(WS_EX_TOPMOST, "Quillon", "Quillon", WS_POPUP | WS_VISIBLE, 0, 0, OsScreenWidth(),
                                OsScreenHeight(), app.instance);
    if (mainWindow == nullptr) {
        return ErrorExit("Could not create main window!");
    }

    OsShowWindow(mainWindow, app.showCommand);
    OsUpdateWindow(mainWindow);
    OsSetFocus(mainWindow);
    return true;
}

bool MessageStep(int* exitCode) {
    Message msg{};
    if (!OsPeekMessage(&msg)) {
        return false;
    }
    if (OsGetMessage(&msg) == 0) {
        *exitCode = static_cast<int>(msg.wParam);
        return true;
    }
    OsTranslateMessage(&msg);
    OsDispatchMessage(&msg);
    return false;
}

bool StartUp(Instance* instance, int showCommand) {
    // From here on every fatal error stops this loop first.
    SetStopLoopHook(StopLoop);
    app.instance = instance;
    app.showCommand = showCommand;

    if (!CreateMainWindow()) {
        return false;
    }
    if (!InitDisplay(mainWindow)) {
        return false;
    }

    // The generator serves only the border stars: four draws per star,
    // alternating a top and a bottom star.
    CrtSrand(OsTimeGetTime());
    for (int i = 0; i < STAR_COUNT; ++i) {
        RenewStar(scene.topStars[i], true);
        RenewStar(scene.bottomStars[i], false);
    }
    return true;
}

bool PreRoll(int* exitCode) {
    for (int pass = 0; pass < PRE_ROLL_PASSES; ++pass) {
        if (MessageStep(exitCode)) {
            return true;
        }
    }
    return false;
}

int MainLoop() {
    int exitCode = 0;
    if (PreRoll(&exitCode)) {
        return exitCode;
    }

    // A WM_DESTROY dispatched by the very last pass has already stopped the
    // music and released the display; its quit message is still queued.
    // Starting the music now would leave it playing past the end.
    if (!app.running) {
        return 0;
    }

    // Without sound the presentation runs silent.
    MusicStart();

    while (app.running) {
        if (app.active) {
            ComposeFrame();
        }
        if (MessageStep(&exitCode)) {
            return exitCode;
        }
    }
    // A fatal error in a frame clears `running` too; when a message was
    // queued ahead of its quit message the loop ends here, and the run still
    // counts as failed.
    return app.errorExitTaken ? 0 : 1;
}

int WinMain(Instance* instance, Instance* /*previousInstance*/, const char* /*commandLine*/, int showCommand) {
    // A failed set-up has been reported by the error exit, which destroyed
    // the window; there is nothing to stop.
    if (!StartUp(instance, showCommand)) {
        return 0;
    }
    return MainLoop();
}
