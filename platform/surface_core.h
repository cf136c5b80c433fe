// The DirectDraw objects both backends share: a device record and memory
// surfaces with the flip chain, lock state and lost state. The backends add
// what is theirs (fault injection, presenting the picture) around these.
//
// Handles are checked against the set of live objects before use, so a
// released or foreign Surface* or DirectDraw* is answered with a failure
// instead of a read of freed memory.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/software_surface.h"

struct DirectDraw {
    Window* cooperativeWindow = nullptr;
    uint32_t cooperativeFlags = 0;
    int modeWidth = 0; // 0 until SetDisplayMode
    int modeHeight = 0;
    int modeRefreshRate = -1; // as asked for; 0 is the adapter's default rate
    bool hasPrimary = false;
};

struct DeviceContext;

struct Surface {
    DirectDraw* owner = nullptr;
    std::string label;
    uint32_t caps = 0; // as created, with the memory bit that was granted
    bool hasColorKey = false;
    uint32_t colorKey = 0;
    bool primary = false;
    Surface* attached = nullptr; // primary: its back buffer; back buffer: its primary
    PixelBuffer pixels;
    bool locked = false;
    DeviceContext* dc = nullptr; // the GetDC context while one is out
    bool lost = false;
};

// Creation of a surface as asked for by `desc`; `extraBytes` pads every row
// (for the primary, both buffers of the chain). The primary's size is the
// display mode, or `screenWidth` x `screenHeight` when no mode was set.
// Fails with RESULT_FAILED for a missing or malformed description, a second
// primary, or sizes out of range.
Result CoreCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, int extraBytes, int backExtraBytes, int screenWidth,
                         int screenHeight, Surface** out);

bool CoreDirectDrawLive(const DirectDraw* dd);
bool CoreSurfaceLive(const Surface* surface);
DirectDraw* CoreNewDirectDraw();
// Forgets the device record. Surfaces made with it stay alive until each is
// released (so a forgotten release still shows as a live surface).
void CoreDeleteDirectDraw(DirectDraw* dd);
int CoreDirectDrawCount();

// The operations below fail with RESULT_FAILED for a dead handle,
// RESULT_SURFACELOST for a lost surface (or a back buffer of a lost
// primary), and RESULT_FAILED while a surface involved is locked or has its
// device context out (DDERR_SURFACEBUSY).
Result CoreGetAttached(Surface* surface, uint32_t caps, Surface** out);
Result CoreColorFill(Surface* surface, const Rect* rect, uint32_t colour);
// A source colour key asked for from a surface that has none fails
// (DDERR_NOCOLORKEY).
Result CoreBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags);
Result CoreLock(Surface* surface, SurfaceDesc* desc);
Result CoreUnlock(Surface* surface);
// Swaps the pixels of the primary and its back buffer (the handles stay).
Result CoreFlip(Surface* primary);
Result CoreIsLost(Surface* surface);
// Clears the lost mark of the surface (and of a primary's back buffer).
Result CoreRestore(Surface* surface);
Result CoreGetDesc(Surface* surface, SurfaceDesc* desc);
// Frees the surface (a primary with its back buffer; a back buffer alone is
// not released, it goes with its primary). False when nothing was released.
bool CoreRelease(Surface* surface);
// Every live surface, oldest first.
int CoreLiveSurfaceCount();
Surface* CoreLiveSurface(int index);
// Frees every surface and device record (fresh-process state).
void CoreResetSurfaces();

// The primary of the chain a surface belongs to (itself for a primary).
inline Surface* ChainPrimary(Surface* s) { return s->primary ? s : (s->attached ? s->attached : s); }
