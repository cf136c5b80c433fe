// Recording a video in the browser: the program runs on the capture tool's
// clock instead of the browser's, and every frame goes to the page with the
// sound played while it is shown, as quillon-capture takes them.
//
// - Frame n is composed at start + floor(n * 1000 / fps) ms: the clock
//   stands still between two Flips and moves to the next frame's time at
//   each, so the pictures do not depend on how fast the machine is.
// - There is no sound card. The waveform device is a virtual one that
//   plays, at each Flip, floor((n + 1) * rate / fps) - floor(n * rate / fps)
//   frames of the ring from where it stands (its position is what it has
//   played), and the feeder then runs once and refills what was played, as
//   the capture tool runs the feeder's pass after each frame. Nothing else
//   moves the position, so the feeder's other turns fill nothing.
// - The Flip waits for the page to take the frame (it may be encoding),
//   never for the display.
#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/web/web_internal.h"

namespace {

constexpr uint32_t MAX_RECORD_FPS = 250; // quillon-capture's limit
// The rate the music opens its device at: the frames' sound is counted at
// it (silence) before a device is open.
constexpr uint32_t RECORD_RATE = 44100;

struct Recording {
    bool on = false;
    uint32_t fps = 0;
    uint32_t startMs = 0;
    int64_t frames = 0; // Flips so far
    // The virtual device.
    uint32_t rate = 0;             // 0: no device open
    const uint8_t* ring = nullptr; // null: not playing
    uint32_t ringBytes = 0;        // whole frames
    uint32_t position = 0;         // bytes played since the write
    std::vector<int16_t> samples;  // this frame's sound, stereo
};

Recording recording;

// Resolves once the page has taken the frame: the picture as RGBA bytes and
// `count` stereo 16-bit frames of sound at `rate`.
EM_ASYNC_JS(void, web_record_frame,
            (const uint32_t* pixels, int width, int height, const int16_t* samples, int count, int rate),
            { await Module['quillonRecordFrame'](pixels, width, height, samples, count, rate); });

} // namespace

// Called by the page before main: from then on the program runs on the
// recording clock, starting at `startMs` (the stars are seeded from it).
// False (and no change) for a rate outside 1..250 or once main has run a
// frame.
extern "C" EMSCRIPTEN_KEEPALIVE int quillon_web_record(uint32_t fps, uint32_t startMs) {
    if (fps < 1 || fps > MAX_RECORD_FPS || recording.frames > 0)
        return 0;
    recording.on = true;
    recording.fps = fps;
    recording.startMs = startMs;
    return 1;
}

bool WebRecording() { return recording.on; }

uint32_t WebRecordClock() { return recording.startMs + static_cast<uint32_t>(recording.frames * 1000 / recording.fps); }

void WebRecordAudioOpen(uint32_t rate) {
    recording.rate = rate;
    recording.ring = nullptr;
    recording.position = 0;
}

void WebRecordAudioWrite(const uint8_t* ring, uint32_t bytes) {
    recording.ring = ring;
    recording.ringBytes = bytes;
    recording.position = 0;
}

uint32_t WebRecordAudioPosition() { return recording.position; }

void WebRecordAudioReset() { recording.ring = nullptr; }

void WebRecordAudioClose() {
    recording.rate = 0;
    recording.ring = nullptr;
}

void WebRecordFrame(const uint32_t* rgba, int width, int height) {
    const int64_t n = recording.frames;
    const uint32_t fps = recording.fps;
    const int64_t rate = recording.rate ? recording.rate : RECORD_RATE;
    const int count = static_cast<int>((n + 1) * rate / fps - n * rate / fps);
    recording.samples.assign(static_cast<size_t>(count) * 2, 0);
    if (recording.ring && recording.ringBytes) {
        auto* out = reinterpret_cast<uint8_t*>(recording.samples.data());
        const uint32_t bytes = static_cast<uint32_t>(count) * 4;
        for (uint32_t done = 0; done < bytes;) {
            const uint32_t at = recording.position % recording.ringBytes;
            const uint32_t take = std::min(bytes - done, recording.ringBytes - at);
            std::memcpy(out + done, recording.ring + at, take);
            done += take;
            recording.position += take;
        }
        WebRunThreadsNow(); // the feeder refills what was just played
    }
    recording.frames = n + 1;
    web_record_frame(rgba, width, height, recording.samples.data(), count, static_cast<int>(rate));
}
