// The window and message queue in the browser. The page listens to the
// canvas and the document and writes each event as (message, wParam,
// lParam) into the input slots of the shared block; peeking moves them into
// the message queue in their order. The window is the canvas, so the
// "screen" is the canvas's 640x480.
//
// Input arrives only while the program waits. A page in view waits at every
// Flip; a hidden one (minimised: no frames) waits in the empty peek below,
// and a long stretch of empty peeks with no wait at all (the pre-roll on a
// slow machine) gives the browser a turn now and then, so a key pressed
// meanwhile reaches the program as it would on Windows.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/web/web_internal.h"
#include "platform/window_core.h"

struct Instance {
    int unused;
};

namespace {

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;
// While the page is hidden nothing is drawn and nothing but input can
// change anything, so an empty peek waits this long for input instead of
// spinning on a core.
constexpr double HIDDEN_WAIT_MS = 50;
// Longest stretch of peeks without a turn for the browser; the clock is
// read once every PEEKS_PER_CLOCK_READ empty peeks.
constexpr double LONGEST_BUSY_MS = 50;
constexpr int PEEKS_PER_CLOCK_READ = 1024;

Instance moduleInstance{0};
int cursorCount = 0;
std::string reason;
WebShared shared;
int emptyPeeks = 0;

} // namespace

WebShared& Shared() { return shared; }

// The page finds the shared block through this export.
extern "C" EMSCRIPTEN_KEEPALIVE WebShared* quillon_web_shared() {
    WebShared& s = Shared();
    s.magic = WEB_SHARED_MAGIC;
    return &s;
}

void WebKeepReason(const char* what) { reason = what; }

bool WebDrainInput() {
    WebShared& s = Shared();
    const int32_t head = s.inputHead;
    int32_t tail = s.inputTail;
    if (head == tail)
        return false;
    Window* window = CoreWindow();
    for (; tail != head; ++tail) {
        const int slot = static_cast<int>(static_cast<uint32_t>(tail) % WEB_INPUT_SLOTS) * 3;
        const auto message = static_cast<uint32_t>(s.input[slot]);
        const auto wParam = static_cast<uintptr_t>(static_cast<uint32_t>(s.input[slot + 1]));
        const auto lParam = static_cast<intptr_t>(s.input[slot + 2]);
        if (CoreWindowAlive(window))
            CorePostMessage(window, message, wParam, lParam);
    }
    s.inputTail = tail;
    return true;
}

Instance* OsModuleHandle() { return &moduleInstance; }

bool OsRegisterClass(const WindowClass& windowClass) { return CoreRegisterClass(windowClass); }

Window* OsCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                       int width, int height, Instance*) {
    Window* window = CoreCreateWindow(exStyle, className, title, style, x, y, width, height);
    if (!window)
        WebKeepReason("window class not registered");
    // Input written before the window existed had no one to go to.
    Shared().inputTail = Shared().inputHead;
    return window;
}

void OsShowWindow(Window* window, int) {
    if (CoreWindowAlive(window))
        window->visible = true;
}

void OsUpdateWindow(Window*) {}

void OsSetFocus(Window*) {}

bool OsDestroyWindow(Window* window) { return CoreDestroyWindow(window); }

bool OsPeekMessage(Message* msg) {
    if (CorePeekMessage(msg))
        return true;
    if (WebDrainInput())
        return CorePeekMessage(msg);
    if (Shared().hidden) {
        // Nothing is drawn and only input can change anything: wait for it
        // rather than spin on a core (the feeder runs meanwhile).
        WebWait(HIDDEN_WAIT_MS, false);
    } else if (++emptyPeeks >= PEEKS_PER_CLOCK_READ) {
        emptyPeeks = 0;
        if (WebNow() - WebLastTurn() > LONGEST_BUSY_MS)
            WebWait(0, false);
    }
    WebDrainInput();
    return CorePeekMessage(msg);
}

// Only called after a peek found a message, so it never waits.
int OsGetMessage(Message* msg) {
    while (CoreQueueSize() == 0 && !WebDrainInput())
        WebWait(HIDDEN_WAIT_MS, false);
    return CoreGetMessage(msg);
}

void OsTranslateMessage(const Message* msg) { CoreTranslateMessage(msg); }

intptr_t OsDispatchMessage(const Message* msg) { return CoreDispatchMessage(msg); }

bool OsPostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return CorePostMessage(window, message, wParam, lParam);
}

void OsPostQuitMessage(int exitCode) {
    CorePostMessage(nullptr, WM_QUIT, static_cast<uintptr_t>(static_cast<intptr_t>(exitCode)), 0);
}

intptr_t OsDefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return CoreDefWindowProc(window, message, wParam, lParam);
}

// The box is a message on the page (and the console), shown before this
// returns; the page keeps it up until the visitor starts again.
int OsMessageBox(Window*, const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    if (!reason.empty())
        std::fprintf(stderr, "%s\n", reason.c_str());
    std::fflush(stderr);
    EM_ASM(
        {
            if (Module['quillonMessageBox'])
                Module['quillonMessageBox'](UTF8ToString($0), UTF8ToString($1));
        },
        text ? text : "", caption ? caption : "");
    reason.clear();
    return 1; // IDOK
}

int OsShowCursor(bool show) {
    cursorCount += show ? 1 : -1;
    EM_ASM(
        {
            if (Module['quillonShowCursor'])
                Module['quillonShowCursor']($0 >= 0);
        },
        cursorCount);
    return cursorCount;
}

int OsScreenWidth() { return SCREEN_WIDTH; }

int OsScreenHeight() { return SCREEN_HEIGHT; }
