// The window and message queue in the browser. The program runs in a
// worker; the page's main thread listens to the canvas and the document and
// writes each event as (message, wParam, lParam) into the input slots of the
// shared block. Peeking moves them into the shared message queue in their
// order. The window is the canvas, so the "screen" is the canvas's 640x480.
#include <emscripten.h>
#include <emscripten/threading.h>

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

Instance moduleInstance{0};
int cursorCount = 0;
std::string reason;
// Constant-initialised (all zero), so no thread ever waits on a guard for
// it; the page's main thread, which must not wait, asks for it first.
constinit WebShared shared;

} // namespace

WebShared& Shared() { return shared; }

// The page finds the shared block through this export.
extern "C" EMSCRIPTEN_KEEPALIVE WebShared* quillon_web_shared() {
    WebShared& s = Shared();
    s.magic.store(WEB_SHARED_MAGIC);
    return &s;
}

void WebKeepReason(const char* what) { reason = what; }

bool WebDrainInput() {
    WebShared& s = Shared();
    const int32_t head = s.inputHead.load();
    int32_t tail = s.inputTail.load(std::memory_order_relaxed);
    if (head == tail)
        return false;
    Window* window = CoreWindow();
    for (; tail != head; ++tail) {
        const int slot = static_cast<int>(static_cast<uint32_t>(tail) % WEB_INPUT_SLOTS) * 3;
        const auto message = static_cast<uint32_t>(s.input[slot].load(std::memory_order_relaxed));
        const auto wParam =
            static_cast<uintptr_t>(static_cast<uint32_t>(s.input[slot + 1].load(std::memory_order_relaxed)));
        const auto lParam = static_cast<intptr_t>(s.input[slot + 2].load(std::memory_order_relaxed));
        if (CoreWindowAlive(window))
            CorePostMessage(window, message, wParam, lParam);
    }
    s.inputTail.store(tail);
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
    Shared().inputTail.store(Shared().inputHead.load());
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
    WebShared& s = Shared();
    if (!WebDrainInput() && s.hidden.load(std::memory_order_relaxed)) {
        emscripten_futex_wait(&s.inputHead, static_cast<uint32_t>(s.inputTail.load()), HIDDEN_WAIT_MS);
        WebDrainInput();
    }
    return CorePeekMessage(msg);
}

int OsGetMessage(Message* msg) {
    WebShared& s = Shared();
    while (CoreQueueSize() == 0 && !WebDrainInput())
        emscripten_futex_wait(&s.inputHead, static_cast<uint32_t>(s.inputTail.load()), HIDDEN_WAIT_MS);
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
    MAIN_THREAD_EM_ASM(
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
    MAIN_THREAD_ASYNC_EM_ASM(
        {
            if (Module['quillonShowCursor'])
                Module['quillonShowCursor']($0 >= 0);
        },
        cursorCount);
    return cursorCount;
}

int OsScreenWidth() { return SCREEN_WIDTH; }

int OsScreenHeight() { return SCREEN_HEIGHT; }
