// songc SCORE.txt OUT.xm
// Builds the program's song from its text score: synthesises one 8-bit
// sample per instrument and writes the patterns and order list as an
// Extended Module with the XM writer. Refuses (exit 1, naming the line) any
// score that uses something the player does not honour, so the built song
// always plays exactly as written.
//
// The score, one statement per line; a '#' that begins a word starts a comment:
//   song NAME                 the song's name
//   channels N | speed N | bpm N | restart N
//   order P P P ...           the order list (may span several order lines)
//   instrument NAME wave=KIND key=value ...
//                             one instrument, numbered in the order defined;
//                             see Synthesise() for the waves and their keys
//   track NAME [= OTHER [+N|-N]]
//     ROW [NOTE] [INSTRUMENT] [EFFECT[*N]]
//     use TRACK ROW [+N|-N]
//   end                       a track: rows of one channel. NOTE is C-4, F#3
//                             or "off" (key-off), "." an explicitly empty
//                             cell; EFFECT is three characters as a tracker
//                             shows it (037, 104, A0F, E12, F06, K00) and *N
//                             repeats it on the next N-1 rows. "use" copies
//                             another track's cells at ROW, transposed; later
//                             lines override earlier ones.
//   pattern N TRACK TRACK ...  pattern N, one track per channel ("-" empty)
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/common/tool_options.h"
#include "tools/writers/xm_writer.h"

