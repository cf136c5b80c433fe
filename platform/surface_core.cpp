#include "platform/surface_core.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

struct SurfaceRegistry {
    std::vector<std::unique_ptr<DirectDraw>> devices;
    std::vector<std::unique_ptr<Surface>> surfaces; // creation order
};

SurfaceRegistry& Registry() {
    static SurfaceRegistry registry;
    return registry;
}

bool Busy(const Surface* s) { return s->locked || s->dc != nullptr; }

// A back buffer is lost exactly when its primary is.
bool Lost(Surface* s) { return ChainPrimary(s)->lost || s->lost; }

Surface* AddSurface(std::unique_ptr<Surface> surface) {
    Registry().surfaces.push_back(std::move(surface));
    return Registry().surfaces.back().get();
}

} // namespace

DirectDraw* CoreNewDirectDraw() {
    Registry().devices.push_back(std::make_unique<DirectDraw>());
    return Registry().devices.back().get();
}

bool CoreDirectDrawLive(const DirectDraw* dd) {
    if (!dd)
        return false;
    for (const auto& d : Registry().devices)
        if (d.get() == dd)
            return true;
    return false;
}

void CoreDeleteDirectDraw(DirectDraw* dd) {
    auto& devices = Registry().devices;
    for (auto& s : Registry().surfaces)
        if (s->owner == dd)
            s->owner = nullptr;
    devices.erase(std::remove_if(devices.begin(), devices.end(), [dd](const auto& d) { return d.get() == dd; }),
                  devices.end());
}

int CoreDirectDrawCount() { return static_cast<int>(Registry().devices.size()); }

bool CoreSurfaceLive(const Surface* surface) {
    if (!surface)
        return false;
    for (const auto& s : Registry().surfaces)
        if (s.get() == surface)
            return true;
    return false;
}

Result CoreCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, int extraBytes, int backExtraBytes, int screenWidth,
                         int screenHeight, Surface** out) {
    if (out)
        *out = nullptr;
    if (!CoreDirectDrawLive(dd) || !desc || !out || !(desc->flags & DDSD_CAPS))
        return RESULT_FAILED;

    if (desc->caps & DDSCAPS_PRIMARYSURFACE) {
        if (dd->hasPrimary)
            return RESULT_FAILED;
        const bool flipping = (desc->caps & DDSCAPS_FLIP) != 0;
        const uint32_t backCount = (desc->flags & DDSD_BACKBUFFERCOUNT) ? desc->backBufferCount : 0;
        // One back buffer with FLIP | COMPLEX, or a lone primary; nothing else.
        if (flipping != (backCount == 1) || backCount > 1 || (flipping && !(desc->caps & DDSCAPS_COMPLEX)))
            return RESULT_FAILED;
        const int w = dd->modeWidth ? dd->modeWidth : screenWidth;
        const int h = dd->modeHeight ? dd->modeHeight : screenHeight;
        auto primary = std::make_unique<Surface>();
        primary->owner = dd;
        primary->label = "PRIMARY";
        primary->caps = desc->caps | DDSCAPS_VIDEOMEMORY;
        primary->primary = true;
        if (!PixelBufferInit(primary->pixels, w, h, extraBytes, 0xA5))
            return RESULT_FAILED;
        std::unique_ptr<Surface> back;
        if (flipping) {
            back = std::make_unique<Surface>();
            back->owner = dd;
            back->label = "BACKBUF";
            back->caps = DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
            if (!PixelBufferInit(back->pixels, w, h, backExtraBytes, 0xA5))
                return RESULT_FAILED;
        }
        Surface* p = AddSurface(std::move(primary));
        if (back) {
            Surface* b = AddSurface(std::move(back));
            p->attached = b;
            b->attached = p;
        }
        dd->hasPrimary = true;
        *out = p;
        return RESULT_OK;
    }

    if (!(desc->flags & DDSD_WIDTH) || !(desc->flags & DDSD_HEIGHT))
        return RESULT_FAILED;
    if (desc->caps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_BACKBUFFER))
        return RESULT_FAILED;
    const uint32_t memory = desc->caps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY);
    if (memory == (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY))
        return RESULT_FAILED;
    if (desc->width > MAX_BUFFER_SIDE || desc->height > MAX_BUFFER_SIDE)
        return RESULT_FAILED;
    auto surface = std::make_unique<Surface>();
    surface->owner = dd;
    surface->label = desc->label ? desc->label : "";
    // Without a memory request the driver picks video memory.
    surface->caps = desc->caps | (memory ? 0 : DDSCAPS_VIDEOMEMORY);
    if (desc->flags & DDSD_CKSRCBLT) {
        surface->hasColorKey = true;
        surface->colorKey = desc->colorKeyLow;
    }
    if (!PixelBufferInit(surface->pixels, static_cast<int>(desc->width), static_cast<int>(desc->height), extraBytes,
                         0xA5))
        return RESULT_FAILED;
    *out = AddSurface(std::move(surface));
    return RESULT_OK;
}

