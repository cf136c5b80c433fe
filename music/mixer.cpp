// The software mixer. Each voice is mixed in runs whose length is decided
// before the run starts: up to the next loop boundary, the end of the volume
// ramp or the end of the request, whichever comes first. The inner loops
// therefore test nothing but their frame count.
#include "music/mixer.h"

#include <cmath>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "music/module.h"

Mixer mixer;

namespace {

constexpr int FRACTION_BITS = 32;
constexpr uint64_t FRACTION_MASK = 0xFFFFFFFFull;
// A boundary this many frames or more ahead lies beyond any run: runs are
// kept short enough never to travel that far.
constexpr uint64_t BOUNDARY_HORIZON = 1ull << 24;
constexpr float INTERPOLATION_SCALE = 1.0f / 2147483648.0f; // top 31 fraction bits
constexpr float LEVEL_DIVISOR = static_cast<float>(VOICE_LEVEL_FULL);
constexpr int32_t LEVEL_SCALE = 256;

inline uint64_t Join(uint32_t integer, uint32_t fraction) {
    return (static_cast<uint64_t>(integer) << FRACTION_BITS) | fraction;
}

// Linear interpolation between the value at the position and the next one.
inline float ValueAt(const int16_t* data, uint64_t position) {
    auto index = static_cast<uint32_t>(position >> FRACTION_BITS);
    float a = data[index];
    float b = data[index + 1];
    auto t = static_cast<float>(static_cast<uint32_t>(position & FRACTION_MASK) >> 1) * INTERPOLATION_SCALE;
    return a + (b - a) * t;
}

// The value at `index` and the one after it, in one 32-bit read: the low
// half is data[index], the high half data[index + 1]. Only the x86 paths
// below use it; other processors (WebAssembly) build without them.
[[maybe_unused]] inline int32_t PairAt(const int16_t* data, uint64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + (position >> FRACTION_BITS), sizeof pair);
    return pair;
}

// Where a run's gains come from. A settled run has one pair of gains for
// every frame; a ramp run reads a pair per frame from a table laid out as the
// output frames are (left, right), so that one multiplication serves a whole
// register of output whichever way the gains came.
template <bool kRamp>
struct Gains {
    const float* pairs; // settled: one pair; ramp: a pair per frame

    float Left(int64_t frame) const { return pairs[kRamp ? 2 * frame : 0]; }
    float Right(int64_t frame) const { return pairs[kRamp ? 2 * frame + 1 : 1]; }
};

#if defined(__x86_64__) || defined(__i386__)
// The last frames of a run, fewer than eight, as one pass of eight whose
// lanes beyond the run are neither read from the output nor stored (masked
// loads and stores) and repeat the last frame's position, so that they read
// inside the sample where the run does. The lanes that count go through the
// passes' operations, so their sums are the plain loop's. Short runs between
// close loop ends (a short ping-pong loop turns every hundred frames or so)
// end this way each time, where one four-, one two- and one one-frame pass
// would cost several times more.
template <bool kRamp>
__attribute__((target("avx2"))) int64_t MixWideTail(float* __restrict out, int64_t frames,
                                                    const int16_t* __restrict data, uint64_t& position, uint64_t delta,
                                                    Gains<kRamp> gains) {
    if (frames <= 0)
        return 0;
    const uint64_t p = position;
    const uint64_t last = static_cast<uint64_t>(frames - 1);
    // Positions built in registers: written to memory and read back as one
    // vector they would wait for the eight writes to land.
    auto at = [&](uint64_t k) { return p + (k < last ? k : last) * delta; };
    const uint64_t q0 = at(0), q1 = at(1), q2 = at(2), q3 = at(3), q4 = at(4), q5 = at(5), q6 = at(6), q7 = at(7);
    position = p + static_cast<uint64_t>(frames) * delta;
    __m256i pair = _mm256_setr_epi32(PairAt(data, q0), PairAt(data, q1), PairAt(data, q2), PairAt(data, q3),
                                     PairAt(data, q4), PairAt(data, q5), PairAt(data, q6), PairAt(data, q7));
    auto fraction = [](uint64_t q) { return static_cast<int32_t>(static_cast<uint32_t>(q) >> 1); };
    __m256i fractions = _mm256_setr_epi32(fraction(q0), fraction(q1), fraction(q2), fraction(q3), fraction(q4),
                                          fraction(q5), fraction(q6), fraction(q7));
    __m256 a = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16));
    __m256 b = _mm256_cvtepi32_ps(_mm256_srai_epi32(pair, 16));
    __m256 t = _mm256_mul_ps(_mm256_cvtepi32_ps(fractions), _mm256_set1_ps(INTERPOLATION_SCALE));
    __m256 s = _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), t));
    __m256 lo = _mm256_unpacklo_ps(s, s);
    __m256 hi = _mm256_unpackhi_ps(s, s);
    __m256 first = _mm256_permute2f128_ps(lo, hi, 0x20);
    __m256 second = _mm256_permute2f128_ps(lo, hi, 0x31);
    // Two floats a frame: the first register holds frames 0..3, the second 4..7.
    const __m256i values = _mm256_set1_epi32(static_cast<int32_t>(2 * frames));
    const __m256i maskFirst = _mm256_cmpgt_epi32(values, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i maskSecond = _mm256_cmpgt_epi32(values, _mm256_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15));
    const float gl = gains.Left(0);
    const float gr = gains.Right(0);
    const __m256 settled = _mm256_setr_ps(gl, gr, gl, gr, gl, gr, gl, gr);
    __m256 gainsFirst = kRamp ? _mm256_maskload_ps(gains.pairs, maskFirst) : settled;
    __m256 gainsSecond = kRamp ? _mm256_maskload_ps(gains.pairs + 8, maskSecond) : settled;
    _mm256_maskstore_ps(out, maskFirst,
                        _mm256_add_ps(_mm256_maskload_ps(out, maskFirst), _mm256_mul_ps(first, gainsFirst)));
    _mm256_maskstore_ps(out + 8, maskSecond,
                        _mm256_add_ps(_mm256_maskload_ps(out + 8, maskSecond), _mm256_mul_ps(second, gainsSecond)));
    return frames;
}

