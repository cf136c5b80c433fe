// The application shell's own state: the module, the show command, and the
// two flags of the frame loop. The one window is `mainWindow` (display/shell.h),
// defined beside this state. One instance, on the main thread only.
#pragma once

#include "platform/platform.h"

struct App {
    Instance* instance = nullptr;
    int showCommand = 0;
    bool running = true;         // the frame loop goes on while set
    bool active = true;          // frames are composed only while set
    bool errorExitTaken = false; // ErrorExit ran: the run ends with exit code 0
};

extern App app;

// Back to the state at process start, window handle included (tests).
void ResetApp();
