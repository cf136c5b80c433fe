// The application shell's own state: the module, the show command, the one
// window and the two flags of the frame loop. One instance, on the main
// thread only.
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

// The one window; null until created.
extern Window* mainWindow;

// The shell's part in a fatal error (display/error_exit.h): the loop stops,
// no more frames are composed, and the run ends with exit code 0.
void StopLoop();

// Back to the state at process start, window handle included, with StopLoop
// installed as the error exit's first step (tests).
void ResetApp();
