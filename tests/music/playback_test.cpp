// The playback engine: timing, order positions, notes, instruments, key-off.
#include <cmath>
#include <string>
#include <utility>

#include "music/pitch.h"
#include "music/tempo.h"
#include "tests/music/music_fixture.h"

namespace {

class EngineTest : public MusicTest {
protected:
    // Runs ticks until `rows` rows have started; returns (order, row) of each.
    std::vector<std::pair<int, int>> RowStarts(int rows) {
        std::vector<std::pair<int, int>> starts;
        for (int guard = 0; static_cast<int>(starts.size()) < rows && guard < 10000; ++guard) {
            bool rowTick = song->tick == 0;
            PlayTick(song);
            if (rowTick)
                starts.emplace_back(song->orderPosition, song->row);
        }
        return starts;
    }
};

TEST_F(EngineTest, SamplesPerTickIsTheWholePartOf110250OverTheTempo) {
    Module m{};
    for (int bpm = 32; bpm <= 255; ++bpm) {
        SetTempo(&m, bpm);
        EXPECT_EQ(m.samplesPerTick, 110250 / bpm) << bpm;
        EXPECT_EQ(m.bpm, bpm);
    }
    SetTempo(&m, 125);
    EXPECT_EQ(m.samplesPerTick, 882);
    SetTempo(&m, 0); // never a tick without frames
    EXPECT_GE(m.samplesPerTick, 1);
}

TEST_F(EngineTest, RowsAdvanceEvery3528FramesAtSpeed4And125Bpm) {
    ASSERT_NE(Start(TinySong(1, 8, 4, 125)), nullptr);
    std::vector<int64_t> rowFrames;
    int64_t frames = 0;
    for (int tick = 0; tick < 4 * 5; ++tick) {
        if (song->tick == 0)
            rowFrames.push_back(frames);
        PlayTick(song);
        frames += song->samplesPerTick;
    }
    ASSERT_EQ(rowFrames.size(), 5u);
    for (size_t i = 0; i < rowFrames.size(); ++i)
        EXPECT_EQ(rowFrames[i], static_cast<int64_t>(i) * 3528);
}

struct RestartCase {
    const char* name;
    uint16_t restart;
    int expectedOrderAfterEnd;
};

const RestartCase restartTestCases[] = {
    RestartCase{"StartOver", 0, 0},         RestartCase{"FromTheSecond", 1, 1},
    RestartCase{"LastEntry", 2, 2},         RestartCase{"AtSongLengthIsZero", 3, 0},
    RestartCase{"FarBeyondIsZero", 200, 0}, RestartCase{"TopBitSetIsZero", 0xFFFF, 0},
};

class RestartTest : public EngineTest {
protected:
    void Check(const RestartCase& c);
};

TEST_F(RestartTest, TheSongLoopsToItsRestartPosition) {
    for (const RestartCase& c : restartTestCases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        Check(c);
    }
}

void RestartTest::Check(const RestartCase& c) {
    XmSong xm = TinySong(1, 2, 1);
    xm.orders = {0, 0, 0};
    xm.restartPosition = c.restart;
    ASSERT_NE(Start(xm), nullptr);
    auto starts = RowStarts(8);
    const std::pair<int, int> head[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(starts[i], head[i]) << i;
    EXPECT_EQ(starts[6], std::make_pair(c.expectedOrderAfterEnd, 0));
    EXPECT_EQ(starts[7], std::make_pair(c.expectedOrderAfterEnd, 1));
}

TEST_F(EngineTest, F00MakesEveryTickARow) {
    XmSong xm = TinySong(1, 16, 6);
    XmCellAt(xm.patterns[0], 1, 1, 0) = {0, 0, 0, 0xF, 0x00};
    ASSERT_NE(Start(xm), nullptr);
    for (int i = 0; i < 6; ++i)
        PlayTick(song); // row 0
    PlayTick(song);     // row 1: F00
    EXPECT_EQ(song->speed, 0);
    for (int row = 2; row < 6; ++row) {
        PlayTick(song);
        EXPECT_EQ(song->row, row);
        EXPECT_EQ(song->tick, 0);
    }
}

TEST_F(EngineTest, PatternsWithoutCellsPlayEmptyRows) {
    XmSong xm = TinySong(0, 4, 1); // no channels: no pattern has cells
    xm.orders = {0, 0};
    ASSERT_NE(Start(xm), nullptr);
    auto starts = RowStarts(10);
    EXPECT_EQ(starts[4], std::make_pair(1, 0));
    std::vector<int16_t> pcm = Render(song, 4000);
    for (int16_t v : pcm)
        ASSERT_EQ(v, 0);

    XmSong zeroRows = TinySong(2, 0, 1);
    zeroRows.orders = {0, 1};
    zeroRows.patterns.push_back(zeroRows.patterns[0]);
    FreeModule(song);
    ASSERT_NE(Start(zeroRows), nullptr);
    starts = RowStarts(4);
    EXPECT_EQ(starts[1], std::make_pair(1, 0));
    EXPECT_EQ(starts[2], std::make_pair(0, 0));
}

TEST_F(EngineTest, InstrumentWithoutNoteResetsVolumeAndKeepsTheSoundRunning) {
    XmSong xm = TinySong(1, 4, 2);
    xm.instruments[0].samples[0].volume = 40;
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0xC, 0x10};
    XmCellAt(xm.patterns[0], 1, 1, 0) = {0, 1, 0, 0, 0};
    ASSERT_NE(Start(xm), nullptr);
    Render(song, 2 * 882); // row 0: volume 16
    EXPECT_EQ(playback.channels[0].volume, 16);
    Voice* voice = ChannelVoice(0);
    Render(song, 10); // row 1 begins
    EXPECT_EQ(playback.channels[0].volume, 40);
    EXPECT_EQ(ChannelVoice(0), voice); // no note start
    EXPECT_GT(voice->position + voice->positionFraction, 0u);
    EXPECT_EQ(playback.channels[0].voiceVolume, 40 * 127 / 64);
}

TEST_F(EngineTest, NoteWithoutInstrumentOnAFreshChannelIsSilent) {
    XmSong xm = TinySong(1, 4, 2);
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 0, 0, 0, 0};
    ASSERT_NE(Start(xm), nullptr);
    std::vector<int16_t> pcm = Render(song, 4000);
    EXPECT_NE(mixer.voices[0].sample, nullptr); // it did start, at level 0
    for (int16_t v : pcm)
        ASSERT_EQ(v, 0);
}

