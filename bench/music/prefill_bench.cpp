// The start-up cost of the sound: PlaySong on the shipped song (reset, the
// mix of all 100 blocks of the ring, the device started), and one FillBlock,
// the unit of work of every feeder pass. Headless device, no feeder thread.
#include <benchmark/benchmark.h>

#include "music/audio_output.h"
#include "music/module.h"
#include "music/music.h"
#include "platform/headless/headless.h"

namespace {

// The program's own start, without a feeder thread: the benchmark is the
// only thread touching the song.
Module* StartShippedSong() {
    ResetMusic();
    HeadlessReset();
    HeadlessSetFeederThread(false);
    MusicStart();
    return output.song;
}

void BM_PlaySongPrefill(benchmark::State& state) {
    Module* song = StartShippedSong();
    if (!song) {
        state.SkipWithError("MUSIC does not load");
        return;
    }
    for (auto _ : state) {
        PlaySong(song);
        benchmark::DoNotOptimize(OutputRing());
    }
    state.counters["blocks"] = BlockCount();
    MusicStop();
}
BENCHMARK(BM_PlaySongPrefill)->Unit(benchmark::kMillisecond);

void BM_FillBlock(benchmark::State& state) {
    Module* song = StartShippedSong();
    if (!song) {
        state.SkipWithError("MUSIC does not load");
        return;
    }
    for (auto _ : state)
        FillBlock();
    // One block is 884 frames, 20.045 ms of sound.
    state.counters["realtime_x"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * output.blockFrames / output.rate, benchmark::Counter::kIsRate);
    MusicStop();
}
BENCHMARK(BM_FillBlock)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
