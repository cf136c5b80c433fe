// song_compare SONG.xm A.wav B.wav [C.wav ...]
// Compares renders of one song (16-bit stereo WAVs of the same rate), the
// first against each of the others, over their common length:
//   - loudness per beat: the RMS of the mono sum in windows of one beat
//     (four rows at the song's initial speed and tempo), in dB; after
//     removing the overall level difference (the median over the audible
//     beats), the mean absolute difference, the share of audible beats
//     within 3 dB, and the correlation of the two curves;
//   - spectrum over the whole song: the power in third-octave bands from
//     50 Hz to 16 kHz, each render's bands relative to its own total; the
//     mean absolute difference in dB.
// One line per pair, for scripts: name, then the figures.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr double SILENT_DB = -50.0; // beats quieter than this in the reference are not judged
constexpr int FFT_SIZE = 4096;

struct Wav {
    int rate = 0;
    std::vector<float> mono;
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | (at + i < b.size() ? b[at + i] : 0);
    return v;
}

bool ReadWav(const char* path, Wav* wav) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF")
        return false;
    size_t at = 12;
    int channels = 0, bits = 0;
    while (at + 8 <= b.size()) {
        std::string id(b.begin() + at, b.begin() + at + 4);
        size_t size = Le(b, at + 4, 4);
        if (id == "fmt ") {
            channels = static_cast<int>(Le(b, at + 10, 2));
            wav->rate = static_cast<int>(Le(b, at + 12, 4));
            bits = static_cast<int>(Le(b, at + 22, 2));
        } else if (id == "data") {
            if (bits != 16 || channels < 1)
                return false;
            size = std::min(size, b.size() - at - 8);
            size_t frames = size / (2 * channels);
            wav->mono.resize(frames);
            for (size_t f = 0; f < frames; ++f) {
                double sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += static_cast<int16_t>(Le(b, at + 8 + (f * channels + c) * 2, 2));
                wav->mono[f] = static_cast<float>(sum / channels / 32768.0);
            }
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

std::vector<double> BeatLevels(const Wav& wav, size_t frames, size_t beat) {
    std::vector<double> levels;
    for (size_t start = 0; start + beat <= frames; start += beat) {
        double sum = 0;
        for (size_t i = start; i < start + beat; ++i)
            sum += double{wav.mono[i]} * wav.mono[i];
        levels.push_back(10 * std::log10(sum / beat + 1e-12));
    }
    return levels;
}

void Fft(std::vector<std::complex<double>>& a) {
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double angle = -2 * M_PI / static_cast<double>(len);
        std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> x(1);
            for (size_t k = 0; k < len / 2; ++k) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * x;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                x *= w;
            }
        }
    }
}

// Third-octave band powers relative to their total, in dB.
std::vector<double> Bands(const Wav& wav, size_t frames) {
    std::vector<double> power(FFT_SIZE / 2, 0.0);
    std::vector<std::complex<double>> a(FFT_SIZE);
    for (size_t start = 0; start + FFT_SIZE <= frames; start += FFT_SIZE) {
        for (int i = 0; i < FFT_SIZE; ++i)
            a[i] = wav.mono[start + i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / FFT_SIZE));
        Fft(a);
        for (int i = 0; i < FFT_SIZE / 2; ++i)
            power[i] += std::norm(a[i]);
    }
    std::vector<double> bands;
    double total = 1e-30;
    for (double low = 50; low < 16000; low *= std::pow(2.0, 1.0 / 3)) {
        double high = low * std::pow(2.0, 1.0 / 3), sum = 1e-30;
        for (int i = 0; i < FFT_SIZE / 2; ++i) {
            double hz = static_cast<double>(i) * wav.rate / FFT_SIZE;
            if (hz >= low && hz < high)
                sum += power[i];
        }
        bands.push_back(sum);
        total += sum;
    }
    for (double& b : bands)
        b = 10 * std::log10(b / total);
    return bands;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: song_compare SONG.xm A.wav B.wav [C.wav ...]\n");
        return 2;
    }
    std::ifstream song(argv[1], std::ios::binary);
    std::vector<uint8_t> header((std::istreambuf_iterator<char>(song)), std::istreambuf_iterator<char>());
    double speed = Le(header, 76, 2), bpm = Le(header, 78, 2);
    if (speed < 1 || speed > 31)
        speed = 6;
    if (bpm < 32)
        bpm = 125;
    std::vector<Wav> wavs(static_cast<size_t>(argc - 2));
    for (int i = 2; i < argc; ++i)
        if (!ReadWav(argv[i], &wavs[static_cast<size_t>(i - 2)]) ||
            wavs[static_cast<size_t>(i - 2)].rate != wavs[0].rate) {
            std::fprintf(stderr, "song_compare: %s is no 16-bit WAV at the first file's rate\n", argv[i]);
            return 2;
        }
    auto beat = static_cast<size_t>(4 * speed * 2.5 / bpm * wavs[0].rate);
    for (size_t k = 1; k < wavs.size(); ++k) {
        size_t frames = std::min(wavs[0].mono.size(), wavs[k].mono.size());
        std::vector<double> a = BeatLevels(wavs[0], frames, beat), b = BeatLevels(wavs[k], frames, beat);
        std::vector<double> differences;
        for (size_t i = 0; i < a.size(); ++i)
            if (b[i] > SILENT_DB)
                differences.push_back(a[i] - b[i]);
        double offset = Median(differences);
        double meanAbs = 0, within = 0, ma = 0, mb = 0;
        for (double d : differences) {
            meanAbs += std::fabs(d - offset);
            within += std::fabs(d - offset) <= 3.0;
        }
        size_t n = std::max<size_t>(differences.size(), 1);
        for (size_t i = 0; i < a.size(); ++i) {
            ma += a[i] / a.size();
            mb += b[i] / b.size();
        }
        double sab = 0, saa = 0, sbb = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            sab += (a[i] - ma) * (b[i] - mb);
            saa += (a[i] - ma) * (a[i] - ma);
            sbb += (b[i] - mb) * (b[i] - mb);
        }
        double correlation = saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 1.0;
        std::vector<double> sa = Bands(wavs[0], frames), sb = Bands(wavs[k], frames);
        double spectrum = 0;
        for (size_t i = 0; i < sa.size(); ++i)
            spectrum += std::fabs(sa[i] - sb[i]) / sa.size();
        std::printf(
            "%s vs %s: beats %zu level-offset %+.1f dB beat-mean-abs %.2f dB within-3dB %.0f%% "
            "beat-correlation %.3f spectrum-mean-abs %.2f dB\n",
            argv[2], argv[k + 2], a.size(), offset, meanAbs / n, 100 * within / n, correlation, spectrum);
    }
    return 0;
}
