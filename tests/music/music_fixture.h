// Shared set-up of the music tests: a fresh player state, the resource
// stream installed, songs built in code with the XM writer and handed to the
// loader as the resource "MUSIC", and an offline render loop of the same
// shape as the block filler.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/playback.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"
#include "tools/writers/xm_writer.h"

inline void ResetMusicState() {
    HeadlessReset();
    ResetAudioOutput();
    ResetStream();
    ResetPlayback();
    ResetVoicePool();
    emptySample = Sample{};
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    outputRate = 44100;
    rampFrames = 128;
    rampScale = 1.0f / 128.0f;
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

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override { ResetMusicState(); }
    void TearDown() override {
        if (song)
            FreeModule(song);
        song = nullptr;
        ResetAudioOutput();
    }
    // Loads and starts the song at its first tick (as PlaySong does).
    Module* Start(const XmSong& xm) {
        song = LoadBytes(BuildXm(xm));
        if (song)
            ResetSongPosition(song);
        return song;
    }
    Module* song = nullptr;
};
