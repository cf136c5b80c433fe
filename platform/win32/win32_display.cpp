// DirectDraw 7: the device, the flipping primary and the off-screen
// surfaces. The program's surface description is copied into a
// DDSURFACEDESC2 and its fill into a DDBLTFX, each with dwSize the size of
// this build's record: 124 and 100 bytes in the 32-bit program, 136 and 128
// in the 64-bit one (pointers and pointer-aligned members grow). Results come
// back as DirectDraw gives them.
#include "platform/win32/win32_internal.h"

namespace {

DDSURFACEDESC2 ToDdsd(const SurfaceDesc& desc) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = desc.flags;
    d.dwWidth = desc.width;
    d.dwHeight = desc.height;
    d.dwBackBufferCount = desc.backBufferCount;
    d.ddsCaps.dwCaps = desc.caps;
    d.ddckCKSrcBlt.dwColorSpaceLowValue = desc.colorKeyLow;
    d.ddckCKSrcBlt.dwColorSpaceHighValue = desc.colorKeyHigh;
    return d;
}

void FromDdsd(const DDSURFACEDESC2& d, SurfaceDesc* desc) {
    desc->flags = d.dwFlags;
    desc->width = d.dwWidth;
    desc->height = d.dwHeight;
    desc->pitch = d.lPitch;
    desc->backBufferCount = d.dwBackBufferCount;
    desc->caps = d.ddsCaps.dwCaps;
    desc->colorKeyLow = d.ddckCKSrcBlt.dwColorSpaceLowValue;
    desc->colorKeyHigh = d.ddckCKSrcBlt.dwColorSpaceHighValue;
    desc->surface = d.lpSurface;
}

RECT ToRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

} // namespace

Result DdCreate(DirectDraw** out) {
    void* dd = nullptr;
    const HRESULT hr = DirectDrawCreateEx(nullptr, &dd, IID_IDirectDraw7, nullptr);
    *out = static_cast<DirectDraw*>(dd);
    return FromHresult(hr);
}

Result DdSetCooperativeLevel(DirectDraw* dd, Window* window, uint32_t flags) {
    return FromHresult(ToDirectDraw(dd)->SetCooperativeLevel(ToHwnd(window), flags));
}

Result DdSetDisplayMode(DirectDraw* dd, int width, int height, int bitsPerPixel, int refreshRate, uint32_t flags) {
    return FromHresult(ToDirectDraw(dd)->SetDisplayMode(width, height, bitsPerPixel, refreshRate, flags));
}

Result DdCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, Surface** out) {
    DDSURFACEDESC2 d = ToDdsd(*desc);
    IDirectDrawSurface7* surface = nullptr;
    const HRESULT hr = ToDirectDraw(dd)->CreateSurface(&d, &surface, nullptr);
    *out = FromSurface(surface);
    return FromHresult(hr);
}

void DdRelease(DirectDraw* dd) { ToDirectDraw(dd)->Release(); }

Result SurfaceGetAttached(Surface* surface, uint32_t caps, Surface** out) {
    DDSCAPS2 c{};
    c.dwCaps = caps;
    IDirectDrawSurface7* attached = nullptr;
    const HRESULT hr = ToSurface(surface)->GetAttachedSurface(&c, &attached);
    *out = FromSurface(attached);
    return FromHresult(hr);
}

Result SurfaceColorFill(Surface* surface, const Rect* rect, uint32_t colour) {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    RECT r{};
    if (rect)
        r = ToRect(*rect);
    // DDBLT_COLORFILL together with 0x10 (DDBLT_ALPHAEDGEBLEND), all alpha
    // fields zero, and no DDBLT_WAIT.
    return FromHresult(ToSurface(surface)->Blt(rect ? &r : nullptr, nullptr, nullptr, DDBLT_COLORFILL | 0x10, &fx));
}

Result SurfaceBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags) {
    RECT r{};
    if (sourceRect)
        r = ToRect(*sourceRect);
    return FromHresult(ToSurface(dest)->BltFast(x, y, ToSurface(source), sourceRect ? &r : nullptr, flags));
}

Result SurfaceLock(Surface* surface, SurfaceDesc* desc) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    // Waiting, and for reading as well as writing: the page's colour pass
    // reads each pixel before it writes it.
    const HRESULT hr = ToSurface(surface)->Lock(nullptr, &d, DDLOCK_WAIT, nullptr);
    if (SUCCEEDED(hr))
        FromDdsd(d, desc);
    return FromHresult(hr);
}

Result SurfaceUnlock(Surface* surface) { return FromHresult(ToSurface(surface)->Unlock(nullptr)); }

Result SurfaceFlip(Surface* primary) { return FromHresult(ToSurface(primary)->Flip(nullptr, DDFLIP_WAIT)); }

Result SurfaceIsLost(Surface* surface) { return FromHresult(ToSurface(surface)->IsLost()); }

Result SurfaceRestore(Surface* surface) { return FromHresult(ToSurface(surface)->Restore()); }

Result SurfaceGetDesc(Surface* surface, SurfaceDesc* desc) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    const HRESULT hr = ToSurface(surface)->GetSurfaceDesc(&d);
    if (SUCCEEDED(hr))
        FromDdsd(d, desc);
    return FromHresult(hr);
}

void SurfaceRelease(Surface* surface) { ToSurface(surface)->Release(); }

Result SurfaceGetDC(Surface* surface, DeviceContext** out) {
    HDC dc = nullptr;
    const HRESULT hr = ToSurface(surface)->GetDC(&dc);
    *out = FromHdc(dc);
    return FromHresult(hr);
}

void SurfaceReleaseDC(Surface* surface, DeviceContext* dc) { ToSurface(surface)->ReleaseDC(ToHdc(dc)); }