namespace {

constexpr int ROWS = 64;
constexpr uint8_t KEY_OFF = 97; // the file's key-off note
constexpr double PI = 3.14159265358979323846;
// The playback rate of a sample at note C-4 (real note 48) under the linear
// table; relativeNote shifts it by semitones.
constexpr double BASE_RATE = 8363.0;

[[noreturn]] void Fail(int line, const std::string& message) {
    std::fprintf(stderr, "songc: line %d: %s\n", line, message.c_str());
    std::exit(1);
}

// ---- Sample synthesis ------------------------------------------------------

struct Params {
    std::map<std::string, std::string> values;
    int line = 0;
    double Num(const std::string& key, double fallback) const {
        auto it = values.find(key);
        if (it == values.end())
            return fallback;
        char* end = nullptr;
        double v = std::strtod(it->second.c_str(), &end);
        if (!end || *end)
            Fail(line, "bad number for " + key + ": " + it->second);
        return v;
    }
    std::string Str(const std::string& key, const std::string& fallback) const {
        auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
};

// Deterministic noise, so the built file is the same on every machine.
struct Noise {
    uint32_t state = 0x12345678u;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

// One band-limited cycle point (phase 0..1) of a wave from its harmonics.
double Harmonic(const std::string& kind, double phase, int harmonics, double duty) {
    double sum = 0.0;
    for (int k = 1; k <= harmonics; ++k) {
        double a = 0.0;
        double p = 2.0 * PI * k * phase;
        if (kind == "saw") {
            sum += std::sin(p) / k;
            continue;
        }
        if (kind == "pulse") {
            a = 2.0 / (k * PI) * std::sin(PI * k * duty);
            sum += a * std::cos(p - PI * k * duty);
            continue;
        }
        if (kind == "triangle") {
            if (k % 2 == 0)
                continue;
            sum += ((k / 2) % 2 ? -1.0 : 1.0) * std::sin(p) / (k * k);
            continue;
        }
        if (kind == "organ") { // drawbars 1, 2, 3, 4 and 8
            static const double bars[9] = {0, 1.0, 0.7, 0.35, 0.5, 0, 0, 0, 0.25};
            if (k < 9)
                sum += bars[k] * std::sin(p);
            continue;
        }
        if (kind == "sine") {
            if (k == 1)
                sum += std::sin(p);
            continue;
        }
    }
    return sum;
}

double OnePoleCoefficient(double cutoff, double rate) { return 1.0 - std::exp(-2.0 * PI * cutoff / rate); }

void Normalise(std::vector<double>& wave, double peak) {
    double max = 0.0;
    for (double v : wave)
        max = std::max(max, std::fabs(v));
    if (max > 0.0)
        for (double& v : wave)
            v *= peak / max;
}

struct Synth {
    std::vector<double> wave;
    uint8_t loopBits = 0; // 1 forward, 2 ping-pong
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;
};

// Waves and their keys:
//   pulse, saw, triangle, sine, organ: one band-limited cycle of `cycle`
//     frames (harmonics=N, duty=D for pulse), `attack` extra cycles of a
//     brighter, louder start (bright=harmonics there), then the cycle loops.
//   supersaw: saws at n-1, n and n+1 cycles over a forward loop of n * cycle
//     frames (n = cycles): a chorus that repeats seamlessly.
//   pwm: a pulse whose duty moves from duty to duty2 over `cycles` cycles,
//     looped ping-pong so the sweep runs back and forth.
//   strings: two saws at n and n+1 cycles with a swell, looped ping-pong.
//   pluck: plucked string (averaged noise burst), no loop; decay=seconds.
//   bell: inharmonic partials with decays, last `cycle` frames looped quiet.
//   kick, snare, hat, openhat, clap, tom, crash, shaker, rim: drums, no loop.
//   noise: a forward-looped noise band (for risers slid by effects).
// Every sample plays at BASE_RATE * 2^(rel/12) at note C-4.
Synth Synthesise(const Params& p) {
    Synth s;
    std::string kind = p.Str("wave", "");
    double rate = BASE_RATE * std::pow(2.0, p.Num("rel", 0) / 12.0);
    int cycle = static_cast<int>(p.Num("cycle", 64));
    int harmonics = static_cast<int>(p.Num("harmonics", cycle / 2 - 1));
    double duty = p.Num("duty", 0.5);
    double peak = p.Num("amp", 0.95);
    Noise noise;
    noise.state ^= static_cast<uint32_t>(p.Num("seed", 1)) * 2654435761u;

    if (kind == "pulse" || kind == "saw" || kind == "triangle" || kind == "sine" || kind == "organ") {
        int attack = static_cast<int>(p.Num("attack", 0));
        int bright = static_cast<int>(p.Num("bright", harmonics));
        double boost = p.Num("boost", 1.0);
        std::vector<double> loop(cycle);
        for (int i = 0; i < cycle; ++i)
            loop[i] = Harmonic(kind, static_cast<double>(i) / cycle, harmonics, duty);
        double max = 0.0;
        for (double v : loop)
            max = std::max(max, std::fabs(v));
        for (int c = 0; c < attack; ++c) {
            // From bright and loud to the loop's own sound, cycle by cycle.
            double t = static_cast<double>(c) / attack;
            double gain = boost + (1.0 - boost) * t;
            for (int i = 0; i < cycle; ++i) {
                double phase = static_cast<double>(i) / cycle;
                double b = Harmonic(kind, phase, bright, duty);
                s.wave.push_back(gain * ((1.0 - t) * b + t * loop[i]) / max);
            }
        }
        for (double v : loop)
            s.wave.push_back(v / max);
        Normalise(s.wave, peak);
        s.loopBits = 1;
        s.loopStart = static_cast<uint32_t>(attack * cycle);
        s.loopLength = static_cast<uint32_t>(cycle);
        return s;
    }
    if (kind == "supersaw" || kind == "strings") {
        int n = static_cast<int>(p.Num("cycles", 200));
        int length = n * cycle;
        double spread = p.Num("spread", 1);
        s.wave.assign(length, 0.0);
        std::vector<int> voices = kind == "supersaw" ? std::vector<int>{n - 1, n, n + 1} : std::vector<int>{n, n + 1};
        for (int v : voices) {
            // Cycles per frame (v / length); harmonics stop below the cycle's own limit.
            double start = noise.Next() * 0.5 + 0.5;
            for (int i = 0; i < length; ++i) {
                double phase = start + static_cast<double>(v) * i / length;
                double x = 0.0;
                for (int k = 1; k <= harmonics; ++k)
                    x += std::sin(2.0 * PI * k * phase) / k * std::pow(0.93, k - 1);
                s.wave[i] += x * (v == n ? 1.0 : spread);
            }
        }
        Normalise(s.wave, peak);
        if (kind == "supersaw") {
            s.loopBits = 1;
            s.loopStart = 0;
            s.loopLength = static_cast<uint32_t>(length);
        } else {
            s.loopBits = 2;
            s.loopStart = static_cast<uint32_t>(length / 4);
            s.loopLength = static_cast<uint32_t>(length - length / 4);
            for (int i = 0; i < length / 4; ++i)
                s.wave[i] *= static_cast<double>(i) / (length / 4);
        }
        return s;
    }
    if (kind == "pwm") {
        int n = static_cast<int>(p.Num("cycles", 64));
        double duty2 = p.Num("duty2", 0.45);
        for (int c = 0; c < n; ++c) {
            double d = duty + (duty2 - duty) * c / (n - 1);
            for (int i = 0; i < cycle; ++i)
                s.wave.push_back(Harmonic("pulse", static_cast<double>(i) / cycle, harmonics, d));
        }
        Normalise(s.wave, peak);
        s.loopBits = 2;
        s.loopStart = 0;
        s.loopLength = static_cast<uint32_t>(s.wave.size());
        return s;
    }
    if (kind == "pluck") {
        // Karplus-Strong: a noise burst in a delay line of one cycle, averaged.
        double decay = p.Num("decay", 0.6);
        int length = static_cast<int>(rate * decay * 1.5);
        std::vector<double> line(cycle);
        for (double& v : line)
            v = noise.Next();
        double damp = p.Num("damp", 0.996);
        for (int i = 0; i < length; ++i) {
            int a = i % cycle;
            int b = (i + 1) % cycle;
            double out = line[a];
            line[a] = damp * 0.5 * (line[a] + line[b]);
            s.wave.push_back(out);
        }
        Normalise(s.wave, peak);
        return s;
    }
    if (kind == "bell") {
        double decay = p.Num("decay", 0.8);
        int length = static_cast<int>(rate * decay) / cycle * cycle;
        // Partials that fit whole cycles into the loop at the end keep it seamless.
        static const double ratios[4] = {1.0, 2.0, 3.0, 4.0};
        static const double gains[4] = {1.0, 0.5, 0.25, 0.12};
        static const double decays[4] = {1.0, 0.5, 0.3, 0.2};
        double fm = p.Num("shimmer", 0.35);
        int tail = cycle;
        for (int i = 0; i < length + tail; ++i) {
            double t = std::min(i, length) / rate;
            double phase = static_cast<double>(i) / cycle;
            double x = 0.0;
            for (int k = 0; k < 4; ++k) {
                double env = std::exp(-t / (decay * decays[k] * 0.4));
                double mod = fm * env * std::sin(2.0 * PI * 3.0 * phase);
                x += gains[k] * env * std::sin(2.0 * PI * ratios[k] * phase + mod);
            }
            s.wave.push_back(x);
        }
        Normalise(s.wave, peak);
        s.loopBits = 1;
        s.loopStart = static_cast<uint32_t>(length);
        s.loopLength = static_cast<uint32_t>(tail);
        return s;
    }
    if (kind == "noise") {
        int length = static_cast<int>(p.Num("length", 4096));
        double lp = OnePoleCoefficient(p.Num("cutoff", 3000), rate);
        double y = 0.0;
        for (int i = 0; i < length + 64; ++i) {
            y += lp * (noise.Next() - y);
            if (i >= 64)
                s.wave.push_back(y);
        }
        Normalise(s.wave, peak);
        s.loopBits = 1;
        s.loopStart = 0;
        s.loopLength = static_cast<uint32_t>(length);
        return s;
    }

    // Drums: no loop.
    double seconds = p.Num("length", 0.3);
    int length = static_cast<int>(rate * seconds);
    double hp = OnePoleCoefficient(p.Num("highpass", 6000), rate);
    double lp = OnePoleCoefficient(p.Num("lowpass", 9000), rate);
    double low = 0.0, smooth = 0.0, phase = 0.0;
    for (int i = 0; i < length; ++i) {
        double t = i / rate;
        double n = noise.Next();
        smooth += lp * (n - smooth);
        low += hp * (smooth - low);
        double high = smooth - low; // band above the high-pass corner
        double x = 0.0;
        if (kind == "kick") {
            double f = p.Num("low", 48) + p.Num("sweep", 130) * std::exp(-t / 0.035);
            phase += f / rate;
            x = std::sin(2.0 * PI * phase) * std::exp(-t / p.Num("decay", 0.22));
            if (t < 0.003)
                x += 0.4 * n * (1.0 - t / 0.003);
        } else if (kind == "tom") {
            double f = p.Num("low", 110) + p.Num("sweep", 50) * std::exp(-t / 0.08);
            phase += f / rate;
            x = std::sin(2.0 * PI * phase) * std::exp(-t / p.Num("decay", 0.18));
            x += 0.15 * smooth * std::exp(-t / 0.02);
        } else if (kind == "snare") {
            phase += p.Num("tone", 190) / rate;
            x = 0.55 * std::sin(2.0 * PI * phase) * std::exp(-t / 0.045) + smooth * std::exp(-t / p.Num("decay", 0.08));
        } else if (kind == "clap") {
            double burst =
                t < 0.03 ? std::exp(-std::fmod(t, 0.01) / 0.003) : std::exp(-(t - 0.03) / p.Num("decay", 0.09));
            x = high * 1.6 * burst;
        } else if (kind == "hat" || kind == "openhat" || kind == "crash" || kind == "shaker") {
            double attack = kind == "shaker" ? std::min(1.0, t / 0.015) : 1.0;
            x = high * attack * std::exp(-t / p.Num("decay", 0.02));
        } else if (kind == "rim") {
            phase += 1650.0 / rate;
            x = (std::sin(2.0 * PI * phase) + 0.6 * high) * std::exp(-t / p.Num("decay", 0.012));
        } else {
            Fail(p.line, "unknown wave '" + kind + "'");
        }
        s.wave.push_back(x);
    }
    Normalise(s.wave, peak);
    // Let the very end reach zero so the voice stops without a step.
    int fade = std::min(length, static_cast<int>(rate * 0.004));
    for (int i = 0; i < fade; ++i)
        s.wave[length - 1 - i] *= static_cast<double>(i) / fade;
    return s;
}

std::vector<int16_t> ToEightBit(const std::vector<double>& wave) {
    std::vector<int16_t> out;
    out.reserve(wave.size());
    for (double v : wave) {
        long q = std::lround(v * 127.0);
        out.push_back(static_cast<int16_t>(std::clamp(q, -128L, 127L)));
    }
    return out;
}

// ---- Score -------------------------------------------------------------------

struct ScoreCell {
    bool set = false; // explicitly written (a "." sets an empty cell)
    XmCell cell;
};

struct Track {
    std::vector<ScoreCell> rows = std::vector<ScoreCell>(ROWS);
};

struct Score {
    XmSong song;
    std::map<std::string, int> instrumentNumbers;
    std::map<std::string, Track> tracks;
    std::vector<std::vector<std::string>> patternTracks;
    int speed = 6;
    int bpm = 125;
};

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

int Integer(int line, const std::string& text) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end)
        Fail(line, "not a number: " + text);
    return static_cast<int>(v);
}

// C-4 is note 49 (notes count from C-0 = 1).
int ParseNote(const std::string& w) {
    static const char* names = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (w.size() != 3 || !std::isdigit(static_cast<unsigned char>(w[2])))
        return -1;
    for (int i = 0; i < 12; ++i)
        if (w[0] == names[2 * i] && w[1] == names[2 * i + 1])
            return (w[2] - '0') * 12 + i + 1;
    return -1;
}

bool IsEffect(const std::string& w) {
    std::string e = w.substr(0, w.find('*'));
    if (e.size() != 3)
        return false;
    bool type = std::isdigit(static_cast<unsigned char>(e[0])) || (e[0] >= 'A' && e[0] <= 'Z');
    return type && std::isxdigit(static_cast<unsigned char>(e[1])) && std::isxdigit(static_cast<unsigned char>(e[2])) &&
           !std::islower(static_cast<unsigned char>(e[1])) && !std::islower(static_cast<unsigned char>(e[2]));
}

// Only what the player honours: 0, 1, 2, 3, 4, A, C, E1, F and K.
void CheckEffect(int line, uint8_t type, uint8_t parameter) {
    bool ok =
        type <= 4 || type == 0xA || type == 0xC || type == 0xF || type == 20 || (type == 0xE && (parameter >> 4) == 1);
    if (!ok)
        Fail(line, "effect not honoured by the player");
}

void Transpose(int line, Track& track, int semitones) {
    for (ScoreCell& c : track.rows) {
        if (c.cell.note >= 1 && c.cell.note <= 96) {
            int n = c.cell.note + semitones;
            if (n < 1 || n > 96)
                Fail(line, "transposed note out of range");
            c.cell.note = static_cast<uint8_t>(n);
        }
    }
}

void ParseTrackLine(Score& score, Track& track, int line, const std::vector<std::string>& w) {
    if (w[0] == "use") {
        if (w.size() < 3)
            Fail(line, "use TRACK ROW [+N]");
        auto it = score.tracks.find(w[1]);
        if (it == score.tracks.end())
            Fail(line, "unknown track " + w[1]);
        Track copy = it->second;
        if (w.size() > 3)
            Transpose(line, copy, Integer(line, w[3][0] == '+' ? w[3].substr(1) : w[3]));
        int at = Integer(line, w[2]);
        for (int r = 0; r < ROWS; ++r)
            if (copy.rows[r].set && r + at < ROWS)
                track.rows[r + at] = copy.rows[r];
        return;
    }
    int row = Integer(line, w[0]);
    if (row < 0 || row >= ROWS)
        Fail(line, "row out of range");
    ScoreCell cell;
    cell.set = true;
    int repeat = 1;
    for (size_t i = 1; i < w.size(); ++i) {
        const std::string& t = w[i];
        if (t == ".")
            continue;
        if (t == "off") {
            cell.cell.note = KEY_OFF;
            continue;
        }
        int note = ParseNote(t);
        if (note > 0) {
            if (note > 96)
                Fail(line, "note above B-7");
            cell.cell.note = static_cast<uint8_t>(note);
            continue;
        }
        if (IsEffect(t)) {
            char c = t[0];
            uint8_t type = static_cast<uint8_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10);
            uint8_t parameter = static_cast<uint8_t>(std::strtol(t.substr(1, 2).c_str(), nullptr, 16));
            CheckEffect(line, type, parameter);
            cell.cell.effectType = type;
            cell.cell.effectParameter = parameter;
            size_t star = t.find('*');
            if (star != std::string::npos)
                repeat = Integer(line, t.substr(star + 1));
            continue;
        }
        auto it = score.instrumentNumbers.find(t);
        if (it == score.instrumentNumbers.end())
            Fail(line, "unknown word '" + t + "'");
        cell.cell.instrument = static_cast<uint8_t>(it->second);
    }
    track.rows[row] = cell;
    for (int r = row + 1; r < row + repeat && r < ROWS; ++r) {
        track.rows[r].set = true;
        track.rows[r].cell.effectType = cell.cell.effectType;
        track.rows[r].cell.effectParameter = cell.cell.effectParameter;
    }
}

