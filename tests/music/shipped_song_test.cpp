// The song the program ships with, as linked into the executable: the shape
// the player was designed for, a loop that comes back seamlessly after more
// than 90 seconds, the honoured effects put to use and nothing else, and a
// cross-check of the file against another reader (libxmp).
#include <set>

#include <xmp.h>

#include "tests/music/music_fixture.h"

namespace {

class ShippedSong : public MusicTest {
protected:
    void SetUp() override {
        MusicTest::SetUp();
#ifdef OWN_SONG
        GTEST_SKIP() << "built with a song of one's own, not the shipped one";
#endif
        ASSERT_TRUE(OsFindResource(nullptr, "MUSIC", RT_RCDATA_TYPE, &bytes)) << "MUSIC is not linked in";
        song = LoadModule("MUSIC");
        ASSERT_NE(song, nullptr);
    }
    uint32_t U32(size_t at) const {
        return bytes.data[at] | bytes.data[at + 1] << 8 | bytes.data[at + 2] << 16 |
               static_cast<uint32_t>(bytes.data[at + 3]) << 24;
    }
    ResourceBytes bytes{};
};

TEST_F(ShippedSong, HasTheShapeThePlayerWasDesignedFor) {
    EXPECT_EQ(U32(60), 276u) << "header size";
    EXPECT_EQ(song->songLength, 32);
    EXPECT_EQ(song->channelCount, 4);
    EXPECT_EQ(song->patternCount, 17);
    EXPECT_EQ(song->orderedPatternCount, 17);
    EXPECT_EQ(song->instrumentCount, 28);
    EXPECT_EQ(song->flags, FLAG_LINEAR_TABLE);
    EXPECT_EQ(song->defaultSpeed, 4);
    EXPECT_EQ(song->defaultBpm, 125);
    EXPECT_LT(song->restartPosition, song->songLength);
    for (int32_t p = 0; p < song->patternCount; ++p)
        EXPECT_EQ(song->patterns[p].rows, 64) << p;
    std::set<uint8_t> loopTypes;
    for (int32_t i = 0; i < song->instrumentCount; ++i) {
        ASSERT_EQ(song->instruments[i].sampleCount, 1) << "instrument " << i + 1;
        const Sample* s = song->instruments[i].samples[0];
        EXPECT_GT(s->length, 0u) << i + 1;
        // 8-bit data widened by the loader: every value has a zero low byte.
        for (uint32_t k = 0; k < s->length; ++k)
            if (s->data[k] & 0xFF)
                FAIL() << "instrument " << i + 1 << " is not 8-bit";
        loopTypes.insert(s->loopType);
    }
    EXPECT_EQ(loopTypes, (std::set<uint8_t>{LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG}));
}

TEST_F(ShippedSong, UsesTheHonouredEffectsAndNothingElse) {
    std::set<std::string> used;
    for (int32_t o = 0; o < song->songLength; ++o) {
        const Pattern& p = song->patterns[song->orders[o]];
        for (int32_t i = 0; i < p.rows * song->channelCount; ++i) {
            const Cell& c = p.cells[i];
            EXPECT_EQ(c.volume, 0) << "volume column in pattern " << int(song->orders[o]);
            if (c.note == NOTE_KEY_OFF)
                used.insert("key-off");
            if (c.effectType == 0 && c.effectParameter == 0)
                continue;
            std::string name(1, "0123456789ABCDEFGHIJK"[c.effectType < 21 ? c.effectType : 0]);
            if (c.effectType == 0xE)
                name += std::to_string(c.effectParameter >> 4);
            used.insert(name);
        }
    }
    // Arpeggio, portamento up and down, tone portamento, vibrato, volume
    // slide, set volume, fine portamento up, speed/tempo and key-off.
    std::set<std::string> expected = {"0", "1", "2", "3", "4", "A", "C", "E1", "F", "key-off"};
    for (const std::string& e : used)
        EXPECT_TRUE(expected.count(e) || e == "K") << "effect " << e << " is not honoured";
    for (const std::string& e : expected)
        EXPECT_TRUE(used.count(e)) << "the song does not use " << e;
}

TEST_F(ShippedSong, LoopsSeamlesslyAfterMoreThanNinetySeconds) {
    // Run the engine alone (no mixing) until the order position turns back.
    StartSmallPlayer(song);
    int64_t frames = 0;
    int32_t speedAtRestart = -1, bpmAtRestart = -1;
    int64_t lastPosition = -1;
    bool looped = false;
    for (int64_t tick = 0; tick < 44100 * 600 / 400 && !looped; ++tick) {
        // The speed and tempo the song arrives with, before the row's own.
        int32_t speedBefore = song->speed, bpmBefore = song->bpm;
        song->tickRoutine(song);
        if (song->tick == 1 || song->speed <= 1) { // a row was just processed
            int64_t position = static_cast<int64_t>(song->orderPosition) * 256 + song->row;
            if (position < lastPosition) {
                looped = true;
                EXPECT_EQ(song->orderPosition, song->restartPosition);
                EXPECT_EQ(song->row, 0);
                // It comes back at the speed and tempo it first arrived with.
                EXPECT_EQ(speedBefore, speedAtRestart);
                EXPECT_EQ(bpmBefore, bpmAtRestart);
                break;
            }
            if (song->orderPosition == song->restartPosition && song->row == 0) {
                speedAtRestart = speedBefore;
                bpmAtRestart = bpmBefore;
            }
            lastPosition = position;
        }
        frames += song->samplesPerTick;
    }
    ASSERT_TRUE(looped);
    EXPECT_GE(frames, 90 * 44100) << "the song loops after " << frames / 44100.0 << " s";
}

TEST_F(ShippedSong, LibxmpReadsTheSameCounts) {
    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data, static_cast<long>(bytes.size)), 0);
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    EXPECT_EQ(info.mod->chn, song->channelCount);
    // libxmp adds one empty pattern of its own to every XM it loads.
    EXPECT_EQ(info.mod->pat, song->patternCount + 1);
    EXPECT_EQ(info.mod->ins, song->instrumentCount);
    EXPECT_EQ(info.mod->smp, song->instrumentCount);
    EXPECT_EQ(info.mod->len, song->songLength);
    EXPECT_EQ(info.mod->rst, song->restartPosition);
    EXPECT_EQ(info.mod->spd, song->defaultSpeed);
    EXPECT_EQ(info.mod->bpm, song->defaultBpm);
    for (int i = 0; i < info.mod->len; ++i)
        EXPECT_EQ(info.mod->xxo[i], song->orders[i]) << i;
    xmp_release_module(context);
    xmp_free_context(context);
}

} // namespace
