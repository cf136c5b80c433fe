// The SDL audio device: opened only for 16-bit stereo PCM, plays the written
// buffer in a loop and counts the bytes; checked under SDL's dummy driver
// (no sound card needed) and its disk driver, which writes what the device
// played to a file.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/platform.h"

namespace {

WaveFormat Cd(uint32_t rate = 44100) { return WaveFormat{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0}; }

// Waits (up to ten seconds) until the device has played at least `bytes`.
uint32_t WaitForPosition(WaveOutHandle h, uint32_t bytes) {
    uint32_t pos = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
        if (pos >= bytes)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pos;
}

TEST(SdlAudio, DummyDriverLoopsTheBufferAndCountsBytes) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    std::vector<uint8_t> ring(8192, 1);
    WaveHeader hdr{ring.data(), static_cast<uint32_t>(ring.size()), 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
    uint32_t pos = 1;
    ASSERT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(pos, 0u) << "nothing played before the write";
    ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
    pos = WaitForPosition(h, 3 * 8192);
    EXPECT_GE(pos, 3u * 8192) << "the buffer is played past its end, again and again";
    EXPECT_EQ(pos % 4, 0u);
    EXPECT_NE(WaveOutUnprepareHeader(h, &hdr), RESULT_OK) << "still playing";
    EXPECT_NE(WaveOutClose(h), RESULT_OK) << "still playing";
    ASSERT_EQ(WaveOutReset(h), RESULT_OK);
    ASSERT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(pos, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(WaveOutGetPositionBytes(h, &pos), RESULT_OK);
    EXPECT_EQ(pos, 0u) << "a reset device stops counting";
    EXPECT_EQ(WaveOutUnprepareHeader(h, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutClose(h), RESULT_OK);
    EXPECT_EQ(WaveOutReset(h), RESULT_INVALIDHANDLE) << "a closed handle is dead";
}

TEST(SdlAudio, HandlesAndFormatsAreChecked) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    uint8_t buffer[64] = {};
    WaveHeader hdr{buffer, sizeof buffer, 0, 0, 0, 0};
    uint32_t pos = 0;
    for (WaveOutHandle bad : {NO_WAVEOUT, WaveOutHandle{1}, WaveOutHandle{77}}) {
        EXPECT_EQ(WaveOutPrepareHeader(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutWrite(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutGetPositionBytes(bad, &pos), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutUnprepareHeader(bad, &hdr), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutReset(bad), RESULT_INVALIDHANDLE);
        EXPECT_EQ(WaveOutClose(bad), RESULT_INVALIDHANDLE);
    }
    WaveFormat mono = Cd();
    mono.channels = 1;
    mono.blockAlign = 2;
    WaveFormat eightBit = Cd();
    eightBit.bitsPerSample = 8;
    eightBit.blockAlign = 2;
    WaveOutHandle h = 5;
    EXPECT_NE(WaveOutOpen(&h, &mono), RESULT_OK);
    EXPECT_EQ(h, NO_WAVEOUT);
    EXPECT_NE(WaveOutOpen(&h, &eightBit), RESULT_OK);
    EXPECT_NE(WaveOutOpen(&h, nullptr), RESULT_OK);

    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    EXPECT_NE(WaveOutWrite(h, &hdr), RESULT_OK) << "unprepared";
    ASSERT_EQ(WaveOutClose(h), RESULT_OK);
    WaveOutHandle again = NO_WAVEOUT;
    ASSERT_EQ(WaveOutOpen(&again, &f), RESULT_OK);
    EXPECT_NE(again, h) << "numbers are not reused, so a stale one stays dead";
    EXPECT_EQ(WaveOutReset(h), RESULT_INVALIDHANDLE);
    EXPECT_EQ(WaveOutClose(again), RESULT_OK);
}

TEST(SdlAudio, NoDeviceMakesOpenFail) {
    SDL_setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    WaveOutHandle h = 3;
    const WaveFormat f = Cd();
    EXPECT_EQ(WaveOutOpen(&h, &f), RESULT_NODEVICE);
    EXPECT_EQ(h, NO_WAVEOUT);
}

// What the disk driver wrote, after its leading silence, is the buffer
// played from its first byte, lap after lap.
TEST(SdlAudio, DiskDriverCapturesTheLoopedBuffer) {
    const std::string path = ::testing::TempDir() + "quillon_sdl_audio_capture.raw";
    std::remove(path.c_str());
    SDL_setenv("SDL_AUDIODRIVER", "disk", 1);
    SDL_setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    std::vector<uint8_t> ring(4 * 1500);
    for (size_t i = 0; i < ring.size(); ++i)
        ring[i] = static_cast<uint8_t>(1 + i % 251);
    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f = Cd();
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);
    WaveHeader hdr{ring.data(), static_cast<uint32_t>(ring.size()), 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(h, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutWrite(h, &hdr), RESULT_OK);
    const uint32_t played = WaitForPosition(h, 3 * static_cast<uint32_t>(ring.size()));
    ASSERT_EQ(WaveOutReset(h), RESULT_OK);
    ASSERT_EQ(WaveOutClose(h), RESULT_OK);

    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::vector<uint8_t> captured((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < captured.size() && captured[start] == 0)
        ++start;
    ASSERT_GE(captured.size() - start, played) << "every counted byte reached the driver";
    for (size_t i = 0; i < played; ++i)
        ASSERT_EQ(captured[start + i], ring[i % ring.size()]) << "byte " << i << " of the playback";
    std::remove(path.c_str());
}

} // namespace