void ParseScore(Score& score, const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "songc: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    std::string text;
    int line = 0;
    Track* open = nullptr;
    while (std::getline(in, text)) {
        ++line;
        // A comment starts at a '#' that begins a word (F#4 is a note).
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(text[i - 1])))) {
                text.resize(i);
                break;
            }
        std::vector<std::string> w = Split(text);
        if (w.empty())
            continue;
        if (open) {
            if (w[0] == "end")
                open = nullptr;
            else
                ParseTrackLine(score, *open, line, w);
            continue;
        }
        const std::string& k = w[0];
        if (k == "song" && w.size() > 1)
            score.song.name = w[1];
        else if (k == "channels" && w.size() == 2)
            score.song.channels = static_cast<uint16_t>(Integer(line, w[1]));
        else if (k == "speed" && w.size() == 2)
            score.speed = Integer(line, w[1]);
        else if (k == "bpm" && w.size() == 2)
            score.bpm = Integer(line, w[1]);
        else if (k == "restart" && w.size() == 2)
            score.song.restartPosition = static_cast<uint16_t>(Integer(line, w[1]));
        else if (k == "order") {
            for (size_t i = 1; i < w.size(); ++i)
                score.song.orders.push_back(static_cast<uint8_t>(Integer(line, w[i])));
        } else if (k == "instrument" && w.size() >= 2) {
            Params p;
            p.line = line;
            for (size_t i = 2; i < w.size(); ++i) {
                size_t eq = w[i].find('=');
                if (eq == std::string::npos)
                    Fail(line, "expected key=value: " + w[i]);
                p.values[w[i].substr(0, eq)] = w[i].substr(eq + 1);
            }
            if (score.instrumentNumbers.count(w[1]))
                Fail(line, "instrument defined twice");
            Synth synth = Synthesise(p);
            XmSample sample;
            sample.values = ToEightBit(synth.wave);
            sample.loopBits = synth.loopBits;
            sample.loopStart = synth.loopStart;
            sample.loopLength = synth.loopLength;
            sample.volume = static_cast<uint8_t>(p.Num("volume", 64));
            sample.panning = static_cast<uint8_t>(p.Num("pan", 128));
            sample.relativeNote = static_cast<int8_t>(p.Num("rel", 0));
            sample.finetune = static_cast<int8_t>(p.Num("finetune", 0));
            sample.name = w[1];
            XmInstrument instrument;
            instrument.name = w[1];
            instrument.samples.push_back(sample);
            score.song.instruments.push_back(instrument);
            score.instrumentNumbers[w[1]] = static_cast<int>(score.song.instruments.size());
        } else if (k == "track" && w.size() >= 2) {
            if (score.tracks.count(w[1]))
                Fail(line, "track defined twice");
            Track& t = score.tracks[w[1]];
            if (w.size() >= 4 && w[2] == "=") {
                auto it = score.tracks.find(w[3]);
                if (it == score.tracks.end())
                    Fail(line, "unknown track " + w[3]);
                t = it->second;
                if (w.size() > 4)
                    Transpose(line, t, Integer(line, w[4][0] == '+' ? w[4].substr(1) : w[4]));
            } else {
                open = &t;
            }
        } else if (k == "pattern" && w.size() >= 3) {
            size_t n = static_cast<size_t>(Integer(line, w[1]));
            if (n != score.patternTracks.size())
                Fail(line, "patterns must be numbered in order");
            std::vector<std::string> names(w.begin() + 2, w.end());
            if (names.size() != score.song.channels)
                Fail(line, "one track per channel");
            for (const std::string& name : names)
                if (name != "-" && !score.tracks.count(name))
                    Fail(line, "unknown track " + name);
            score.patternTracks.push_back(names);
        } else {
            Fail(line, "unknown statement '" + k + "'");
        }
    }
    if (open)
        Fail(line, "track without end");
}

} // namespace

const char USAGE[] =
    "usage: songc SCORE.txt OUT.xm\n"
    "Builds an XM song from a text score (the form of resources/song/score.txt).\n"
    "Exit status: 0 built, 1 the score is wrong (the message names the line), 2 usage.\n";

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "songc", USAGE, true); done >= 0)
        return done;
    if (argc != 3) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    Score score;
    ParseScore(score, argv[1]);
    XmSong& song = score.song;
    song.tracker = "Quillon songc";
    song.defaultSpeed = static_cast<uint16_t>(score.speed);
    song.defaultBpm = static_cast<uint16_t>(score.bpm);
    song.flags = 1;
    for (const auto& names : score.patternTracks) {
        XmPattern pattern;
        pattern.rows = ROWS;
        pattern.cells.assign(static_cast<size_t>(ROWS) * song.channels, XmCell{});
        for (size_t c = 0; c < names.size(); ++c) {
            if (names[c] == "-")
                continue;
            const Track& t = score.tracks[names[c]];
            for (int r = 0; r < ROWS; ++r)
                XmCellAt(pattern, song.channels, r, static_cast<int>(c)) = t.rows[r].cell;
        }
        song.patterns.push_back(pattern);
    }
    for (uint8_t o : song.orders)
        if (o >= song.patterns.size()) {
            std::fprintf(stderr, "songc: order names pattern %u, which is not defined\n", o);
            return 1;
        }
    if (song.orders.empty() || song.restartPosition >= song.orders.size()) {
        std::fprintf(stderr, "songc: the restart position must lie within the order list\n");
        return 1;
    }
    std::vector<uint8_t> bytes = BuildXm(song);
    if (!WriteXmFile(argv[2], bytes)) {
        std::fprintf(stderr, "songc: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
