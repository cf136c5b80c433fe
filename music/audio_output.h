// Audio output: the looping ring of blocks on the platform's wave device,
// the block filler and the feeder thread that keeps the ring one full length
// ahead of the play position.
#pragma once

#include <atomic>
#include <cstdint>

struct Module;

// Values of the open device that the engine and the mixer read.
extern int32_t outputRate;  // frames per second (44100)
extern int32_t rampFrames;  // volume ramp length: outputRate * 128 / 44100
extern float rampScale;     // 1 / rampFrames, single precision

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
uint32_t FeederThread(void* parameter);

// Back to the state of a fresh process (tests).
void ResetAudioOutput();
