#include "platform/window_core.h"

#include <memory>
#include <vector>

namespace {

struct WindowState {
    std::vector<WindowClass> classes;
    std::vector<std::string> classNames;          // owned copies of the names
    std::vector<std::unique_ptr<Window>> windows; // every window ever made, so old handles stay checkable
    Window* current = nullptr;
    std::deque<Message> queue;
};

WindowState& State() {
    static WindowState state;
    return state;
}

bool Known(const Window* window) {
    for (const auto& w : State().windows)
        if (w.get() == window)
            return true;
    return false;
}

// The printable characters TranslateMessage makes of the virtual keys the
// backends produce: space, digits and letters (unshifted, as lower case).
int CharacterOf(uintptr_t virtualKey) {
    if (virtualKey == VK_SPACE)
        return ' ';
    if (virtualKey >= '0' && virtualKey <= '9')
        return static_cast<int>(virtualKey);
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return static_cast<int>(virtualKey - 'A' + 'a');
    if (virtualKey == 0x0D)
        return '\r';
    if (virtualKey == VK_ESCAPE)
        return 0x1B;
    return -1;
}

} // namespace

bool CoreRegisterClass(const WindowClass& windowClass) {
    if (!windowClass.className || !windowClass.windowProc)
        return false;
    WindowState& s = State();
    for (const auto& name : s.classNames)
        if (name == windowClass.className)
            return false;
    s.classNames.emplace_back(windowClass.className);
    s.classes.push_back(windowClass);
    return true;
}

Window* CoreCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                         int width, int height) {
    WindowState& s = State();
    if (!className || (s.current && !s.current->destroyed))
        return nullptr;
    for (size_t i = 0; i < s.classNames.size(); ++i) {
        if (s.classNames[i] != className)
            continue;
        auto window = std::make_unique<Window>();
        window->windowProc = s.classes[i].windowProc;
        window->className = className;
        window->title = title ? title : "";
        window->exStyle = exStyle;
        window->style = style;
        window->visible = (style & WS_VISIBLE) != 0;
        window->x = x;
        window->y = y;
        window->width = width;
        window->height = height;
        s.windows.push_back(std::move(window));
        s.current = s.windows.back().get();
        return s.current;
    }
    return nullptr;
}

Window* CoreWindow() { return State().current; }

bool CoreWindowAlive(const Window* window) { return window && Known(window) && !window->destroyed; }

bool CoreDestroyWindow(Window* window) {
    if (!CoreWindowAlive(window))
        return false;
    window->destroyed = true;
    window->visible = false;
    window->windowProc(window, WM_DESTROY, 0, 0);
    return true;
}

bool CorePostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (window && !CoreWindowAlive(window))
        return false;
    State().queue.push_back(Message{window, message, wParam, lParam});
    return true;
}

bool CorePeekMessage(Message* msg) {
    WindowState& s = State();
    if (s.queue.empty())
        return false;
    if (msg)
        *msg = s.queue.front();
    return true;
}

int CoreGetMessage(Message* msg) {
    WindowState& s = State();
    if (s.queue.empty()) {
        if (msg)
            *msg = Message{};
        return -1;
    }
    const Message m = s.queue.front();
    s.queue.pop_front();
    if (msg)
        *msg = m;
    return m.message == WM_QUIT ? 0 : 1;
}

void CoreTranslateMessage(const Message* msg) {
    if (!msg || msg->message != WM_KEYDOWN)
        return;
    // The character is the next message retrieved, before any other input
    // already queued, as TranslateMessage's posted WM_CHAR is on Windows.
    const int c = CharacterOf(msg->wParam);
    if (c >= 0 && (!msg->window || CoreWindowAlive(msg->window)))
        State().queue.push_front(Message{msg->window, WM_CHAR, static_cast<uintptr_t>(c), msg->lParam});
}

intptr_t CoreDispatchMessage(const Message* msg) {
    // A message for a window that has been destroyed since it was queued
    // goes nowhere, as DispatchMessageA finds no window for it.
    if (!msg || !CoreWindowAlive(msg->window))
        return 0;
    return msg->window->windowProc(msg->window, msg->message, msg->wParam, msg->lParam);
}

intptr_t CoreDefWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE)
        CoreDestroyWindow(window);
    return 0;
}

size_t CoreQueueSize() { return State().queue.size(); }

const std::deque<Message>& CoreQueue() { return State().queue; }

void CoreResetWindows() {
    WindowState& s = State();
    s.classes.clear();
    s.classNames.clear();
    s.windows.clear();
    s.current = nullptr;
    s.queue.clear();
}