// Eight frames per pass on processors with AVX2: the fractions advance in
// four 64-bit lanes beside the scalar positions that read the value pairs. The arithmetic is
// the scalar loop's, operation for operation, so the sums are identical.
//
// With a span of 8 the step is at most one frame, so the eight frames of a
// pass read from nine neighbouring values: two loads of eight, widened, and
// one permutation each take the place of the eight loads. With a span of 16
// the step is at most two frames and the pass reads from 17 values: four
// loads, and a blend of two permutations for each value. A span of 0 loads
// each frame's pair on its own.
template <bool kRamp, int kSpan>
__attribute__((target("avx2"))) int64_t MixWidePasses(float* __restrict out, int64_t frames,
                                                      const int16_t* __restrict data, uint64_t& position,
                                                      uint64_t delta, Gains<kRamp> gains) {
    int64_t passes = frames >> 3;
    if (passes == 0)
        return MixWideTail(out, frames, data, position, delta, gains);
    uint64_t p = position;
    // Frames 0 1 4 5 in one register and 2 3 6 7 in the other, so that
    // taking the low halves of both lane by lane gives frames 0..7 in order.
    auto at = [&](uint64_t k) { return static_cast<int64_t>(p + k * delta); };
    __m256i low = _mm256_setr_epi64x(at(0), at(1), at(4), at(5));
    __m256i high = _mm256_setr_epi64x(at(2), at(3), at(6), at(7));
    const __m256i eight = _mm256_set1_epi64x(static_cast<int64_t>(8 * delta));
    const float gl = gains.Left(0);
    const float gr = gains.Right(0);
    const __m256 settled = _mm256_setr_ps(gl, gr, gl, gr, gl, gr, gl, gr);
    const float* table = gains.pairs;
    const __m256 scale = _mm256_set1_ps(INTERPOLATION_SCALE);
    for (int64_t i = 0; i < passes; ++i) {
        __m256i fraction =
            _mm256_srli_epi32(_mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(low), _mm256_castsi256_ps(high),
                                                                    _MM_SHUFFLE(2, 0, 2, 0))),
                              1);
        __m256 a;
        __m256 b;
        if constexpr (kSpan != 0) {
            // The lowest index of the pass is the first frame's going forward,
            // the last one's going backward; the others lie less than a span
            // above it.
            uint64_t last = p + 7 * delta;
            uint32_t first = static_cast<uint32_t>(p >> FRACTION_BITS);
            uint32_t lowest = static_cast<uint32_t>(last >> FRACTION_BITS);
            lowest = first < lowest ? first : lowest;
            __m256i index = _mm256_castps_si256(
                _mm256_shuffle_ps(_mm256_castsi256_ps(low), _mm256_castsi256_ps(high), _MM_SHUFFLE(3, 1, 3, 1)));
            __m256i offset = _mm256_sub_epi32(index, _mm256_set1_epi32(static_cast<int32_t>(lowest)));
            __m256i here = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lowest)));
            __m256i next = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lowest + 1)));
            __m256i valueA = _mm256_permutevar8x32_epi32(here, offset);
            __m256i valueB = _mm256_permutevar8x32_epi32(next, offset);
            if constexpr (kSpan == 16) {
                // Offsets 8..15 take their values from the next eight (a
                // permutation reads only the offset's low three bits).
                __m256i upper = _mm256_cmpgt_epi32(offset, _mm256_set1_epi32(7));
                __m256i hereHigh =
                    _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lowest + 8)));
                __m256i nextHigh =
                    _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lowest + 9)));
                valueA = _mm256_blendv_epi8(valueA, _mm256_permutevar8x32_epi32(hereHigh, offset), upper);
                valueB = _mm256_blendv_epi8(valueB, _mm256_permutevar8x32_epi32(nextHigh, offset), upper);
            }
            a = _mm256_cvtepi32_ps(valueA);
            b = _mm256_cvtepi32_ps(valueB);
            p += 8 * delta;
        } else {
            // Plain loads: a gather is slower than eight of them on many processors.
            uint64_t q = p;
            int32_t v0 = PairAt(data, q);
            int32_t v1 = PairAt(data, q += delta);
            int32_t v2 = PairAt(data, q += delta);
            int32_t v3 = PairAt(data, q += delta);
            int32_t v4 = PairAt(data, q += delta);
            int32_t v5 = PairAt(data, q += delta);
            int32_t v6 = PairAt(data, q += delta);
            int32_t v7 = PairAt(data, q += delta);
            p = q + delta;
            __m256i pair = _mm256_setr_epi32(v0, v1, v2, v3, v4, v5, v6, v7);
            a = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16));
            b = _mm256_cvtepi32_ps(_mm256_srai_epi32(pair, 16));
        }
        __m256 t = _mm256_mul_ps(_mm256_cvtepi32_ps(fraction), scale);
        __m256 s = _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), t));
        __m256 lo = _mm256_unpacklo_ps(s, s); // s0 s0 s1 s1 | s4 s4 s5 s5
        __m256 hi = _mm256_unpackhi_ps(s, s); // s2 s2 s3 s3 | s6 s6 s7 s7
        __m256 first = _mm256_permute2f128_ps(lo, hi, 0x20);
        __m256 second = _mm256_permute2f128_ps(lo, hi, 0x31);
        __m256 gainsFirst = kRamp ? _mm256_loadu_ps(table) : settled;
        __m256 gainsSecond = kRamp ? _mm256_loadu_ps(table + 8) : settled;
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_mul_ps(first, gainsFirst)));
        _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), _mm256_mul_ps(second, gainsSecond)));
        out += 16;
        if constexpr (kRamp)
            table += 16;
        low = _mm256_add_epi64(low, eight);
        high = _mm256_add_epi64(high, eight);
    }
    position = p;
    int64_t done = passes * 8;
    if constexpr (kRamp)
        gains.pairs += 2 * done;
    return done + MixWideTail(out, frames - done, data, position, delta, gains);
}

