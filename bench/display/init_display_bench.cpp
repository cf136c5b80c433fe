// InitDisplay on the headless backend: the device, eight surfaces, three
// bitmaps, the background, the four rendered pages and the page copy.
#include <benchmark/benchmark.h>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "platform/headless/headless.h"

namespace {

void BM_InitDisplay(benchmark::State& state) {
    HeadlessReset();
    ResetDisplay();
    ResetApp();
    app.instance = OsModuleHandle();
    if (!CreateMainWindow()) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        ResetScene();
        if (!InitDisplay(mainWindow)) {
            state.SkipWithError("InitDisplay failed");
            break;
        }
        state.PauseTiming();
        ReleaseDisplay();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InitDisplay)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
