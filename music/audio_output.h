// Audio output: the looping ring of blocks on the platform's wave device,
// the block filler and the feeder thread that keeps the ring one full length
// ahead of the play position.
#pragma once

#include <atomic>
#include <cstdint>

struct Module;

// Values of the open device that the engine and the mixer read.
extern int32_t outputRate; // frames per second (44100)
extern int32_t rampFrames; // volume ramp length: outputRate * 128 / 44100
extern float rampScale;    // 1 / rampFrames, single precision

// Ring arithmetic of the open device.
extern int32_t blockFrames; // 20 ms rounded up to a multiple of 4 frames
extern int32_t ringFrames;  // 100 blocks
extern int32_t fillIndex;   // next block to fill
extern Module* currentSong; // the song being played, or null

// The handshake between the main thread and the feeder: each flag has one
// writer (stopRequested: main; feederBusy, feederExited: feeder) and is read
// by the other side with acquire ordering.
extern std::atomic<uint8_t> stopRequested;
extern std::atomic<uint8_t> feederBusy;
extern std::atomic<uint8_t> feederExited;

// Fails, touching nothing, unless the five stream operations are installed.
bool OpenOutput(int32_t rate);
void CloseOutput();
// Pre-fills the whole ring, starts the device looping over it and starts the
// feeder. False when no song is given.
bool PlaySong(Module* song);
// Ends the feeder and releases the mix buffer. False when no song is given.
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

// Back to the state of a fresh process (tests).
void ResetAudioOutput();
