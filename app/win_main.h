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

// WinMain in its two halves, so that a test can act between them, once the
// window exists. StartUp stores the instance and show command, creates the
// window, brings up the display and seeds the border stars; false when the
// window or the display could not be set up (already reported). MainLoop runs
// the pre-roll, starts the music and runs the frame loop; it returns the exit
// code as WinMain does.
bool StartUp(Instance* instance, int showCommand);
int MainLoop();

// The pre-roll: exactly PRE_ROLL_PASSES message steps and nothing else.
// True when one of them retrieved WM_QUIT, with its wParam in *exitCode.
bool PreRoll(int* exitCode);

// Registers the class "Quillon" and creates, shows, paints and focuses the
// one top-most pop-up window covering the screen. False after ErrorExit.
bool CreateMainWindow();

// One pass of the message step: at most one waiting message is retrieved,
// translated and dispatched. Returns true when it retrieved WM_QUIT, with
// that message's wParam in *exitCode; false otherwise (also when nothing
// was waiting).
bool MessageStep(int* exitCode);
