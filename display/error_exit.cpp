#include "display/error_exit.h"

#include <cstdio>

#include "display/display_device.h"

namespace {

StopLoopHook stopLoop = nullptr;

} // namespace

void SetStopLoopHook(StopLoopHook hook) { stopLoop = hook; }

bool ErrorExit(const char* message) {
    if (stopLoop != nullptr) {
        stopLoop();
    }
    OsShowCursor(true);
    // Gives the desktop its display mode back before the box appears. The
    // window survives the release: the box and the destruction need it.
    ReleaseDisplay();

    // Room for the longest message and the suffix; a longer text is cut,
    // never written past the buffer.
    char text[128];
    std::snprintf(text, sizeof text, "%s Terminate application!", message);
    OsMessageBox(display.window, text, "ERROR");

    // Sends WM_DESTROY: the music stops, the (already released) display is
    // released again, which does nothing, and the quit message is posted.
    // Before the window exists, or once it is gone, this does nothing.
    OsDestroyWindow(display.window);
    return false;
}
