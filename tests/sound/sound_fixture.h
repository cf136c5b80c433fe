// Shared set-up of the sound tests: a fresh player, output and headless
// device; a small song built in code that sounds from its first frame to its
// end; and the song started as the program starts it (MusicStart), with or
// without the feeder thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/music.h"
#include "music/playback.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"
#include "tools/writers/xm_writer.h"

inline void ResetSoundState() {
    HeadlessReset();
    ResetAudioOutput();
    ResetStream();
    ResetPlayback();
    ResetVoicePool();
}

// One channel holding a looped 64-value ramp from row 0 on, so every output
// block of the song has sound in it; `rows` rows at speed 4 and 125 BPM.
inline std::vector<uint8_t> SoundingSong(uint16_t rows = 64) {
    XmSong song;
    song.channels = 2;
    song.defaultSpeed = 4;
    song.defaultBpm = 125;
    song.orders = {0};
    XmPattern pattern;
    pattern.rows = rows;
    XmSample sample;
    for (int i = 0; i < 64; ++i)
        sample.values.push_back(static_cast<int16_t>(i * 3 - 96));
    sample.loopBits = 1;
    sample.loopLength = 64;
    XmInstrument instrument;
    instrument.samples.push_back(sample);
    song.instruments.push_back(instrument);
    XmCellAt(pattern, song.channels, 0, 0) = XmCell{49, 1, 0, 0, 0};
    XmCellAt(pattern, song.channels, 0, 1) = XmCell{56, 1, 0, 0, 0};
    song.patterns.push_back(pattern);
    return BuildXm(song);
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSoundState(); }
    void TearDown() override {
        MusicStop();
        ResetSoundState();
    }
    // MusicStart with `bytes` as "MUSIC". Without a feeder thread the test
    // drives the feeder's pass itself.
    bool Start(const std::vector<uint8_t>& bytes, bool feederThread) {
        HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, bytes);
        if (!feederThread)
            HeadlessInjectFault("CreateThread", "", FaultMode::Always);
        return MusicStart();
    }
    std::vector<int16_t> RingBlock(int32_t block) const {
        const int16_t* ring = OutputRing();
        return std::vector<int16_t>(ring + 2 * static_cast<size_t>(block) * blockFrames,
                                    ring + 2 * static_cast<size_t>(block + 1) * blockFrames);
    }
};
