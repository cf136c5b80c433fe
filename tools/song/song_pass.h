// The song as the device plays it, block by block, for the tools that
// listen to a whole song offline (xmrender writes it, xmcheck checks that
// something sounds). The song must have been started by MusicStart on the
// headless backend with no feeder thread: this runs the feeder's pass
// itself, so every block is refilled exactly when the device has left it.
#pragma once

#include <cstdint>
#include <functional>

struct PassBlock {
    const int16_t* pcm; // frames stereo frames, as the device plays them
    const float* mix;   // the same frames before the conversion to 16 bits
    int64_t frames;
};

struct PassResult {
    int64_t frames = 0;  // played in all
    bool looped = false; // the song came back to its restart position
    double loopSeconds = 0.0;
};

// Plays from the first frame until `framesWanted` frames (< 0: until the
// block in which the song turns back to its restart position, the whole
// first pass) or `longestFrames`, whichever comes first, handing each block
// to `take`; `take` returning false ends the pass early.
PassResult PlaySongPass(int64_t framesWanted, int64_t longestFrames, const std::function<bool(const PassBlock&)>& take);
