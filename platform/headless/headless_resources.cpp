// Resources and bitmaps in the headless backend: the linked-in table, with
// resources a test adds or hides, and the shared GDI objects with faults.
#include <map>
#include <set>

#include "platform/gdi_core.h"
#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/resource_table.h"
#include "platform/surface_core.h"

namespace {

struct HeadlessResourceState {
    std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> overrides;
    std::set<std::string> hidden;
};

HeadlessResourceState& State() {
    static HeadlessResourceState state;
    return state;
}

} // namespace

bool OsFindResource(Instance*, const char* name, uint32_t type, ResourceBytes* out) {
    if (out)
        *out = ResourceBytes{nullptr, 0};
    if (!name || !out)
        return false;
    HeadlessResourceState& s = State();
    auto it = s.overrides.find(name);
    if (it != s.overrides.end()) {
        if (it->second.first != type)
            return false;
        *out = ResourceBytes{it->second.second.data(), static_cast<uint32_t>(it->second.second.size())};
        return true;
    }
    if (s.hidden.count(name))
        return false;
    return FindEmbeddedResource(name, type, out);
}

void HeadlessSetResource(const std::string& name, uint32_t type, const std::vector<uint8_t>& bytes) {
    State().hidden.erase(name);
    State().overrides[name] = {type, bytes};
}

void HeadlessHideResource(const std::string& name) {
    State().overrides.erase(name);
    State().hidden.insert(name);
}

Bitmap* OsLoadBitmap(Instance* instance, const char* name, int width, int height) {
    if (HeadlessFaultHit("LoadBitmap", name ? name : ""))
        return nullptr;
    ResourceBytes bytes{};
    if (!OsFindResource(instance, name, RT_BITMAP_TYPE, &bytes))
        return nullptr;
    DecodedBitmap image;
    std::string error;
    if (!DecodeBitmap(bytes.data, bytes.size, width, height, image, error))
        return nullptr;
    return CoreNewBitmap(std::move(image));
}

void GdiDeleteBitmap(Bitmap* bitmap) { CoreDeleteBitmap(bitmap); }

DeviceContext* GdiCreateCompatibleDC() {
    if (HeadlessFaultHit("CreateCompatibleDC"))
        return nullptr;
    return CoreNewMemoryDC();
}

void GdiSelectBitmap(DeviceContext* dc, Bitmap* bitmap) { CoreSelectBitmap(dc, bitmap); }

void GdiDeleteDC(DeviceContext* dc) { CoreDeleteDC(dc); }

Result SurfaceGetDC(Surface* surface, DeviceContext** out) {
    if (HeadlessFaultHit("GetDC", CoreSurfaceLive(surface) ? surface->label : "")) {
        if (out)
            *out = nullptr;
        return RESULT_FAILED;
    }
    return CoreSurfaceGetDC(surface, out);
}

void SurfaceReleaseDC(Surface* surface, DeviceContext* dc) { CoreSurfaceReleaseDC(surface, dc); }

int GdiBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy) {
    // The target of a BitBlt fault is the destination surface's label.
    std::string target;
    if (CoreDeviceContextLive(dest) && dest->surface && CoreSurfaceLive(dest->surface))
        target = dest->surface->label;
    if (HeadlessFaultHit("BitBlt", target))
        return 0;
    return CoreBitBlt(dest, x, y, width, height, source, sx, sy);
}

int HeadlessLiveBitmaps() { return CoreLiveBitmaps(); }

int HeadlessLiveDeviceContexts() { return CoreLiveDeviceContexts(); }

void HeadlessResetBitmaps() {
    CoreResetGdi();
    State() = HeadlessResourceState{};
}
