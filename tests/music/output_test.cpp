// The audio output: ring arithmetic, the pre-fill, the feeder's refill
// range, block filling across tick boundaries, and the start and stop paths
// of MusicStart, MusicStop, OpenOutput, PlaySong and StopSong.
#include <chrono>
#include <cstring>
#include <thread>

#include "music/tempo.h"
#include "tests/music/music_fixture.h"

namespace {

bool WaitFor(const std::atomic<uint8_t>& flag, uint8_t value) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (flag.load(std::memory_order_acquire) != value)
        if (std::chrono::steady_clock::now() > until)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool Silent(const std::vector<int16_t>& values) {
    for (int16_t v : values)
        if (v != 0)
            return false;
    return true;
}

struct RingCase {
    int32_t rate;
    int32_t blockFrames;
    int32_t ringFrames;
    int32_t rampFrames;
    float rampScale;
};

void OpenOutputAt(const RingCase& c);

// The figures each rate must give, block count 100 at all of them.
const RingCase ringCases[] = {
    {44100, 884, 88400, 128, 0.0078125f},
    {22050, 444, 44400, 64, 1.0f / 64.0f},
    {48000, 960, 96000, 139, 1.0f / 139.0f},
};

TEST_F(OutputTest, OpenOutputDerivesBlocksRingAndRamp) {
    for (const RingCase& c : ringCases) {
        SCOPED_TRACE(c.rate);
        ResetMusicState();
        OpenOutputAt(c);
    }
}

void OpenOutputAt(const RingCase& c) {
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    ASSERT_TRUE(OpenOutput(c.rate));
    EXPECT_EQ(output.rate, c.rate);
    EXPECT_EQ(output.blockFrames, c.blockFrames);
    EXPECT_EQ(output.ringFrames, c.ringFrames);
    EXPECT_EQ(BlockCount(), 100);
    // The mixer is handed the rate and the ramp derived from it.
    EXPECT_EQ(mixer.rate, c.rate);
    EXPECT_EQ(mixer.rampFrames, c.rampFrames);
    EXPECT_FLOAT_EQ(mixer.rampScale, c.rampScale);
    // The device is asked for exactly 16-bit stereo PCM at the rate.
    WaveFormat f = HeadlessAudioFormat();
    EXPECT_EQ(f.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, static_cast<uint32_t>(c.rate));
    EXPECT_EQ(f.avgBytesPerSec, static_cast<uint32_t>(c.rate) * 4);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.bitsPerSample, 16);
    // Every voice reset: own index, a step of exactly 1.
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        EXPECT_EQ(mixer.voices[i].index, i);
        EXPECT_EQ(mixer.voices[i].stepInteger, 1u);
        EXPECT_EQ(mixer.voices[i].stepFraction, 0u);
        EXPECT_EQ(mixer.voices[i].sample, nullptr);
    }
}

TEST(RingArithmeticAnyRate, HundredBlocksFromFiftyHertzUp) {
    for (int32_t rate : {50, 51, 99, 100, 1000, 8000, 11025, 32000, 96000, 192000}) {
        int32_t block = BlockFramesFor(rate);
        EXPECT_EQ(block % 4, 0) << rate;
        EXPECT_GE(block, rate * 20 / 1000) << rate; // the whole frames of 20 ms, to a multiple of 4
        EXPECT_EQ(RingFramesFor(rate) / block, 100) << rate;
    }
}

TEST_F(OutputTest, PlaySongPrefillsTheWholeRingBeforeTheDeviceStarts) {
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    ASSERT_NE(output.song, nullptr);
    EXPECT_TRUE(HeadlessAudioPlaying());
    EXPECT_EQ(HeadlessAudioBufferLength(), 353600u);
    EXPECT_EQ(HeadlessAudioBuffer(), reinterpret_cast<const uint8_t*>(OutputRing()));
    EXPECT_EQ(output.fillIndex, 0);
    for (int32_t k = 0; k < 100; ++k)
        EXPECT_FALSE(Silent(RingBlock(k))) << "block " << k;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(MixArea(0)) % 16, 0u);
    EXPECT_EQ(MixArea(99), MixArea(0) + 2 * 99 * 884);
    EXPECT_EQ(MixArea(100), nullptr) << "one block past the last";
    EXPECT_EQ(MixArea(-1), nullptr);
    // 100 blocks of 884 frames at 882 frames per tick: 101 ticks so far,
    // the last one with 682 frames still to mix.
    EXPECT_EQ(output.song->samplesLeftInTick, 882 * 101 - 88400);
}

