// The window and message queue on SDL2. SDL events become the messages the
// program's window procedure expects, queued in the order SDL delivered
// them. The message step polls often (500000 passes in the pre-roll), so
// OsPeekMessage pumps SDL's event source only when a millisecond has passed
// since the last pump; between pumps an idle peek costs one coarse clock
// read.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/gdi_core.h"
#include "platform/surface_core.h"
#include "platform/window_core.h"

struct Instance {
    int unused;
};

namespace {

struct SdlWindowState {
    uint64_t lastPumpMs = UINT64_MAX;
    bool closePosted = false;
    int cursorCount = 0;
};

SdlWindowState& State() {
    static SdlWindowState state;
    return state;
}

Instance moduleInstance{0};

uint64_t CoarseMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

intptr_t PackPoint(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// Virtual-key codes of the keys we pass on; 0 for the rest.
uintptr_t VirtualKey(SDL_Keycode sym) {
    if (sym == SDLK_SPACE)
        return VK_SPACE;
    if (sym == SDLK_ESCAPE)
        return VK_ESCAPE;
    if (sym == SDLK_RETURN)
        return 0x0D;
    if (sym >= SDLK_a && sym <= SDLK_z)
        return static_cast<uintptr_t>('A' + (sym - SDLK_a));
    if (sym >= SDLK_0 && sym <= SDLK_9)
        return static_cast<uintptr_t>('0' + (sym - SDLK_0));
    return 0;
}

void PostClose(Window* window) {
    if (State().closePosted)
        return;
    if (CorePostMessage(window, WM_CLOSE, 0, 0))
        State().closePosted = true;
}

void Translate(const SDL_Event& e) {
    Window* window = CoreWindow();
    if (!CoreWindowAlive(window))
        return;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        const intptr_t at = PackPoint(e.button.x, e.button.y);
        // Each click is its own press: the class has no CS_DBLCLKS.
        if (e.button.button == SDL_BUTTON_LEFT)
            CorePostMessage(window, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 1 : 0, at);
        if (e.button.button == SDL_BUTTON_RIGHT)
            CorePostMessage(window, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? 2 : 0, at);
        if (e.button.button == SDL_BUTTON_MIDDLE && down)
            CorePostMessage(window, WM_MBUTTONDOWN, 0x10, at);
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const uintptr_t vk = VirtualKey(e.key.keysym.sym);
        if (vk == 0)
            break;
        // lParam as Windows gives it: repeat count 1, bit 30 the previous
        // state (set on auto-repeat and release), bit 31 the transition.
        intptr_t lParam = 1;
        if (e.type == SDL_KEYUP)
            lParam |= (intptr_t{1} << 30) | (intptr_t{1} << 31);
        else if (e.key.repeat)
            lParam |= intptr_t{1} << 30;
        CorePostMessage(window, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, lParam);
        break;
    }
    case SDL_WINDOWEVENT: {
        const intptr_t size = PackPoint(window->width, window->height);
        switch (e.window.event) {
        case SDL_WINDOWEVENT_MINIMIZED: CorePostMessage(window, WM_SIZE, SIZE_MINIMIZED, 0); break;
        case SDL_WINDOWEVENT_RESTORED: CorePostMessage(window, WM_SIZE, SIZE_RESTORED, size); break;
        case SDL_WINDOWEVENT_MAXIMIZED: CorePostMessage(window, WM_SIZE, SIZE_MAXIMIZED, size); break;
        case SDL_WINDOWEVENT_CLOSE: PostClose(window); break;
        default: break;
        }
        break;
    }
    case SDL_QUIT: // the last window closed, or a termination signal
        PostClose(window);
        break;
    case SDL_RENDER_DEVICE_RESET:
        Video().deviceReset = true;
        SdlMarkPrimaryLost();
        break;
    case SDL_RENDER_TARGETS_RESET: SdlMarkPrimaryLost(); break;
    default: break;
    }
}

void Pump() {
    State().lastPumpMs = CoarseMilliseconds();
    if (!Video().initialised)
        return;
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        Translate(e);
}

} // namespace

SdlVideo& Video() {
    static SdlVideo video;
    return video;
}

QuietStderr::QuietStderr() : saved_(dup(2)) {
    std::fflush(stderr);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 2);
        close(null);
    }
}

QuietStderr::~QuietStderr() {
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
}

void SdlKeepReason(const char* what) { Video().reason = std::string(what) + ": " + SDL_GetError(); }