TEST_F(EngineTest, KeyOffSilencesFadesAndOnlyAnInstrumentBringsTheSoundBack) {
    XmSong xm = TinySong(1, 5, 3);
    xm.instruments[0].fadeout = 1000; // 2000 per tick once doubled
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 1, 0) = {255, 0, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 2, 0) = {50, 0, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 3, 0) = {51, 1, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 4, 0) = {52, 0, 0, 20, 0}; // K00
    ASSERT_NE(Start(xm), nullptr);
    for (int i = 0; i < 3; ++i)
        PlayTick(song);
    EXPECT_EQ(playback.channels[0].voiceVolume, 127);
    PlayTick(song); // row 1: key off
    EXPECT_EQ(playback.channels[0].keyOff, 1);
    EXPECT_EQ(playback.channels[0].envelopeVolume, 0);
    EXPECT_EQ(playback.channels[0].fadeoutVolume, 65536 - 2000);
    EXPECT_EQ(playback.channels[0].note, 48); // the key off keeps the note
    EXPECT_EQ(playback.channels[0].voiceVolume, 0);
    PlayTick(song);
    PlayTick(song);
    EXPECT_EQ(playback.channels[0].fadeoutVolume, 65536 - 3 * 2000);
    PlayTick(song); // row 2: a note alone stays silent
    EXPECT_EQ(playback.channels[0].note, 49);
    EXPECT_EQ(playback.channels[0].voiceVolume, 0);
    EXPECT_EQ(playback.channels[0].fadeoutVolume, 65536 - 4 * 2000);
    for (int i = 0; i < 3; ++i)
        PlayTick(song); // row 3: note and instrument
    EXPECT_EQ(playback.channels[0].keyOff, 0);
    EXPECT_EQ(playback.channels[0].fadeoutVolume, 65536);
    EXPECT_EQ(playback.channels[0].voiceVolume, 127);
    for (int i = 0; i < 3; ++i)
        PlayTick(song); // row 4: effect K keys off whatever its parameter
    EXPECT_EQ(playback.channels[0].keyOff, 1);
    EXPECT_EQ(playback.channels[0].voiceVolume, 0);
}

