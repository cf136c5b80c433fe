// The platform layer: the few window, display, resource, time, thread and
// audio operations the program uses, each one the counterpart of one call of
// USER32, DirectDraw 7, GDI or waveform audio, with the same arguments and
// the same success rules, so the program's routines read like their Windows
// originals.
//
// Declarations only. One backend is linked into each executable:
//   platform/sdl/       the real program on Linux (SDL2)
//   platform/headless/  tests and offline tools (memory surfaces, scripted
//                       clock and input, virtual audio device, fault injection)
//   platform/win32/     the Windows program (the real calls, cross-built)
// The program's own code includes this header and nothing of a backend.
//
// Results of display and audio operations: 0 is success (DD_OK,
// MMSYSERR_NOERROR); failures are negative, like HRESULT errors, so the
// "not negative" rule of GetSurfaceDesc and GetDC can be applied as written.
#pragma once

#include <cstddef>
#include <cstdint>

using Result = int32_t;
constexpr Result RESULT_OK = 0;
constexpr Result RESULT_FAILED = -1;           // any failure without a better code
constexpr Result RESULT_SURFACELOST = -2;      // DDERR_SURFACELOST
constexpr Result RESULT_OUTOFVIDEOMEMORY = -3; // DDERR_OUTOFVIDEOMEMORY
constexpr Result RESULT_INVALIDHANDLE = -4;    // MMSYSERR_INVALHANDLE
constexpr Result RESULT_NODEVICE = -5;         // MMSYSERR_NODRIVER / no display

// ---------------------------------------------------------------------------
// Window and message queue (USER32)

struct Instance; // HINSTANCE: the program's own module; may be null
struct Window;   // HWND

// Message and flag values are those of windows.h, so a Windows backend can
// pass them through unchanged. windows.h defines the same names as macros.
#ifndef _WINDOWS_
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;

constexpr uintptr_t SIZE_RESTORED = 0;
constexpr uintptr_t SIZE_MINIMIZED = 1;
constexpr uintptr_t SIZE_MAXIMIZED = 2;

constexpr uintptr_t VK_ESCAPE = 0x1B;
constexpr uintptr_t VK_SPACE = 0x20;

constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;
constexpr uint32_t CS_OWNDC = 0x0020;

constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;

constexpr int SW_SHOWNORMAL = 1;
#endif

using WindowProcFn = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct Message {
    Window* window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// WNDCLASSA, reduced to the fields that carry meaning off Windows. The icon
// and cursor are the stock ones (LoadIconA finds no IDI_APPLICATION group in
// our module, so the class has no icon; the cursor is IDC_ARROW).
struct WindowClass {
    uint32_t style;
    WindowProcFn windowProc;
    Instance* instance;
    const char* menuName;
    const char* className;
};

Instance* OsModuleHandle(); // GetModuleHandleA(null)

// RegisterClassA: false when the class cannot be registered.
bool OsRegisterClass(const WindowClass& windowClass);
// CreateWindowExA: null on failure. The window procedure of the class receives
// the messages of the window from here on.
Window* OsCreateWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                       int width, int height, Instance* instance);
void OsShowWindow(Window* window, int showCommand);
void OsUpdateWindow(Window* window);
void OsSetFocus(Window* window);
// DestroyWindow: sends WM_DESTROY to the window procedure before it returns.
// False (and nothing sent) for a null window or one already destroyed.
bool OsDestroyWindow(Window* window);

// PeekMessageA(msg, null, 0, 0, PM_NOREMOVE): true when a message waits; the
// message is copied but stays queued.
bool OsPeekMessage(Message* msg);
// GetMessageA(msg, null, 0, 0): removes the next message; returns 0 when it is
// WM_QUIT (its wParam is the exit code), otherwise a positive value. Only
// called after OsPeekMessage said a message waits.
int OsGetMessage(Message* msg);
void OsTranslateMessage(const Message* msg);
// DispatchMessageA: calls the window procedure of msg->window.
intptr_t OsDispatchMessage(const Message* msg);
// PostMessageA: queues a message for the window; false when it cannot.
bool OsPostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// PostQuitMessage: queues WM_QUIT with wParam exitCode.
void OsPostQuitMessage(int exitCode);
// DefWindowProcA: WM_CLOSE destroys the window; everything else returns 0.
intptr_t OsDefWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// MessageBoxA(owner, text, caption, MB_OK | MB_ICONERROR); returns when the
// user has closed it. Owner may be null. The text also goes to stderr.
int OsMessageBox(Window* owner, const char* text, const char* caption);
// ShowCursor: returns the new display count.
int OsShowCursor(bool show);
// GetSystemMetrics(SM_CXSCREEN) and (SM_CYSCREEN).
int OsScreenWidth();
int OsScreenHeight();

