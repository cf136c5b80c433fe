// Render throughput of the music player, in times real time, against
// libxmp (linear interpolation) rendering the same songs in the same run.
// The songs are built here: a 4-channel and a 32-channel song with notes
// on every other row, looped 8- and 16-bit samples and moving effects.
// The load is outside the timed loop; rendering allocates nothing.
#include <benchmark/benchmark.h>
#include <xmp.h>

#include <cstdint>
#include <vector>

#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/music.h"
#include "music/playback.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"
#include "tools/writers/xm_writer.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t BLOCK = 884;
constexpr int32_t SECONDS_PER_ITERATION = 10;

XmSample Wave(bool sixteen, uint8_t loopBits, uint32_t length, uint32_t period) {
    XmSample s;
    s.sixteenBit = sixteen;
    for (uint32_t i = 0; i < length; ++i) {
        int v = static_cast<int>((i % period) * 200 / period) - 100; // a sawtooth
        s.values.push_back(static_cast<int16_t>(sixteen ? v * 250 : v));
    }
    s.loopBits = loopBits;
    s.loopStart = length / 8;
    s.loopLength = length - length / 8;
    return s;
}

std::vector<uint8_t> BenchSong(uint16_t channels) {
    XmSong song;
    song.channels = channels;
    song.defaultSpeed = 6;
    song.defaultBpm = 125;
    song.orders = {0, 1, 2, 3};
    const uint32_t periods[] = {50, 73, 101, 37};
    for (int i = 0; i < 4; ++i) {
        XmInstrument instrument;
        instrument.samples.push_back(Wave(i % 2 == 1, i == 3 ? 2 : 1, 6000 + 1000 * i, periods[i]));
        instrument.samples.back().volume = 48;
        instrument.samples.back().panning = static_cast<uint8_t>(40 + 50 * i);
        song.instruments.push_back(instrument);
    }
    const uint8_t effects[][2] = {{0x4, 0x46}, {0x0, 0x37}, {0xA, 0x02}, {0x1, 0x02},
                                  {0x2, 0x02}, {0x0, 0x00}, {0x3, 0x10}, {0xC, 0x30}};
    for (int p = 0; p < 4; ++p) {
        XmPattern pattern;
        pattern.rows = 64;
        for (int r = 0; r < 64; ++r) {
            for (int c = 0; c < channels; ++c) {
                XmCell& cell = XmCellAt(pattern, channels, r, c);
                if ((r + c) % 2 == 0) {
                    cell.note = static_cast<uint8_t>(37 + (r * 5 + c * 7 + p * 3) % 36);
                    cell.instrument = static_cast<uint8_t>(1 + (c + r / 4) % 4);
                }
                const uint8_t* effect = effects[(r / 2 + c + p) % 8];
                cell.effectType = effect[0];
                cell.effectParameter = effect[1];
            }
        }
        song.patterns.push_back(pattern);
    }
    return BuildXm(song);
}

// The block filler's loop over one block, into buffers made once.
float mixBlock[2 * BLOCK];
int16_t pcmBlock[2 * BLOCK];

void RenderBlock(Module* song) { MixBlock(song, mixBlock, pcmBlock, BLOCK); }

void Quillon(benchmark::State& state) {
    ResetMusic();
    HeadlessReset();
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    SetMixerRate(RATE);
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, BenchSong(static_cast<uint16_t>(state.range(0))));
    Module* song = LoadModule("MUSIC");
    if (!song) {
        state.SkipWithError("the song did not load");
        return;
    }
    StartSmallPlayer(song);
    const int blocks = SECONDS_PER_ITERATION * RATE / BLOCK;
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b)
            RenderBlock(song);
        benchmark::DoNotOptimize(pcmBlock);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(blocks) * BLOCK / RATE, benchmark::Counter::kIsIterationInvariantRate);
    FreeModule(song);
}

void Libxmp(benchmark::State& state) {
    std::vector<uint8_t> bytes = BenchSong(static_cast<uint16_t>(state.range(0)));
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())) != 0) {
        state.SkipWithError("libxmp did not load the song");
        xmp_free_context(context);
        return;
    }
    xmp_start_player(context, RATE, 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    const int blocks = SECONDS_PER_ITERATION * RATE / BLOCK;
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b)
            xmp_play_buffer(context, pcmBlock, static_cast<int>(sizeof pcmBlock), 0);
        benchmark::DoNotOptimize(pcmBlock);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(blocks) * BLOCK / RATE, benchmark::Counter::kIsIterationInvariantRate);
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
}

BENCHMARK(Quillon)->Arg(4)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(Libxmp)->Arg(4)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
