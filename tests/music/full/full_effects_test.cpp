// The full player, tick by tick: every effect and volume-column command as
// a row of a table, each with the values the format's definition gives for
// the ticks of one or two rows. The song is one channel, instrument 1 (a
// looped sample of volume 32, centre panning) and the note C-4 on row 0
// unless the case says otherwise; under the linear table C-4 is period
// 4608, one semitone 64 units, one slide step 4 units.
//
// Period, volume and panning are read where they arrive: from the channel's
// voice (its step and its two levels), turned back into the format's units
// by the format's own formulas, so a value the engine works out right but
// hands on wrong is caught too.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "music/full/full_engine.h"
#include "tests/music/music_fixture.h"

namespace {

constexpr uint8_t C4 = 49, D4 = 51;
constexpr uint8_t G = 16, H = 17, K = 20, L = 21, P = 25, R = 27, T = 29, X = 33;

// What a case reads after each tick.
// Volume is what the voice gets (the envelope, fadeout and global volume
// full); ChannelVolume the channel's own, before those multiply it.
enum class Field { Period, Volume, ChannelVolume, Panning, GlobalVolume, Trigger, Envelope, Fadeout, Row, Order };

// The voice's pitch as a period: its step (frames of the sample per output
// frame at 44100 Hz) is the frequency, which the format defines as
// 8363 * 2^((4608 - period) / 768) under the linear table and
// 8363 * 1712 / period under the Amiga one. The voice's frequency is whole
// Hz, a fraction of a period unit at these pitches: rounded to the unit.
int32_t VoicePeriod(const Module* song, const Voice& voice) {
    const double hz = (voice.stepInteger + voice.stepFraction / 4294967296.0) * 44100.0;
    if (hz <= 0)
        return 0;
    const double period =
        (song->flags & FLAG_LINEAR_TABLE) ? 4608.0 - 768.0 * std::log2(hz / 8363.0) : 8363.0 * 1712.0 / hz;
    return static_cast<int32_t>(std::lround(period));
}

// Full gain is 127 * 256 level units at volume 64 (envelope, fadeout and
// global volume full), shared between left and right by the panning, each
// side rounded: the volume is the sum over 508 units a step.
int32_t VoiceVolume(const Voice& voice) {
    return static_cast<int32_t>(std::lround((voice.leftVolume + voice.rightVolume) / (127.0 * 256.0 / 64.0)));
}

// Panning 0..255 (0 left): the right side's share of the two levels.
int32_t VoicePanning(const Voice& voice) {
    const int32_t sum = voice.leftVolume + voice.rightVolume;
    return sum > 0 ? static_cast<int32_t>(std::lround(255.0 * voice.rightVolume / sum)) : -1;
}

struct TickCase {
    const char* name;
    std::vector<XmCell> rows;
    uint16_t speed;
    Field field;
    std::vector<int32_t> expected; // one per tick from tick 0 of row 0
};

class FullPlayerTest : public MusicTest {
protected:
    // One channel, `rows` as rows 0.. of a pattern of rows + 1 rows.
    void Play(const std::vector<XmCell>& rows, uint16_t speed, const std::function<void(XmSong&)>& adjust = {}) {
        XmSong xm = TinySong(1, static_cast<uint16_t>(rows.size() + 1), speed);
        xm.instruments[0].samples[0] = LoopedSample(2048, 32, 128);
        for (size_t r = 0; r < rows.size(); ++r)
            XmCellAt(xm.patterns[0], 1, static_cast<int>(r), 0) = rows[r];
        if (adjust)
            adjust(xm);
        song = LoadBytes(BuildXm(xm));
        ASSERT_NE(song, nullptr);
        StartFullPlayer(song);
    }
    int32_t Read(Field field) const {
        const FullChannel& channel = fullPlayer.channels[0];
        switch (field) {
        case Field::Period: return VoicePeriod(song, *ChannelVoice(0));
        case Field::Volume: return VoiceVolume(*ChannelVoice(0));
        case Field::ChannelVolume: return TickVolume(&channel);
        case Field::Panning: return VoicePanning(*ChannelVoice(0));
        case Field::GlobalVolume: return song->globalVolume;
        case Field::Trigger: return (channel.sent.changes & VOICE_TRIGGER) ? 1 : 0;
        case Field::Envelope: return channel.volumeEnvelope.value;
        case Field::Fadeout: return channel.fadeout;
        case Field::Row: return song->row;
        case Field::Order: return song->orderPosition;
        }
        return 0;
    }
    std::vector<int32_t> Ticks(size_t count, Field field) {
        std::vector<int32_t> values;
        for (size_t i = 0; i < count; ++i) {
            song->tickRoutine(song);
            values.push_back(Read(field));
        }
        return values;
    }
    void Check(const TickCase& c) {
        SCOPED_TRACE(c.name);
        Play(c.rows, c.speed);
        EXPECT_EQ(Ticks(c.expected.size(), c.field), c.expected);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
};

XmCell Note(uint8_t effect = 0, uint8_t parameter = 0, uint8_t column = 0) {
    return {C4, 1, column, effect, parameter};
}
XmCell Cell(uint8_t effect, uint8_t parameter, uint8_t column = 0) { return {0, 0, column, effect, parameter}; }

// Vibrato and tremolo read the table 0, 24, 49, 74, 97, ... (half a sine of
// 255): vibrato adds value * depth / 32 to the period, tremolo value *
// depth / 64 to the volume, and both move their position by the speed on
// every tick after tick 0 (64 positions per cycle).
// clang-format off
const TickCase EFFECT_CASES[] = {
    {"0xy arpeggio at speed 6: the ticks after the first play +7, +3, note (the count runs down)",
     {Note(0x0, 0x37)}, 6, Field::Period, {4608, 4160, 4416, 4608, 4160, 4416}},
    {"0xy arpeggio at speed 4: note, +7, +3", {Note(0x0, 0x37)}, 4, Field::Period, {4608, 4608, 4160, 4416}},
    {"1xx porta up by 4 * xx on ticks 1.., memory on 100", {Note(0x1, 0x02), Cell(0x1, 0x00)}, 4, Field::Period,
     {4608, 4600, 4592, 4584, 4584, 4576, 4568, 4560}},
    {"1xx slides only on its rows: a row without effect after it holds the pitch", {Note(0x1, 0x02), Cell(0, 0)}, 4,
     Field::Period, {4608, 4600, 4592, 4584, 4584, 4584, 4584, 4584}},
    {"2xx porta down", {Note(0x2, 0x03)}, 4, Field::Period, {4608, 4620, 4632, 4644}},
    {"3xx tone portamento toward D-4 (4480), 64 per tick, stops there",
     {Note(), {D4, 0, 0, 0x3, 0x10}}, 4, Field::Period, {4608, 4608, 4608, 4608, 4608, 4544, 4480, 4480}},
    {"4xy vibrato speed 4 depth 8: table 0, 97, 180 over 32", {Note(0x4, 0x48)}, 4, Field::Period,
     {4608, 4608, 4632, 4653}},
    {"5xy tone portamento + volume slide down 2", {Note(), {D4, 0, 0, 0x5, 0x02}}, 4, Field::Volume,
     {32, 32, 32, 32, 32, 30, 28, 26}},
    {"6xy vibrato from memory + volume slide; its tick 0 applies the position reached, unmoved",
     {Note(0x4, 0x48), Cell(0x6, 0x10)}, 4, Field::Period,
     {4608, 4608, 4632, 4653, 4608 + 235 * 8 / 32, 4608 + 235 * 8 / 32, 4608 + 255 * 8 / 32, 4608 + 235 * 8 / 32}},
    {"4xy on a row without vibrato: back to the note's pitch", {Note(0x4, 0x48), Cell(0, 0)}, 4, Field::Period,
     {4608, 4608, 4632, 4653, 4608, 4608, 4608, 4608}},
    {"4xy: a new note starts the vibrato again from position 0", {Note(0x4, 0x48), Note(0x4, 0x00)}, 4,
     Field::Period, {4608, 4608, 4632, 4653, 4608, 4608, 4632, 4653}},
    {"E44: past the new note's own tick 0 the vibrato goes on from position 12 (235, 255, 235 over 4)",
     {Note(0xE, 0x44), Note(0x4, 0x48), Note(0x4, 0x00)}, 4, Field::Period,
     {4608, 4608, 4608, 4608, 4608, 4608, 4632, 4653, 4608, 4666, 4671, 4666}},
    {"7xy tremolo speed 4 depth 8 on volume 32; tick 0 of the next row as vibrato", {Note(0x7, 0x48), Cell(0x7, 0)},
     4, Field::Volume, {32, 32, 32 + 12, 32 + 22, 32 + 29, 32 + 29, 32 + 31, 32 + 29}},
    {"7xy: a new note starts the tremolo again from position 0", {Note(0x7, 0x48), Note(0x7, 0x00)}, 4,
     Field::Volume, {32, 32, 32 + 12, 32 + 22, 32, 32, 32 + 12, 32 + 22}},
    {"8xx set panning", {Note(0x8, 0x40)}, 2, Field::Panning, {64, 64}},
    {"Axy volume slide up 2, then down 3 from a new parameter, memory on A00",
     {Note(0xA, 0x20), Cell(0xA, 0x03), Cell(0xA, 0x00)}, 3, Field::Volume, {32, 34, 36, 36, 33, 30, 30, 27, 24}},
    {"Axy up wins when both nibbles are set", {Note(0xA, 0x21)}, 3, Field::Volume, {32, 34, 36}},
    {"Cxx set volume, above 64 held at 64", {Note(0xC, 0x10), Cell(0xC, 0x50)}, 2, Field::Volume, {16, 16, 64, 64}},
    {"E1x fine porta up once on tick 0, memory on E10", {Note(0xE, 0x12), Cell(0xE, 0x10)}, 2, Field::Period,
     {4600, 4600, 4592, 4592}},
    {"E2x fine porta down", {Note(0xE, 0x23)}, 2, Field::Period, {4620, 4620}},
    {"E3x glissando: tone portamento in whole semitones",
     {Note(0xE, 0x31), {D4, 0, 0, 0x3, 0x08}}, 4, Field::Period, {4608, 4608, 4608, 4608, 4608, 4608, 4544, 4544}},
    {"E4x ramp waveform: positions 0, 4, 8 give 0, 32, 64 (times depth 8 over 32)",
     {Note(0xE, 0x41), Cell(0x4, 0x48)}, 4, Field::Period, {4608, 4608, 4608, 4608, 4608, 4608, 4616, 4624}},
    {"E4x square waveform (tick 0 of the vibrato row applies position 0 already)",
     {Note(0xE, 0x42), Cell(0x4, 0x48)}, 3, Field::Period, {4608, 4608, 4608, 4608 + 63, 4608 + 63, 4608 + 63}},
    {"E5x finetune F (+112) with the note: 56 units higher", {Note(0xE, 0x5F)}, 1, Field::Period, {4552}},
    {"E7x square tremolo", {Note(0xE, 0x72), Cell(0x7, 0x48)}, 3, Field::Volume, {32, 32, 32, 63, 63, 63}},
    {"E8x coarse panning x * 17", {Note(0xE, 0x84)}, 1, Field::Panning, {68}},
    {"E9x retrigger every 2 ticks", {Note(0xE, 0x92)}, 6, Field::Trigger, {1, 0, 1, 0, 1, 0}},
    {"EAx fine volume up on tick 0, memory on EA0", {Note(0xE, 0xA4), Cell(0xE, 0xA0)}, 2, Field::Volume,
     {36, 36, 40, 40}},
    {"EBx fine volume down", {Note(0xE, 0xB5)}, 2, Field::Volume, {27, 27}},
    {"ECx note cut at tick 2", {Note(0xE, 0xC2)}, 4, Field::Volume, {32, 32, 0, 0}},
    {"EC0 cuts at once", {Note(0xE, 0xC0)}, 2, Field::Volume, {0, 0}},
    {"EDx note delay: the note starts on tick 2", {Note(0xE, 0xD2)}, 4, Field::Trigger, {0, 0, 1, 0}},
    {"ED1: the note starts on tick 1", {Note(0xE, 0xD1)}, 4, Field::Trigger, {0, 1, 0, 0}},
    {"ED0: a delay of nothing, the note starts on tick 0", {Note(0xE, 0xD0)}, 4, Field::Trigger, {1, 0, 0, 0}},
    {"EDx with x beyond the speed: the note never starts", {Note(0xE, 0xD5)}, 4, Field::Trigger, {0, 0, 0, 0}},
    {"Fxx below 0x20 sets the speed: rows of 2 ticks", {Note(0xF, 0x02), Cell(0, 0), Cell(0, 0)}, 6, Field::Row,
     {0, 0, 1, 1, 2, 2}},
    {"F00 changes nothing", {Note(0xF, 0x00), Cell(0, 0)}, 3, Field::Row, {0, 0, 0, 1}},
    {"F20 is the lowest tempo (32 BPM), not a speed: the rows keep their 2 ticks",
     {Note(0xF, 0x20), Cell(0, 0), Cell(0, 0)}, 2, Field::Row, {0, 0, 1, 1, 2, 2}},
    {"Gxx global volume, held at 64", {Note(G, 0x20), Cell(G, 0x70)}, 2, Field::GlobalVolume, {32, 32, 64, 64}},
    {"Hxy global volume slide down 2 on ticks 1..", {Note(H, 0x02)}, 4, Field::GlobalVolume, {64, 62, 60, 58}},
    {"Hxy up from G20", {Note(G, 0x20), Cell(H, 0x10)}, 3, Field::GlobalVolume, {32, 32, 32, 32, 33, 34}},
    {"Kxx key off at tick 2: no volume envelope, so silence", {Note(K, 0x02)}, 4, Field::Volume, {32, 32, 0, 0}},
    {"K00 key off at once", {Note(K, 0x00)}, 2, Field::Volume, {0, 0}},
    {"Pxy panning slide right 3", {Note(P, 0x30)}, 3, Field::Panning, {128, 131, 134}},
    {"Pxy panning slide left 2, memory", {Note(P, 0x02), Cell(P, 0x00)}, 2, Field::Panning, {128, 126, 126, 124}},
    {"Rxy counts tick 0 too: every 2 ticks from tick 1, volume -1 each time", {Note(R, 0x12)}, 6, Field::Volume,
     {32, 31, 31, 30, 30, 29}},
    {"Rxy volume x6 (two thirds)", {Note(R, 0x63)}, 4, Field::Volume, {32, 32, 21, 21}},
    {"Rxy volume xF (twice), held at 64", {Note(R, 0xF1)}, 3, Field::Volume, {32, 64, 64}},
    {"Rxy retriggers", {Note(R, 0x02)}, 6, Field::Trigger, {1, 1, 0, 1, 0, 1}},
    {"Rxy: a new note starts the count again (row 0 leaves it at 1 of 2)", {Note(R, 0x02), Note(R, 0x02)}, 3,
     Field::Trigger, {1, 1, 0, 1, 1, 0}},
    {"Txy tremor: on 2 ticks, off 3, counted after tick 0; tick 0 keeps the phase",
     {Note(T, 0x12), Cell(T, 0x00)}, 4, Field::Volume, {32, 32, 32, 0, 0, 0, 0, 32}},
    {"X1x extra fine porta up by x", {Note(X, 0x12)}, 2, Field::Period, {4606, 4606}},
    {"X2x extra fine porta down, memory", {Note(X, 0x23), Cell(X, 0x20)}, 1, Field::Period, {4611, 4614}},
};
// clang-format on

TEST_F(FullPlayerTest, EveryEffectTickByTick) {
    for (const TickCase& c : EFFECT_CASES)
        Check(c);
}

// The volume column: 10..50 set the volume, 6x/7x slide on ticks 1.., 8x/9x
// slide once on tick 0, Ax sets the vibrato speed, Bx vibrates with depth
// x, Cx sets the panning to x * 16, Dx/Ex slide the panning, Fx is tone
// portamento at speed x * 16.
// clang-format off
const TickCase COLUMN_CASES[] = {
    {"10..50 set volume", {Note(0, 0, 0x30), Cell(0, 0, 0x50)}, 1, Field::Volume, {32, 64}},
    {"6x slide down", {Note(0, 0, 0x62)}, 4, Field::Volume, {32, 30, 28, 26}},
    {"7x slide up", {Note(0, 0, 0x73)}, 3, Field::Volume, {32, 35, 38}},
    {"8x fine down on tick 0", {Note(0, 0, 0x84)}, 3, Field::Volume, {28, 28, 28}},
    {"9x fine up on tick 0", {Note(0, 0, 0x92)}, 3, Field::Volume, {34, 34, 34}},
    {"Ax speed, then Bx depth 8 vibrates", {Note(0, 0, 0xA4), Cell(0, 0, 0xB8)}, 4, Field::Period,
     {4608, 4608, 4608, 4608, 4608, 4608, 4632, 4653}},
    {"Bx vibrates and leaves the panning alone", {Note(0, 0, 0xB4)}, 2, Field::Panning, {128, 128}},
    {"Cx set panning", {Note(0, 0, 0xC4)}, 1, Field::Panning, {64}},
    {"Dx panning slide left", {Note(0, 0, 0xD2)}, 3, Field::Panning, {128, 126, 124}},
    {"Ex panning slide right", {Note(0, 0, 0xE5)}, 3, Field::Panning, {128, 133, 138}},
    {"Fx tone portamento at 16 * x", {Note(), {D4, 0, 0xF1, 0, 0}}, 4, Field::Period,
     {4608, 4608, 4608, 4608, 4608, 4544, 4480, 4480}},
};
// clang-format on

TEST_F(FullPlayerTest, EveryVolumeColumnCommandTickByTick) {
    for (const TickCase& c : COLUMN_CASES)
        Check(c);
}

// The song position, row by row: speed 1, so one value per row.
// clang-format off
const TickCase POSITION_CASES[] = {
    {"Dxy breaks to row x * 10 + y of the next order", {Note(0xD, 0x12)}, 1, Field::Row, {0, 12, 13}},
    {"Bxx jumps to order xx, row 0", {Cell(0, 0), Cell(0xB, 0x01)}, 1, Field::Order, {0, 0, 1, 1}},
    {"E6x loops rows 1..2 twice more", {Cell(0, 0), Cell(0xE, 0x60), Cell(0xE, 0x62), Cell(0, 0)}, 1, Field::Row,
     {0, 1, 2, 1, 2, 1, 2, 3}},
    {"EEx repeats the row x more times", {Cell(0xE, 0xE2), Cell(0, 0)}, 2, Field::Row, {0, 0, 0, 0, 0, 0, 1, 1}},
};
// clang-format on

TEST_F(FullPlayerTest, SongPositionEffects) {
    for (const TickCase& c : POSITION_CASES) {
        SCOPED_TRACE(c.name);
        Play(c.rows, c.speed, [](XmSong& xm) {
            xm.patterns[0].rows = 32;
            xm.patterns.push_back(xm.patterns[0]);
            xm.patterns[1].cells.clear();
            xm.orders = {0, 1};
        });
        EXPECT_EQ(Ticks(c.expected.size(), c.field), c.expected);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, BreakAndJumpOnOneRowGoToTheJumpsOrderAtTheBreaksRow) {
    for (bool breakFirst : {true, false}) {
        Play({Cell(0, 0)}, 1, [&](XmSong& xm) {
            xm.channels = 2;
            xm.patterns[0].rows = 8;
            xm.patterns[0].cells.clear();
            XmCellAt(xm.patterns[0], 2, 0, breakFirst ? 0 : 1) = Cell(0xD, 0x05);
            XmCellAt(xm.patterns[0], 2, 0, breakFirst ? 1 : 0) = Cell(0xB, 0x02);
            xm.patterns.push_back(XmPattern{});
            xm.patterns[1].rows = 8;
            xm.orders = {0, 1, 1};
        });
        EXPECT_EQ(Ticks(2, Field::Order), (std::vector<int32_t>{0, 2})) << breakFirst;
        EXPECT_EQ(song->row, 5);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, RowsRepeatedByPatternDelayRunTheirSlidesOnTickZeroButNoFineSlides) {
    // Channel 1 delays row 1 by two more rows (speed 2: 6 ticks of row 1).
    // Channel 0 slides by A40 (+4 on every tick of the repeats, tick 0
    // included) and channel 1... nothing; then the same with EA4 (+4 once).
    for (uint8_t effect : {uint8_t{0xA}, uint8_t{0xE}}) {
        Play({Note(0xC, 0x10)}, 2, [&](XmSong& xm) {
            xm.channels = 2;
            xm.patterns[0].rows = 4;
            xm.patterns[0].cells.clear();
            XmCellAt(xm.patterns[0], 2, 0, 0) = Note(0xC, 0x10);
            XmCellAt(xm.patterns[0], 2, 1, 0) = Cell(effect, effect == 0xA ? 0x40 : 0xA4);
            XmCellAt(xm.patterns[0], 2, 1, 1) = Cell(0xE, 0xE2);
        });
        std::vector<int32_t> expected = effect == 0xA ? std::vector<int32_t>{16, 16, 16, 20, 24, 28, 32, 36, 36}
                                                      : std::vector<int32_t>{16, 16, 20, 20, 20, 20, 20, 20, 20};
        EXPECT_EQ(Ticks(9, Field::Volume), expected) << int{effect};
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, TheSongEndContinuesAtTheRestartPosition) {
    Play({Cell(0, 0)}, 1, [](XmSong& xm) {
        xm.patterns[0].rows = 2;
        xm.patterns.push_back(xm.patterns[0]);
        xm.orders = {0, 1, 0};
        xm.restartPosition = 1;
    });
    EXPECT_EQ(Ticks(8, Field::Order), (std::vector<int32_t>{0, 0, 1, 1, 2, 2, 1, 1}));
}

TEST_F(FullPlayerTest, SampleOffsetStartsTheVoiceThatFarIn) {
    Play({Note(0x9, 0x02), Cell(0, 0), {C4, 0, 0, 0x9, 0x00}, {C4, 0, 0, 0x9, 0x09}}, 1);
    std::vector<uint32_t> positions;
    for (int i = 0; i < 4; ++i) {
        song->tickRoutine(song);
        positions.push_back(ChannelVoice(0)->sample ? ChannelVoice(0)->position : 0xFFFFFFFF);
    }
    // 9xx starts at xx * 256; 900 repeats the last offset; past the end of
    // the 2048-value sample the note is silent.
    EXPECT_EQ(positions, (std::vector<uint32_t>{512, 512, 512, 0xFFFFFFFF}));
}

// Envelopes: points (0, 64), (4, 32), (8, 0), linear between points, the
// last value after the last point.
void Envelope(XmSong& xm, uint8_t type, uint8_t sustain = 0, uint8_t loopStart = 0, uint8_t loopEnd = 0) {
    XmInstrument& instrument = xm.instruments[0];
    instrument.volumeEnvelope = {{0, 64}, {4, 32}, {8, 0}};
    instrument.volumeType = type;
    instrument.volumeSustainPoint = sustain;
    instrument.volumeLoopStart = loopStart;
    instrument.volumeLoopEnd = loopEnd;
    instrument.fadeout = 0x400; // 2048 of 65536 per tick after key-off
}

TEST_F(FullPlayerTest, VolumeEnvelopeSustainLoopAndFadeout) {
    Play({Note()}, 12, [](XmSong& xm) { Envelope(xm, ENVELOPE_ON); });
    EXPECT_EQ(Ticks(11, Field::Envelope), (std::vector<int32_t>{64, 56, 48, 40, 32, 24, 16, 8, 0, 0, 0}));
    FreeModule(song);
    ResetMusicState();

    // Sustain at point 1: held at 32 until the key-off on row 1, then on.
    Play({Note(), {NOTE_FILE_KEY_OFF, 0, 0, 0, 0}}, 6,
         [](XmSong& xm) { Envelope(xm, ENVELOPE_ON | ENVELOPE_SUSTAIN, 1); });
    EXPECT_EQ(Ticks(10, Field::Envelope), (std::vector<int32_t>{64, 56, 48, 40, 32, 32, 32, 24, 16, 8}));
    FreeModule(song);
    ResetMusicState();

    Play({Note(), {NOTE_FILE_KEY_OFF, 0, 0, 0, 0}}, 6,
         [](XmSong& xm) { Envelope(xm, ENVELOPE_ON | ENVELOPE_SUSTAIN, 1); });
    EXPECT_EQ(Ticks(9, Field::Fadeout),
              (std::vector<int32_t>{65536, 65536, 65536, 65536, 65536, 65536, 63488, 61440, 59392}));
    FreeModule(song);
    ResetMusicState();

    // Loop from point 0 to point 1: the loop end sends the envelope back.
    Play({Note()}, 12, [](XmSong& xm) { Envelope(xm, ENVELOPE_ON | ENVELOPE_LOOP, 0, 0, 1); });
    EXPECT_EQ(Ticks(10, Field::Envelope), (std::vector<int32_t>{64, 56, 48, 40, 64, 56, 48, 40, 64, 56}));
    FreeModule(song);
    ResetMusicState();

    // A loop of one point (start and end on point 1) holds the envelope
    // there, and unlike the sustain it goes on holding after the key-off.
    Play({Note(), {NOTE_FILE_KEY_OFF, 0, 0, 0, 0}}, 6,
         [](XmSong& xm) { Envelope(xm, ENVELOPE_ON | ENVELOPE_LOOP, 0, 1, 1); });
    EXPECT_EQ(Ticks(10, Field::Envelope), (std::vector<int32_t>{64, 56, 48, 40, 32, 32, 32, 32, 32, 32}));
    FreeModule(song);
    ResetMusicState();

    // Lxx sets the envelope's tick.
    Play({Note(L, 0x06)}, 3, [](XmSong& xm) { Envelope(xm, ENVELOPE_ON); });
    EXPECT_EQ(Ticks(3, Field::Envelope), (std::vector<int32_t>{16, 8, 0}));
}

TEST_F(FullPlayerTest, KeyOffWithAVolumeEnvelopeKeepsTheVolumeAndStartsTheFadeout) {
    Play({Note(K, 0x01)}, 4, [](XmSong& xm) { Envelope(xm, ENVELOPE_ON | ENVELOPE_SUSTAIN, 0); });
    EXPECT_EQ(Ticks(4, Field::ChannelVolume), (std::vector<int32_t>{32, 32, 32, 32}));
    EXPECT_EQ(fullPlayer.channels[0].fadeout, 65536 - 3 * 2048);
}

TEST_F(FullPlayerTest, PanningEnvelopeMovesWithinTheRoomLeftByThePanning) {
    // Envelope 32 is the panning itself, 64 and 0 move it by the room it
    // has to the nearer edge (64 from 192), both ways; 256 is held at 255.
    Play({Note(0x8, 0xC0)}, 3, [](XmSong& xm) {
        xm.instruments[0].panningEnvelope = {{0, 32}, {1, 64}, {2, 0}};
        xm.instruments[0].panningType = ENVELOPE_ON;
    });
    EXPECT_EQ(Ticks(3, Field::Panning), (std::vector<int32_t>{192, 255, 128}));
}

// Vibrato and tremolo over two whole cycles of each waveform (speed 1, so
// every position in turn), as they reach the voice. The format's shapes: the
// sine is floor(255 * sin(pi * p / 32)) rising in the first half of the
// cycle and the same falling below zero in the second; the ramp (E41)
// climbs 8 a position from 0 to 248, jumps to -255 at position 32 and climbs
// again to -7; the square is 255, then -255. Vibrato moves the period by
// wave * depth / 32, tremolo the volume by wave * depth / 64, each cut toward
// zero. Tick 0 of each row after the first applies the position reached
// without moving it; the other ticks apply it, then move on.
int32_t Wave(int control, int position) {
    const int half = position % 32;
    int32_t value = 0;
    switch (control) {
    case 0: value = static_cast<int32_t>(std::floor(255.0 * std::sin(3.141592653589793 * half / 32.0))); break;
    case 1: return position < 32 ? 8 * half : 8 * half - 255;
    default: value = 255; break;
    }
    return position < 32 ? value : -value;
}

TEST_F(FullPlayerTest, VibratoAndTremoloWaveformsOverWholeCycles) {
    constexpr int SPEED = 31;
    struct Case {
        const char* name;
        uint8_t effect; // 4 vibrato or 7 tremolo
        int control;    // E4x / E7x
        uint8_t depth;  // the tremolo's 32 +- 31 at depth 8 stays inside 0..64
    };
    // The sine at depths whose cut toward zero shows every value of the
    // table but 0, 97, 161 and 224 (which no depth of 1..15 tells from the
    // next value up): 9, 11 and 14 between them, 15 the deepest.
    const Case cases[] = {
        {"vibrato sine, depth 9", 0x4, 0, 9},
        {"vibrato sine, depth 11", 0x4, 0, 11},
        {"vibrato sine, depth 14", 0x4, 0, 14},
        {"vibrato sine, depth 15", 0x4, 0, 15},
        {"vibrato ramp", 0x4, 1, 15},
        {"vibrato square", 0x4, 2, 15},
        {"tremolo sine", 0x7, 0, 8},
        {"tremolo ramp", 0x7, 1, 8},
        {"tremolo square", 0x7, 2, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool vibrato = c.effect == 0x4;
        const uint8_t depth = c.depth;
        const uint8_t waveform = static_cast<uint8_t>((vibrato ? 0x40 : 0x70) | c.control);
        std::vector<XmCell> rows = {Note(0xE, waveform), Note(c.effect, static_cast<uint8_t>(0x10 | depth))};
        for (int r = 0; r < 4; ++r)
            rows.push_back(Cell(c.effect, 0));
        Play(rows, SPEED);
        std::vector<int32_t> expected;
        int position = 0;
        for (int tick = 0; tick < SPEED * static_cast<int>(rows.size()); ++tick) {
            const int row = tick / SPEED;
            int32_t offset = 0;
            if (row >= 1 && !(tick % SPEED == 0 && row == 1)) {
                offset = Wave(c.control, position) * depth / (vibrato ? 32 : 64);
                if (tick % SPEED != 0)
                    position = (position + 1) % 64;
            }
            expected.push_back(vibrato ? 4608 + offset : 32 + offset);
        }
        EXPECT_EQ(Ticks(expected.size(), vibrato ? Field::Period : Field::Volume), expected);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

// The instrument's auto-vibrato over a whole cycle of 256 positions (rate
// 1), at depth 64 so that the period moves by exactly the wave, against the
// pitch (a positive wave lowers the period). The sine is round(64 * sin(2 pi
// p / 256)) and the square +64 in the first half, -64 in the second; the
// ramps are told by their shape: "down" falls one step every two
// positions with one jump up of 127 at the middle, "up" the other way round.
TEST_F(FullPlayerTest, AutoVibratoWaveformsOverAWholeCycle) {
    constexpr int TICKS = 256;
    for (uint8_t type : {0, 1, 2, 3}) {
        SCOPED_TRACE(static_cast<int>(type));
        Play(std::vector<XmCell>(9, Cell(0, 0)), 31, [&](XmSong& xm) {
            XmCellAt(xm.patterns[0], 1, 0, 0) = Note();
            XmInstrument& i = xm.instruments[0];
            i.vibratoType = type;
            i.vibratoDepth = 64;
            i.vibratoRate = 1;
        });
        std::vector<int32_t> wave; // at positions 1, 2, ..., 255, 0
        for (int32_t period : Ticks(TICKS, Field::Period))
            wave.push_back(4608 - period);
        if (type <= 1) {
            std::vector<int32_t> expected;
            for (int t = 0; t < TICKS; ++t) {
                const int position = (t + 1) % 256;
                expected.push_back(type == 0 ? static_cast<int32_t>(std::lround(
                                                   64.0 * std::sin(2.0 * 3.141592653589793 * position / 256.0)))
                                             : (position < 128 ? 64 : -64));
            }
            EXPECT_EQ(wave, expected);
        } else {
            const int32_t direction = type == 2 ? -1 : 1;
            int jumps = 0;
            for (int t = 1; t < TICKS; ++t) {
                const int32_t step = wave[t] - wave[t - 1];
                if (step == 0 || step == direction)
                    continue;
                ++jumps;
                EXPECT_EQ(step, -127 * direction) << "from position " << t;
                EXPECT_TRUE(t == 127 || t == 128) << "a jump from position " << t;
            }
            EXPECT_EQ(jumps, 1);
            EXPECT_EQ(*std::min_element(wave.begin(), wave.end()), -63);
            EXPECT_EQ(*std::max_element(wave.begin(), wave.end()), 64);
        }
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

// What reaches the voice: full gain (127 * 256 units) times volume / 64,
// envelope / 64, fadeout / 65536 and global volume / 64, shared by the
// panning p as (255 - p) / 255 left and p / 255 right, each side rounded.
TEST_F(FullPlayerTest, VoiceLevelsFollowVolumeEnvelopeFadeoutGlobalVolumeAndPanning) {
    struct Case {
        const char* name;
        std::vector<XmCell> rows;
        std::vector<XmEnvelopePoint> envelope;             // volume envelope, on when given
        uint16_t fadeout;                                  // in the file's units (half the engine's)
        std::vector<std::pair<int32_t, int32_t>> expected; // left, right on ticks 0, 1, ...
    };
    // clang-format off
    const Case cases[] = {
        {"volume 64, fully left (panning column C0)", {Note(0xC, 0x40, 0xC0)}, {}, 0, {{32512, 0}}},
        {"volume 32, fully right (8FF)", {Note(0x8, 0xFF)}, {}, 0, {{0, 16256}}},
        {"panning 1: 254 / 255 left, 1 / 255 right, each rounded", {Note(0x8, 0x01, 0x50)}, {}, 0,
         {{32385, 127}}},
        {"global volume 16 (G10) on volume 32, left", {Note(G, 0x10, 0xC0)}, {}, 0, {{4064, 0}}},
        {"global volume 16 from the previous row on volume 64, right",
         {Note(G, 0x10, 0x50), Note(0x8, 0xFF, 0x50)}, {}, 0, {{4048, 4080}, {0, 8128}}},
        {"a flat envelope at 16 on volume 64", {Note(0x8, 0x00, 0x50)}, {{0, 16}, {100, 16}}, 0, {{8128, 0}, {8128, 0}}},
        {"key-off with fadeout 0x4000: half, then nothing, held at nothing",
         {Note(K, 0x00, 0xC0), Cell(0, 0), Cell(0, 0)}, {{0, 64}, {100, 64}},
         0x4000, {{8128, 0}, {0, 0}, {0, 0}}},
        {"a key-off naming an instrument the song lacks: the sample's volume and panning come back, and without "
         "an instrument there is no envelope (full) and no fadeout",
         {Note(0x0, 0x00, 0xC0), {NOTE_FILE_KEY_OFF, 2, 0, 0, 0}, Cell(0, 0)}, {{0, 16}, {100, 16}}, 0x1000,
         {{4064, 0}, {8096, 8160}, {8096, 8160}}},
        {"fadeout 0x1000 a tick: 7/8, 6/8, 5/8 of volume 64 fully right",
         {Note(K, 0x00, 0x50), Cell(0x8, 0xFF), Cell(0, 0)}, {{0, 64}, {100, 64}}, 0x1000,
         {{14168, 14280}, {0, 24384}, {0, 20320}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Play(c.rows, 1, [&](XmSong& xm) {
            if (!c.envelope.empty()) {
                xm.instruments[0].volumeEnvelope = c.envelope;
                xm.instruments[0].volumeType = ENVELOPE_ON;
            }
            xm.instruments[0].fadeout = c.fadeout;
        });
        std::vector<std::pair<int32_t, int32_t>> levels;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            song->tickRoutine(song);
            levels.push_back({ChannelVoice(0)->leftVolume, ChannelVoice(0)->rightVolume});
        }
        EXPECT_EQ(levels, c.expected);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, AutoVibratoSquareWithSweep) {
    // Square wave, depth 8, rate 64 (a quarter cycle per tick): the period
    // moves by wave (64) * (depth so far) / 2^14, cut toward zero, downward
    // (the pitch up) in the first half of the cycle; the position moves
    // before it is read, so tick 0 reads position 64. The sweep raises the
    // depth by 8 * 256 / sweep a tick up to 8 * 256 and no further: sweep 2
    // gets there in two ticks; sweep 3 in steps of 682 (2.66, 5.33 and 7.99
    // period units), then the rest of the way. A key-off stops the sweep
    // where it got to: sweep 4 (512 a tick) released on tick 2 stays at
    // 1024 (4 units) while the note sounds on through its envelope.
    struct Case {
        uint8_t sweep;
        XmCell row;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {2, Note(), {4608 - 4, 4608 + 8, 4608 + 8, 4608 - 8, 4608 - 8, 4608 + 8}},
        {3, Note(), {4608 - 2, 4608 + 5, 4608 + 7, 4608 - 8, 4608 - 8, 4608 + 8}},
        {4, Note(K, 0x02), {4608 - 2, 4608 + 4, 4608 + 4, 4608 - 4, 4608 - 4, 4608 + 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.sweep));
        Play({c.row}, 6, [&](XmSong& xm) {
            Envelope(xm, ENVELOPE_ON | ENVELOPE_SUSTAIN, 0);
            XmInstrument& i = xm.instruments[0];
            i.vibratoType = 1;
            i.vibratoDepth = 8;
            i.vibratoRate = 64;
            i.vibratoSweep = c.sweep;
        });
        EXPECT_EQ(Ticks(6, Field::Period), c.expected);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, AnInstrumentNumberAloneResetsVolumeAndEnvelope) {
    Play({Note(0xC, 0x10), {0, 1, 0, 0, 0}}, 2, [](XmSong& xm) { Envelope(xm, ENVELOPE_ON); });
    EXPECT_EQ(Ticks(4, Field::ChannelVolume), (std::vector<int32_t>{16, 16, 32, 32}));
    EXPECT_EQ(fullPlayer.channels[0].volumeEnvelope.value, 56); // the envelope started again on row 1
    EXPECT_EQ(fullPlayer.channels[0].sent.changes & VOICE_TRIGGER, 0);
}

TEST_F(FullPlayerTest, OnlyANoteStartsASound) {
    // Row 1 of two ticks follows the note C-4 with a cell that holds no note;
    // nothing starts again (it would start silence over the note).
    struct Case {
        const char* name;
        XmCell cell;
        std::vector<int32_t> volumes;
    };
    const Case cases[] = {
        {"instrument 2 of a song that has one: the volume of the empty sample, 0", {0, 2, 0, 0, 0}, {32, 32, 0, 0}},
        {"note 100, beyond the keyboard (1..96) and the key-off (97): no note, the sound goes on",
         {100, 0, 0, 0, 0},
         {32, 32, 32, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Play({Note(), c.cell}, 2);
        std::vector<int32_t> triggers, volumes;
        for (int tick = 0; tick < 4; ++tick) {
            song->tickRoutine(song);
            triggers.push_back(Read(Field::Trigger));
            volumes.push_back(Read(Field::Volume));
        }
        EXPECT_EQ(triggers, (std::vector<int32_t>{1, 0, 0, 0}));
        EXPECT_EQ(volumes, c.volumes);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, TheFadeoutIsFullUntilAKeyOffLowersIt) {
    // A key-off with instrument 1 on a channel that never played, then a
    // note without an instrument number at C40: the note plays instrument
    // 1's sample, still released, and with no fadeout speed nothing has
    // faded, so it sounds at full volume.
    Play({{NOTE_FILE_KEY_OFF, 1, 0, 0, 0}, {C4, 0, 0, 0xC, 0x40}}, 1);
    EXPECT_EQ(Ticks(2, Field::Volume), (std::vector<int32_t>{0, 64}));
    EXPECT_EQ(Read(Field::Trigger), 1);
}

TEST_F(FullPlayerTest, KeyOffWithAnInstrumentNumberBringsTheSampleVolumeBack) {
    // Without a volume envelope a key-off silences the note; with an
    // instrument number beside it the sample's volume returns.
    Play({Note(0xC, 0x10), {NOTE_FILE_KEY_OFF, 1, 0, 0, 0}, {NOTE_FILE_KEY_OFF, 0, 0, 0, 0}}, 1);
    EXPECT_EQ(Ticks(3, Field::Volume), (std::vector<int32_t>{16, 32, 0}));
}

TEST_F(FullPlayerTest, VoiceLevelsAre256TimesFinerSoQuietNotesStillSound) {
    // Full gain is 127 * 256 of VOICE_LEVEL_FULL (the small player's 127 of
    // 255), split linearly by the panning (0 left; 128: 127 parts left, 128
    // right), with the mixer's fine ramps.
    // Volume 1 gives 508 before the split; in the small player's steps it
    // would round to silence.
    for (auto [volume, left, right] : {std::tuple{0x01, 253, 255}, std::tuple{0x40, 16192, 16320}}) {
        Play({Note(0xC, static_cast<uint8_t>(volume))}, 1);
        song->tickRoutine(song);
        const Voice* voice = ChannelVoice(0);
        EXPECT_EQ(mixer.rampShift, RAMP_FINE);
        EXPECT_EQ(voice->leftVolume, left) << volume;
        EXPECT_EQ(voice->rightVolume, right) << volume;
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

TEST_F(FullPlayerTest, AmigaTableArpeggioFollowsTheNoteTable) {
    Play({Note(0x0, 0x0C)}, 3, [](XmSong& xm) { xm.flags = 0; });
    // An octave up halves the Amiga period: C-4 1712, C-5 856; at speed 3
    // tick 1 plays +y, tick 2 +x.
    EXPECT_EQ(Ticks(3, Field::Period), (std::vector<int32_t>{1712, 856, 1712}));
}

} // namespace
