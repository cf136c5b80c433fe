// Pattern effects, checked tick by tick against tables of expected values.
#include <iterator>
#include <string>
#include <utility>

#include "music/effects.h"
#include "tests/music/music_fixture.h"

namespace {

struct TickState {
    int32_t period;
    int32_t periodOffset;
    int32_t volume;
    int32_t voiceVolume; // what reached the voice: volume * 255 / 128 at full envelope
};

class EffectTest : public MusicTest {
protected:
    // One channel, a note with instrument 1 on row 0 unless the cell says
    // otherwise; `rows` are the cells of rows 0, 1, ...
    void Play(std::vector<XmCell> rows, uint16_t speed, XmSample sample = LoopedSample()) {
        XmSong xm = TinySong(1, static_cast<uint16_t>(rows.size() + 1), speed);
        xm.instruments[0].samples[0] = sample;
        for (size_t r = 0; r < rows.size(); ++r)
            XmCellAt(xm.patterns[0], 1, static_cast<int>(r), 0) = rows[r];
        ASSERT_NE(Start(xm), nullptr);
    }
    std::vector<TickState> Ticks(int count) {
        std::vector<TickState> states;
        for (int i = 0; i < count; ++i) {
            PlayTick(song);
            states.push_back({playback.channels[0].period, playback.channels[0].periodOffset,
                              playback.channels[0].volume, playback.channels[0].voiceVolume});
        }
        return states;
    }
};

#define EXPECT_COLUMN(states, field, ...)                                                                              \
    do {                                                                                                               \
        const int32_t expected[] = {__VA_ARGS__};                                                                      \
        ASSERT_EQ((states).size(), std::size(expected));                                                               \
        for (size_t i = 0; i < std::size(expected); ++i)                                                               \
            EXPECT_EQ((states)[i].field, expected[i]) << #field " on tick " << i;                                      \
    } while (0)

TEST_F(EffectTest, Arpeggio037AtSpeed6) {
    Play({{49, 1, 0, 0x0, 0x37}}, 6);
    auto t = Ticks(6);
    EXPECT_COLUMN(t, periodOffset, 0, 192, 448, 0, 192, 448);
    EXPECT_COLUMN(t, period, 4608, 4608, 4608, 4608, 4608, 4608);
}

TEST_F(EffectTest, ArpeggioWithParameterZeroLeavesTheFrequency) {
    Play({{49, 1, 0, 0x0, 0x00}}, 4);
    PlayTick(song);
    for (int i = 1; i < 4; ++i) {
        PlayTick(song);
        EXPECT_EQ(playback.channels[0].periodOffset, 0);
        EXPECT_EQ(playback.channels[0].pending & PENDING_FREQUENCY, 0) << i;
    }
}

TEST_F(EffectTest, PortamentoUp104Then100) {
    Play({{49, 1, 0, 0x1, 0x04}, {0, 0, 0, 0x1, 0x00}}, 6);
    auto t = Ticks(12);
    EXPECT_COLUMN(t, period, 4608, 4592, 4576, 4560, 4544, 4528, // 16 per later tick
                  4528, 4512, 4496, 4480, 4464, 4448);           // 100 repeats the memory
}

TEST_F(EffectTest, PortamentoUpStopsAt56) {
    XmSample sample = LoopedSample();
    sample.relativeNote = 23; // note 96 becomes real note 118
    sample.finetune = 56;     // 7680 - 64 * 118 - 28 = 100
    Play({{96, 1, 0, 0x1, 0x0F}}, 4, sample);
    auto t = Ticks(4);
    EXPECT_COLUMN(t, period, 100, 56, 56, 56);
}

TEST_F(EffectTest, PortamentoDownHasNoUpperLimit) {
    Play({{1, 1, 0, 0x2, 0xFF}}, 4);
    auto t = Ticks(4);
    EXPECT_COLUMN(t, period, 7680, 8700, 9720, 10740);
}

TEST_F(EffectTest, TonePortamento48From4608To4000) {
    XmSong xm = TinySong(1, 5, 4);
    XmSample tuned = LoopedSample();
    tuned.finetune = 64; // real note 57: 7680 - 3648 - 32 = 4000
    xm.instruments.push_back(OneSampleInstrument(tuned));
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};      // period 4608
    XmCellAt(xm.patterns[0], 1, 1, 0) = {0, 2, 0, 0, 0};       // the tuned instrument, no note
    XmCellAt(xm.patterns[0], 1, 2, 0) = {58, 0, 0, 0x3, 0x30}; // toward 4000 by 192 per tick
    XmCellAt(xm.patterns[0], 1, 3, 0) = {0, 0, 0, 0x3, 0x00};  // same speed from memory
    ASSERT_NE(Start(xm), nullptr);
    auto t = Ticks(16);
    EXPECT_COLUMN(t, period, 4608, 4608, 4608, 4608, 4608, 4608, 4608, 4608, // rows 0 and 1
                  4608, 4416, 4224, 4032,                                    // row 2
                  4032, 4000, 4000, 4000);                                   // row 3: exactly the target
    EXPECT_EQ(playback.channels[0].portaTarget, 4000);
}

