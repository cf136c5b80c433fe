// Render throughput of both players, in times real time, against libxmp
// (linear interpolation) on the same real songs in the same run. The small
// player (SmallQuillon/) plays the song the program ships (the build's
// MUSIC.xm, "built-in") and the songs of ../shared/xm; the full player
// (FullQuillon/) those and every .xm in $QUILLON_REAL_SONGS when it is set
// (the folder tests/music/full/real-songs.sh fills). Ten seconds of each song
// from its start per iteration; loading is outside the timed loop and
// rendering allocates nothing.
#include <benchmark/benchmark.h>
#include <xmp.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music/audio_output.h"
#include "music/full/full_engine.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/music.h"
#include "music/playback.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t BLOCK = 884;
constexpr int32_t SECONDS_PER_ITERATION = 10;
constexpr int BLOCKS = SECONDS_PER_ITERATION * RATE / BLOCK;

float mixBlock[2 * BLOCK];
int16_t pcmBlock[2 * BLOCK];

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RealTimeCounter(benchmark::State& state) {
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(BLOCKS) * BLOCK / RATE, benchmark::Counter::kIsIterationInvariantRate);
}

// Ten seconds of `path` through the block filler, the song started by `start`.
void Quillon(benchmark::State& state, const std::string& path, void (*start)(Module*)) {
    ResetMusic();
    HeadlessReset();
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    SetMixerRate(RATE);
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, ReadFile(path));
    Module* song = LoadModule("MUSIC");
    if (!song) {
        state.SkipWithError("the song did not load");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        ResetVoices();
        start(song);
        state.ResumeTiming();
        for (int b = 0; b < BLOCKS; ++b)
            MixBlock(song, mixBlock, pcmBlock, BLOCK);
        benchmark::DoNotOptimize(pcmBlock);
    }
    RealTimeCounter(state);
    FreeModule(song);
}

void FullQuillon(benchmark::State& state, const std::string& path) { Quillon(state, path, StartFullPlayer); }

void SmallQuillon(benchmark::State& state, const std::string& path) { Quillon(state, path, StartSmallPlayer); }

void Libxmp(benchmark::State& state, const std::string& path) {
    std::vector<uint8_t> bytes = ReadFile(path);
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())) != 0) {
        state.SkipWithError("libxmp did not load the song");
        xmp_free_context(context);
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        xmp_start_player(context, RATE, 0);
        xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
        state.ResumeTiming();
        for (int b = 0; b < BLOCKS; ++b)
            xmp_play_buffer(context, pcmBlock, static_cast<int>(sizeof pcmBlock), 0);
        benchmark::DoNotOptimize(pcmBlock);
        state.PauseTiming();
        xmp_end_player(context);
        state.ResumeTiming();
    }
    RealTimeCounter(state);
    xmp_release_module(context);
    xmp_free_context(context);
}

void Register(const std::string& path, const std::string& name, bool small) {
    if (small)
        benchmark::RegisterBenchmark(("SmallQuillon/" + name).c_str(), SmallQuillon, path)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("FullQuillon/" + name).c_str(), FullQuillon, path)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Libxmp/" + name).c_str(), Libxmp, path)->Unit(benchmark::kMillisecond);
}

std::vector<std::string> SongsIn(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".xm")
            paths.push_back(entry.path().string());
    return paths;
}

void RegisterSongs() {
    if (std::filesystem::exists(QUILLON_SHIPPED_SONG))
        Register(QUILLON_SHIPPED_SONG, "built-in", true);
    for (const std::string& path : SongsIn(QUILLON_SHARED_XM_DIR))
        Register(path, std::filesystem::path(path).stem().string(), true);
    if (const char* extra = std::getenv("QUILLON_REAL_SONGS"))
        for (const std::string& path : SongsIn(extra))
            Register(path, std::filesystem::path(path).stem().string(), false);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterSongs();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