TEST_F(EngineTest, FadeoutStopsAtZero) {
    XmSong xm = TinySong(1, 4, 6);
    xm.instruments[0].fadeout = 0x7FFF; // 65534 per tick
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 20, 0};
    ASSERT_NE(Start(xm), nullptr);
    for (int i = 0; i < 4; ++i)
        PlayTick(song);
    EXPECT_EQ(playback.channels[0].fadeoutVolume, 0);
}

TEST_F(EngineTest, NoteOnATonePortamentoRowOnlySetsTheTarget) {
    XmSong xm = TinySong(1, 4, 2);
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 1, 0) = {61, 0, 0, 3, 0};
    ASSERT_NE(Start(xm), nullptr);
    Render(song, 882 * 2);
    Voice* voice = ChannelVoice(0);
    uint32_t position = voice->position;
    Render(song, 1); // row 1 starts
    EXPECT_EQ(playback.channels[0].note, 48);
    EXPECT_EQ(playback.channels[0].period, 4608);
    EXPECT_EQ(playback.channels[0].notePeriod, 3840);
    EXPECT_EQ(playback.channels[0].portaTarget, 3840);
    EXPECT_EQ(ChannelVoice(0), voice);
    EXPECT_GE(voice->position, position); // not restarted
}

TEST_F(EngineTest, InstrumentOnATonePortamentoRowResetsFromTheChannelsOwnInstrument) {
    // The row's instrument number is not taken, yet it resets the channel
    // from the sample the channel already plays: volume 64 of instrument 1,
    // not 20 of instrument 2 nor the 16 set before; and the target comes
    // from instrument 1's tuning (C-5 is 3840), not instrument 2's octave up.
    XmSong xm = TinySong(1, 4, 2);
    XmSample other = LoopedSample(64, 20, 40);
    other.relativeNote = 12;
    xm.instruments.push_back(OneSampleInstrument(other));
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0xC, 0x10};
    XmCellAt(xm.patterns[0], 1, 1, 0) = {61, 2, 0, 0x3, 0x10};
    ASSERT_NE(Start(xm), nullptr);
    Render(song, 882 * 2);
    ASSERT_EQ(playback.channels[0].volume, 16);
    Voice* voice = ChannelVoice(0);
    Render(song, 1); // row 1 starts
    EXPECT_EQ(playback.channels[0].instrument, 0);
    EXPECT_EQ(playback.channels[0].note, 48);
    EXPECT_EQ(playback.channels[0].volume, 64);
    EXPECT_EQ(playback.channels[0].panning, 128);
    EXPECT_EQ(playback.channels[0].period, 4608);
    EXPECT_EQ(playback.channels[0].portaTarget, 3840);
    EXPECT_EQ(ChannelVoice(0), voice); // no note start
    EXPECT_EQ(playback.channels[0].voiceVolume, 127);
}

TEST_F(EngineTest, NoteWithEffect5RestartsAtTheUnchangedPeriod) {
    XmSong xm = TinySong(1, 4, 2);
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 1, 0) = {61, 0, 0, 5, 0};
    ASSERT_NE(Start(xm), nullptr);
    Render(song, 882 * 2);
    Voice* before = ChannelVoice(0);
    Render(song, 1);
    EXPECT_NE(ChannelVoice(0), before); // moved to the partner: a note start
    EXPECT_EQ(playback.channels[0].period, 4608);
    EXPECT_EQ(playback.channels[0].notePeriod, 3840);
}

struct BadNumberCase {
    const char* name;
    XmCell cell;
};

const BadNumberCase badNumberTestCases[] = {
    BadNumberCase{"InstrumentTwoOfOne", {49, 2, 0, 0, 0}},
    BadNumberCase{"Instrument128", {49, 128, 0, 0, 0}},
    BadNumberCase{"NoteAbove97IsNoNote", {120, 1, 0, 0, 0}},
    BadNumberCase{"Note254IsNoNote", {254, 1, 0, 0, 0}},
};

class BadNumberTest : public EngineTest {
protected:
    void Check(const BadNumberCase& c);
};

TEST_F(BadNumberTest, PlaysSilenceWithoutFailing) {
    for (const BadNumberCase& c : badNumberTestCases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        Check(c);
    }
}

void BadNumberTest::Check(const BadNumberCase& c) {
    XmSong xm = TinySong(1, 4, 2);
    XmCellAt(xm.patterns[0], 1, 0, 0) = c.cell;
    ASSERT_NE(Start(xm), nullptr);
    std::vector<int16_t> pcm = Render(song, 8000);
    for (int16_t v : pcm)
        ASSERT_EQ(v, 0);
}