struct RefillCase {
    const char* name;
    int32_t fillFrom;
    uint32_t positionBytes;
    int32_t filled; // blocks refilled by the pass
    int32_t fillTo; // output.fillIndex afterwards: the block being played
};

const RefillCase refillCases[] = {
    {"block 0 still playing", 0, 0, 0, 0},
    {"last byte of block 0", 0, 3535, 0, 0},
    {"device enters block 1", 0, 3536, 1, 1},
    {"17700 bytes is frame 4425, block 5", 3, 17700, 2, 5},
    {"already up to date", 5, 17700, 0, 5},
    {"one ring plus one block is block 1", 0, 357136, 1, 1},
    {"held up longer than the ring: all but the playing block", 6, 17700, 99, 5},
    {"the ring's last block", 98, 99 * 3536, 1, 99},
    {"from the last block around to block 0", 99, 353600, 1, 0},
};

class FeederRefill : public OutputTest {
protected:
    void Check(const RefillCase& c);
};

TEST_F(FeederRefill, FillsUpToNeverIntoThePlayingBlock) {
    for (const RefillCase& c : refillCases) {
        SCOPED_TRACE(c.name);
        ResetMusicState();
        Check(c);
    }
}

void FeederRefill::Check(const RefillCase& c) {
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    output.fillIndex = c.fillFrom;
    int32_t playing = PlayingBlock(c.positionBytes);
    EXPECT_EQ(playing, c.fillTo);
    std::vector<int16_t> before = RingBlock(playing);
    std::vector<std::vector<int16_t>> others;
    for (int32_t k = 0; k < 100; ++k)
        others.push_back(RingBlock(k));

    EXPECT_EQ(FeederPass(c.positionBytes), c.filled);
    EXPECT_EQ(output.fillIndex, c.fillTo);
    EXPECT_EQ(RingBlock(playing), before) << "the block under the play position was written";
    // The refilled blocks hold later music than before: the song moved on.
    for (int32_t i = 0; i < c.filled; ++i) {
        int32_t k = (c.fillFrom + i) % 100;
        EXPECT_NE(RingBlock(k), others[k]) << "block " << k << " was not refilled";
    }
}

TEST_F(OutputTest, WrapOfTheDevicePositionFillsUpToTheNewBlockInOnePass) {
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    // 2^32 - 4 bytes is frame 2^30 - 1, frame 35423 of the ring: block 40.
    uint32_t last = 0xFFFFFFFCu;
    ASSERT_EQ(PlayingBlock(last), 40);
    FeederPass(last);
    ASSERT_EQ(output.fillIndex, 40);
    // Four bytes later the count wraps to 0, which the arithmetic takes as
    // block 0: the feeder refills 40 .. 99 at once and leaves block 0 alone.
    std::vector<int16_t> block0 = RingBlock(0);
    EXPECT_EQ(FeederPass(last + 4), 60);
    EXPECT_EQ(output.fillIndex, 0);
    EXPECT_EQ(RingBlock(0), block0);
}

// A tick routine that runs the real one and scripts tempo changes, so the
// tests see when FillBlock calls it and how it reads samplesPerTick.
struct TickLog {
    int calls = 0;
    int leftAtFirstCall = -1;
    int changeAtCall = -1; // on this call, SetTempo(250) after the tick
};
TickLog tickLog;

void LoggingTick(Module* song) {
    if (tickLog.calls == 0)
        tickLog.leftAtFirstCall = song->samplesLeftInTick;
    PlayTick(song);
    if (tickLog.calls == tickLog.changeAtCall)
        SetTempo(song, 250);
    ++tickLog.calls;
}

struct StraddleCase {
    const char* name;
    int changeAtCall;
    int blocks;        // FillBlock calls from the song's start
    int ticks;         // tick routine calls made
    int32_t leftAfter; // samplesLeftInTick afterwards
};

const StraddleCase straddleCases[] = {
    // 882 frames a tick, 884 a block: block 0 mixes 882 frames, runs the next
    // tick and mixes 2 of its frames; block 1 begins with 880 left of it.
    {"first block", -1, 1, 2, 880},
    {"second block", -1, 2, 3, 882 * 3 - 884 * 2},
    {"a whole ring", -1, 100, 101, 682},
    // A tempo set in a tick governs that very tick: 441 frames at 250 BPM.
    {"tempo change in the second tick", 1, 1, 2, 439},
    {"tempo change in the first tick", 0, 1, 3, 441 * 3 - 884},
};

