// Bitmaps and device contexts (LoadImageA's result, CreateCompatibleDC,
// SelectObject, a surface's GetDC, BitBlt SRCCOPY), shared by the backends.
// Every handle is checked against the live set, so a deleted or foreign
// handle is ignored (or fails) instead of being followed.
#pragma once

#include "platform/bitmap_decoder.h"
#include "platform/platform.h"

struct Bitmap {
    DecodedBitmap image;
    int selections = 0; // memory contexts it is selected into
};

struct DeviceContext {
    Bitmap* bitmap = nullptr;   // memory context: the selected bitmap
    Surface* surface = nullptr; // surface context: the surface
};

// Takes the decoded picture as a new bitmap.
Bitmap* CoreNewBitmap(DecodedBitmap&& image);
// DeleteObject: refused (the bitmap stays) while it is selected into a live
// memory context, as GDI does.
bool CoreDeleteBitmap(Bitmap* bitmap);
DeviceContext* CoreNewMemoryDC();
void CoreSelectBitmap(DeviceContext* dc, Bitmap* bitmap);
void CoreDeleteDC(DeviceContext* dc);
// GetDC on a surface: fails while it is locked, lost or already has its
// context out.
Result CoreSurfaceGetDC(Surface* surface, DeviceContext** out);
void CoreSurfaceReleaseDC(Surface* surface, DeviceContext* dc);
// BitBlt SRCCOPY between any two contexts; the rectangle is clipped to both
// pixel areas, as GDI does. 0 for a dead context, a memory context without a
// bitmap, or a negative size.
int CoreBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy);

bool CoreDeviceContextLive(const DeviceContext* dc);
int CoreLiveBitmaps();
int CoreLiveDeviceContexts();
void CoreResetGdi();
