#include "platform/gdi_core.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/surface_core.h"

namespace {

struct GdiRegistry {
    std::vector<std::unique_ptr<Bitmap>> bitmaps;
    std::vector<std::unique_ptr<DeviceContext>> contexts;
};

GdiRegistry& Registry() {
    static GdiRegistry registry;
    return registry;
}

bool BitmapLive(const Bitmap* b) {
    for (const auto& p : Registry().bitmaps)
        if (p.get() == b)
            return true;
    return false;
}

bool ContextLive(const DeviceContext* dc) {
    for (const auto& p : Registry().contexts)
        if (p.get() == dc)
            return true;
    return false;
}

void EraseContext(DeviceContext* dc) {
    if (dc->bitmap && BitmapLive(dc->bitmap))
        --dc->bitmap->selections;
    auto& contexts = Registry().contexts;
    contexts.erase(std::remove_if(contexts.begin(), contexts.end(), [dc](const auto& p) { return p.get() == dc; }),
                   contexts.end());
}

// The pixel area behind a context: pointer to the first pixel, size and row
// stride in pixels. False when there is none.
struct Area {
    uint32_t* pixels;
    int width;
    int height;
    int stride;
};

bool AreaOf(DeviceContext* dc, Area& area) {
    if (dc->surface) {
        if (!CoreSurfaceLive(dc->surface))
            return false;
        PixelBuffer& b = dc->surface->pixels;
        area = {b.storage.data(), b.width, b.height, b.pitch / 4};
        return true;
    }
    if (dc->bitmap && BitmapLive(dc->bitmap)) {
        DecodedBitmap& img = dc->bitmap->image;
        area = {img.pixels.data(), img.width, img.height, img.width};
        return true;
    }
    return false;
}

} // namespace

Bitmap* CoreNewBitmap(DecodedBitmap&& image) {
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->image = std::move(image);
    Registry().bitmaps.push_back(std::move(bitmap));
    return Registry().bitmaps.back().get();
}

bool CoreDeleteBitmap(Bitmap* bitmap) {
    if (!BitmapLive(bitmap) || bitmap->selections > 0)
        return false;
    auto& bitmaps = Registry().bitmaps;
    bitmaps.erase(std::remove_if(bitmaps.begin(), bitmaps.end(), [bitmap](const auto& p) { return p.get() == bitmap; }),
                  bitmaps.end());
    return true;
}

DeviceContext* CoreNewMemoryDC() {
    Registry().contexts.push_back(std::make_unique<DeviceContext>());
    return Registry().contexts.back().get();
}

void CoreSelectBitmap(DeviceContext* dc, Bitmap* bitmap) {
    if (!ContextLive(dc) || dc->surface || !BitmapLive(bitmap))
        return;
    if (dc->bitmap && BitmapLive(dc->bitmap))
        --dc->bitmap->selections;
    dc->bitmap = bitmap;
    ++bitmap->selections;
}

void CoreDeleteDC(DeviceContext* dc) {
    // A surface's context is given back with ReleaseDC, not deleted.
    if (!ContextLive(dc) || dc->surface)
        return;
    EraseContext(dc);
}

Result CoreSurfaceGetDC(Surface* surface, DeviceContext** out) {
    if (out)
        *out = nullptr;
    if (!CoreSurfaceLive(surface) || !out)
        return RESULT_FAILED;
    if (CoreIsLost(surface) != RESULT_OK)
        return RESULT_SURFACELOST;
    if (surface->locked || surface->dc)
        return RESULT_FAILED;
    Registry().contexts.push_back(std::make_unique<DeviceContext>());
    DeviceContext* dc = Registry().contexts.back().get();
    dc->surface = surface;
    surface->dc = dc;
    *out = dc;
    return RESULT_OK;
}

void CoreSurfaceReleaseDC(Surface* surface, DeviceContext* dc) {
    if (!ContextLive(dc) || dc->surface != surface)
        return;
    if (CoreSurfaceLive(surface))
        surface->dc = nullptr;
    EraseContext(dc);
}

int CoreBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy) {
    if (!ContextLive(dest) || !ContextLive(source) || width < 0 || height < 0)
        return 0;
    Area d{};
    Area s{};
    if (!AreaOf(dest, d) || !AreaOf(source, s))
        return 0;
    // Clip in 64 bits against both areas; a negative start moves both sides.
    int64_t dx = x, dy = y, srcx = sx, srcy = sy, w = width, h = height;
    if (dx < 0) {
        w += dx;
        srcx -= dx;
        dx = 0;
    }
    if (dy < 0) {
        h += dy;
        srcy -= dy;
        dy = 0;
    }
    if (srcx < 0) {
        w += srcx;
        dx -= srcx;
        srcx = 0;
    }
    if (srcy < 0) {
        h += srcy;
        dy -= srcy;
        srcy = 0;
    }
    w = std::min({w, d.width - dx, s.width - srcx});
    h = std::min({h, d.height - dy, s.height - srcy});
    if (w <= 0 || h <= 0)
        return 1;
    const bool same = d.pixels == s.pixels;
    for (int64_t i = 0; i < h; ++i) {
        const int64_t row = (same && dy > srcy) ? h - 1 - i : i;
        std::memmove(d.pixels + (dy + row) * d.stride + dx, s.pixels + (srcy + row) * s.stride + srcx,
                     static_cast<size_t>(w) * 4);
    }
    return 1;
}

bool CoreDeviceContextLive(const DeviceContext* dc) { return ContextLive(dc); }

int CoreLiveBitmaps() { return static_cast<int>(Registry().bitmaps.size()); }

int CoreLiveDeviceContexts() { return static_cast<int>(Registry().contexts.size()); }

void CoreResetGdi() {
    Registry().bitmaps.clear();
    Registry().contexts.clear();
}
