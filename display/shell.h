// What the display needs of the application shell (app/), which defines
// these. Declared here so that display/ never includes app/.
#pragma once

#include "platform/platform.h"

// The one window; null until created.
extern Window* mainWindow;

// The single fatal-error path: stops the loop, releases the display, shows
// "<message> Terminate application!" in a box titled "ERROR" and destroys the
// window. Always returns false, so a failing routine can return its result.
bool ErrorExit(const char* message);
