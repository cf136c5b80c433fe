#include "capture/capture_run.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/tour.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "music/audio_output.h"
#include "music/music.h"
#include "platform/headless/headless.h"

namespace {

// How long the tour holds each page after it has come to rest.
constexpr uint32_t TOUR_HOLD_MS = 3000;

struct RunState {
    const CaptureOptions* options = nullptr;
    FrameSink* sink = nullptr;
    int64_t limit = 0;
    int64_t frames = 0;
    bool finished = false; // the last frame is taken; later flips are not
    bool sinkFailed = false;
    size_t nextEvent = 0;
    // The tour: pages shown so far, and when the current one came to rest.
    int tourPage = 1;
    bool resting = false;
    uint32_t restSince = 0;
    std::vector<uint32_t> pixels;
    std::vector<int16_t> samples;
};

RunState run;

void Post(uint32_t message, uintptr_t wParam = 0) { HeadlessPostInput(message, wParam); }

// The tour's next input, decided on the scene's state after the frame at
// `now`: a page that rests for the hold time gets the right button (pages
// 1..3) or the left button (page 4).
void TourStep(uint32_t now, uint32_t next) {
    if (!SceneAtRest()) {
        run.resting = false;
        return;
    }
    if (!run.resting) {
        run.resting = true;
        run.restSince = now;
    }
    if (next - run.restSince < TOUR_HOLD_MS)
        return;
    run.resting = false;
    if (run.tourPage < 4) {
        ++run.tourPage;
        Post(WM_RBUTTONDOWN);
    } else {
        Post(WM_LBUTTONDOWN);
    }
}

bool CopyShown(Surface* primary, int& width, int& height) {
    SurfaceDesc desc{};
    if (SurfaceLock(primary, &desc) != RESULT_OK)
        return false;
    width = static_cast<int>(desc.width);
    height = static_cast<int>(desc.height);
    run.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(run.pixels.data() + static_cast<size_t>(y) * width,
                    static_cast<const uint8_t*>(desc.surface) + static_cast<size_t>(y) * desc.pitch,
                    static_cast<size_t>(width) * 4);
    SurfaceUnlock(primary);
    return true;
}

// After each flip: take the picture now shown and the sound played while it
// is shown, then move the clock to the next frame and post the input that
// has arrived by then, as the system would deliver it between two frames.
void OnFlip(Surface* primary) {
    if (run.finished)
        return;
    const int64_t n = run.frames;
    const int fps = run.options->fps;
    int width = 0;
    int height = 0;
    if (!CopyShown(primary, width, height)) {
        run.sinkFailed = true;
        run.finished = true;
        Post(WM_CLOSE);
        return;
    }

    // The device plays on while the frame is shown; the feeder's pass then
    // refills what it has left, exactly as the feeder thread would within
    // its 5 ms, so the ring is full again before the device comes round.
    const int sampleFrames = static_cast<int>(FrameSamples(n + 1, fps) - FrameSamples(n, fps));
    run.samples.resize(static_cast<size_t>(sampleFrames) * 2);
    HeadlessAudioPlay(static_cast<uint32_t>(sampleFrames) * 4, reinterpret_cast<uint8_t*>(run.samples.data()));
    if (output.song != nullptr)
        FeederPass(HeadlessAudioPosition());

    if (!run.sink->Frame(n, run.pixels.data(), width, height, run.samples.data(), sampleFrames)) {
        run.sinkFailed = true;
        run.finished = true;
        Post(WM_CLOSE);
        return;
    }
    run.frames = n + 1;

    const uint32_t now = FrameTimeMs(n, fps);
    const uint32_t next = FrameTimeMs(n + 1, fps);
    HeadlessSetTime(CAPTURE_START_MS + next);
    if (run.frames >= run.limit) {
        // The time is up: the window is closed as a user would close it.
        run.finished = true;
        Post(WM_CLOSE);
        return;
    }
    const std::vector<ScriptEvent>& events = run.options->events;
    for (; run.nextEvent < events.size() && events[run.nextEvent].ms <= next; ++run.nextEvent)
        Post(events[run.nextEvent].message, events[run.nextEvent].wParam);
    if (run.options->tour)
        TourStep(now, next);
}

void ResetProgram() {
    ReleaseDisplay();
    display = Display{};
    HeadlessReset();
    ResetScene();
    ResetApp();
    ResetMusic();
}

} // namespace

int64_t FrameLimit(const CaptureOptions& options) {
    const double seconds = options.seconds > 0.0 ? options.seconds : LONGEST_SECONDS;
    const int64_t frames = std::llround(seconds * options.fps);
    return frames > 0 ? frames : 1;
}

CaptureRun RunCapture(const CaptureOptions& options, FrameSink& sink) {
    ResetProgram();
    run = RunState{};
    run.options = &options;
    run.sink = &sink;
    run.limit = FrameLimit(options);

    HeadlessSetTime(CAPTURE_START_MS);
    // No feeder thread: OnFlip runs the feeder's pass itself at every frame,
    // so the sound does not depend on how fast this machine is.
    HeadlessSetFeederThread(false);
    HeadlessOnFlip(OnFlip);
    WinMain(OsModuleHandle(), nullptr, "", SW_SHOWNORMAL);
    HeadlessOnFlip(nullptr);

    CaptureRun result;
    result.frames = run.frames;
    result.sinkFailed = run.sinkFailed;
    const std::vector<MessageBoxRecord>& boxes = HeadlessMessageBoxes();
    if (!boxes.empty()) {
        result.error = "the presentation stopped with an error: " + boxes.front().text;
    } else if (run.sinkFailed) {
        result.error = "the encoder stopped taking frames";
    } else if (run.frames == 0) {
        result.error = "the presentation showed no frame";
    } else {
        result.ok = true;
    }
    ResetProgram();
    run = RunState{};
    return result;
}
