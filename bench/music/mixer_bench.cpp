// The mixer's cost per voice-frame (one voice mixed into one output frame)
// beside two bounds of this machine:
//   Settled/STEP, Ramp/STEP  MixVoices over VOICES voices, 7 requests of 128
//                            frames (a ramp's length) per iteration. Ramp
//                            changes every voice's left level before every
//                            request, so every frame is mixed inside a ramp.
//                            STEP is the step in quarter frames: 3 and 6 take
//                            the passes that read neighbouring values with
//                            one load (steps up to one and two frames), 10
//                            the passes that load each frame's pair alone.
//   Stream/STEP              the memory traffic alone: the same sample values
//                            read and the same float buffer read and written,
//                            with one addition per value, at full vector width
//                            (AVX-512's where the processor has it, as the
//                            mixer's passes then use it).
//   Clock                    the core's actual clock: a chain of dependent
//                            additions, one per cycle, counted per second.
// Counters: ns_per_voice_frame, and cycles_per_voice_frame at the nominal
// clock /proc/cpuinfo reports ("cpu MHz"; the core may run faster or slower:
// Clock says how much). Google Benchmark prints both counters with an "s"
// after them; they are plain numbers.
// Loops are long (no boundary inside a request), as in a held note.
//
// The compute bound beside these: the plain loop does 13 operations per
// voice-frame (the fraction's shift, its conversion and scaling, two value
// conversions, the interpolation's subtraction, multiplication and
// addition, two gain multiplications, two output additions, the position's
// addition). At AVX-512's width that is 8/16 + 4/16 + 1/8 = 0.875 vector
// instructions per voice-frame, about 0.22 cycles on a core that issues four
// a cycle. The widest settled pass as compiled takes 31 vector instructions
// (nine of them permutations and widenings, which line the sample values up
// with their frames) and 14 scalar ones per sixteen frames, so it cannot run
// under about half a cycle per voice-frame; Stream needs about one
// instruction per 32 values. A request of 128 frames adds each voice's run
// set-up (the boundary, the levels, the passes' registers) to every 128
// frames. A ramp frame adds its gains, a chain of roundings one addition
// after another.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "music/mixer.h"
#include "music/module.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t VOICES = 16;
constexpr int32_t REQUEST = 128;
constexpr int32_t REQUESTS = 7;
constexpr int64_t FRAMES = REQUEST * REQUESTS;
constexpr uint32_t SAMPLE_LENGTH = 1u << 18;

float mix[2 * FRAMES];

double NominalMegahertz() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("cpu MHz", 0) == 0)
            return std::stod(line.substr(line.find(':') + 1));
    return 0.0;
}

struct Song {
    std::vector<int16_t> values;
    Sample sample{};
    Song() {
        uint32_t seed = 1;
        for (uint32_t i = 0; i < SAMPLE_LENGTH; ++i) {
            seed = seed * 1103515245u + 12345u;
            values.push_back(static_cast<int16_t>(seed >> 16));
        }
        values.resize(SAMPLE_LENGTH + SAMPLE_SPARE_VALUES, values[0]);
        sample.data = values.data();
        sample.length = SAMPLE_LENGTH;
        sample.loopType = LOOP_FORWARD;
        sample.loopStart = 0;
        sample.loopLength = SAMPLE_LENGTH;
        sample.bits = 16;
    }
};

Song& TheSong() {
    static Song song;
    return song;
}

