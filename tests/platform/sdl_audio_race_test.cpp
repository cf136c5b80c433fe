// A feeder thread refills the blocks the SDL device has played while SDL's
// audio thread plays the ring, the way the music player drives the device.
// Under ThreadSanitizer this reports a race unless the device orders the
// feeder's block writes before the callback's later reads of them, and the
// callback's reads before the feeder's rewrites.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace {

constexpr uint32_t BLOCK_BYTES = 1024;
constexpr uint32_t BLOCKS = 64;

struct Feeder {
    WaveOutHandle device = NO_WAVEOUT;
    uint8_t ring[BLOCK_BYTES * BLOCKS] = {};
    uint32_t fillIndex = 0;
    uint32_t lapsFilled = 0;
    std::atomic<bool> stop{false};
};

void FillBlock(Feeder& f, uint32_t block) {
    for (uint32_t i = 0; i < BLOCK_BYTES; ++i)
        f.ring[block * BLOCK_BYTES + i] = static_cast<uint8_t>(block + f.lapsFilled + 1);
}

uint32_t FeederProc(void* parameter) {
    Feeder& f = *static_cast<Feeder*>(parameter);
    while (!f.stop.load(std::memory_order_acquire)) {
        uint32_t bytes = 0;
        WaveOutGetPositionBytes(f.device, &bytes);
        const uint32_t playBlock = (bytes / BLOCK_BYTES) % BLOCKS;
        while (f.fillIndex != playBlock) {
            FillBlock(f, f.fillIndex);
            f.fillIndex = (f.fillIndex + 1) % BLOCKS;
            if (f.fillIndex == 0)
                ++f.lapsFilled;
        }
        OsSleep(2);
    }
    return 0;
}

TEST(SdlAudioRace, FeederAndCallbackShareTheRingWithoutARace) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    static Feeder f;
    const WaveFormat format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    ASSERT_EQ(WaveOutOpen(&f.device, &format), RESULT_OK);
    for (uint32_t b = 0; b < BLOCKS; ++b)
        FillBlock(f, b);
    WaveHeader hdr{f.ring, sizeof f.ring, 0, 0, WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(f.device, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutWrite(f.device, &hdr), RESULT_OK);
    Thread* feeder = OsCreateThread(FeederProc, &f);
    ASSERT_NE(feeder, nullptr);
    // Until the callback has played the ring twice, so every block has been
    // refilled and replayed.
    uint32_t pos = 0;
    for (int i = 0; i < 500 && pos < 2 * sizeof f.ring + BLOCK_BYTES * 8; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        WaveOutGetPositionBytes(f.device, &pos);
    }
    f.stop.store(true, std::memory_order_release);
    OsCloseThread(feeder);
    EXPECT_GE(pos, 2 * sizeof f.ring);
    EXPECT_GE(f.lapsFilled, 1u);
    ASSERT_EQ(WaveOutReset(f.device), RESULT_OK);
    ASSERT_EQ(WaveOutUnprepareHeader(f.device, &hdr), RESULT_OK);
    ASSERT_EQ(WaveOutClose(f.device), RESULT_OK);
}

} // namespace