class TickStraddle : public OutputTest {
protected:
    void Check(const StraddleCase& c);
};

TEST_F(TickStraddle, TicksContinueAcrossBlocks) {
    for (const StraddleCase& c : straddleCases) {
        SCOPED_TRACE(c.name);
        ResetMusicState();
        Check(c);
    }
}

void TickStraddle::Check(const StraddleCase& c) {
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    Module* song = output.song;
    StartSmallPlayer(song);
    tickLog = TickLog{};
    tickLog.changeAtCall = c.changeAtCall;
    song->tickRoutine = LoggingTick;
    output.fillIndex = 0;
    for (int i = 0; i < c.blocks; ++i)
        FillBlock();
    EXPECT_EQ(tickLog.leftAtFirstCall, 0) << "the first block starts with a tick";
    EXPECT_EQ(tickLog.calls, c.ticks);
    EXPECT_EQ(song->samplesLeftInTick, c.leftAfter);
    EXPECT_EQ(output.fillIndex, c.blocks % 100);
    song->tickRoutine = PlayTick;
}

TEST_F(OutputTest, RefilledBlocksContinueTheSongAcrossTheRing) {
    // The blocks the device plays, in order, are the song without a seam: a
    // second start of the same song renders the same first ring, and the
    // refill of block 0 continues exactly where block 99 ended.
    std::vector<uint8_t> bytes = SoundingSong();
    ASSERT_TRUE(StartMusic(bytes, false));
    std::vector<int16_t> played;
    for (int32_t k = 0; k < 150; ++k) {
        std::vector<int16_t> b = RingBlock(k % 100);
        played.insert(played.end(), b.begin(), b.end());
        FeederPass(static_cast<uint32_t>(k + 1) * 3536);
    }
    MusicStop();
    ResetMusicState();
    ASSERT_TRUE(StartMusic(bytes, false));
    std::vector<int16_t> again;
    for (int32_t k = 0; k < 150; ++k) {
        std::vector<int16_t> b = RingBlock(k % 100);
        again.insert(again.end(), b.begin(), b.end());
        FeederPass(static_cast<uint32_t>(k + 1) * 3536);
    }
    EXPECT_EQ(played, again);
    // The sample loops every 64 / step frames; the sound never stops at the
    // ring's end, so no block after the wrap is silent.
    for (size_t k = 100; k < 150; ++k)
        EXPECT_FALSE(Silent(std::vector<int16_t>(played.begin() + k * 1768, played.begin() + (k + 1) * 1768))) << k;
}

TEST_F(OutputTest, StopSongWithoutASongLeavesTheFeederRunning) {
    ASSERT_TRUE(StartMusic(SoundingSong(), true));
    ASSERT_TRUE(WaitFor(output.feederExited, 0));
    EXPECT_FALSE(StopSong(nullptr));
    EXPECT_EQ(output.stopRequested.load(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(output.feederExited.load(), 0);
    EXPECT_NE(output.song, nullptr);
    MusicStop();
    EXPECT_EQ(output.feederExited.load(), 1);
    EXPECT_EQ(output.feederBusy.load(), 0);
    EXPECT_EQ(output.song, nullptr);
    EXPECT_EQ(MixArea(0), nullptr) << "the mix buffer is released";
    EXPECT_FALSE(HeadlessAudioOpen());
}

TEST_F(OutputTest, TheFeederRefillsWhatTheDeviceHasPlayed) {
    ASSERT_TRUE(StartMusic(SoundingSong(), true));
    Module* song = output.song;
    int32_t left = song->samplesLeftInTick;
    HeadlessAudioAdvance(10 * 3536 + 100); // inside block 10
    // Blocks 0..9 mix 8840 frames; the feeder polls every 5 ms, so it has
    // long caught up when the song is stopped (which joins the thread).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopSong(song);
    EXPECT_EQ(output.fillIndex, 10);
    EXPECT_EQ((left + 882 * 1000 - 8840) % 882, song->samplesLeftInTick);
}

TEST_F(OutputTest, MusicStopWithoutMusicStart) {
    MusicStop();
    EXPECT_FALSE(HeadlessAudioOpen());
    EXPECT_EQ(output.song, nullptr);
    // And the player still starts normally afterwards.
    EXPECT_TRUE(StartMusic(SoundingSong(), false));
    EXPECT_TRUE(HeadlessAudioPlaying());
}

TEST_F(OutputTest, OpenOutputWithAStreamOperationMissingTouchesNothing) {
    for (int missing = 0; missing < 5; ++missing) {
        InstallFileCallbacks(missing == 0 ? nullptr : ResourceOpen, missing == 1 ? nullptr : ResourceClose,
                             missing == 2 ? nullptr : ResourceRead, missing == 3 ? nullptr : ResourceSeek,
                             missing == 4 ? nullptr : ResourceTell);
        output.rate = 12345;
        EXPECT_FALSE(OpenOutput(44100)) << missing;
        EXPECT_EQ(output.rate, 12345) << missing;
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 0) << missing;
        EXPECT_FALSE(HeadlessAudioOpen());
    }
}

TEST_F(OutputTest, NoDeviceMeansNoSongAndSilence) {
    HeadlessInjectFault("WaveOutOpen", "", FaultMode::Always);
    EXPECT_FALSE(StartMusic(SoundingSong(), true));
    EXPECT_EQ(output.song, nullptr);
    EXPECT_FALSE(HeadlessAudioOpen());
    EXPECT_EQ(HeadlessCallCount("CreateThread"), 0);
}

TEST_F(OutputTest, ASongThatDoesNotLoadLeavesTheDeviceOpenUntilMusicStop) {
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, std::vector<uint8_t>(10, 0x41));
    EXPECT_FALSE(MusicStart());
    EXPECT_TRUE(HeadlessAudioOpen());
    EXPECT_FALSE(HeadlessAudioPlaying());
    MusicStop();
    EXPECT_FALSE(HeadlessAudioOpen());
}

