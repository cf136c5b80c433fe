// The program's entry point, its window and its message and frame loop.
#pragma once

#include "platform/platform.h"

// Passes of the message step between the display coming up and the music
// starting. A count of passes, not of messages or of time.
constexpr int PRE_ROLL_PASSES = 500000;

// The entry point; returns the process exit code: 0 when the window or the
// display cannot be set up, or after a fatal error; 1 after the ordinary
// end; the quit message's wParam when a WM_QUIT is retrieved first. The
// previous instance and the command line are ignored.
int WinMain(Instance* instance, Instance* previousInstance, const char* commandLine, int showCommand);

// Registers the class "Quillon" and creates, shows, paints and focuses the
// one top-most pop-up window covering the screen. False after ErrorExit.
bool CreateMainWindow();

// One pass of the message step: at most one waiting message is retrieved,
// translated and dispatched. Returns true when it retrieved WM_QUIT, with
// that message's wParam in *exitCode; false otherwise (also when nothing
// was waiting).
bool MessageStep(int* exitCode);
