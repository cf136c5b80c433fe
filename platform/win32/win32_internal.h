// The Windows backend: every platform operation is one call of USER32,
// DirectDraw 7, GDI, the kernel or waveform audio, with the program's
// arguments and the call's own result. The platform's opaque handle types
// are the Windows handles themselves, converted here and nowhere else.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>

#include "platform/platform.h"

inline HWND ToHwnd(Window* window) { return reinterpret_cast<HWND>(window); }
inline Window* FromHwnd(HWND hwnd) { return reinterpret_cast<Window*>(hwnd); }
inline HINSTANCE ToHinstance(Instance* instance) { return reinterpret_cast<HINSTANCE>(instance); }
inline IDirectDraw7* ToDirectDraw(DirectDraw* dd) { return reinterpret_cast<IDirectDraw7*>(dd); }
inline IDirectDrawSurface7* ToSurface(Surface* surface) { return reinterpret_cast<IDirectDrawSurface7*>(surface); }
inline Surface* FromSurface(IDirectDrawSurface7* surface) { return reinterpret_cast<Surface*>(surface); }
inline HBITMAP ToHbitmap(Bitmap* bitmap) { return reinterpret_cast<HBITMAP>(bitmap); }
inline HDC ToHdc(DeviceContext* dc) { return reinterpret_cast<HDC>(dc); }
inline DeviceContext* FromHdc(HDC dc) { return reinterpret_cast<DeviceContext*>(dc); }

// An HRESULT is already a Result: 0 is DD_OK, failures are negative.
inline Result FromHresult(HRESULT hr) { return static_cast<Result>(hr); }

// Writes a line to the process's standard error handle, when it has one (a
// GUI program started from a console or under Wine inherits it).
void Win32WriteStderr(const char* text);