void Counters(benchmark::State& state) {
    const double voiceFrames = static_cast<double>(VOICES) * FRAMES;
    state.counters["ns_per_voice_frame"] = benchmark::Counter(
        voiceFrames / 1e9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    const double megahertz = NominalMegahertz();
    if (megahertz > 0)
        state.counters["cycles_per_voice_frame"] =
            benchmark::Counter(voiceFrames / (megahertz * 1e6),
                               benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void SetUpVoices(int64_t quarterStep) {
    ResetMixer();
    SetMixerRate(RATE);
    for (int32_t i = 0; i < VOICES; ++i) {
        Voice& v = mixer.voices[i];
        v.sample = &TheSong().sample;
        v.stepInteger = static_cast<uint32_t>(quarterStep / 4);
        v.stepFraction = static_cast<uint32_t>(quarterStep % 4) << 30;
        v.position = 997u * static_cast<uint32_t>(i);
        v.positionFraction = 0x12345678u * static_cast<uint32_t>(i);
        v.direction = DIRECTION_FORWARD;
        v.leftVolume = v.rampLeftTarget = 20000 + 1000 * i;
        v.rightVolume = v.rampRightTarget = 40000 - 1000 * i;
        v.levelLeft = v.leftVolume * 256;
        v.levelRight = v.rightVolume * 256;
    }
}

void Settled(benchmark::State& state) {
    SetUpVoices(state.range(0));
    for (auto _ : state) {
        for (int32_t r = 0; r < REQUESTS; ++r)
            MixVoices(mix + 2 * REQUEST * r, REQUEST);
        benchmark::DoNotOptimize(mix);
        benchmark::ClobberMemory();
    }
    Counters(state);
}

void Ramp(benchmark::State& state) {
    SetUpVoices(state.range(0));
    int32_t flip = 0;
    for (auto _ : state) {
        for (int32_t r = 0; r < REQUESTS; ++r) {
            flip ^= 1;
            for (int32_t i = 0; i < VOICES; ++i)
                mixer.voices[i].leftVolume = flip ? 5000 + 300 * i : 50000 - 300 * i;
            MixVoices(mix + 2 * REQUEST * r, REQUEST);
        }
        benchmark::DoNotOptimize(mix);
        benchmark::ClobberMemory();
    }
    Counters(state);
}

#if defined(__x86_64__) || defined(__i386__)
// Reads `count` values from `data` and adds their sum to every float of
// `out` (2 * frames floats): the loads and stores of a mix without its
// arithmetic, sixteen values or eight floats at a time.
__attribute__((target("avx2"))) void StreamVoice(float* out, int64_t frames, const int16_t* data, int64_t count) {
    __m256 sum = _mm256_setzero_ps();
    for (int64_t i = 0; i + 16 <= count; i += 16) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        sum = _mm256_add_ps(sum, _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(v))));
        sum = _mm256_add_ps(sum, _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1))));
    }
    for (int64_t i = 0; i + 8 <= 2 * frames; i += 8)
        _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_loadu_ps(out + i), sum));
}

// The same at AVX-512's width, where the processor has it: thirty-two
// values or sixteen floats at a time. (GCC 12's AVX-512 headers start
// several results from a value set to itself, which its own
// uninitialised-use warning then reports.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx2,avx512f"))) void StreamVoiceWidest(float* out, int64_t frames, const int16_t* data,
                                                               int64_t count) {
    __m512 sum = _mm512_setzero_ps();
    for (int64_t i = 0; i + 32 <= count; i += 32) {
        __m512i v = _mm512_loadu_si512(data + i);
        sum = _mm512_add_ps(sum, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_castsi512_si256(v))));
        sum = _mm512_add_ps(sum, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(v, 1))));
    }
    for (int64_t i = 0; i + 16 <= 2 * frames; i += 16)
        _mm512_storeu_ps(out + i, _mm512_add_ps(_mm512_loadu_ps(out + i), sum));
}
#pragma GCC diagnostic pop

void Stream(benchmark::State& state) {
    SetUpVoices(state.range(0));
    const int64_t valuesPerRequest = REQUEST * state.range(0) / 4 + 1;
    // At the widest width the mixer itself uses on this processor.
    const bool widest = __builtin_cpu_supports("avx512f");
    for (auto _ : state) {
        for (int32_t r = 0; r < REQUESTS; ++r)
            for (int32_t i = 0; i < VOICES; ++i) {
                Voice& v = mixer.voices[i];
                (widest ? StreamVoiceWidest : StreamVoice)(mix + 2 * REQUEST * r, REQUEST, v.sample->data + v.position,
                                                           valuesPerRequest);
                v.position = (v.position + static_cast<uint32_t>(valuesPerRequest)) % (SAMPLE_LENGTH - 4096);
            }
        benchmark::DoNotOptimize(mix);
        benchmark::ClobberMemory();
    }
    Counters(state);
}
BENCHMARK(Stream)->Arg(3)->Arg(6)->Arg(10);

void Clock(benchmark::State& state) {
    constexpr int64_t ROUNDS = 1 << 16;
    uint64_t x = 0;
    for (auto _ : state) {
        for (int64_t i = 0; i < ROUNDS; ++i)
            asm volatile(
                "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\t"
                "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0"
                : "+r"(x));
    }
    benchmark::DoNotOptimize(x);
    state.counters["GHz"] = benchmark::Counter(8.0 * ROUNDS / 1e9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(Clock);
#endif

BENCHMARK(Settled)->Arg(3)->Arg(6)->Arg(10);
BENCHMARK(Ramp)->Arg(3)->Arg(6)->Arg(10);

} // namespace

BENCHMARK_MAIN();