// ---------------------------------------------------------------------------
// Resources linked into the executable (FindResourceA, LoadResource,
// LockResource, SizeofResource)

constexpr uint32_t RT_BITMAP_TYPE = 2;
constexpr uint32_t RT_RCDATA_TYPE = 10;

struct ResourceBytes {
    const uint8_t* data;
    uint32_t size;
};

// True and the resource's bytes when a resource of that name and type is
// linked in; false and {null, 0} otherwise. The bytes belong to the image.
bool OsFindResource(Instance* instance, const char* name, uint32_t type, ResourceBytes* out);

// ---------------------------------------------------------------------------
// Time and threads

// timeGetTime: milliseconds, wrapping at 32 bits.
uint32_t OsTimeGetTime();
void OsSleep(uint32_t milliseconds);

struct Thread;
using ThreadProc = uint32_t (*)(void* parameter);
// CreateThread: starts at once; null on failure.
Thread* OsCreateThread(ThreadProc proc, void* parameter);
// SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL).
bool OsSetThreadPriorityTimeCritical(Thread* thread);
// CloseHandle: forgets the thread. Call it once the thread has ended or is
// about to (it is joined here, so a thread still running makes this wait).
void OsCloseThread(Thread* thread);

// ---------------------------------------------------------------------------
// Display (DirectDraw 7). Every surface is 32 bits per pixel, 0x00RRGGBB.

struct DirectDraw; // IDirectDraw7
struct Surface;    // IDirectDrawSurface7

// Rectangles have exclusive right and bottom edges.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

#ifndef _WINDOWS_
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;

constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSD_CKSRCBLT = 0x10000;

constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;

constexpr uint32_t DDBLTFAST_NOCOLORKEY = 0x0;
constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;
constexpr uint32_t DDBLTFAST_WAIT = 0x10;
#endif

// DDSURFACEDESC2, reduced to the fields the program sets or reads. `label`
// names the surface ("PAGE", "ANI", ...) for diagnostics and for the
// headless backend's fault injection; DirectDraw has no such field.
struct SurfaceDesc {
    uint32_t flags; // DDSD_*
    uint32_t width;
    uint32_t height;
    int32_t pitch; // bytes per row; set by Lock and GetSurfaceDesc
    uint32_t backBufferCount;
    uint32_t caps;        // DDSCAPS_*
    uint32_t colorKeyLow; // source colour key, when DDSD_CKSRCBLT
    uint32_t colorKeyHigh;
    void* surface; // first pixel; set by Lock
    const char* label;
};

// DirectDrawCreateEx(null, IID_IDirectDraw7, null).
Result DdCreate(DirectDraw** out);
// IDirectDraw7::SetCooperativeLevel(window, flags).
Result DdSetCooperativeLevel(DirectDraw* dd, Window* window, uint32_t flags);
// IDirectDraw7::SetDisplayMode(width, height, bpp, refreshRate, flags).
Result DdSetDisplayMode(DirectDraw* dd, int width, int height, int bitsPerPixel, int refreshRate, uint32_t flags);
// IDirectDraw7::CreateSurface(desc, out, null). A primary is asked for with
// DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX and one back
// buffer; an off-screen surface with its width, height and memory caps.
Result DdCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, Surface** out);
// IDirectDraw7::Release: also gives the desktop its display mode back.
void DdRelease(DirectDraw* dd);