TEST_F(OutputTest, WithoutAFeederThreadTheDeviceLoopsThePrefilledRing) {
    HeadlessInjectFault("CreateThread", "", FaultMode::Always);
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, SoundingSong());
    EXPECT_TRUE(MusicStart());
    EXPECT_TRUE(HeadlessAudioPlaying());
    EXPECT_EQ(output.feederExited.load(), 1);
    // What reaches the speakers after the whole ring is its start again.
    const uint32_t ringBytes = HeadlessAudioBufferLength();
    const std::vector<int16_t> first = RingBlock(0);
    std::vector<uint8_t> played(ringBytes + first.size() * sizeof(int16_t));
    HeadlessAudioPlay(static_cast<uint32_t>(played.size()), played.data());
    EXPECT_FALSE(Silent(first));
    EXPECT_EQ(std::memcmp(played.data() + ringBytes, first.data(), first.size() * sizeof(int16_t)), 0);
    MusicStop(); // returns without waiting for a thread that never ran
    EXPECT_FALSE(HeadlessAudioOpen());
}

TEST_F(OutputTest, WithoutFeederThreadsTheCallerRunsTheFeederPass) {
    // The backend declines the thread without a fault: the output plays the
    // pre-filled ring and refills only when the caller runs the pass.
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    EXPECT_EQ(HeadlessCallCount("CreateThread"), 1);
    EXPECT_EQ(output.feeder, nullptr);
    EXPECT_EQ(output.feederExited.load(), 1);
    HeadlessAudioAdvance(3 * 3536);
    EXPECT_EQ(output.fillIndex, 0);
    EXPECT_EQ(FeederPass(HeadlessAudioPosition()), 3);
}

TEST_F(OutputTest, ASecondPlaySongRestartsTheDeviceOnTheSameRing) {
    // The device still loops over the ring after StopSong; a new PlaySong
    // resets it before refilling, so the pre-fill never writes under the
    // play position and the new song is heard from its first block, from
    // silent voices (none left pointing into an earlier song's samples).
    ASSERT_TRUE(StartMusic(SoundingSong(), false));
    Module* song = output.song;
    const int16_t* ring = OutputRing();
    std::vector<int16_t> first = RingBlock(0);
    HeadlessAudioSetPosition(50 * 3536);
    FeederPass(50 * 3536);
    EXPECT_TRUE(StopSong(song));
    EXPECT_TRUE(HeadlessAudioPlaying()) << "the device loops the last ring until CloseOutput";
    EXPECT_TRUE(PlaySong(song));
    EXPECT_EQ(OutputRing(), ring);
    EXPECT_TRUE(HeadlessAudioPlaying());
    EXPECT_EQ(HeadlessAudioPosition(), 0u);
    EXPECT_EQ(HeadlessCallCount("WaveOutWrite"), 2);
    EXPECT_EQ(RingBlock(0), first);
}

} // namespace