// Sixteen frames per pass on processors with AVX-512, for steps of at most
// two frames: the AVX2 passes' operations, twice as wide, lane for lane the
// scalar loop's (the build keeps the compiler from fusing a multiplication
// with an addition, which AVX-512 would allow). The positions advance in
// two registers of eight 64-bit lanes (frames 0..7 and 8..15); one
// permutation across both takes the fractions in frame order, another the
// indices.
//
// With a span of 16 the step is at most one frame and the pass reads from
// 17 neighbouring values: two loads of sixteen, widened, and a permutation
// each. With a span of 32 the step is over one frame and at most two: the
// pass reads from at most 32 values, loaded as two registers, and a
// two-register permutation picks each frame's value and the next. The reads
// stay within the sample's spare values: the highest index read is at most
// 16 above the pass's highest frame in both spans (a step over one frame
// puts the last frame at least 15 values away from the first).
//
// The last frames of a run, fewer than sixteen, go through one more pass
// whose loads and stores are masked to them: the sample values it loads end
// with the one after its last frame's, the output and the ramp's gains with
// its last frame. Its other lanes compute whatever they compute and are
// never stored. A run between the turns of a short loop (every hundred
// frames or so) ends this way each time.
//
// GCC 12's AVX-512 headers start several results from a value set to
// itself, which its own uninitialised-use warning then reports (clang has
// no such warning).
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// A widest pass's sixteen interpolated values, from the positions (frames
// 0..7 in `low`, 8..15 in `high`) and the sample values loaded at `lowest`
// (here and next: the values from lowest and from lowest + 1 for a span of
// 16; from lowest and from lowest + 16 for a span of 32).
template <int kSpan>
__attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl"), always_inline)) inline __m512
InterpolateSixteen(__m512i low, __m512i high, __m512i here, __m512i next, uint32_t lowest) {
    const __m512i fractionLanes = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i indexLanes = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    const __m512i fraction = _mm512_srli_epi32(_mm512_permutex2var_epi32(low, fractionLanes, high), 1);
    const __m512i index = _mm512_permutex2var_epi32(low, indexLanes, high);
    const __m512i offset = _mm512_sub_epi32(index, _mm512_set1_epi32(static_cast<int32_t>(lowest)));
    __m512i valueA;
    __m512i valueB;
    if constexpr (kSpan == 16) {
        valueA = _mm512_permutexvar_epi32(offset, here);
        valueB = _mm512_permutexvar_epi32(offset, next);
    } else {
        // Offsets reach 30 at most, so offset + 1 stays inside the two registers.
        valueA = _mm512_permutex2var_epi32(here, offset, next);
        valueB = _mm512_permutex2var_epi32(here, _mm512_add_epi32(offset, _mm512_set1_epi32(1)), next);
    }
    const __m512 a = _mm512_cvtepi32_ps(valueA);
    const __m512 b = _mm512_cvtepi32_ps(valueB);
    const __m512 t = _mm512_mul_ps(_mm512_cvtepi32_ps(fraction), _mm512_set1_ps(INTERPOLATION_SCALE));
    return _mm512_add_ps(a, _mm512_mul_ps(_mm512_sub_ps(b, a), t));
}

// Sixteen sample values from `at`, widened; `lanes` says which are read.
__attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl"), always_inline)) inline __m512i
LoadSixteen(const int16_t* at, __mmask16 lanes) {
    return _mm512_cvtepi16_epi32(_mm256_maskz_loadu_epi16(lanes, at));
}

// Adds a pass's values, each twice (left and right), times their gains to
// 32 floats of output, the lanes of `first` and `second` only.
__attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl"), always_inline)) inline void
AddSixteen(float* out, __m512 s, __m512 gainsFirst, __m512 gainsSecond, __mmask16 first, __mmask16 second) {
    const __m512i firstHalf = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i secondHalf = _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    _mm512_mask_storeu_ps(out, first,
                          _mm512_add_ps(_mm512_maskz_loadu_ps(first, out),
                                        _mm512_mul_ps(_mm512_permutexvar_ps(firstHalf, s), gainsFirst)));
    _mm512_mask_storeu_ps(out + 16, second,
                          _mm512_add_ps(_mm512_maskz_loadu_ps(second, out + 16),
                                        _mm512_mul_ps(_mm512_permutexvar_ps(secondHalf, s), gainsSecond)));
}

