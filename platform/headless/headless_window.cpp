// The headless window: the shared queue with no system behind it. Input
// comes only from HeadlessPostInput; message boxes are recorded.
#include <cstdio>

#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/window_core.h"

struct Instance {
    int unused;
};

namespace {

struct HeadlessWindowState {
    std::vector<MessageBoxRecord> boxes;
    void (*onMessageBox)() = nullptr;
    int cursorCount = 0;
    int screenWidth = 640;
    int screenHeight = 480;
};

HeadlessWindowState& State() {
    static HeadlessWindowState state;
    return state;
}

Instance moduleInstance{0};

} // namespace

Instance* OsModuleHandle() { return &moduleInstance; }

bool OsRegisterClass(const WindowClass& windowClass) {
    if (HeadlessFaultHit("RegisterClass", windowClass.className ? windowClass.className : ""))
        return false;
    return CoreRegisterClass(windowClass);
}

Window* OsCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                       int width, int height, Instance*) {
    if (HeadlessFaultHit("CreateWindow", className ? className : ""))
        return nullptr;
    return CoreCreateWindow(exStyle, className, title, style, x, y, width, height);
}

void OsShowWindow(Window* window, int) {
    if (CoreWindowAlive(window))
        window->visible = true;
}

void OsUpdateWindow(Window*) {}

void OsSetFocus(Window* window) {
    if (CoreWindowAlive(window))
        window->focused = true;
}

bool OsDestroyWindow(Window* window) { return CoreDestroyWindow(window); }

bool OsPeekMessage(Message* msg) { return CorePeekMessage(msg); }

int OsGetMessage(Message* msg) { return CoreGetMessage(msg); }

void OsTranslateMessage(const Message* msg) { CoreTranslateMessage(msg); }

intptr_t OsDispatchMessage(const Message* msg) { return CoreDispatchMessage(msg); }

bool OsPostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (HeadlessFaultHit("PostMessage"))
        return false;
    return CorePostMessage(window, message, wParam, lParam);
}

void OsPostQuitMessage(int exitCode) {
    CorePostMessage(nullptr, WM_QUIT, static_cast<uintptr_t>(static_cast<intptr_t>(exitCode)), 0);
}

intptr_t OsDefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return CoreDefWindowProc(window, message, wParam, lParam);
}

int OsMessageBox(Window* owner, const char* text, const char* caption) {
    HeadlessWindowState& s = State();
    s.boxes.push_back(MessageBoxRecord{owner != nullptr, text ? text : "", caption ? caption : ""});
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    if (s.onMessageBox)
        s.onMessageBox();
    return 1; // IDOK
}

int OsShowCursor(bool show) {
    HeadlessWindowState& s = State();
    s.cursorCount += show ? 1 : -1;
    return s.cursorCount;
}

int OsScreenWidth() { return State().screenWidth; }

int OsScreenHeight() { return State().screenHeight; }

Window* HeadlessWindow() {
    Window* w = CoreWindow();
    return CoreWindowAlive(w) ? w : nullptr;
}

bool HeadlessWindowDestroyed() {
    Window* w = CoreWindow();
    return w && w->destroyed;
}

void HeadlessPostInput(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* w = HeadlessWindow();
    if (w)
        CorePostMessage(w, message, wParam, lParam);
}

std::vector<Message> HeadlessQueuedMessages() {
    const auto& q = CoreQueue();
    return std::vector<Message>(q.begin(), q.end());
}

int HeadlessCursorCount() { return State().cursorCount; }

const std::vector<MessageBoxRecord>& HeadlessMessageBoxes() { return State().boxes; }

void HeadlessOnMessageBox(void (*callback)()) { State().onMessageBox = callback; }

void HeadlessSetScreenSize(int width, int height) {
    State().screenWidth = width;
    State().screenHeight = height;
}

void HeadlessResetWindow() {
    CoreResetWindows();
    State() = HeadlessWindowState{};
}
