// Shared set-up of the music tests: the whole player and the headless
// backend as in a fresh process (ResetMusicState), songs built in code with
// the XM writer and handed to the loader as the resource "MUSIC", an offline
// render loop of the same shape as the block filler, and the song started as
// the program starts it (MusicStart), with or without the feeder thread.
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
#include "tests/support/process_fixture.h"
#include "tools/writers/xm_writer.h"

// The player and the headless backend as in a fresh process, then the
// resource stream installed and the mixer at 44100 Hz, as MusicStart would
// leave them before it opens the device (engine and mixer tests need no
// device; MusicStart installs and opens all over again).
// A fresh process (ResetProcessState), ready to load and mix songs without
// MusicStart: the resource stream installed and the mixer at 44100 Hz, as
// MusicStart would leave them.
inline void ResetMusicState() {
    ResetProcessState();
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    SetMixerRate(44100);
}

// The song the loader reads from the resource "MUSIC".
inline Module* LoadBytes(const std::vector<uint8_t>& bytes) {
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, bytes);
    return LoadModule("MUSIC");
}

// An instrument with one sample mapped to every note.
inline XmInstrument OneSampleInstrument(XmSample sample, uint16_t fadeout = 0) {
    XmInstrument instrument;
    instrument.samples.push_back(std::move(sample));
    instrument.fadeout = fadeout;
    return instrument;
}

// An 8-bit sample of `length` values in a ramp shape, looping forward over
// all of it (so a voice keeps sounding).
inline XmSample LoopedSample(uint32_t length = 64, uint8_t volume = 64, uint8_t panning = 128) {
    XmSample sample;
    for (uint32_t i = 0; i < length; ++i)
        sample.values.push_back(static_cast<int16_t>(static_cast<int>(i % 64) - 32));
    sample.loopBits = 1;
    sample.loopStart = 0;
    sample.loopLength = length;
    sample.volume = volume;
    sample.panning = panning;
    return sample;
}

// A song of `channels` channels and one pattern of `rows` rows, with one
// looped instrument; cells are set through XmCellAt on patterns[0].
inline XmSong TinySong(uint16_t channels = 1, uint16_t rows = 16, uint16_t speed = 6, uint16_t bpm = 125) {
    XmSong song;
    song.channels = channels;
    song.defaultSpeed = speed;
    song.defaultBpm = bpm;
    song.orders = {0};
    XmPattern pattern;
    pattern.rows = rows;
    song.patterns.push_back(pattern);
    song.instruments.push_back(OneSampleInstrument(LoopedSample()));
    return song;
}

// Renders `frames` stereo frames through the block filler's loop, in
// blocks of `blockFrames`.
inline std::vector<int16_t> Render(Module* song, int32_t frames, int32_t blockFrames = 884) {
    std::vector<int16_t> pcm(2 * static_cast<size_t>(frames));
    std::vector<float> mix(2 * static_cast<size_t>(blockFrames));
    for (int32_t start = 0; start < frames; start += blockFrames) {
        int32_t block = frames - start < blockFrames ? frames - start : blockFrames;
        MixBlock(song, mix.data(), pcm.data() + 2 * static_cast<size_t>(start), block);
    }
    return pcm;
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

// The music fixture: the engine and mixer tests load songs (Start) and
// render them without a device; the output tests start them as the program
// does (StartMusic).
class MusicTest : public ProcessTest {
protected:
    void SetUp() override { ResetMusicState(); }
    void TearDown() override {
        // The feeder ends (ResetMusic) before the song it plays is released.
        ResetMusicState();
        FreeModule(song);
        song = nullptr;
    }
    // Loads the song and starts it on the small player at its first tick
    // (as PlaySong does).
    Module* Start(const XmSong& xm) {
        song = LoadBytes(BuildXm(xm));
        if (song)
            StartSmallPlayer(song);
        return song;
    }
    // MusicStart with `bytes` as "MUSIC". Without a feeder thread the test
    // drives the feeder's pass itself.
    bool StartMusic(const std::vector<uint8_t>& bytes, bool feederThread) {
        HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, bytes);
        HeadlessSetFeederThread(feederThread);
        return MusicStart();
    }
    std::vector<int16_t> RingBlock(int32_t block) const {
        const int16_t* ring = OutputRing();
        return std::vector<int16_t>(ring + 2 * static_cast<size_t>(block) * output.blockFrames,
                                    ring + 2 * static_cast<size_t>(block + 1) * output.blockFrames);
    }
    // Between the cases of a table: the player as in a fresh process again,
    // the last case's song released.
    void ResetCase() {
        ResetMusicState();
        FreeModule(song);
        song = nullptr;
    }
    Module* song = nullptr;
};

// The output tests' name for the same fixture.
class OutputTest : public MusicTest {};
