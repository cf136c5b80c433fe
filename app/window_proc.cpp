#include "app/window_proc.h"

#include "app/app_state.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "music/music.h"

intptr_t WindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case WM_DESTROY:
        // The one shutdown path: the ordinary end (posted by the frame) and
        // the error exit (DestroyWindow) both come here.
        app.running = false;
        app.active = false;
        MusicStop();
        ReleaseDisplay();
        OsPostQuitMessage(0);
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            app.active = false;
        } else {
            // Both buffers of the flip chain need the whole background again.
            scene.backgroundFrames = 0;
            app.active = true;
        }
        break;
    case WM_KEYDOWN:
        // Auto-repeat arrives as further key-downs, each toggling again.
        if (wParam == VK_SPACE) {
            scene.showFps = !scene.showFps;
        }
        break;
    case WM_LBUTTONDOWN:
        if (!scene.revealing && !scene.pageSliding) {
            scene.quitRequested = true;
        }
        break;
    case WM_RBUTTONDOWN:
        if (!scene.revealing && !scene.pageSliding && !scene.quitRequested) {
            scene.targetPage = scene.targetPage < 4 ? static_cast<uint8_t>(scene.targetPage + 1) : 1;
            scene.pageSliding = true;
        }
        break;
    default: break;
    }
    return OsDefWindowProc(window, message, wParam, lParam);
}