// The mask of the first `count` of sixteen lanes.
inline __mmask16 FirstLanes(uint32_t count) {
    return static_cast<__mmask16>(count >= 16 ? 0xFFFFu : (1u << count) - 1);
}

template <bool kRamp, int kSpan>
__attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl"))) int64_t
MixWidestPasses(float* __restrict out, int64_t frames, const int16_t* __restrict data, uint64_t& position,
                uint64_t delta, Gains<kRamp> gains) {
    const int64_t passes = frames >> 4;
    const int64_t rest = frames & 15;
    uint64_t p = position;
    // p + k * delta for k = 0..15, modulo 2^64 as the scalar sums are.
    const __m512i steps =
        _mm512_mullo_epi64(_mm512_set1_epi64(static_cast<int64_t>(delta)), _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7));
    __m512i low = _mm512_add_epi64(_mm512_set1_epi64(static_cast<int64_t>(p)), steps);
    __m512i high = _mm512_add_epi64(low, _mm512_set1_epi64(static_cast<int64_t>(8 * delta)));
    const __m512i sixteen = _mm512_set1_epi64(static_cast<int64_t>(16 * delta));
    const float gl = gains.Left(0);
    const float gr = gains.Right(0);
    const __m512 settled = _mm512_setr_ps(gl, gr, gl, gr, gl, gr, gl, gr, gl, gr, gl, gr, gl, gr, gl, gr);
    const float* table = gains.pairs;
    const uint32_t second = kSpan == 16 ? 1 : 16; // where the second register's values start
    const __mmask16 all = 0xFFFF;
    for (int64_t i = 0; i < passes; ++i) {
        // The lowest index of the pass is the first frame's going forward,
        // the last one's going backward.
        const auto first = static_cast<uint32_t>(p >> FRACTION_BITS);
        auto lowest = static_cast<uint32_t>((p + 15 * delta) >> FRACTION_BITS);
        lowest = first < lowest ? first : lowest;
        const __m512 s = InterpolateSixteen<kSpan>(low, high, LoadSixteen(data + lowest, all),
                                                   LoadSixteen(data + lowest + second, all), lowest);
        p += 16 * delta;
        const __m512 gainsFirst = kRamp ? _mm512_loadu_ps(table) : settled;
        const __m512 gainsSecond = kRamp ? _mm512_loadu_ps(table + 16) : settled;
        AddSixteen(out, s, gainsFirst, gainsSecond, all, all);
        out += 32;
        if constexpr (kRamp)
            table += 32;
        low = _mm512_add_epi64(low, sixteen);
        high = _mm512_add_epi64(high, sixteen);
    }
    if (rest > 0) {
        const auto first = static_cast<uint32_t>(p >> FRACTION_BITS);
        const auto last = static_cast<uint32_t>((p + static_cast<uint64_t>(rest - 1) * delta) >> FRACTION_BITS);
        const uint32_t lowest = first < last ? first : last;
        const uint32_t highest = first < last ? last : first;
        // Values lowest .. highest + 1: at most 16 with a span of 16 (14
        // steps of up to one frame), at most 30 with a span of 32.
        const uint32_t needed = highest + 2 - lowest;
        const __m512i here = LoadSixteen(data + lowest, FirstLanes(kSpan == 16 ? needed - 1 : needed));
        const __m512i next =
            LoadSixteen(data + lowest + second, FirstLanes(kSpan == 16 ? needed - 1 : (needed > 16 ? needed - 16 : 0)));
        const __m512 s = InterpolateSixteen<kSpan>(low, high, here, next, lowest);
        const auto values = static_cast<uint32_t>(2 * rest);
        const __mmask16 maskFirst = FirstLanes(values);
        const __mmask16 maskSecond = FirstLanes(values > 16 ? values - 16 : 0);
        const __m512 gainsFirst = kRamp ? _mm512_maskz_loadu_ps(maskFirst, table) : settled;
        const __m512 gainsSecond = kRamp ? _mm512_maskz_loadu_ps(maskSecond, table + 16) : settled;
        AddSixteen(out, s, gainsFirst, gainsSecond, maskFirst, maskSecond);
        p += static_cast<uint64_t>(rest) * delta;
    }
    position = p;
    return frames;
}

#pragma GCC diagnostic pop

bool HasWidestMixing() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return has;
}

// The size of the step decides which passes suit a run (`delta` is the
// step, or its negation going backward).
template <bool kRamp>
__attribute__((target("avx2"))) int64_t MixWide(float* __restrict out, int64_t frames, const int16_t* __restrict data,
                                                uint64_t& position, uint64_t delta, Gains<kRamp> gains) {
    const uint64_t step = delta < 0 - delta ? delta : 0 - delta;
    const bool widest = !mixer.noWidest && HasWidestMixing();
    if (step <= (1ull << FRACTION_BITS))
        return widest ? MixWidestPasses<kRamp, 16>(out, frames, data, position, delta, gains)
                      : MixWidePasses<kRamp, 8>(out, frames, data, position, delta, gains);
    if (step <= (2ull << FRACTION_BITS))
        return widest ? MixWidestPasses<kRamp, 32>(out, frames, data, position, delta, gains)
                      : MixWidePasses<kRamp, 16>(out, frames, data, position, delta, gains);
    return MixWidePasses<kRamp, 0>(out, frames, data, position, delta, gains);
}

