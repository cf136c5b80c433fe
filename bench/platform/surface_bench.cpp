// The surface operations a frame is made of, at the program's sizes: the
// whole background into the back buffer, the page into view, an animation
// frame with the black key, a colour fill, and the flip.
#include <benchmark/benchmark.h>

#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

struct Scene {
    DirectDraw* dd = nullptr;
    Surface* primary = nullptr;
    Surface* back = nullptr;
    Surface* background = nullptr;
    Surface* ani = nullptr;

    Scene() {
        HeadlessReset();
        DdCreate(&dd);
        DdSetDisplayMode(dd, 640, 480, 32, 0, 0);
        SurfaceDesc p{};
        p.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        p.backBufferCount = 1;
        p.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        DdCreateSurface(dd, &p, &primary);
        SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back);
        background = Make("BACKGROUND", 640, 480, false);
        ani = Make("ANI", 5120, 64, true);
        for (int x = 0; x < 5120; ++x)
            for (int y = 0; y < 64; ++y)
                HeadlessSetPixel(ani, x, y, ((x ^ y) & 4) ? 0x808080u : 0u);
    }
    Surface* Make(const char* label, uint32_t w, uint32_t h, bool key) {
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (key ? DDSD_CKSRCBLT : 0);
        d.width = w;
        d.height = h;
        d.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
        d.label = label;
        Surface* s = nullptr;
        DdCreateSurface(dd, &d, &s);
        return s;
    }
    ~Scene() { HeadlessReset(); }
};

void BM_BltFastFullScreen(benchmark::State& state) {
    Scene s;
    for (auto _ : state)
        benchmark::DoNotOptimize(SurfaceBltFast(s.back, 0, 0, s.background, nullptr, DDBLTFAST_WAIT));
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(BM_BltFastFullScreen);

void BM_BltFastKeyedAnimationFrame(benchmark::State& state) {
    Scene s;
    const Rect frame{1280, 0, 1408, 64};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            SurfaceBltFast(s.back, 512, 416, s.ani, &frame, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT));
}
BENCHMARK(BM_BltFastKeyedAnimationFrame);

void BM_ColorFillFullScreen(benchmark::State& state) {
    Scene s;
    for (auto _ : state)
        benchmark::DoNotOptimize(SurfaceColorFill(s.back, nullptr, 0x5D1759));
}
BENCHMARK(BM_ColorFillFullScreen);

void BM_Flip(benchmark::State& state) {
    Scene s;
    for (auto _ : state)
        benchmark::DoNotOptimize(SurfaceFlip(s.primary));
}
BENCHMARK(BM_Flip);

void BM_IdlePeekMessage(benchmark::State& state) {
    HeadlessReset();
    Message msg{};
    for (auto _ : state)
        benchmark::DoNotOptimize(OsPeekMessage(&msg));
}
BENCHMARK(BM_IdlePeekMessage);

} // namespace

BENCHMARK_MAIN();
