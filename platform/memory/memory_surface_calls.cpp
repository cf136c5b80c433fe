// The surface and GDI calls of a backend whose surfaces are plain memory and
// need nothing of their own beyond the shared core: the SDL and web
// backends link this file. (The headless backend has its own versions,
// which count calls and take injected faults; Windows makes the real calls.)
#include "platform/gdi_core.h"
#include "platform/platform.h"
#include "platform/surface_core.h"

Result SurfaceGetAttached(Surface* surface, uint32_t caps, Surface** out) {
    return CoreGetAttached(surface, caps, out);
}

Result SurfaceColorFill(Surface* surface, const Rect* rect, uint32_t colour) {
    return CoreColorFill(surface, rect, colour);
}

Result SurfaceBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags) {
    return CoreBltFast(dest, x, y, source, sourceRect, flags);
}

Result SurfaceLock(Surface* surface, SurfaceDesc* desc) { return CoreLock(surface, desc); }

Result SurfaceUnlock(Surface* surface) { return CoreUnlock(surface); }

void GdiDeleteBitmap(Bitmap* bitmap) { CoreDeleteBitmap(bitmap); }

DeviceContext* GdiCreateCompatibleDC() { return CoreNewMemoryDC(); }

void GdiSelectBitmap(DeviceContext* dc, Bitmap* bitmap) { CoreSelectBitmap(dc, bitmap); }

void GdiDeleteDC(DeviceContext* dc) { CoreDeleteDC(dc); }

Result SurfaceGetDC(Surface* surface, DeviceContext** out) { return CoreSurfaceGetDC(surface, out); }

void SurfaceReleaseDC(Surface* surface, DeviceContext* dc) { CoreSurfaceReleaseDC(surface, dc); }

int GdiBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy) {
    return CoreBitBlt(dest, x, y, width, height, source, sx, sy);
}
