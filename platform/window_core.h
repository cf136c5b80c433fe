// The window and its message queue as USER32 keeps them, shared by the
// backends: registered classes, the one window, a FIFO of posted messages,
// dispatch to the class's window procedure, synchronous WM_DESTROY, and
// TranslateMessage's WM_CHAR. The backends feed their input in with
// CorePostMessage and add their own pumping.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "platform/platform.h"

struct Window {
    WindowProcFn windowProc = nullptr;
    std::string className;
    std::string title;
    bool destroyed = false;
    bool visible = false;
    bool focused = false; // has the keyboard: the keys go to it
    int x = 0, y = 0, width = 0, height = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
};

// False for a null class, name or procedure, or a name already registered.
bool CoreRegisterClass(const WindowClass& windowClass);
// The one window: null when the class is unknown or a window already lives.
Window* CoreCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                         int width, int height);
// The current window (null before creation; it stays after destruction
// with `destroyed` set, so messages still queued for it find it).
Window* CoreWindow();
bool CoreWindowAlive(const Window* window);
// Marks the window destroyed and sends it WM_DESTROY synchronously. False
// for null, foreign or already destroyed windows.
bool CoreDestroyWindow(Window* window);

// The queue. A null window is a thread message (not dispatched anywhere);
// a destroyed or foreign window cannot receive.
bool CorePostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool CorePeekMessage(Message* msg);
// Removes the next message; 0 for WM_QUIT, 1 otherwise, -1 when the queue is
// empty (msg zeroed).
int CoreGetMessage(Message* msg);
// WM_KEYDOWN of a character key queues its WM_CHAR as the next message.
void CoreTranslateMessage(const Message* msg);
intptr_t CoreDispatchMessage(const Message* msg);
intptr_t CoreDefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
size_t CoreQueueSize();
const std::deque<Message>& CoreQueue();

// Forgets classes, window and queue.
void CoreResetWindows();