Result CoreGetAttached(Surface* surface, uint32_t caps, Surface** out) {
    if (out)
        *out = nullptr;
    if (!CoreSurfaceLive(surface) || !out)
        return RESULT_FAILED;
    if (!surface->primary || !surface->attached || caps != DDSCAPS_BACKBUFFER)
        return RESULT_FAILED;
    *out = surface->attached;
    return RESULT_OK;
}

Result CoreColorFill(Surface* surface, const Rect* rect, uint32_t colour) {
    if (!CoreSurfaceLive(surface))
        return RESULT_FAILED;
    if (Lost(surface))
        return RESULT_SURFACELOST;
    if (Busy(surface))
        return RESULT_FAILED;
    return PixelFill(surface->pixels, rect, colour);
}

Result CoreBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags) {
    if (!CoreSurfaceLive(dest) || !CoreSurfaceLive(source))
        return RESULT_FAILED;
    if (Lost(dest) || Lost(source))
        return RESULT_SURFACELOST;
    if (Busy(dest) || Busy(source))
        return RESULT_FAILED;
    const bool useKey = (flags & DDBLTFAST_SRCCOLORKEY) != 0;
    if (useKey && !source->hasColorKey)
        return RESULT_FAILED;
    return PixelCopy(dest->pixels, x, y, source->pixels, sourceRect, useKey, source->colorKey);
}

Result CoreLock(Surface* surface, SurfaceDesc* desc) {
    if (!CoreSurfaceLive(surface) || !desc)
        return RESULT_FAILED;
    if (Lost(surface))
        return RESULT_SURFACELOST;
    if (Busy(surface))
        return RESULT_FAILED;
    surface->locked = true;
    desc->flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
    desc->width = static_cast<uint32_t>(surface->pixels.width);
    desc->height = static_cast<uint32_t>(surface->pixels.height);
    desc->pitch = surface->pixels.pitch;
    desc->caps = surface->caps;
    desc->surface = surface->pixels.storage.data();
    return RESULT_OK;
}

Result CoreUnlock(Surface* surface) {
    if (!CoreSurfaceLive(surface) || !surface->locked)
        return RESULT_FAILED;
    surface->locked = false;
    return RESULT_OK;
}

Result CoreFlip(Surface* primary) {
    if (!CoreSurfaceLive(primary) || !primary->primary || !primary->attached)
        return RESULT_FAILED;
    if (Lost(primary))
        return RESULT_SURFACELOST;
    if (Busy(primary) || Busy(primary->attached))
        return RESULT_FAILED;
    std::swap(primary->pixels, primary->attached->pixels);
    return RESULT_OK;
}

Result CoreIsLost(Surface* surface) {
    if (!CoreSurfaceLive(surface))
        return RESULT_FAILED;
    return Lost(surface) ? RESULT_SURFACELOST : RESULT_OK;
}

Result CoreRestore(Surface* surface) {
    if (!CoreSurfaceLive(surface))
        return RESULT_FAILED;
    surface->lost = false;
    if (surface->primary && surface->attached)
        surface->attached->lost = false;
    return RESULT_OK;
}

Result CoreGetDesc(Surface* surface, SurfaceDesc* desc) {
    if (!CoreSurfaceLive(surface) || !desc)
        return RESULT_FAILED;
    desc->flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | (surface->hasColorKey ? DDSD_CKSRCBLT : 0);
    desc->width = static_cast<uint32_t>(surface->pixels.width);
    desc->height = static_cast<uint32_t>(surface->pixels.height);
    desc->pitch = surface->pixels.pitch;
    desc->caps = surface->caps;
    desc->backBufferCount = surface->primary && surface->attached ? 1 : 0;
    desc->colorKeyLow = surface->colorKey;
    desc->colorKeyHigh = surface->colorKey;
    desc->surface = nullptr;
    return RESULT_OK;
}

bool CoreRelease(Surface* surface) {
    if (!CoreSurfaceLive(surface))
        return false;
    if (!surface->primary && surface->attached)
        return false; // a back buffer goes with its primary
    Surface* back = surface->primary ? surface->attached : nullptr;
    if (surface->primary && CoreDirectDrawLive(surface->owner))
        surface->owner->hasPrimary = false;
    auto& surfaces = Registry().surfaces;
    surfaces.erase(std::remove_if(surfaces.begin(), surfaces.end(),
                                  [&](const auto& s) { return s.get() == surface || s.get() == back; }),
                   surfaces.end());
    return true;
}

int CoreLiveSurfaceCount() { return static_cast<int>(Registry().surfaces.size()); }

Surface* CoreLiveSurface(int index) {
    auto& surfaces = Registry().surfaces;
    return index >= 0 && index < static_cast<int>(surfaces.size()) ? surfaces[static_cast<size_t>(index)].get()
                                                                   : nullptr;
}

void CoreResetSurfaces() {
    Registry().surfaces.clear();
    Registry().devices.clear();
}
