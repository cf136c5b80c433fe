// The headless DirectDraw: shared memory surfaces plus fault injection by
// surface label, pitch padding, a lost primary, and the release log.
#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/surface_core.h"
#include "platform/window_core.h"

namespace {

struct HeadlessDisplayState {
    std::map<std::string, int> padding;
    std::vector<std::string> releaseLog;
    int flips = 0;
    void (*flipObserver)(Surface*) = nullptr;
};

HeadlessDisplayState& State() {
    static HeadlessDisplayState state;
    return state;
}

int PaddingFor(const std::string& label) {
    auto it = State().padding.find(label);
    return it == State().padding.end() ? 0 : it->second;
}

std::string LabelOf(Surface* s) { return CoreSurfaceLive(s) ? s->label : std::string(); }

bool InBuffer(Surface* s, int x, int y) {
    return CoreSurfaceLive(s) && x >= 0 && y >= 0 && x < s->pixels.width && y < s->pixels.height;
}

} // namespace

Result DdCreate(DirectDraw** out) {
    if (!out)
        return RESULT_FAILED;
    *out = nullptr;
    if (HeadlessFaultHit("DdCreate"))
        return RESULT_FAILED;
    *out = CoreNewDirectDraw();
    return RESULT_OK;
}

Result DdSetCooperativeLevel(DirectDraw* dd, Window* window, uint32_t flags) {
    if (HeadlessFaultHit("SetCooperativeLevel"))
        return RESULT_FAILED;
    if (!CoreDirectDrawLive(dd))
        return RESULT_FAILED;
    // Exclusive mode needs a live top-level window.
    if ((flags & DDSCL_EXCLUSIVE) && !CoreWindowAlive(window))
        return RESULT_FAILED;
    dd->cooperativeWindow = window;
    dd->cooperativeFlags = flags;
    return RESULT_OK;
}

Result DdSetDisplayMode(DirectDraw* dd, int width, int height, int bitsPerPixel, int refreshRate, uint32_t) {
    if (HeadlessFaultHit("SetDisplayMode"))
        return RESULT_FAILED;
    if (!CoreDirectDrawLive(dd) || bitsPerPixel != 32 || width < 1 || height < 1 || width > MAX_BUFFER_SIDE ||
        height > MAX_BUFFER_SIDE)
        return RESULT_FAILED;
    dd->modeWidth = width;
    dd->modeHeight = height;
    dd->modeRefreshRate = refreshRate;
    return RESULT_OK;
}

Result DdCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, Surface** out) {
    if (out)
        *out = nullptr;
    if (!desc)
        return RESULT_FAILED;
    const bool primary = (desc->caps & DDSCAPS_PRIMARYSURFACE) != 0;
    const std::string label = primary ? "PRIMARY" : (desc->label ? desc->label : "");
    // Both counters are bumped for a video-memory try, so either name arms it.
    bool fail = HeadlessFaultHit("CreateSurface", label);
    if (!primary && (desc->caps & DDSCAPS_VIDEOMEMORY) && HeadlessFaultHit("CreateSurfaceVideo", label))
        fail = true;
    if (fail)
        return (desc->caps & DDSCAPS_VIDEOMEMORY) ? RESULT_OUTOFVIDEOMEMORY : RESULT_FAILED;
    int pad = PaddingFor(label);
    int backPad = pad;
    if (primary)
        pad = backPad = std::max(PaddingFor("PRIMARY"), PaddingFor("BACKBUF"));
    return CoreCreateSurface(dd, desc, pad, backPad, OsScreenWidth(), OsScreenHeight(), out);
}

void DdRelease(DirectDraw* dd) {
    if (!CoreDirectDrawLive(dd))
        return;
    State().releaseLog.push_back("DirectDraw");
    CoreDeleteDirectDraw(dd);
}

Result SurfaceGetAttached(Surface* surface, uint32_t caps, Surface** out) {
    if (HeadlessFaultHit("GetAttached", LabelOf(surface))) {
        if (out)
            *out = nullptr;
        return RESULT_FAILED;
    }
    return CoreGetAttached(surface, caps, out);
}

Result SurfaceColorFill(Surface* surface, const Rect* rect, uint32_t colour) {
    if (HeadlessFaultHit("ColorFill", LabelOf(surface)))
        return RESULT_FAILED;
    return CoreColorFill(surface, rect, colour);
}

Result SurfaceBltFast(Surface* dest, int x, int y, Surface* source, const Rect* sourceRect, uint32_t flags) {
    if (HeadlessFaultHit("BltFast", LabelOf(dest), LabelOf(source)))
        return RESULT_FAILED;
    return CoreBltFast(dest, x, y, source, sourceRect, flags);
}

Result SurfaceLock(Surface* surface, SurfaceDesc* desc) {
    if (HeadlessFaultHit("Lock", LabelOf(surface)))
        return RESULT_FAILED;
    return CoreLock(surface, desc);
}

