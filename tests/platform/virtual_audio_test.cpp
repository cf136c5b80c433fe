// The headless virtual audio device: numbered handles, the loop buffer, the
// position the test moves, and reading it from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <thread>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "tests/support/process_fixture.h"

namespace {

WaveFormat Cd() { return WaveFormat{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0}; }

class VirtualAudioTest : public ProcessTest {
protected:
    uint8_t ring[1024] = {};
};

TEST_F(VirtualAudioTest, LoopsTheBufferAndReportsTheMovedPosition) {
    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    ASSERT_NE(h, NO_WAVEOUT);
    EXPECT_TRUE(HeadlessAudioOpen());
    EXPECT_EQ(HeadlessAudioFormat().samplesPerSec, 44100u);
    WaveHeader hdr{ring, sizeof ring, 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    EXPECT_NE(WaveOutWrite(h, &hdr), RESULT_OK) << "an unprepared buffer is refused";
    ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
    EXPECT_TRUE(hdr.flags & WHDR_PREPARED);
    ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
    EXPECT_TRUE(HeadlessAudioPlaying());
    EXPECT_EQ(HeadlessAudioBuffer(), ring);
    EXPECT_EQ(HeadlessAudioBufferLength(), sizeof ring);

    uint32_t pos = 1;
    ASSERT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(pos, 0u);
    HeadlessAudioSetPosition(0xFFFFFFF0u);
    HeadlessAudioAdvance(0x20);
    ASSERT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(pos, 0x10u) << "the count wraps at 32 bits";

    EXPECT_NE(WaveOutUnprepareHeader(h, &hdr), RESULT_OK) << "still playing";
    EXPECT_NE(WaveOutClose(h), RESULT_OK) << "still playing";
    ASSERT_EQ(WaveOutReset(h), RESULT_OK);
    EXPECT_FALSE(HeadlessAudioPlaying());
    ASSERT_EQ(WaveOutUnprepareHeader(h, &hdr), RESULT_OK);
    EXPECT_FALSE(hdr.flags & WHDR_PREPARED);
    ASSERT_EQ(WaveOutClose(h), RESULT_OK);
    EXPECT_FALSE(HeadlessAudioOpen());
}

// The device opens the PCM formats a sound card takes, 8 or 16 bits, mono or
// stereo, 1000 to 192000 frames a second, whose block and byte rate agree
// with the rest; anything else is refused and leaves it closed.
TEST_F(VirtualAudioTest, OpensOnlyConsistentPcmFormats) {
    auto Pcm = [](uint16_t channels, uint32_t rate, uint16_t bits) {
        const uint16_t block = static_cast<uint16_t>(channels * bits / 8);
        return WaveFormat{WAVE_FORMAT_PCM, channels, rate, rate * block, block, bits, 0};
    };
    struct Case {
        const char* name;
        WaveFormat format;
        bool opens;
    };
    WaveFormat notPcm = Cd();
    notPcm.formatTag = 3; // IEEE float
    WaveFormat badBlock = Cd();
    badBlock.blockAlign = 2;
    WaveFormat badRate = Cd();
    badRate.avgBytesPerSec = 44100 * 2;
    const Case cases[] = {
        {"CD", Cd(), true},
        {"mono, 8 bits, slowest", Pcm(1, 1000, 8), true},
        {"fastest", Pcm(2, 192000, 16), true},
        {"too slow", Pcm(2, 999, 16), false},
        {"too fast", Pcm(2, 192001, 16), false},
        {"three channels", Pcm(3, 44100, 16), false},
        {"24 bits", Pcm(2, 44100, 24), false},
        {"not PCM", notPcm, false},
        {"a block that is not a frame", badBlock, false},
        {"a byte rate that is not the frame rate's", badRate, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WaveOutHandle h = NO_WAVEOUT;
        EXPECT_EQ(WaveOutOpen(&h, &c.format) == RESULT_OK, c.opens);
        EXPECT_EQ(HeadlessAudioOpen(), c.opens);
        if (h != NO_WAVEOUT) {
            EXPECT_EQ(WaveOutClose(h), RESULT_OK);
        }
    }
}

// What the device plays: silence while nothing plays, then the looped
// buffer from the position on, round its end, and the position moves along.
TEST_F(VirtualAudioTest, PlayingTakesTheLoopFromThePositionOn) {
    for (size_t i = 0; i < sizeof ring; ++i)
        ring[i] = static_cast<uint8_t>(i * 7 + 1);
    uint8_t out[64];
    std::fill(std::begin(out), std::end(out), 0xEE);
    HeadlessAudioPlay(sizeof out, out);
    EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](uint8_t b) { return b == 0; })) << "no device";

    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    WaveHeader hdr{ring, sizeof ring, 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
    HeadlessAudioSetPosition(sizeof ring - 32);
    HeadlessAudioPlay(sizeof out, out);
    for (size_t i = 0; i < sizeof out; ++i)
        EXPECT_EQ(out[i], ring[(sizeof ring - 32 + i) % sizeof ring]) << i;
    EXPECT_EQ(HeadlessAudioPosition(), sizeof ring + 32);

    ASSERT_EQ(WaveOutReset(h), RESULT_OK);
    HeadlessAudioPlay(sizeof out, out);
    EXPECT_EQ(out[0], 0) << "reset: silence again";
    ASSERT_EQ(WaveOutUnprepareHeader(h, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutClose(h), RESULT_OK);
}

// Without both loop flags a buffer plays once: to its end, then silence, and
// the position stops at its length however far the device is moved on.
TEST_F(VirtualAudioTest, ABufferWrittenWithoutTheLoopFlagsPlaysOnce) {
    for (size_t i = 0; i < sizeof ring; ++i)
        ring[i] = static_cast<uint8_t>(i * 7 + 1);
    const uint32_t withoutBoth[] = {0, WHDR_BEGINLOOP, WHDR_ENDLOOP};
    for (uint32_t flags : withoutBoth) {
        SCOPED_TRACE(flags);
        WaveOutHandle h = NO_WAVEOUT;
        const WaveFormat f = Cd();
        ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
        WaveHeader hdr{ring, sizeof ring, 0, 0, flags, 0xFFFFFFFFu};
        ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
        ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
        HeadlessAudioSetPosition(sizeof ring - 32);
        uint8_t out[64];
        HeadlessAudioPlay(sizeof out, out);
        for (size_t i = 0; i < 32; ++i)
            EXPECT_EQ(out[i], ring[sizeof ring - 32 + i]) << i;
        EXPECT_TRUE(std::all_of(out + 32, std::end(out), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(HeadlessAudioPosition(), sizeof ring);
        HeadlessAudioAdvance(100);
        EXPECT_EQ(HeadlessAudioPosition(), sizeof ring);
        ASSERT_EQ(WaveOutReset(h), RESULT_OK);
        ASSERT_EQ(WaveOutUnprepareHeader(h, &hdr), RESULT_OK);
        ASSERT_EQ(WaveOutClose(h), RESULT_OK);
    }
}

TEST_F(VirtualAudioTest, StaleAndNeverOpenedHandlesAreInvalid) {
    WaveHeader hdr{ring, sizeof ring, 0, 0, 0, 0};
    uint32_t pos = 0;
    for (WaveOutHandle bad : {NO_WAVEOUT, WaveOutHandle{1}, WaveOutHandle{0xDEAD}}) {
        EXPECT_EQ(WaveOutPrepareHeader(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutWrite(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutGetPositionBytes(bad, &pos), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutUnprepareHeader(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutReset(bad), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutClose(bad), RESULT_INVALIDHANDLE);
    }
    WaveOutHandle first = NO_WAVEOUT;
    WaveOutHandle second = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&first, &f), RESULT_OK);
    ASSERT_EQ(WaveOutClose(first), RESULT_OK);
    ASSERT_EQ(WaveOutOpen(&second, &f), RESULT_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(WaveOutReset(first), RESULT_INVALIDHANDLE) << "a closed device's number stays dead";
    EXPECT_EQ(WaveOutClose(first), RESULT_INVALIDHANDLE);
    EXPECT_EQ(WaveOutReset(second), RESULT_OK);
}

TEST_F(VirtualAudioTest, OpenRefusesBadFormatsAndInjectedFaults) {
    WaveOutHandle h = 99;
    WaveFormat mono8{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    WaveFormat broken = Cd();
    broken.blockAlign = 3;
    WaveFormat notPcm = Cd();
    notPcm.formatTag = 3;
    EXPECT_NE(WaveOutOpen(&h, &broken), RESULT_OK);
    EXPECT_EQ(h, NO_WAVEOUT);
    EXPECT_NE(WaveOutOpen(&h, &notPcm), RESULT_OK);
    EXPECT_NE(WaveOutOpen(&h, nullptr), RESULT_OK);
    HeadlessInjectFault("WaveOutOpen");
    const WaveFormat f = Cd();
    EXPECT_NE(WaveOutOpen(&h, &f), RESULT_OK);
    ASSERT_EQ(WaveOutOpen(&h, &mono8), RESULT_OK);
    HeadlessInjectFault("WaveOutGetPosition");
    uint32_t pos = 0;
    EXPECT_NE(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
}

// A feeder-like thread polls the position while the test moves it; each
// reading is one the test wrote and they never go backwards.
TEST_F(VirtualAudioTest, PositionIsSafeToPollFromAnotherThread) {
    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    WaveHeader hdr{ring, sizeof ring, 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
    std::atomic<bool> stop{false};
    std::atomic<bool> monotonic{true};
    std::thread poller([&] {
        uint32_t last = 0;
        while (!stop.load()) {
            uint32_t pos = 0;
            if (WaveOutGetPositionBytes(h, &pos) != RESULT_OK || pos < last || pos % 4 != 0)
                monotonic = false;
            last = pos;
        }
    });
    for (int i = 0; i < 20000; ++i)
        HeadlessAudioAdvance(4);
    stop = true;
    poller.join();
    EXPECT_TRUE(monotonic.load());
    EXPECT_EQ(HeadlessAudioPosition(), 80000u);
}

} // namespace
