// The feeder thread against the main thread, built with ThreadSanitizer:
// songs started and stopped many times while the virtual device moves on,
// so that every hand-over (pre-fill to feeder, feeder to StopSong, StopSong
// to FreeModule) is exercised with the feeder at work. Any data race fails
// the run.
#include <chrono>
#include <thread>

#include "tests/music/music_fixture.h"

namespace {

TEST_F(OutputTest, PlayAndStopManyTimesWhileTheFeederWorks) {
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, SoundingSong());
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    ASSERT_TRUE(OpenOutput(44100));
    Module* song = LoadModule("MUSIC");
    ASSERT_NE(song, nullptr);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(PlaySong(song));
        // Some rounds stop at once, before the feeder has announced itself;
        // the others let it refill a few blocks first.
        if (i % 4 != 0) {
            for (int step = 0; step < 3; ++step) {
                HeadlessAudioAdvance(3 * 3536);
                std::this_thread::sleep_for(std::chrono::milliseconds(6));
            }
        }
        ASSERT_TRUE(StopSong(song));
        EXPECT_EQ(output.feederBusy.load(), 0);
        EXPECT_EQ(output.song, nullptr);
    }
    EXPECT_TRUE(FreeModule(song));
    CloseOutput();
}

TEST_F(OutputTest, MusicStartAndStopRepeatedly) {
    for (int i = 0; i < 10; ++i) {
        HeadlessReset();
        HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, SoundingSong());
        ASSERT_TRUE(MusicStart());
        HeadlessAudioAdvance(20 * 3536);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 * 5));
        MusicStop();
        EXPECT_FALSE(HeadlessAudioOpen());
    }
}

} // namespace