Result SurfaceUnlock(Surface* surface) {
    if (HeadlessFaultHit("Unlock", LabelOf(surface)))
        return RESULT_FAILED;
    return CoreUnlock(surface);
}

Result SurfaceFlip(Surface* primary) {
    if (HeadlessFaultHit("Flip", LabelOf(primary)))
        return RESULT_FAILED;
    const Result r = CoreFlip(primary);
    if (r == RESULT_OK) {
        ++State().flips;
        if (State().flipObserver)
            State().flipObserver(primary);
    }
    return r;
}

Result SurfaceIsLost(Surface* surface) { return CoreIsLost(surface); }

Result SurfaceRestore(Surface* surface) {
    if (HeadlessFaultHit("Restore", LabelOf(surface)))
        return RESULT_FAILED;
    return CoreRestore(surface);
}

Result SurfaceGetDesc(Surface* surface, SurfaceDesc* desc) {
    if (HeadlessFaultHit("GetDesc", LabelOf(surface)))
        return RESULT_FAILED;
    return CoreGetDesc(surface, desc);
}

void SurfaceRelease(Surface* surface) {
    const std::string label = LabelOf(surface);
    if (CoreRelease(surface))
        State().releaseLog.push_back(label);
}

void HeadlessSetPrimaryLost(bool lost) {
    for (int i = 0; i < CoreLiveSurfaceCount(); ++i) {
        Surface* s = CoreLiveSurface(i);
        if (s->primary)
            s->lost = lost;
    }
}

void HeadlessSetSurfaceLost(const std::string& label, bool lost) {
    Surface* s = HeadlessSurface(label);
    if (s)
        s->lost = lost;
}

void HeadlessSetPitchPadding(const std::string& label, int extraBytes) { State().padding[label] = extraBytes; }

Surface* HeadlessSurface(const std::string& label) {
    for (int i = CoreLiveSurfaceCount() - 1; i >= 0; --i) {
        Surface* s = CoreLiveSurface(i);
        if (s->label == label)
            return s;
    }
    return nullptr;
}

uint32_t HeadlessPixel(Surface* surface, int x, int y) {
    return InBuffer(surface, x, y) ? surface->pixels.Row(y)[x] : 0xFFFFFFFFu;
}

void HeadlessSetPixel(Surface* surface, int x, int y, uint32_t colour) {
    if (InBuffer(surface, x, y))
        surface->pixels.Row(y)[x] = colour;
}

int HeadlessPitch(Surface* surface) { return CoreSurfaceLive(surface) ? surface->pixels.pitch : 0; }

uint32_t HeadlessPaddingByte(Surface* surface, int x, int y) {
    if (!CoreSurfaceLive(surface) || y < 0 || y >= surface->pixels.height || x < 0)
        return 0xFFFFFFFFu;
    const int offset = surface->pixels.width * 4 + x;
    if (offset >= surface->pixels.pitch)
        return 0xFFFFFFFFu;
    const auto* row = reinterpret_cast<const uint8_t*>(surface->pixels.Row(y));
    return row[offset];
}

bool HeadlessInVideoMemory(Surface* surface) {
    return CoreSurfaceLive(surface) && (surface->caps & DDSCAPS_VIDEOMEMORY) != 0;
}

int HeadlessLiveSurfaceCount() { return CoreLiveSurfaceCount(); }

int HeadlessFlipCount() { return State().flips; }

void HeadlessOnFlip(void (*observer)(Surface* primary)) { State().flipObserver = observer; }

bool HeadlessDisplayHeld() { return CoreDirectDrawCount() > 0; }

std::vector<std::string> HeadlessLiveSurfaceLabels() {
    std::vector<std::string> labels;
    for (int i = 0; i < CoreLiveSurfaceCount(); ++i)
        labels.push_back(CoreLiveSurface(i)->label);
    return labels;
}

std::vector<std::string> HeadlessReleaseLog() { return State().releaseLog; }

void HeadlessLogRelease(const std::string& what) { State().releaseLog.push_back(what); }

void HeadlessClearReleaseLog() { State().releaseLog.clear(); }

bool HeadlessWritePpm(Surface* surface, const std::string& path) {
    if (!CoreSurfaceLive(surface))
        return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const PixelBuffer& b = surface->pixels;
    std::fprintf(f, "P6\n%d %d\n255\n", b.width, b.height);
    std::vector<uint8_t> row(static_cast<size_t>(b.width) * 3);
    bool ok = true;
    for (int y = 0; y < b.height && ok; ++y) {
        const uint32_t* p = b.Row(y);
        for (int x = 0; x < b.width; ++x) {
            row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(p[x] >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(p[x] >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(p[x]);
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

void HeadlessResetDisplay() {
    CoreResetSurfaces();
    State() = HeadlessDisplayState{};
}
