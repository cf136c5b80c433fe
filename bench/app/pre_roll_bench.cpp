// The 500000-pass pre-roll with nothing queued, on the SDL backend: the
// window's event source is pumped as the real program pumps it. Runs
// without a screen (SDL's offscreen driver unless one is chosen).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"

namespace {

void BM_PreRollIdleQueue(benchmark::State& state) {
    int exitCode = 0;
    for (auto _ : state) {
        if (PreRoll(&exitCode)) {
            state.SkipWithError("the quit message arrived during the pre-roll");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * PRE_ROLL_PASSES);
}
BENCHMARK(BM_PreRollIdleQueue)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    app.instance = OsModuleHandle();
    app.showCommand = SW_SHOWNORMAL;
    if (!CreateMainWindow() || !InitDisplay(mainWindow)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReleaseDisplay();
    return 0;
}