bool HasWideMixing() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// ConvertToPcm16's passes of sixteen values on processors with AVX2: the
// SSE2 passes' operations, twice as wide. Returns the values converted.
__attribute__((target("avx2"))) int32_t ConvertWide(int16_t* destination, const float* source, int32_t count) {
    const __m256 top = _mm256_set1_ps(32767.0f);
    const __m256 bottom = _mm256_set1_ps(-32768.0f);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256 a = _mm256_max_ps(_mm256_min_ps(_mm256_loadu_ps(source + i), top), bottom);
        __m256 b = _mm256_max_ps(_mm256_min_ps(_mm256_loadu_ps(source + i + 8), top), bottom);
        // Packing works within each half: a0 b0 a1 b1, put back in order.
        __m256i packed = _mm256_packs_epi32(_mm256_cvtps_epi32(a), _mm256_cvtps_epi32(b));
        packed = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), packed);
    }
    return i;
}
#else
int32_t ConvertWide(int16_t*, const float*, int32_t) { return 0; }
template <bool kRamp>
int64_t MixWide(float*, int64_t, const int16_t*, uint64_t&, uint64_t, Gains<kRamp>) {
    return 0;
}
bool HasWideMixing() { return false; }
#endif

// Mixes a run: eight frames per pass where the processor allows, else four
// with SSE2, then two per pass, then the odd one. Every path does the same
// operations in the same order, so the sums are identical.
template <bool kRamp>
void MixFrames(float* __restrict out, int64_t frames, const int16_t* __restrict data, uint64_t& position,
               uint64_t delta, Gains<kRamp> gains) {
    if (!mixer.scalarOnly && HasWideMixing()) {
        int64_t done = MixWide(out, frames, data, position, delta, gains);
        out += 2 * done;
        frames -= done;
        if constexpr (kRamp)
            gains.pairs += 2 * done;
    }
    uint64_t p = position;
#if defined(__SSE2__)
    if (!mixer.scalarOnly) {
        const __m128 settled = _mm_setr_ps(gains.Left(0), gains.Right(0), gains.Left(0), gains.Right(0));
        const __m128 scale = _mm_set1_ps(INTERPOLATION_SCALE);
        for (int64_t quads = frames >> 2; quads > 0; --quads) {
            uint64_t p0 = p;
            uint64_t p1 = p0 + delta;
            uint64_t p2 = p1 + delta;
            uint64_t p3 = p2 + delta;
            p = p3 + delta;
            __m128i pair = _mm_setr_epi32(PairAt(data, p0), PairAt(data, p1), PairAt(data, p2), PairAt(data, p3));
            __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pair, 16), 16));
            __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(pair, 16));
            __m128i fractions = _mm_setr_epi32(static_cast<int32_t>(static_cast<uint32_t>(p0) >> 1),
                                               static_cast<int32_t>(static_cast<uint32_t>(p1) >> 1),
                                               static_cast<int32_t>(static_cast<uint32_t>(p2) >> 1),
                                               static_cast<int32_t>(static_cast<uint32_t>(p3) >> 1));
            __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(fractions), scale);
            __m128 s = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), t));
            __m128 gainsFirst = kRamp ? _mm_loadu_ps(gains.pairs) : settled;
            __m128 gainsSecond = kRamp ? _mm_loadu_ps(gains.pairs + 4) : settled;
            _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(s, s), gainsFirst)));
            _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(s, s), gainsSecond)));
            out += 8;
            if constexpr (kRamp)
                gains.pairs += 8;
        }
        frames &= 3;
    }
#endif
    for (int64_t pairs = frames >> 1; pairs > 0; --pairs) {
        float s0 = ValueAt(data, p);
        p += delta;
        float s1 = ValueAt(data, p);
        p += delta;
        out[0] += s0 * gains.Left(0);
        out[1] += s0 * gains.Right(0);
        out[2] += s1 * gains.Left(1);
        out[3] += s1 * gains.Right(1);
        out += 4;
        if constexpr (kRamp)
            gains.pairs += 4;
    }
    if (frames & 1) {
        float s = ValueAt(data, p);
        p += delta;
        out[0] += s * gains.Left(0);
        out[1] += s * gains.Right(0);
    }
    position = p;
}

// A run at a settled volume.
void MixSteady(float* __restrict out, int64_t frames, const int16_t* __restrict data, uint64_t& position,
               uint64_t delta, float gainLeft, float gainRight) {
    const float pair[2] = {gainLeft, gainRight};
    MixFrames(out, frames, data, position, delta, Gains<false>{pair});
}

// Frames of a ramp whose gains are worked out ahead of the mixing, at a time.
constexpr int64_t RAMP_CHUNK = 64;

// A run inside a volume ramp: the gains move by their steps after each
// frame. Each gain is the previous one plus the step, rounded as single
// precision: a chain that cannot be shortened without changing the sums.
// So the chain alone runs first, into a table, and the frames are then mixed
// as a settled run is, reading their gains from it.
void MixRamp(float* __restrict out, int64_t frames, const int16_t* __restrict data, uint64_t& position, uint64_t delta,
             float& gainLeft, float& gainRight, float stepLeft, float stepRight) {
    float gl = gainLeft;
    float gr = gainRight;
    if (mixer.scalarOnly) {
        // The plain loop the table must match.
        uint64_t p = position;
        for (int64_t i = 0; i < frames; ++i) {
            float s = ValueAt(data, p);
            p += delta;
            out[0] += s * gl;
            out[1] += s * gr;
            gl += stepLeft;
            gr += stepRight;
            out += 2;
        }
        position = p;
    } else {
        alignas(32) float table[2 * RAMP_CHUNK];
        while (frames > 0) {
            int64_t n = frames < RAMP_CHUNK ? frames : RAMP_CHUNK;
            for (int64_t i = 0; i < n; ++i) {
                table[2 * i] = gl;
                table[2 * i + 1] = gr;
                gl += stepLeft;
                gr += stepRight;
            }
            MixFrames(out, n, data, position, delta, Gains<true>{table});
            out += 2 * n;
            frames -= n;
        }
    }
    gainLeft = gl;
    gainRight = gr;
}

