// Runs the real program (WinMain, its frame loop, scene and music player) on
// the headless backend with a scripted clock and scripted input, and hands
// every flipped frame, with the sound the audio device plays while that frame
// is shown, to a sink.
#pragma once

#include <cstdint>
#include <string>

#include "capture/capture_options.h"

constexpr int CAPTURE_RATE = 44100; // the rate the music opens its device at

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Frame `index`: width * height pixels 0x00RRGGBB, row by row, as shown;
    // `sampleFrames` stereo 16-bit frames played while it is shown. False
    // stops the run.
    virtual bool Frame(int64_t index, const uint32_t* pixels, int width, int height, const int16_t* samples,
                       int sampleFrames) = 0;
};

struct CaptureRun {
    bool ok = false;         // the program ran to the end or to the time limit
    int64_t frames = 0;      // frames handed to the sink
    bool sinkFailed = false; // the sink refused a frame (its own error says why)
    std::string error;       // why not ok
};

// The presentation clock: frame n is composed at n * 1000 / fps ms (rounded
// down) after the first, and the device has played n * 44100 / fps sample
// frames (rounded down) by then.
inline uint32_t FrameTimeMs(int64_t frame, int fps) { return static_cast<uint32_t>(frame * 1000 / fps); }
inline int64_t FrameSamples(int64_t frame, int fps) { return frame * CAPTURE_RATE / fps; }
// Frames the run is limited to: --seconds on the grid, or the longest run.
int64_t FrameLimit(const CaptureOptions& options);

// The clock value of the first frame (the stars are seeded from it).
constexpr uint32_t CAPTURE_START_MS = 100000;

CaptureRun RunCapture(const CaptureOptions& options, FrameSink& sink);
