// wavmatch RECORDING.raw REFERENCE.wav [SECONDS]
// wavmatch --onset RECORDING.raw
//
// Compares what a sound device really played (RECORDING: raw 44100 Hz
// 16-bit stereo, as parec writes it, with silence before the song) with a
// rendering of the same song (REFERENCE: the WAV xmrender writes, from the
// song's first frame). A mixer between the program and the recorder does
// not give the samples back bit for bit, so the two are compared as
// signals: the recording is aligned on the reference (onsets, then the lag
// of the best correlation), and over SECONDS (default 6) of the aligned
// song each channel must correlate by at least 0.99 and the loudest
// partials must lie at the same pitches. Prints what it measured; exit 0
// when both hold, 1 when not, 2 on bad input.
//
// --onset prints the byte offset of the first sound in the recording, or
// nothing when it is silent so far (the test waits on it).
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int RATE = 44100;
constexpr int ONSET_LEVEL = 200; // well above a mixer's rounding noise
constexpr double MIN_CORRELATION = 0.99;

struct Stereo {
    std::vector<float> left, right;
    size_t Frames() const { return left.size(); }
};

bool ReadFile(const char* path, std::vector<uint8_t>& bytes) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

Stereo FromPcm(const uint8_t* p, size_t bytes) {
    Stereo s;
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        s.left.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
        s.right.push_back(static_cast<int16_t>(p[i + 2] | (p[i + 3] << 8)));
    }
    return s;
}

