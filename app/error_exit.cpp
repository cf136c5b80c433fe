#include <cstdio>

#include "app/app_state.h"
#include "display/display_device.h"
#include "display/shell.h"

bool ErrorExit(const char* message) {
    app.running = false;
    app.active = false;
    app.errorExitTaken = true;
    OsShowCursor(true);
    // Gives the desktop its display mode back before the box appears.
    ReleaseDisplay();

    // Room for the longest message and the suffix; a longer text is cut,
    // never written past the buffer.
    char text[128];
    std::snprintf(text, sizeof text, "%s Terminate application!", message);
    OsMessageBox(mainWindow, text, "ERROR");

    // Sends WM_DESTROY: the music stops, the (already released) display is
    // released again, which does nothing, and the quit message is posted.
    // Before the window exists, or once it is gone, this does nothing.
    OsDestroyWindow(mainWindow);
    return false;
}
