// What the web backend's files share. The program runs on the page's own
// thread, with no worker and no shared memory, so the page can be a single
// file opened from disk or from any host. It gives the browser its turn
// whenever it waits: at each Flip (until the next animation frame), while
// the page is hidden and no input waits, and in OsSleep. Asyncify unwinds
// the program's stack at those points and rewinds it when the page calls
// back. The music's feeder "thread" is a fiber that runs at those same
// points (web_clock_threads.cpp).
//
// The page (quillon-page.js) writes input into the block below through the
// program's memory; everything else goes through calls into the page.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int WEB_INPUT_SLOTS = 64; // queued input events, 3 words each

// One thread only: plain words, each written by one side. The page finds
// the block through quillon_web_shared(); the indices are those the page
// names.
struct WebShared {
    int32_t magic;                      // 0: WEB_SHARED_MAGIC once set up
    int32_t hidden;                     // 1: page: the page is not visible
    int32_t inputHead;                  // 2: page: slots written up to here
    int32_t inputTail;                  // 3: program: slots read up to here
    int32_t input[WEB_INPUT_SLOTS * 3]; // 4..: message, wParam, lParam
};

constexpr int32_t WEB_SHARED_MAGIC = 0x51554C4E; // "QULN"

static_assert(offsetof(WebShared, hidden) == 1 * 4 && offsetof(WebShared, inputTail) == 3 * 4 &&
              offsetof(WebShared, input) == 4 * 4);

WebShared& Shared();

// Moves the input the page has queued into the message queue; true when
// anything arrived.
bool WebDrainInput();
// The reason of the last failing window or display operation, printed by
// the message box on its second line; "" when none.
void WebKeepReason(const char* reason);

// What woke a wait of the main context.
enum class WebWake { TIMEOUT, ANIMATION_FRAME, PAGE };

// Runs every fiber whose sleep is over until it sleeps again or ends. Does
// nothing when called from a fiber.
void WebRunDueThreads();
// The main context gives the browser its turn for at most `milliseconds`
// (less when a fiber is due earlier), or until the page wakes it (input,
// a report of the audio player, a change of visibility) or, with
// `animationFrame`, until the browser's next animation frame. Due fibers run
// before it returns.
WebWake WebWait(double milliseconds, bool animationFrame);
// Milliseconds of the browser's monotonic clock, as a double.
double WebNow();
// When the last wait of the main context ended (WebNow's clock).
double WebLastTurn();
// The fast-forward step of the program's clock in ms, 0 when it follows the
// browser's (quillon_web_set_clock_step).
uint32_t WebClockStep();
// A Flip's tick of the program's clock: the step in fast-forward, nothing
// otherwise.
void WebStepClock();

// Recording (web_record.cpp, quillon_web_record): the program on the
// capture tool's frame clock, its frames and sound handed to the page.
bool WebRecording();
// The program's clock while recording: the current frame's time.
uint32_t WebRecordClock();
// The virtual waveform device that plays while recording.
void WebRecordAudioOpen(uint32_t rate);
void WebRecordAudioWrite(const uint8_t* ring, uint32_t bytes);
uint32_t WebRecordAudioPosition();
void WebRecordAudioReset();
void WebRecordAudioClose();
// A Flip's frame (RGBA bytes): plays the frame's sound, lets the feeder
// refill, and waits until the page has taken both.
void WebRecordFrame(const uint32_t* rgba, int width, int height);
// Runs every live fiber once, due or not (the recording's feeder pass).
// Does nothing when called from a fiber.
void WebRunThreadsNow();