TEST_F(EffectTest, TonePortamentoRowDoesNotRestartTheSample) {
    Play({{49, 1, 0, 0, 0}, {61, 0, 0, 0x3, 0x10}}, 2);
    Ticks(2);
    Voice* voice = ChannelVoice(0);
    Ticks(1);
    EXPECT_EQ(ChannelVoice(0), voice);
    EXPECT_EQ(playback.channels[0].pending & (PENDING_TRIGGER | PENDING_FREQUENCY), 0);
}

TEST_F(EffectTest, VibratoSineTellingValues) {
    const std::pair<int, int> table[] = {{0, 0},    {4, 97},  {28, 97}, {8, 181}, {24, 181},  {12, 236}, {20, 236},
                                         {16, 255}, {31, 25}, {-32, 0}, {-4, 97}, {-16, 255}, {-31, 25}};
    for (auto [position, value] : table)
        EXPECT_EQ(VibratoSine(position), value) << position;
    Channel channel{};
    channel.vibratoPosition = 16;
    channel.vibratoDepth = 15;
    ApplyVibrato(&channel);
    EXPECT_EQ(channel.periodOffset, -116);
    channel.vibratoDepth = 2;
    ApplyVibrato(&channel);
    EXPECT_EQ(channel.periodOffset, -12);
    channel.vibratoPosition = -16;
    ApplyVibrato(&channel);
    EXPECT_EQ(channel.periodOffset, 12);
}

TEST_F(EffectTest, VibratoPositionWrapsOnlyAbove31) {
    const struct {
        int8_t position;
        uint8_t speed;
        int8_t next;
    } cases[] = {{30, 1, 31}, {31, 1, -32}, {20, 11, 31}, {25, 15, -24}, {-32, 15, -17}, {16, 0, 16}};
    Module module{};
    module.flags = FLAG_LINEAR_TABLE;
    const Cell vibrato{0, 0, 0, EFFECT_VIBRATO, 0};
    for (const auto& c : cases) {
        Channel channel{};
        channel.vibratoPosition = c.position;
        channel.vibratoSpeed = c.speed;
        ApplyTickEffect(&module, &channel, &vibrato);
        EXPECT_EQ(channel.vibratoPosition, c.next) << int(c.position) << " + " << int(c.speed);
    }
}

TEST_F(EffectTest, Vibrato4A2PositionsAndOffsets) {
    Play({{49, 1, 0, 0x4, 0xA2}, {0, 0, 0, 0x4, 0xA2}}, 6);
    std::vector<int> positions;
    std::vector<TickState> t;
    for (int i = 0; i < 9; ++i) {
        positions.push_back(playback.channels[0].vibratoPosition);
        PlayTick(song);
        t.push_back({playback.channels[0].period, playback.channels[0].periodOffset, playback.channels[0].volume,
                     playback.channels[0].voiceVolume});
    }
    // Position before each tick: it moves only on later ticks, by 10, wrapping above 31.
    const int expectedPositions[] = {0, 0, 10, 20, 30, -24, -14, -14, -4};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(positions[i], expectedPositions[i]) << i;
    // Offsets: sine value times depth 2, shifted by 5, low two bits cleared;
    // the pitch goes down first. Row 1's tick 0 and first later tick agree.
    EXPECT_COLUMN(t, periodOffset, 0, 0, -12, -12, 0, 8, 12, 12, 4);
}

