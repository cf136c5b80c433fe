// Audio output: the looping ring of blocks on the platform's wave device,
// the block filler and the feeder thread that keeps the ring one full length
// ahead of the play position.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

struct Module;

// The output's state: the device, the ring it loops over, the feeder thread
// and the handshake with it. One instance, `output`.
struct AudioOutput {
    int32_t rate;        // frames per second of the open device (44100)
    int32_t blockFrames; // 20 ms rounded up to a multiple of 4 frames
    int32_t ringFrames;  // 100 blocks
    int32_t fillIndex;   // next block to fill
    Module* song;        // the song being played, or null

    WaveOutHandle device;
    WaveHeader header;
    int16_t* ring; // ringBytes long; lives until the device is reset
    uint32_t ringBytes;
    bool ringWritten;    // the device has been given the ring and may loop over it
    void* mixAllocation; // what was allocated for the mix buffer
    float* mixBuffer;    // its 16-byte-aligned start: ringFrames stereo floats
    Thread* feeder;

    // The handshake between the main thread and the feeder: each flag has
    // one writer (stopRequested: main; feederBusy, feederExited: feeder) and
    // is read by the other side with acquire ordering.
    std::atomic<uint8_t> stopRequested;
    std::atomic<uint8_t> feederBusy;
    std::atomic<uint8_t> feederExited{1};
};

extern AudioOutput output;

// Fails, touching nothing, unless the five stream operations are installed.
// Gives the mixer the rate and a silent set of voices.
bool OpenOutput(int32_t rate);
void CloseOutput();
// Starts the song on the player (ContentPlayer: the content's PLAYER, else
// playerStart), pre-fills the whole ring, starts the device looping over it
// and starts the feeder. False when no song is given.
bool PlaySong(Module* song);
// Ends the feeder and releases the mix buffer; the song may then be freed.
// False when no song is given.
bool StopSong(Module* song);
// Mixes the block at fillIndex into the ring and advances fillIndex.
void FillBlock();
// The block loop of FillBlock, on buffers of the caller's: clears `mix`
// (frames stereo floats), runs the song's tick routine whenever the frames
// of the previous tick are used up, mixes at most one tick's worth of frames
// at a time, and converts the whole block into `pcm`.
void MixBlock(Module* song, float* mix, int16_t* pcm, int32_t frames);
uint32_t FeederThread(void* parameter);

// One pass of the feeder for a reported device position in bytes played:
// refills every block from fillIndex up to, not into, the block being played.
// Returns the number of blocks filled. The feeder thread calls it every 5 ms;
// tests and xmrender call it directly, with no feeder thread running.
int32_t FeederPass(uint32_t positionBytes);

// blockFrames and ringFrames for a rate: a block is 20 ms rounded up to a
// multiple of 4 frames, the ring twice the blocks of one second.
int32_t BlockFramesFor(int32_t rate);
int32_t RingFramesFor(int32_t rate);
// ringFrames / blockFrames: 100 at every rate of 50 Hz or more.
int32_t BlockCount();
// The block that the device plays at a reported byte position.
int32_t PlayingBlock(uint32_t positionBytes);

// The ring the device loops over (ringFrames stereo 16-bit frames) and the
// float mix area of block k (blockFrames stereo frames, as last mixed). Null
// while no song plays.
const int16_t* OutputRing();
const float* MixArea(int32_t block);

// Back to the state of a fresh process: the feeder ended, the device reset,
// the ring and the mix buffer released (ResetMusic).
void ResetAudioOutput();