// The data chunk of a 16-bit stereo PCM WAV.
bool ReadWav(const char* path, Stereo& out) {
    std::vector<uint8_t> b;
    if (!ReadFile(path, b) || b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t size =
            b[at + 4] | (b[at + 5] << 8) | (b[at + 6] << 16) | (static_cast<uint32_t>(b[at + 7]) << 24);
        if (std::memcmp(b.data() + at, "data", 4) == 0) {
            out = FromPcm(b.data() + at + 8, std::min<size_t>(size, b.size() - at - 8));
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

long Onset(const Stereo& s) {
    for (size_t i = 0; i < s.Frames(); ++i)
        if (std::fabs(s.left[i]) > ONSET_LEVEL || std::fabs(s.right[i]) > ONSET_LEVEL)
            return static_cast<long>(i);
    return -1;
}

// Pearson correlation of a[i] and b[i + lag] over frames [from, from + n).
double Correlation(const std::vector<float>& a, const std::vector<float>& b, long lag, long from, long n) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (long i = from; i < from + n; ++i) {
        const double x = a[i], y = b[i + lag];
        sa += x;
        sb += y;
        saa += x * x;
        sbb += y * y;
        sab += x * y;
    }
    const double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0;
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const auto u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// The frequencies (Hz) of the `count` loudest spectral peaks of 32768
// frames of the mono mix from `from`.
std::vector<double> LoudestPartials(const Stereo& s, long from, int count) {
    constexpr size_t N = 32768;
    std::vector<std::complex<double>> a(N);
    for (size_t i = 0; i < N; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / N);
        a[i] = hann * (s.left[from + i] + s.right[from + i]);
    }
    Fft(a);
    std::vector<std::pair<double, size_t>> peaks;
    for (size_t k = 2; k < N / 2 - 1; ++k) {
        const double m = std::abs(a[k]);
        if (m > std::abs(a[k - 1]) && m >= std::abs(a[k + 1]))
            peaks.push_back({m, k});
    }
    std::sort(peaks.rbegin(), peaks.rend());
    std::vector<double> hz;
    for (size_t i = 0; i < peaks.size() && static_cast<int>(hz.size()) < count; ++i)
        hz.push_back(static_cast<double>(peaks[i].second) * RATE / N);
    std::sort(hz.begin(), hz.end());
    return hz;
}

// The lag (recording frame minus reference frame) at which the reference's
// frames [from, from + n) best match the recording, searched over
// [guess - reach, guess + reach] by cross-correlation through the FFT.
long BestLag(const std::vector<float>& ref, const std::vector<float>& rec, long from, long n, long guess, long reach) {
    const long start = std::max(0L, from + guess - reach);
    const long end = std::min(static_cast<long>(rec.size()), from + guess + reach + n);
    if (end - start < n)
        return guess;
    size_t size = 1;
    while (size < static_cast<size_t>(end - start + n))
        size <<= 1;
    std::vector<std::complex<double>> a(size), b(size);
    for (long i = 0; i < n; ++i)
        a[i] = ref[from + i];
    for (long i = start; i < end; ++i)
        b[i - start] = rec[i];
    Fft(a);
    Fft(b);
    for (size_t i = 0; i < size; ++i)
        b[i] *= std::conj(a[i]);
    // The inverse through the forward transform of the conjugate.
    for (auto& v : b)
        v = std::conj(v);
    Fft(b);
    long best = guess;
    double peak = -1e300;
    for (long k = 0; k + n <= end - start; ++k)
        if (b[k].real() > peak)
            peak = b[k].real(), best = start + k - from;
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--onset") == 0) {
        std::vector<uint8_t> raw;
        if (!ReadFile(argv[2], raw))
            return 2;
        const long onset = Onset(FromPcm(raw.data(), raw.size()));
        if (onset >= 0)
            std::printf("%ld\n", onset * 4);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: wavmatch RECORDING.raw REFERENCE.wav [SECONDS] | --onset RECORDING.raw\n");
        return 2;
    }
    const long seconds = argc > 3 ? std::atol(argv[3]) : 6;
    std::vector<uint8_t> raw;
    Stereo ref;
    if (!ReadFile(argv[1], raw) || !ReadWav(argv[2], ref)) {
        std::fprintf(stderr, "wavmatch: cannot read the recording or the reference\n");
        return 2;
    }
    const Stereo rec = FromPcm(raw.data(), raw.size());
    const long onsetRec = Onset(rec), onsetRef = Onset(ref);
    if (onsetRec < 0 || onsetRef < 0) {
        std::printf("FAIL: %s is silent\n", onsetRec < 0 ? "the recording" : "the reference");
        return 1;
    }
    const long window = RATE / 2, span = seconds * RATE;
    if (onsetRef + span + 32768 > static_cast<long>(ref.Frames()) ||
        onsetRec + span > static_cast<long>(rec.Frames())) {
        std::printf("FAIL: too little sound recorded (%.2f s after the onset)\n",
                    static_cast<double>(static_cast<long>(rec.Frames()) - onsetRec) / RATE);
        return 1;
    }
    // Half a second at a time, each aligned by itself: on a loaded machine
    // the sound server may run dry for a moment, which shifts or cuts what
    // follows. A stretch of windows at one lag is sound played unbroken.
    long lag = onsetRec - onsetRef, runStart = onsetRef, bestRun = 0, bestRunLag = lag, bestRunFrom = onsetRef;
    long prevLag = lag;
    double runMin = 1, bestRunMin = 0;
    std::printf("half-second windows from the song's start (lag in frames, correlation left/right):\n");
    for (long from = onsetRef; from + window <= onsetRef + span; from += window) {
        lag = BestLag(ref.left, rec.left, from, window, lag, RATE / 2);
        const double c = std::min(Correlation(ref.left, rec.left, lag, from, window),
                                  Correlation(ref.right, rec.right, lag, from, window));
        std::printf("  %5.1f s  lag %7ld  %.5f\n", static_cast<double>(from - onsetRef) / RATE, lag, c);
        if (c < MIN_CORRELATION || lag != prevLag) {
            runStart = from;
            runMin = 1;
        }
        if (c >= MIN_CORRELATION) {
            runMin = std::min(runMin, c);
            if (from + window - runStart > bestRun) {
                bestRun = from + window - runStart;
                bestRunLag = lag;
                bestRunFrom = runStart;
                bestRunMin = runMin;
            }
        } else {
            runStart = from + window;
        }
        prevLag = lag;
    }
    int fail = 0;
    std::printf("longest unbroken stretch: %.1f s at lag %ld, correlation at least %.5f\n",
                static_cast<double>(bestRun) / RATE, bestRunLag, bestRunMin);
    if (bestRun < 2 * RATE) {
        std::printf("FAIL: no 2 s of the song played with correlation %.2f or more\n", MIN_CORRELATION);
        fail = 1;
    }
    // The pitches where the stretch starts (a whole stretch holds 32768
    // frames: 0.74 s).
    const long at = bestRunFrom;
    const std::vector<double> want = LoudestPartials(ref, at, 5), got = LoudestPartials(rec, at + bestRunLag, 5);
    std::printf("loudest partials, reference:");
    for (double hz : want)
        std::printf(" %.1f", hz);
    std::printf(" Hz; recording:");
    for (double hz : got)
        std::printf(" %.1f", hz);
    std::printf(" Hz\n");
    for (size_t i = 0; i < want.size(); ++i)
        if (i >= got.size() || std::fabs(want[i] - got[i]) > 2.0 * RATE / 32768) {
            std::printf("FAIL: the partials differ in pitch\n");
            fail = 1;
            break;
        }
    return fail;
}