// Output frames until a run reaches the boundary `distance` ahead (32.32),
// or -1 when it lies beyond any run. Forward, the boundary is reached on
// arriving at it (loopEnd is outside the loop); backward, on passing below
// it (loopStart is inside). The count is first estimated with `perStep`, the
// step's reciprocal in double precision (a multiplication where a division
// would cost a run many times more), and then settled exactly against the
// distance, so the estimate's rounding can neither end a run just short of
// the boundary nor let it step past it. 64 bits hold every product: the
// distance is below 2^56 (BOUNDARY_HORIZON frames), the step below 2^40,
// and the estimate is within a frame of the distance over the step, so a
// travel stays below 2^57.
int64_t FramesToBoundary(uint64_t distance, uint64_t step, double perStep, bool backward) {
    if (!backward && distance == 0)
        return 0;
    if ((distance >> FRACTION_BITS) >= BOUNDARY_HORIZON || step == 0)
        return -1;
    auto frames = static_cast<uint64_t>(static_cast<double>(distance) * perStep);
    auto reached = [&](uint64_t k) {
        const uint64_t travel = k * step;
        return backward ? travel > distance : travel >= distance;
    };
    while (frames > 0 && reached(frames - 1))
        --frames;
    while (!reached(frames))
        ++frames;
    return static_cast<int64_t>(frames);
}

// The level a ramp starts from, in level units: the level reached, cut
// down to the ramp resolution's step.
int32_t RampStart(int32_t level) {
    int32_t step = 1 << mixer.rampShift;
    return level / (LEVEL_SCALE * step) * step;
}

// Sets up a new ramp toward the voice's current targets, or none when the
// levels are already there.
void StartRamp(Voice& voice) {
    voice.rampLeftTarget = voice.leftVolume;
    voice.rampRightTarget = voice.rightVolume;
    int32_t dl = voice.leftVolume - RampStart(voice.levelLeft);
    int32_t dr = voice.rightVolume - RampStart(voice.levelRight);
    voice.rampStepLeft = dl != 0 ? static_cast<float>(dl) / LEVEL_DIVISOR * mixer.rampScale : 0.0f;
    voice.rampStepRight = dr != 0 ? static_cast<float>(dr) / LEVEL_DIVISOR * mixer.rampScale : 0.0f;
    voice.rampRemaining = (dl != 0 || dr != 0) ? mixer.rampFrames : 0;
}

// Whether the voice rests at its targets in a state that StartRamp would
// leave exactly as it is (no ramp, zero steps): most runs, which so skip its
// divisions. A level that is its target times LEVEL_SCALE starts a ramp
// from the target itself when the target is a whole step of the ramp
// resolution.
bool Settled(const Voice& voice) {
    const int32_t fine = (1 << mixer.rampShift) - 1;
    return voice.rampRemaining == 0 && voice.leftVolume == voice.rampLeftTarget &&
           voice.rightVolume == voice.rampRightTarget && voice.levelLeft == voice.leftVolume * LEVEL_SCALE &&
           voice.levelRight == voice.rightVolume * LEVEL_SCALE && (voice.leftVolume & fine) == 0 &&
           (voice.rightVolume & fine) == 0 && voice.rampStepLeft == 0.0f && voice.rampStepRight == 0.0f;
}

// The level a ramp broken off at `gain` has reached, rounded to the ramp
// resolution's step (in 1/256 of a level unit).
int32_t LevelReached(float gain) {
    auto perStep = static_cast<float>(LEVEL_SCALE >> mixer.rampShift);
    return static_cast<int32_t>(std::lrint(gain * LEVEL_DIVISOR * perStep)) * (1 << mixer.rampShift);
}

// Moves a position that has reached a boundary back into the loop; stops
// the voice at the end of a sample without loop. False when it stopped.
bool Fold(Voice& voice, uint64_t& position) {
    const Sample* sample = voice.sample;
    if (sample->loopLength == 0 || (sample->loopType != LOOP_FORWARD && sample->loopType != LOOP_PINGPONG)) {
        voice.sample = nullptr;
        position = 0;
        return false;
    }
    if (sample->loopType == LOOP_FORWARD) {
        // loopLength subtracted until below loopEnd; the fraction is kept.
        uint64_t integer = position >> FRACTION_BITS;
        integer = sample->loopStart + (integer - sample->loopStart) % sample->loopLength;
        position = (integer << FRACTION_BITS) | (position & FRACTION_MASK);
        return true;
    }
    // Ping-pong: mirrored at the boundary passed, one 2^-32 short of the
    // exact image, as often as the position lies outside the loop. Worked
    // relative to loopStart, so nothing can overflow or go below 0.
    int64_t length = static_cast<int64_t>(Join(sample->loopLength, 0));
    int64_t r = static_cast<int64_t>(position) - static_cast<int64_t>(Join(sample->loopStart, 0));
    for (;;) {
        if (r >= length) {
            r = length - 1 - (r - length);
            voice.direction = DIRECTION_BACKWARD;
        } else if (r < 0) {
            r = -1 - r;
            voice.direction = DIRECTION_FORWARD;
        } else {
            break;
        }
    }
    position = static_cast<uint64_t>(r) + Join(sample->loopStart, 0);
    return true;
}