TEST_F(EffectTest, VolumeSlides) {
    struct Case {
        const char* name;
        uint8_t parameter;
        uint8_t startVolume;
        int32_t volumes[6];
        int32_t voiceVolumes[6]; // every later tick carries the slide to the voice
    };
    const Case cases[] = {
        {"A0F lowers by 15 to 0", 0x0F, 64, {64, 49, 34, 19, 4, 0}, {127, 97, 67, 37, 7, 0}},
        {"AF0 raises by 15 to 64", 0xF0, 10, {10, 25, 40, 55, 64, 64}, {19, 49, 79, 109, 127, 127}},
        {"AFF only raises", 0xFF, 10, {10, 25, 40, 55, 64, 64}, {19, 49, 79, 109, 127, 127}},
        {"A00 without memory changes nothing", 0x00, 30, {30, 30, 30, 30, 30, 30}, {59, 59, 59, 59, 59, 59}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Play({{49, 1, 0, 0xA, c.parameter}}, 6, LoopedSample(64, c.startVolume));
        auto t = Ticks(6);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(t[i].volume, c.volumes[i]) << "tick " << i;
            EXPECT_EQ(t[i].voiceVolume, c.voiceVolumes[i]) << "tick " << i;
        }
    }
}

TEST_F(EffectTest, SetVolumeC50GoesAbove64) {
    Play({{49, 1, 0, 0xC, 0x50}}, 2);
    Ticks(1);
    EXPECT_EQ(playback.channels[0].volume, 80);
    EXPECT_EQ(playback.channels[0].voiceVolume, 159);
}

TEST_F(EffectTest, FinePortamentoUpE12ThenE10) {
    Play({{49, 1, 0, 0xE, 0x12}, {0, 0, 0, 0xE, 0x10}, {0, 0, 0, 0xE, 0x50}}, 3);
    auto t = Ticks(9);
    EXPECT_COLUMN(t, period, 4600, 4600, 4600, 4592, 4592, 4592, 4592, 4592, 4592);
}

TEST_F(EffectTest, SpeedAndTempo) {
    struct Case {
        uint8_t parameter;
        int32_t speed;
        int32_t bpm;
        int32_t samplesPerTick;
    };
    const Case cases[] = {
        {0x04, 4, 125, 882}, {0x1F, 31, 125, 882}, {0x20, 6, 32, 3445}, {0x00, 0, 125, 882}, {0xFF, 6, 255, 432}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.parameter));
        TearDown();
        SetUp();
        Play({{0, 0, 0, 0xF, c.parameter}}, 6);
        Ticks(1);
        EXPECT_EQ(song->speed, c.speed);
        EXPECT_EQ(song->bpm, c.bpm);
        EXPECT_EQ(song->samplesPerTick, c.samplesPerTick);
    }
}

TEST_F(EffectTest, VolumeColumnAndIgnoredEffectsChangeNothing) {
    Play({{49, 1, 0x20, 0x0, 0x00}, {0, 0, 0x60, 0x7, 0x44}, {0, 0, 0x10, 0xE, 0x22}, {0, 0, 0, 0x9, 0x10}}, 2);
    auto t = Ticks(8);
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].volume, 64) << i;
        EXPECT_EQ(t[i].period, 4608) << i;
        EXPECT_EQ(t[i].periodOffset, 0) << i;
    }
}

// Rows of cells on one channel, under either frequency table, with the
// period, the tick's offset and the volume after every tick. The periods are
// worked by hand: C-4 (note 49) is 4608 linear and 1712 Amiga, C-5 (61) 3840
// and 856, C-3 (37) 5376, C-0 (1) 7680, and B-7 (96) 113 on the Amiga table
// (its B at 907, four octaves up). Slides move 4 units per parameter step.
struct RowsCase {
    const char* name;
    bool linear;
    uint16_t speed;
    std::vector<XmCell> rows;
    std::vector<int32_t> periods; // empty: not checked
    std::vector<int32_t> offsets;
    std::vector<int32_t> volumes;
};