// IDirectDrawSurface7::GetAttachedSurface(caps): the back buffer of a
// flipping primary. It is released with the primary.
Result SurfaceGetAttached(Surface* surface, uint32_t caps, Surface** out);
// IDirectDrawSurface7::Blt as a colour fill: destination rectangle (null:
// the whole surface), no source, DDBLT_COLORFILL | 0x10 (0x410), the effects
// record with dwFillColor = colour. Not waiting: a busy device is a failure.
Result SurfaceColorFill(Surface* surface, const Rect* rect, uint32_t colour);
// IDirectDrawSurface7::BltFast(x, y, source, sourceRect, flags): sourceRect
// null is the whole source. With DDBLTFAST_SRCCOLORKEY, source pixels equal
// to the source's colour key are not copied.
Result SurfaceBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags);
// IDirectDrawSurface7::Lock(null, desc, DDLOCK_WAIT, null): the whole
// surface, for reading and writing (the page's colour pass reads every
// pixel first); fills desc->surface and desc->pitch. The top byte of a
// pixel is undefined, as in DirectDraw's X8R8G8B8.
Result SurfaceLock(Surface* surface, SurfaceDesc* desc);
Result SurfaceUnlock(Surface* surface);
// IDirectDrawSurface7::Flip(null, DDFLIP_WAIT) on the primary: the back
// buffer becomes the picture shown and the shown one the back buffer, so the
// back buffer then holds the picture of two flips ago.
Result SurfaceFlip(Surface* primary);
// IsLost: RESULT_OK or RESULT_SURFACELOST. Restore: RESULT_OK when restored.
Result SurfaceIsLost(Surface* surface);
Result SurfaceRestore(Surface* surface);
// GetSurfaceDesc: width, height, pitch, caps, flags of the surface.
Result SurfaceGetDesc(Surface* surface, SurfaceDesc* desc);
// Release: a primary takes its attached back buffer with it.
void SurfaceRelease(Surface* surface);

// ---------------------------------------------------------------------------
// Bitmap resources into surfaces (LoadImageA and GDI)

struct Bitmap;        // HBITMAP
struct DeviceContext; // HDC

// LoadImageA(instance, name, IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION):
// the stored BMP (1, 4 or 8 bits with a colour table) as 32-bit pixels,
// stretched to width x height when its size differs. Null on failure.
Bitmap* OsLoadBitmap(Instance* instance, const char* name, int width, int height);
void GdiDeleteBitmap(Bitmap* bitmap);                    // DeleteObject
DeviceContext* GdiCreateCompatibleDC();                  // null on failure
void GdiSelectBitmap(DeviceContext* dc, Bitmap* bitmap); // SelectObject
void GdiDeleteDC(DeviceContext* dc);                     // DeleteDC
// IDirectDrawSurface7::GetDC / ReleaseDC.
Result SurfaceGetDC(Surface* surface, DeviceContext** out);
void SurfaceReleaseDC(Surface* surface, DeviceContext* dc);
// BitBlt(dest, x, y, width, height, source, sx, sy, SRCCOPY): non-zero on success.
int GdiBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy);

// ---------------------------------------------------------------------------
// Audio output (waveOut)

// A device handle is a number, not a pointer, so a stale or never-opened
// handle is answered with RESULT_INVALIDHANDLE instead of touching memory.
using WaveOutHandle = uint32_t;
constexpr WaveOutHandle NO_WAVEOUT = 0;

#ifndef _WINDOWS_
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint32_t WHDR_PREPARED = 0x2;
constexpr uint32_t WHDR_BEGINLOOP = 0x4;
constexpr uint32_t WHDR_ENDLOOP = 0x8;
#endif

struct WaveFormat { // WAVEFORMATEX
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t cbSize;
};

struct WaveHeader { // WAVEHDR
    uint8_t* data;
    uint32_t bufferLength;
    uint32_t bytesRecorded;
    uintptr_t user;
    uint32_t flags;
    uint32_t loops;
};

// waveOutOpen(out, WAVE_MAPPER, format, 0, 0, CALLBACK_NULL).
Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format);
Result WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header);
// waveOutWrite: with WHDR_BEGINLOOP | WHDR_ENDLOOP and loops 0xFFFFFFFF the
// device plays the buffer from its start in an endless loop.
Result WaveOutWrite(WaveOutHandle device, WaveHeader* header);
// waveOutGetPosition in TIME_BYTES: bytes played since the write, a growing
// 32-bit count that wraps.
Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes);
Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header);
// waveOutReset: stops playing and gives the buffer back.
Result WaveOutReset(WaveOutHandle device);
Result WaveOutClose(WaveOutHandle device);