// Where a looping voice is after `frames` more frames, without the runs: for
// a silent voice, which adds only zeros, so only its position counts. A
// forward loop takes whole loop lengths off the position, keeping its
// fraction, as the runs' folds do. A ping-pong loop is a forward loop of
// twice its length seen through a mirror: with its backward half laid out
// after the loop end, reflected there one 2^-32 short (Q = 2 x loopEnd - 2^-32
// - P), every fold becomes a wrap of that doubled loop and every backward
// step a forward one, so the unfolded position only advances, and folding
// it once at the end gives the runs' position and direction exactly. The
// voice is inside the loop, or before it going forward.
void SkipLooped(Voice& voice, uint64_t& position, uint64_t step, int64_t frames) {
    const Sample* sample = voice.sample;
    const uint64_t loopStart = Join(sample->loopStart, 0);
    const uint64_t length = Join(sample->loopLength, 0);
    const uint64_t travel = static_cast<uint64_t>(frames) * step;
    const bool pingPong = sample->loopType == LOOP_PINGPONG;
    if (voice.direction != DIRECTION_BACKWARD && position < loopStart) {
        // Before the loop: it may not reach it.
        if (travel < loopStart - position) {
            position += travel;
            return;
        }
    }
    // Relative to loopStart (a position before the loop gives a value below
    // 0 modulo 2^64, which the travel brings back up past it).
    uint64_t unfolded = position - loopStart;
    if (voice.direction == DIRECTION_BACKWARD)
        unfolded = 2 * length - 1 - unfolded;
    unfolded += travel;
    if (unfolded < length) {
        position = loopStart + unfolded;
        return;
    }
    uint64_t r = unfolded % (pingPong ? 2 * length : length);
    if (r < length) {
        position = loopStart + r;
        if (pingPong)
            voice.direction = DIRECTION_FORWARD;
    } else {
        position = loopStart + (2 * length - 1 - r);
        voice.direction = DIRECTION_BACKWARD;
    }
}

void MixVoice(Voice& voice, float* out, int64_t frames) {
    uint64_t position = Join(voice.position, voice.positionFraction);
    uint64_t step = Join(voice.stepInteger, voice.stepFraction);
    // Runs without a boundary ahead travel less than the horizon.
    int64_t longestRun = static_cast<int64_t>(BOUNDARY_HORIZON / (voice.stepInteger + 1ull));
    const double perStep = step != 0 ? 1.0 / static_cast<double>(step) : 0.0;
    // The engines change no level while the voice mixes: the settled gains
    // hold for every run of the request.
    const float steadyLeft = static_cast<float>(voice.leftVolume) / LEVEL_DIVISOR;
    const float steadyRight = static_cast<float>(voice.rightVolume) / LEVEL_DIVISOR;
    // Set once a run found the levels settled: the runs after it (loop turns)
    // change nothing that the ramp set-up reads, and it would leave them as
    // they are.
    bool settled = false;
    while (frames > 0 && voice.sample) {
        const Sample* sample = voice.sample;
        bool backward = voice.direction == DIRECTION_BACKWARD;
        uint64_t loopStart = Join(sample->loopStart, 0);
        uint64_t loopEnd = Join(sample->loopStart + sample->loopLength, 0);
        uint64_t distance;
        // A run starts inside the loop (every fold leaves the position there).
        if (backward)
            distance = position - loopStart;
        else
            distance = position < loopEnd ? loopEnd - position : 0;

        int64_t n = frames < longestRun ? frames : longestRun;
        bool atBoundary = false;
        int64_t toBoundary = FramesToBoundary(distance, step, perStep, backward);
        if (toBoundary >= 0 && toBoundary <= n) {
            n = toBoundary;
            atBoundary = true;
        }

        if (!settled &&
            !(voice.rampRemaining != 0 && voice.leftVolume == voice.rampLeftTarget &&
              voice.rightVolume == voice.rampRightTarget) &&
            !Settled(voice))
            StartRamp(voice);
        bool ramping = voice.rampRemaining != 0;
        settled = !ramping;
        if (ramping && voice.rampRemaining < n) {
            n = voice.rampRemaining;
            atBoundary = false;
        }

        if (!ramping && voice.leftVolume == 0 && voice.rightVolume == 0 && sample->loopLength != 0 &&
            (sample->loopType == LOOP_FORWARD || sample->loopType == LOOP_PINGPONG)) {
            // Silent and looping: the rest of the request only moves it.
            SkipLooped(voice, position, step, frames);
            break;
        }
        uint64_t delta = backward ? 0 - step : step;
        if (n > 0) {
            if (ramping) {
                float gainLeft = static_cast<float>(voice.levelLeft) / LEVEL_SCALE / LEVEL_DIVISOR;
                float gainRight = static_cast<float>(voice.levelRight) / LEVEL_SCALE / LEVEL_DIVISOR;
                MixRamp(out, n, sample->data, position, delta, gainLeft, gainRight, voice.rampStepLeft,
                        voice.rampStepRight);
                voice.levelLeft = LevelReached(gainLeft);
                voice.levelRight = LevelReached(gainRight);
                voice.rampRemaining -= static_cast<int32_t>(n);
                if (voice.rampRemaining == 0) {
                    voice.rampStepLeft = 0.0f;
                    voice.rampStepRight = 0.0f;
                    voice.levelLeft = voice.leftVolume * LEVEL_SCALE;
                    voice.levelRight = voice.rightVolume * LEVEL_SCALE;
                }
            } else if (voice.leftVolume == 0 && voice.rightVolume == 0) {
                // Silent (a replaced note fading nowhere, a keyed-off channel):
                // adding zeros changes no sum, so only the position moves, by
                // exactly what n single steps would give.
                position += static_cast<uint64_t>(n) * delta;
            } else {
                MixSteady(out, n, sample->data, position, delta, steadyLeft, steadyRight);
            }
            out += 2 * n;
            frames -= n;
        }
        if (atBoundary && !Fold(voice, position))
            break;
    }
    voice.position = static_cast<uint32_t>(position >> FRACTION_BITS);
    voice.positionFraction = static_cast<uint32_t>(position & FRACTION_MASK);
}

} // namespace

