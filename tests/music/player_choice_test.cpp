// The content's choice of player: a resource "PLAYER" holding "small" or
// "full" starts the song on that engine where the linked music library has
// it, and anything else leaves the build's default. Built into both suites:
// music_tests (the small library, which has no full player to choose) and
// music_full_tests (the full library, both players, the full one its
// default). What MusicStart renders into the ring is compared with the same
// start through playerStart, as xmrender --small / --full does it.
#include <string>
#include <vector>

#include "music/full/full_engine.h"
#include "music/player.h"
#include "tests/music/music_fixture.h"

namespace {

enum class Engine { Small, Full, Default };

// Two channels, one note each, from an instrument with a falling volume
// envelope and a sample panned left of centre: the full player follows the
// envelope and its own pan law, the small player neither, so the two
// renders differ from the first tick on.
std::vector<uint8_t> SongTheyPlayApart() {
    XmSong song = TinySong(2);
    XmInstrument& instrument = song.instruments[0];
    instrument.samples[0].panning = 40;
    instrument.volumeEnvelope = {{0, 64}, {20, 8}, {40, 32}};
    instrument.volumeType = 1;
    XmCellAt(song.patterns[0], song.channels, 0, 0) = XmCell{49, 1, 0, 0, 0};
    XmCellAt(song.patterns[0], song.channels, 0, 1) = XmCell{56, 1, 0, 0, 0};
    return BuildXm(song);
}

class PlayerChoiceTest : public MusicTest {
protected:
    // The whole ring as MusicStart pre-fills it (2 s of sound), the song
    // started on `engine` chosen through playerStart or, with `player`,
    // through the resource.
    std::vector<int16_t> StartAndRender(const std::vector<uint8_t>& song, const std::string* player,
                                        SongStartRoutine engine) {
        ResetCase();
        if (engine)
            playerStart = engine;
        if (player)
            HeadlessSetResource("PLAYER", RT_RCDATA_TYPE, std::vector<uint8_t>(player->begin(), player->end()));
        EXPECT_TRUE(StartMusic(song, false));
        const int16_t* ring = OutputRing();
        std::vector<int16_t> pcm(ring, ring + 2 * static_cast<size_t>(output.ringFrames));
        MusicStop();
        return pcm;
    }
};

TEST_F(PlayerChoiceTest, PlayerResourceChoosesTheEngineOrLeavesTheDefault) {
    const std::vector<uint8_t> song = SongTheyPlayApart();
    const std::vector<int16_t> small = StartAndRender(song, nullptr, StartSmallPlayer);
    const SongStartRoutine defaultEngine = QUILLON_TEST_FULL_LIBRARY ? StartFullPlayer : StartSmallPlayer;
    const std::vector<int16_t> byDefault = StartAndRender(song, nullptr, nullptr);
    EXPECT_EQ(byDefault, StartAndRender(song, nullptr, defaultEngine));
    std::vector<int16_t> full;
    if (QUILLON_TEST_FULL_LIBRARY) {
        full = StartAndRender(song, nullptr, StartFullPlayer);
        // Otherwise the cases below could not tell the engines apart.
        ASSERT_NE(small, full);
    }

    struct Case {
        std::string player;
        Engine small; // what the small library plays
        Engine full;  // what the full library plays
    };
    const Case cases[] = {
        {"small", Engine::Small, Engine::Small},
        {"full", Engine::Default, Engine::Full},
        // Only the exact words choose: no case folding, no terminator, no
        // trailing line end, no prefix.
        {"Small", Engine::Default, Engine::Default},
        {"FULL", Engine::Default, Engine::Default},
        {std::string("small\0", 6), Engine::Default, Engine::Default},
        {"full\n", Engine::Default, Engine::Default},
        {"smal", Engine::Default, Engine::Default},
        {"fullest", Engine::Default, Engine::Default},
        {"", Engine::Default, Engine::Default},
        {std::string("\xff\xfe\0\x01", 4), Engine::Default, Engine::Default},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("PLAYER \"" + c.player + "\"");
        const Engine expected = QUILLON_TEST_FULL_LIBRARY ? c.full : c.small;
        const std::vector<int16_t>& want = expected == Engine::Small  ? small
                                           : expected == Engine::Full ? full
                                                                      : byDefault;
        EXPECT_EQ(StartAndRender(song, &c.player, nullptr), want);
    }
}

// The resource is read at each start: a program that starts the music again
// after its content changed follows the new choice, and a start after the
// resource is gone plays the build's default again. (The small library has
// one engine: nothing to tell apart there.)
#if QUILLON_TEST_FULL_LIBRARY
TEST_F(PlayerChoiceTest, EachStartReadsTheChoiceAgain) {
    const std::vector<uint8_t> song = SongTheyPlayApart();
    const std::vector<int16_t> small = StartAndRender(song, nullptr, StartSmallPlayer);
    const std::vector<int16_t> full = StartAndRender(song, nullptr, StartFullPlayer);
    HeadlessSetResource("PLAYER", RT_RCDATA_TYPE, {'s', 'm', 'a', 'l', 'l'});
    HeadlessSetFeederThread(false);
    ASSERT_TRUE(MusicStart());
    EXPECT_EQ(std::vector<int16_t>(OutputRing(), OutputRing() + 2 * static_cast<size_t>(output.ringFrames)), small);
    MusicStop();
    HeadlessHideResource("PLAYER");
    ASSERT_TRUE(MusicStart());
    EXPECT_EQ(std::vector<int16_t>(OutputRing(), OutputRing() + 2 * static_cast<size_t>(output.ringFrames)), full);
    MusicStop();
}
#endif

} // namespace