// clang-format off
const RowsCase ROWS_CASES[] = {
    // Portamento on the Amiga table, both directions, then from memory.
    {"104 100 Amiga", false, 3, {{49, 1, 0, 0x1, 0x04}, {0, 0, 0, 0x1, 0x00}},
     {1712, 1696, 1680, 1680, 1664, 1648}, {}, {}},
    {"204 200 Amiga", false, 3, {{49, 1, 0, 0x2, 0x04}, {0, 0, 0, 0x2, 0x00}},
     {1712, 1728, 1744, 1744, 1760, 1776}, {}, {}},
    {"204 200 linear", true, 3, {{49, 1, 0, 0x2, 0x04}, {0, 0, 0, 0x2, 0x00}},
     {4608, 4624, 4640, 4640, 4656, 4672}, {}, {}},
    {"1FF moves 1020 per tick", true, 3, {{49, 1, 0, 0x1, 0xFF}}, {4608, 3588, 2568}, {}, {}},
    {"2FF on Amiga", false, 3, {{1, 1, 0, 0x2, 0xFF}}, {27392, 28412, 29432}, {}, {}},
    // Up and down keep memories of their own.
    {"104 then 200 has no down speed", true, 3, {{49, 1, 0, 0x1, 0x04}, {0, 0, 0, 0x2, 0x00}},
     {4608, 4592, 4576, 4576, 4576, 4576}, {}, {}},
    {"204 then 100 has no up speed", true, 3, {{49, 1, 0, 0x2, 0x04}, {0, 0, 0, 0x1, 0x00}},
     {4608, 4624, 4640, 4640, 4640, 4640}, {}, {}},
    {"202 after 308 slides away from the tone portamento's target", true, 3,
     {{49, 1, 0, 0, 0}, {0, 0, 0, 0x3, 0x08}, {0, 0, 0, 0x2, 0x02}},
     {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4616, 4624}, {}, {}},
    {"10F holds at 56 on Amiga", false, 4, {{96, 1, 0, 0x1, 0x0F}}, {113, 56, 56, 56}, {}, {}},
    // Fine portamento up: once per row, on tick 0, and without the limit of 1xx.
    {"E12 E10 Amiga", false, 2, {{49, 1, 0, 0xE, 0x12}, {0, 0, 0, 0xE, 0x10}}, {1704, 1704, 1696, 1696}, {}, {}},
    {"E1F passes 56", false, 2, {{96, 1, 0, 0xE, 0x1F}, {0, 0, 0, 0xE, 0x10}}, {53, 53, -7, -7}, {}, {}},
    // Tone portamento both ways, landing exactly on the target, then holding.
    {"340 up", true, 4, {{37, 1, 0, 0, 0}, {49, 0, 0, 0x3, 0x40}, {0, 0, 0, 0x3, 0x00}},
     {5376, 5376, 5376, 5376, 5376, 5120, 4864, 4608, 4608, 4608, 4608, 4608}, {}, {}},
    {"340 down", true, 4, {{61, 1, 0, 0, 0}, {49, 0, 0, 0x3, 0x40}, {0, 0, 0, 0x3, 0x00}},
     {3840, 3840, 3840, 3840, 3840, 4096, 4352, 4608, 4608, 4608, 4608, 4608}, {}, {}},
    {"350 down overshoots to the target", true, 4, {{49, 1, 0, 0, 0}, {61, 0, 0, 0x3, 0x50}},
     {4608, 4608, 4608, 4608, 4608, 4288, 3968, 3840}, {}, {}},
    {"350 up overshoots to the target", true, 4, {{61, 1, 0, 0, 0}, {49, 0, 0, 0x3, 0x50}},
     {3840, 3840, 3840, 3840, 3840, 4160, 4480, 4608}, {}, {}},
    {"340 up Amiga", false, 4, {{49, 1, 0, 0, 0}, {61, 0, 0, 0x3, 0x40}, {0, 0, 0, 0x3, 0x00}},
     {1712, 1712, 1712, 1712, 1712, 1456, 1200, 944, 944, 856, 856, 856}, {}, {}},
    {"340 down Amiga", false, 4, {{61, 1, 0, 0, 0}, {49, 0, 0, 0x3, 0x40}, {0, 0, 0, 0x3, 0x00}},
     {856, 856, 856, 856, 856, 1112, 1368, 1624, 1624, 1712, 1712, 1712}, {}, {}},
    {"3FF moves 1020 per tick", true, 4, {{1, 1, 0, 0, 0}, {49, 0, 0, 0x3, 0xFF}, {0, 0, 0, 0x3, 0x00}},
     {7680, 7680, 7680, 7680, 7680, 6660, 5640, 4620, 4620, 4608, 4608, 4608}, {}, {}},
    // Without a note the target is the period of the last note read.
    {"308 without a note slides back to the note", true, 3, {{49, 1, 0, 0xE, 0x1F}, {0, 0, 0, 0x3, 0x08}},
     {4548, 4548, 4548, 4548, 4580, 4608}, {}, {}},
    // Arpeggio: each nibble alone; no offsets on the Amiga table.
    {"030", true, 6, {{49, 1, 0, 0x0, 0x30}}, {}, {0, 192, 0, 0, 192, 0}, {}},
    {"007", true, 6, {{49, 1, 0, 0x0, 0x07}}, {}, {0, 0, 448, 0, 0, 448}, {}},
    {"037 Amiga", false, 6, {{49, 1, 0, 0x0, 0x37}}, {1712, 1712, 1712, 1712, 1712, 1712}, {0, 0, 0, 0, 0, 0}, {}},
    // Vibrato memories, nibble by nibble; offsets alike on both tables.
    {"4A2 400", true, 3, {{49, 1, 0, 0x4, 0xA2}, {0, 0, 0, 0x4, 0x00}}, {}, {0, 0, -12, -12, -12, 0}, {}},
    {"4A2 405 keeps the speed", true, 3, {{49, 1, 0, 0x4, 0xA2}, {0, 0, 0, 0x4, 0x05}}, {}, {0, 0, -12, -36, -36, -4}, {}},
    {"4A2 430 keeps the depth", true, 4, {{49, 1, 0, 0x4, 0xA2}, {0, 0, 0, 0x4, 0x30}},
     {}, {0, 0, -12, -12, 0, 0, 0, 4}, {}},
    {"4A2 400 Amiga", false, 3, {{49, 1, 0, 0x4, 0xA2}, {0, 0, 0, 0x4, 0x00}},
     {1712, 1712, 1712, 1712, 1712, 1712}, {0, 0, -12, -12, -12, 0}, {}},
    // C sets the volume only, whatever its nibbles would mean to E.
    {"C1F", true, 2, {{49, 1, 0, 0xC, 0x1F}}, {4608, 4608}, {}, {31, 31}},
    // Tone portamento after vibrato: no vibrato of its own.
    {"4A2 then 340", true, 3, {{49, 1, 0, 0x4, 0xA2}, {61, 0, 0, 0x3, 0x40}},
     {4608, 4608, 4608, 4608, 4352, 4096}, {0, 0, -12, 0, 0, 0}, {}},
    // Volume slide memories and both nibbles of the memory.
    {"A0F A00", true, 3, {{49, 1, 0, 0xA, 0x0F}, {0, 0, 0, 0xA, 0x00}}, {}, {}, {64, 49, 34, 34, 19, 4}},
    {"C10 A30 A00 A01", true, 3,
     {{49, 1, 0, 0xC, 0x10}, {0, 0, 0, 0xA, 0x30}, {0, 0, 0, 0xA, 0x00}, {0, 0, 0, 0xA, 0x01}},
     {}, {}, {16, 16, 16, 16, 19, 22, 22, 25, 28, 28, 27, 26}},
};
// clang-format on