bool SdlEnsureVideo() {
    SdlVideo& v = Video();
    if (v.initialised)
        return true;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    int initialised;
    {
        QuietStderr quiet; // the Wayland client's "XDG_RUNTIME_DIR" lines
        initialised = SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
    if (initialised != 0) {
        SdlKeepReason("SDL_Init(video)");
        return false;
    }
    // With no display SDL falls back to its offscreen driver, and the
    // program would run on invisibly for ever. Those drivers serve only when
    // asked for by name (tests, benchmarks).
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) && !(asked && *asked)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        v.reason = "no display (SDL found no video device)";
        return false;
    }
    v.initialised = true;
    return true;
}

Instance* OsModuleHandle() { return &moduleInstance; }

bool OsRegisterClass(const WindowClass& windowClass) { return CoreRegisterClass(windowClass); }

Window* OsCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                       int width, int height, Instance*) {
    if (!SdlEnsureVideo())
        return nullptr;
    if (width < 1 || height < 1) {
        Video().reason = "no screen size";
        return nullptr;
    }
    Window* window = CoreCreateWindow(exStyle, className, title, style, x, y, width, height);
    if (!window) {
        Video().reason = "window class not registered";
        return nullptr;
    }
    uint32_t flags = SDL_WINDOW_BORDERLESS | ((style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    if (exStyle & WS_EX_TOPMOST)
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    SDL_Window* sdlWindow = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
    if (!sdlWindow) {
        SdlKeepReason("SDL_CreateWindow");
        window->destroyed = true; // never shown to the program
        return nullptr;
    }
    Video().window = sdlWindow;
    State().closePosted = false;
    return window;
}

void OsShowWindow(Window* window, int) {
    if (CoreWindowAlive(window) && Video().window)
        SDL_ShowWindow(Video().window);
}

void OsUpdateWindow(Window*) {}

void OsSetFocus(Window* window) {
    if (CoreWindowAlive(window) && Video().window)
        SDL_RaiseWindow(Video().window);
}

bool OsDestroyWindow(Window* window) {
    if (!CoreDestroyWindow(window))
        return false;
    SdlVideo& v = Video();
    if (v.window) {
        if (v.renderer) {
            // The renderer belongs to the window; it goes first, in DdRelease.
            SDL_HideWindow(v.window);
            v.destroyPending = true;
        } else {
            SDL_DestroyWindow(v.window);
            v.window = nullptr;
        }
    }
    return true;
}

bool OsPeekMessage(Message* msg) {
    if (CorePeekMessage(msg))
        return true;
    if (CoarseMilliseconds() == State().lastPumpMs)
        return false;
    Pump();
    return CorePeekMessage(msg);
}

int OsGetMessage(Message* msg) {
    while (CoreQueueSize() == 0) {
        if (!Video().initialised)
            break; // nothing could ever arrive
        SDL_WaitEventTimeout(nullptr, 10);
        Pump();
    }
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

intptr_t OsDefWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE)
        OsDestroyWindow(window);
    return 0;
}

int OsMessageBox(Window* owner, const char* text, const char* caption) {
    SdlVideo& v = Video();
    // stderr first: with no display at all this is the only trace.
    std::fprintf(stderr, "%s\n", text ? text : "");
    if (!v.reason.empty())
        std::fprintf(stderr, "%s\n", v.reason.c_str());
    std::fflush(stderr);
    v.reason.clear();
    SDL_Window* parent = (CoreWindowAlive(owner) && v.window && !v.destroyPending) ? v.window : nullptr;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text ? text : "", parent);
    return 1; // IDOK
}

int OsShowCursor(bool show) {
    SdlWindowState& s = State();
    s.cursorCount += show ? 1 : -1;
    if (Video().initialised)
        SDL_ShowCursor(s.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return s.cursorCount;
}

namespace {

int DesktopSide(bool width) {
    if (!SdlEnsureVideo())
        return 0;
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        SdlKeepReason("SDL_GetDesktopDisplayMode");
        return 0;
    }
    return width ? mode.w : mode.h;
}

} // namespace

int OsScreenWidth() { return DesktopSide(true); }

int OsScreenHeight() { return DesktopSide(false); }

void SdlBackendReset() {
    SdlVideo& v = Video();
    SdlReleaseRenderer();
    if (v.window)
        SDL_DestroyWindow(v.window);
    if (v.initialised)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    v = SdlVideo{};
    State() = SdlWindowState{};
    CoreResetWindows();
    CoreResetGdi();
    CoreResetSurfaces();
    SdlResetDisplay();
}