TEST_F(EngineTest, KeymapSlotsBeyondTheSamplesPlayTheEmptySample) {
    XmSong xm = TinySong(1, 4, 2);
    xm.instruments[0].keymap.fill(16);
    xm.instruments[0].keymap[48] = 1; // slot 1 is empty in a one-sample instrument
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};
    XmCellAt(xm.patterns[0], 1, 2, 0) = {50, 1, 0, 0, 0};
    ASSERT_NE(Start(xm), nullptr);
    std::vector<int16_t> pcm = Render(song, 882 * 8);
    for (int16_t v : pcm)
        ASSERT_EQ(v, 0);
}

struct PeriodCase {
    bool linearTable;
    uint8_t realNote;
    int8_t finetune;
    int32_t period;
};

TEST_F(EngineTest, NotePeriodsOfBothTables) {
    const PeriodCase cases[] = {
        {true, 48, 0, 4608},   {true, 48, -128, 4672},  {true, 48, 127, 4545}, {true, 0, 0, 7680},
        {true, 95, 0, 1600},   {false, 48, 0, 1712},    {false, 60, 0, 856},   {false, 36, 0, 3424},
        {false, 47, 0, 1814},  {false, 48, -128, 1814}, {false, 48, 8, 1706},  {false, 57, 0, 1016},
        {false, 59, 127, 856},
    };
    for (const PeriodCase& c : cases) {
        Module m{};
        m.flags = c.linearTable ? FLAG_LINEAR_TABLE : 0;
        EXPECT_EQ(NotePeriod(&m, c.realNote, c.finetune), c.period)
            << (c.linearTable ? "linear " : "amiga ") << int(c.realNote) << " finetune " << int(c.finetune);
    }
}

// The format's Amiga period table: entry 8 * n + k is note n of an octave
// (C = 0) at finetune 16 * k - 128, so C at finetune 0 is entry 8, 856.
// Real notes 48..59 (C-4..B-4) at those finetunes, which need no
// interpolation, give twice each entry.
// clang-format off
constexpr int16_t FORMAT_AMIGA_PERIODS[96] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457};
// clang-format on

TEST_F(EngineTest, AmigaPeriodsAreTheFormatsTableAtEveryFinetuneStep) {
    Module m{};
    m.flags = 0;
    for (int note = 0; note < 12; ++note)
        for (int step = 0; step < 8; ++step)
            EXPECT_EQ(NotePeriod(&m, static_cast<uint8_t>(48 + note), static_cast<int8_t>(16 * step - 128)),
                      2 * FORMAT_AMIGA_PERIODS[8 * note + step])
                << "note " << note << " finetune " << 16 * step - 128;
}

TEST_F(EngineTest, AmigaTableSongPlaysAtPitch) {
    XmSong xm = TinySong(1, 4, 2);
    xm.flags = 0;
    XmCellAt(xm.patterns[0], 1, 0, 0) = {49, 1, 0, 0, 0};
    ASSERT_NE(Start(xm), nullptr);
    PlayTick(song);
    EXPECT_EQ(playback.channels[0].period, 1712);
    EXPECT_EQ(ChannelVoice(0)->stepInteger, 0u);
    EXPECT_EQ(ChannelVoice(0)->stepFraction, static_cast<uint32_t>((8362ull << 32) / 44100));
}

TEST_F(EngineTest, SongStartClearsChannelsAndSetsTheTickRoutineAndRamps) {
    XmSong xm = TinySong(3, 4, 5, 150);
    song = LoadBytes(BuildXm(xm));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->tickRoutine, nullptr) << "the loader leaves the player to the start";
    StartSmallPlayer(song);
    EXPECT_EQ(song->tickRoutine, &PlayTick);
    EXPECT_EQ(mixer.rampShift, RAMP_COARSE);
    playback.channels[2].volume = 50;
    song->row = 3;
    ResetSongPosition(song);
    EXPECT_EQ(playback.channels[2].volume, 0);
    EXPECT_EQ(song->speed, 5);
    EXPECT_EQ(song->bpm, 150);
    EXPECT_EQ(song->samplesPerTick, 735);
    EXPECT_EQ(song->globalVolume, 64);
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->nextRow, -1);
    EXPECT_EQ(song->nextOrderPosition, -1);
}

} // namespace