TEST_F(EffectTest, EveryEffectOnBothTablesBothWaysAndFromMemory) {
    for (const RowsCase& c : ROWS_CASES) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        XmSong xm = TinySong(1, static_cast<uint16_t>(c.rows.size() + 1), c.speed);
        xm.flags = c.linear ? 1 : 0;
        for (size_t r = 0; r < c.rows.size(); ++r)
            XmCellAt(xm.patterns[0], 1, static_cast<int>(r), 0) = c.rows[r];
        ASSERT_NE(Start(xm), nullptr);
        std::vector<TickState> t;
        std::vector<uint64_t> steps;
        for (int i = 0; i < static_cast<int>(c.rows.size()) * c.speed; ++i) {
            t.push_back(Ticks(1)[0]);
            steps.push_back((uint64_t{ChannelVoice(0)->stepInteger} << 32) | ChannelVoice(0)->stepFraction);
        }
        for (size_t i = 0; i < t.size(); ++i) {
            // Every change of pitch reaches the voice on its own tick, except
            // on a tone-portamento row's tick 0, which leaves the pitch alone.
            if (i > 0) {
                const bool tonePortaRowStart = i % c.speed == 0 && c.rows[i / c.speed].effectType == 0x3;
                const bool changed = t[i].period + t[i].periodOffset != t[i - 1].period + t[i - 1].periodOffset;
                EXPECT_EQ(changed && !tonePortaRowStart, steps[i] != steps[i - 1]) << "step on tick " << i;
            }
            if (!c.periods.empty()) {
                EXPECT_EQ(t[i].period, c.periods.at(i)) << "period on tick " << i;
            }
            if (!c.offsets.empty()) {
                EXPECT_EQ(t[i].periodOffset, c.offsets.at(i)) << "offset on tick " << i;
            }
            if (!c.volumes.empty()) {
                EXPECT_EQ(t[i].volume, c.volumes.at(i)) << "volume on tick " << i;
            }
        }
    }
}

TEST_F(EffectTest, MemoriesSurviveNotesAndInstruments) {
    Play({{49, 1, 0, 0x2, 0x03}, {50, 1, 0, 0x2, 0x00}}, 2);
    auto t = Ticks(4);
    EXPECT_COLUMN(t, period, 4608, 4620, 4544, 4556);
}

} // namespace