void MixVoices(float* buffer, int32_t frames) {
    if (frames < 1 || !buffer)
        return;
    for (Voice& voice : mixer.voices)
        if (voice.sample)
            MixVoice(voice, buffer, frames);
}

void ConvertToPcm16(int16_t* destination, const float* source, int32_t frames) {
    if (frames < 1 || !destination || !source)
        return;
    int32_t count = 2 * frames;
    int32_t i = 0;
    if (!mixer.scalarOnly && HasWideMixing())
        i = ConvertWide(destination, source, count);
#if defined(__SSE2__)
    if (!mixer.scalarOnly) {
        // Eight values per pass: clamped, converted in the default rounding
        // mode (to nearest, ties to even, as lrint) and packed to 16 bits.
        const __m128 top = _mm_set1_ps(32767.0f);
        const __m128 bottom = _mm_set1_ps(-32768.0f);
        for (; i + 8 <= count; i += 8) {
            __m128 a = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i), top), bottom);
            __m128 b = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i + 4), top), bottom);
            __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
        }
    }
#endif
    for (; i < count; ++i) {
        float v = source[i];
        // Clamped first, so the conversion never sees a value it cannot hold;
        // rounding follows the default mode, to nearest with ties to even.
        v = v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v);
        destination[i] = static_cast<int16_t>(std::lrint(v));
    }
}

void SetVectorMixing(bool enabled) { mixer.scalarOnly = !enabled; }

void SetWidestMixing(bool enabled) { mixer.noWidest = !enabled; }

void SetMixerRate(int32_t rate) {
    mixer.rate = rate;
    mixer.rampFrames = rate * 128 / 44100;
    mixer.rampScale = mixer.rampFrames > 0 ? 1.0f / static_cast<float>(mixer.rampFrames) : 0.0f;
}

Voice* ChannelVoice(int32_t channel) { return &mixer.voices[mixer.channelVoice[channel]]; }

void ControlVoice(int32_t channel, const VoiceControl& control) {
    Voice* voice = ChannelVoice(channel);
    if (control.changes & VOICE_TRIGGER) {
        // The old sound stays on its voice and ramps down there; the new note
        // starts on the partner, from the levels and step the old one had.
        if (voice->sample) {
            Voice* partner = &mixer.voices[(voice->index + VOICE_COUNT / 2) % VOICE_COUNT];
            int32_t index = partner->index;
            *partner = *voice;
            partner->index = index;
            voice->leftVolume = 0;
            voice->rightVolume = 0;
            mixer.channelVoice[channel] = static_cast<uint8_t>(index);
            voice = partner;
        }
        const Sample* sample = control.sample;
        voice->sample = sample && control.startOffset < sample->length ? sample : nullptr;
        voice->position = control.startOffset;
        voice->positionFraction = 0;
        voice->direction = DIRECTION_FORWARD;
        voice->levelLeft = 0;
        voice->levelRight = 0;
        voice->rampRemaining = 0;
    }
    if (control.changes & VOICE_LEVELS) {
        voice->leftVolume = control.left;
        voice->rightVolume = control.right;
    }
    if ((control.changes & VOICE_FREQUENCY) && mixer.rate > 0) {
        // Steps stay below 256 frames per output frame (the run length
        // division works on 8-bit integer steps); faster notes are held just below.
        double top = 256.0 * mixer.rate;
        int64_t frequency =
            control.frequency >= top ? static_cast<int64_t>(top) : static_cast<int64_t>(control.frequency);
        if (frequency > static_cast<int64_t>(top) - 1)
            frequency = static_cast<int64_t>(top) - 1;
        voice->stepInteger = static_cast<uint32_t>(frequency / mixer.rate);
        voice->stepFraction = static_cast<uint32_t>(((frequency % mixer.rate) << 32) / mixer.rate);
    }
}

void ReleaseFadedPartner(int32_t channel) {
    Voice& partner = mixer.voices[(ChannelVoice(channel)->index + VOICE_COUNT / 2) % VOICE_COUNT];
    if (partner.sample && partner.leftVolume == 0 && partner.rightVolume == 0 && partner.rampRemaining == 0 &&
        partner.levelLeft == 0 && partner.levelRight == 0)
        partner.sample = nullptr;
}

void ResetVoices() {
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        mixer.voices[i] = Voice{};
        mixer.voices[i].index = i;
        mixer.voices[i].stepInteger = 1;
    }
    for (int32_t c = 0; c < VOICE_COUNT / 2; ++c)
        mixer.channelVoice[c] = static_cast<uint8_t>(c);
}

void ResetMixer() {
    mixer = Mixer{};
    ResetVoices();
}
