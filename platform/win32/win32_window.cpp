// USER32: the window class, the one window and its message queue. The
// program's window procedure has the platform's signature, so the class is
// registered with a trampoline that looks the procedure up by class atom.
#include <cstring>

#include "platform/win32/win32_internal.h"

namespace {

constexpr int MAX_CLASSES = 4;

struct ClassProc {
    ATOM atom;
    WindowProcFn proc;
};

ClassProc classProcs[MAX_CLASSES];

// The MSG last taken by GetMessageA, so that TranslateMessage and
// DispatchMessageA get its time and cursor position along.
MSG lastMessage{};

LRESULT CALLBACK Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const ATOM atom = static_cast<ATOM>(GetClassWord(hwnd, GCW_ATOM));
    for (const ClassProc& c : classProcs)
        if (c.atom != 0 && c.atom == atom)
            return c.proc(FromHwnd(hwnd), message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

MSG ToMsg(const Message* msg) {
    if (lastMessage.hwnd == ToHwnd(msg->window) && lastMessage.message == msg->message &&
        lastMessage.wParam == msg->wParam && lastMessage.lParam == msg->lParam)
        return lastMessage;
    MSG m{};
    m.hwnd = ToHwnd(msg->window);
    m.message = msg->message;
    m.wParam = msg->wParam;
    m.lParam = msg->lParam;
    return m;
}

void FromMsg(const MSG& m, Message* msg) {
    msg->window = FromHwnd(m.hwnd);
    msg->message = m.message;
    msg->wParam = m.wParam;
    msg->lParam = m.lParam;
}

} // namespace

void Win32WriteStderr(const char* text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(err, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    WriteFile(err, "\n", 1, &written, nullptr);
}

Instance* OsModuleHandle() { return reinterpret_cast<Instance*>(GetModuleHandleA(nullptr)); }

bool OsRegisterClass(const WindowClass& windowClass) {
    if (!windowClass.windowProc)
        return false;
    ClassProc* slot = nullptr;
    for (ClassProc& c : classProcs)
        if (c.atom == 0) {
            slot = &c;
            break;
        }
    if (!slot)
        return false;
    WNDCLASSA wc{};
    wc.style = windowClass.style;
    wc.lpfnWndProc = Trampoline;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = ToHinstance(windowClass.instance);
    // The module's only icon group is 104, so this finds none.
    wc.hIcon = LoadIconA(wc.hInstance, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = windowClass.menuName;
    wc.lpszClassName = windowClass.className;
    // The procedure must be known before RegisterClassA returns: the first
    // messages arrive inside CreateWindowExA.
    slot->proc = windowClass.windowProc;
    const ATOM atom = RegisterClassA(&wc);
    slot->atom = atom;
    if (atom == 0)
        slot->proc = nullptr;
    return atom != 0;
}

Window* OsCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                       int width, int height, Instance* instance) {
    return FromHwnd(CreateWindowExA(exStyle, className, title, style, x, y, width, height, nullptr, nullptr,
                                    ToHinstance(instance), nullptr));
}

void OsShowWindow(Window* window, int showCommand) { ShowWindow(ToHwnd(window), showCommand); }

void OsUpdateWindow(Window* window) { UpdateWindow(ToHwnd(window)); }

void OsSetFocus(Window* window) { SetFocus(ToHwnd(window)); }

bool OsDestroyWindow(Window* window) { return DestroyWindow(ToHwnd(window)) != FALSE; }

bool OsPeekMessage(Message* msg) {
    MSG m{};
    if (!PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE))
        return false;
    FromMsg(m, msg);
    return true;
}

int OsGetMessage(Message* msg) {
    const BOOL result = GetMessageA(&lastMessage, nullptr, 0, 0);
    FromMsg(lastMessage, msg);
    return result;
}

void OsTranslateMessage(const Message* msg) {
    const MSG m = ToMsg(msg);
    TranslateMessage(&m);
}

intptr_t OsDispatchMessage(const Message* msg) {
    const MSG m = ToMsg(msg);
    return DispatchMessageA(&m);
}

bool OsPostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageA(ToHwnd(window), message, wParam, lParam) != FALSE;
}

void OsPostQuitMessage(int exitCode) { PostQuitMessage(exitCode); }

intptr_t OsDefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return DefWindowProcA(ToHwnd(window), message, wParam, lParam);
}

int OsMessageBox(Window* owner, const char* text, const char* caption) {
    // Standard error first: without a desktop the box cannot appear.
    Win32WriteStderr(text ? text : "");
    return MessageBoxA(ToHwnd(owner), text, caption, MB_OK | MB_ICONERROR);
}

int OsShowCursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

int OsScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

int OsScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }
