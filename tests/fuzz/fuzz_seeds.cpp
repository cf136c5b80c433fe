// Writes the seed corpus of the music fuzz target: tiny songs built in code
// that between them use every honoured effect, both frequency tables, every
// loop type, 8- and 16-bit samples, missing patterns and empty instruments.
#include <cstdio>
#include <string>

#include "tools/writers/xm_writer.h"

namespace {

XmSample Wave(bool sixteen, uint8_t loopBits, uint32_t length, int8_t relative = 0, int8_t finetune = 0) {
    XmSample s;
    s.sixteenBit = sixteen;
    for (uint32_t i = 0; i < length; ++i)
        s.values.push_back(static_cast<int16_t>(((i * 37) % 200 - 100) * (sixteen ? 300 : 1)));
    s.loopBits = loopBits;
    s.loopStart = length / 4;
    s.loopLength = length / 2;
    s.relativeNote = relative;
    s.finetune = finetune;
    return s;
}

XmSong Song(uint16_t channels, bool linear) {
    XmSong song;
    song.channels = channels;
    song.flags = linear ? 1 : 0;
    song.defaultSpeed = 3;
    song.defaultBpm = 140;
    song.orders = {0, 1, 0};
    song.restartPosition = 1;
    XmInstrument a;
    a.samples = {Wave(false, 1, 64), Wave(true, 2, 100, 12, -20)};
    for (int n = 48; n < 96; ++n)
        a.keymap[n] = 1;
    a.fadeout = 800;
    a.volumeEnvelope = {{0, 64}, {8, 20}};
    XmInstrument b;
    b.samples = {Wave(false, 0, 300, -12, 90)};
    XmInstrument empty;
    song.instruments = {a, b, empty};
    const uint8_t effects[][2] = {{0x0, 0x37}, {0x1, 0x08}, {0x2, 0x04}, {0x3, 0x20}, {0x4, 0xA2}, {0x5, 0x11},
                                  {0xA, 0x0F}, {0xA, 0xF0}, {0xC, 0x50}, {0xE, 0x12}, {0xF, 0x02}, {0xF, 0x90},
                                  {20, 0x00},  {0xF, 0x00}, {0xE, 0x10}, {0x0, 0x00}};
    for (int p = 0; p < 2; ++p) {
        XmPattern pattern;
        pattern.rows = static_cast<uint16_t>(p == 0 ? 16 : 8);
        for (int r = 0; r < pattern.rows; ++r) {
            for (int c = 0; c < channels; ++c) {
                XmCell& cell = XmCellAt(pattern, channels, r, c);
                int k = (r * 3 + c * 5 + p) % 16;
                if ((r + c) % 3 == 0) {
                    cell.note = static_cast<uint8_t>(30 + (r * 7 + c) % 60);
                    cell.instrument = static_cast<uint8_t>(1 + (r + c) % 4);
                }
                if (r == 11 && c == 0)
                    cell.note = 97;
                if (k != 13 || p == 1) {
                    cell.effectType = effects[k][0];
                    cell.effectParameter = effects[k][1];
                }
                cell.volume = static_cast<uint8_t>(r == 5 ? 0x30 : 0);
            }
        }
        song.patterns.push_back(pattern);
    }
    return song;
}

// Every effect type 0..35 with varied parameters, every volume-column
// command, envelopes with sustain and loops, auto-vibrato: the full
// player's ground.
XmSong EveryEffect() {
    XmSong song = Song(6, true);
    XmInstrument& a = song.instruments[0];
    a.volumeEnvelope = {{0, 0}, {4, 64}, {10, 30}, {20, 50}};
    a.volumeType = 7;
    a.volumeSustainPoint = 2;
    a.volumeLoopStart = 1;
    a.volumeLoopEnd = 3;
    a.panningEnvelope = {{0, 10}, {6, 60}};
    a.panningType = 5;
    a.panningLoopEnd = 1;
    a.vibratoType = 2;
    a.vibratoSweep = 9;
    a.vibratoDepth = 12;
    a.vibratoRate = 40;
    for (XmPattern& pattern : song.patterns)
        for (size_t i = 0; i < pattern.cells.size(); ++i) {
            XmCell& cell = pattern.cells[i];
            cell.effectType = static_cast<uint8_t>(i % 36);
            cell.effectParameter = static_cast<uint8_t>(i * 29 + 3);
            cell.volume = static_cast<uint8_t>(0x10 + (i * 23) % 0xF0);
        }
    return song;
}

bool Write(const std::string& dir, const std::string& name, const XmSong& song) {
    return WriteXmFile(dir + "/" + name + ".xm", BuildXm(song));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = Write(dir, "linear4", Song(4, true)) && Write(dir, "amiga2", Song(2, false));
    XmSong missing = Song(3, true);
    missing.orders = {0, 5, 1};
    ok = ok && Write(dir, "missing_patterns", missing);
    XmSong wide = Song(32, true);
    wide.defaultSpeed = 1;
    ok = ok && Write(dir, "wide32", wide);
    XmSong one = Song(1, true);
    one.instruments.resize(1);
    one.instruments[0].headerSize = 243;
    ok = ok && Write(dir, "one_channel", one);
    ok = ok && Write(dir, "every_effect", EveryEffect());
    return ok ? 0 : 1;
}
