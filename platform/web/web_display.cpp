// DirectDraw in the browser: the memory surfaces, with the primary's
// picture put on the page's canvas. SetDisplayMode sizes the canvas's
// picture; at each Flip the new front buffer is converted from 0x00RRGGBB
// words (bytes B, G, R, 0 in memory) to the canvas's R, G, B, A bytes in a
// staging buffer, which the page puts on the canvas at once; then Flip
// waits for the browser's next animation frame, so frames come at the
// display's rate as with a vsync flip, and the browser (and the feeder)
// get their turn. A page that draws no animation frames (hidden) lets Flip
// go on after PRESENT_WAIT_MS. A canvas is never lost.
//
// In fast-forward (web_clock_threads.cpp) a Flip moves the program's clock
// on by its step and does not wait for the animation frame: the page still
// gets every frame, and the browser gets its turn (and paints the last
// one) once FAST_FORWARD_BUSY_MS have passed without one.
#include <emscripten.h>

#include <vector>

#include "platform/platform.h"
#include "platform/surface_core.h"
#include "platform/web/web_internal.h"
#include "platform/window_core.h"

namespace {

constexpr double PRESENT_WAIT_MS = 100;
constexpr double FAST_FORWARD_BUSY_MS = 30;

struct WebDisplayState {
    DirectDraw* presenting = nullptr; // the device that owns the canvas
    std::vector<uint32_t> staging;    // width * height RGBA pixels
    int width = 0;
    int height = 0;
};

WebDisplayState& State() {
    static WebDisplayState state;
    return state;
}

void Present(const PixelBuffer& front) {
    WebDisplayState& state = State();
    if (front.width != state.width || front.height != state.height || state.staging.empty())
        return;
    uint32_t* to = state.staging.data();
    for (int y = 0; y < front.height; ++y) {
        const uint32_t* from = front.Row(y);
        for (int x = 0; x < front.width; ++x) {
            const uint32_t p = from[x];
            *to++ = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
    }
    if (WebRecording()) {
        WebRecordFrame(state.staging.data(), state.width, state.height);
        return;
    }
    EM_ASM(
        {
            if (Module['quillonPresent'])
                Module['quillonPresent']($0, $1, $2);
        },
        state.staging.data(), state.width, state.height);
    if (WebClockStep() && WebNow() - WebLastTurn() <= FAST_FORWARD_BUSY_MS) {
        WebRunDueThreads(); // the feeder keeps up without the browser's turn
        return;
    }
    const double until = WebNow() + PRESENT_WAIT_MS;
    for (double left = PRESENT_WAIT_MS; left > 0; left = until - WebNow())
        if (WebWait(left, true) == WebWake::ANIMATION_FRAME)
            break;
}

} // namespace

Result DdCreate(DirectDraw** out) {
    if (!out)
        return RESULT_FAILED;
    *out = CoreNewDirectDraw();
    return RESULT_OK;
}

Result DdSetCooperativeLevel(DirectDraw* dd, Window* window, uint32_t flags) {
    if (!CoreDirectDrawLive(dd))
        return RESULT_FAILED;
    if (flags & DDSCL_EXCLUSIVE) {
        if (!CoreWindowAlive(window)) {
            WebKeepReason("no window for exclusive mode");
            return RESULT_FAILED;
        }
        if (State().presenting && State().presenting != dd)
            return RESULT_FAILED;
        State().presenting = dd;
    }
    dd->cooperativeWindow = window;
    dd->cooperativeFlags = flags;
    return RESULT_OK;
}

Result DdSetDisplayMode(DirectDraw* dd, int width, int height, int bitsPerPixel, int, uint32_t) {
    if (!CoreDirectDrawLive(dd))
        return RESULT_FAILED;
    if (bitsPerPixel != 32 || width < 1 || height < 1 || width > MAX_BUFFER_SIDE || height > MAX_BUFFER_SIDE) {
        WebKeepReason("only 32 bits per pixel are offered");
        return RESULT_FAILED;
    }
    if (State().presenting != dd) {
        WebKeepReason("SetDisplayMode needs exclusive mode first");
        return RESULT_FAILED;
    }
    State().staging.assign(static_cast<size_t>(width) * height, 0xFF000000u);
    State().width = width;
    State().height = height;
    dd->modeWidth = width;
    dd->modeHeight = height;
    return RESULT_OK;
}

Result DdCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, Surface** out) {
    const Result r = CoreCreateSurface(dd, desc, 0, 0, OsScreenWidth(), OsScreenHeight(), out);
    if (r != RESULT_OK)
        WebKeepReason("surface description not supported");
    return r;
}

void DdRelease(DirectDraw* dd) {
    if (!CoreDirectDrawLive(dd))
        return;
    if (State().presenting == dd)
        State().presenting = nullptr;
    CoreDeleteDirectDraw(dd);
}

Result SurfaceFlip(Surface* primary) {
    const Result r = CoreFlip(primary);
    if (r != RESULT_OK)
        return r;
    WebStepClock();
    if (primary->owner == State().presenting)
        Present(primary->pixels);
    return RESULT_OK;
}

Result SurfaceIsLost(Surface* surface) { return CoreIsLost(surface); }

Result SurfaceRestore(Surface* surface) { return CoreRestore(surface); }

Result SurfaceGetDesc(Surface* surface, SurfaceDesc* desc) { return CoreGetDesc(surface, desc); }

void SurfaceRelease(Surface* surface) { CoreRelease(surface); }
