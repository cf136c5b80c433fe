// ComposeFrame in the steady state, during the reveal and during the wipe,
// against a plain memcpy of as many bytes as a steady frame copies, all in
// one run; and RenderPages, which runs once per display set-up.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/frame.h"
#include "display/pages.h"
#include "display/scene.h"
#include "display/stars.h"
#include "platform/crt_rand.h"
#include "platform/headless/headless.h"

namespace {

// Bytes a steady frame moves: the two border strips and the box behind the
// animation from BACKGROUND, the whole page, one animation frame, three
// digit cells and the counter label, 4 bytes a pixel (stars are single
// pixels and left out).
constexpr size_t STEADY_FRAME_BYTES = 4 * (2 * 640 * 24 + 128 * 40 + 640 * 384 + 128 * 64 + 3 * 10 * 8 + 70 * 8);

// Frames 21 ms apart, so every frame takes a step of each effect.
constexpr uint32_t FRAME_MS = 21;

bool SetUpScene() {
    ReleaseDisplay();
    display = Display{};
    HeadlessReset();
    ResetScene();
    ResetApp();
    HeadlessSetTime(100000);
    if (!CreateMainWindow() || !InitDisplay(mainWindow))
        return false;
    CrtSrand(1);
    for (int i = 0; i < STAR_COUNT; ++i) {
        RenewStar(scene.topStars[i], true);
        RenewStar(scene.bottomStars[i], false);
    }
    scene.showFps = true;
    return true;
}

bool Frame() {
    HeadlessAdvanceTime(FRAME_MS);
    return ComposeFrame();
}

// Page 1 revealed, the box open, the counter showing a measured rate.
bool SetUpSteadyScene() {
    if (!SetUpScene())
        return false;
    for (int i = 0; i < 400 && (scene.revealing || scene.aniInset > 0 || scene.fps == 0); ++i)
        if (!Frame())
            return false;
    return !scene.revealing && scene.aniInset == 0 && scene.fps > 0;
}

void BM_ComposeFrameSteady(benchmark::State& state) {
    if (!SetUpSteadyScene()) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    for (auto _ : state) {
        HeadlessAdvanceTime(FRAME_MS);
        benchmark::DoNotOptimize(ComposeFrame());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * STEADY_FRAME_BYTES));
}
BENCHMARK(BM_ComposeFrameSteady)->Unit(benchmark::kMicrosecond);

void BM_MemcpySteadyFrameBytes(benchmark::State& state) {
    std::vector<uint8_t> source(STEADY_FRAME_BYTES, 0x5D), dest(STEADY_FRAME_BYTES);
    for (auto _ : state) {
        std::memcpy(dest.data(), source.data(), STEADY_FRAME_BYTES);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * STEADY_FRAME_BYTES));
}
BENCHMARK(BM_MemcpySteadyFrameBytes)->Unit(benchmark::kMicrosecond);

// Every line moving: the reveal is restarted whenever it has come to rest.
void BM_ComposeFrameReveal(benchmark::State& state) {
    if (!SetUpSteadyScene()) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    for (auto _ : state) {
        if (!scene.revealing) {
            ResetReveal();
            scene.revealing = true;
        }
        HeadlessAdvanceTime(FRAME_MS);
        benchmark::DoNotOptimize(ComposeFrame());
    }
}
BENCHMARK(BM_ComposeFrameReveal)->Unit(benchmark::kMicrosecond);

// The wipe, kept from ending so that every frame paints its two rows.
void BM_ComposeFrameWipe(benchmark::State& state) {
    if (!SetUpSteadyScene()) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    scene.pageSliding = true;
    for (auto _ : state) {
        if (scene.slideLine >= PAGE_HEIGHT - 4) {
            scene.slideLine = 0;
            scene.slideLineBottom = PAGE_HEIGHT - 1;
        }
        HeadlessAdvanceTime(FRAME_MS);
        benchmark::DoNotOptimize(ComposeFrame());
    }
}
BENCHMARK(BM_ComposeFrameWipe)->Unit(benchmark::kMicrosecond);

void BM_RenderPages(benchmark::State& state) {
    if (!SetUpScene()) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderPages());
}
BENCHMARK(BM_RenderPages)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
