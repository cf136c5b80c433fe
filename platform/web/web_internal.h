// State the web backend shares with its page (quillon-page.js) and its audio
// worklet (quillon-audio.js) through the program's shared memory. The
// program runs in a worker; the page's main thread presents frames and
// turns DOM events into messages; the audio thread plays the ring. Each
// field has one writer; the readers use Atomics on the other side, so every
// field is a 32-bit atomic at a fixed index (the JS files name the same
// indices; the static_asserts below keep them in step).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int WEB_INPUT_SLOTS = 64; // queued input events, 3 words each

struct WebShared {
    std::atomic<int32_t> magic; //  0: WEB_SHARED_MAGIC once set up
    // Presentation: Flip hands a frame over by bumping frameSeq; the page
    // puts it on the canvas at its next animation frame and copies frameSeq
    // into presentedSeq (and notifies it).
    std::atomic<int32_t> frameSeq;     //  1: program
    std::atomic<int32_t> presentedSeq; //  2: page
    std::atomic<int32_t> frameWidth;   //  3: program
    std::atomic<int32_t> frameHeight;  //  4: program
    std::atomic<int32_t> framePixels;  //  5: program: address of RGBA bytes
    // Input: the page writes slots and then bumps inputHead (and notifies
    // it); the program reads up to inputHead and bumps inputTail.
    std::atomic<int32_t> hidden;    //  6: page: the page is not visible
    std::atomic<int32_t> inputHead; //  7: page
    std::atomic<int32_t> inputTail; //  8: program
    // Audio: the one waveform device (see web_audio.cpp).
    std::atomic<int32_t> audioPlaying;               //  9: program
    std::atomic<int32_t> audioRing;                  // 10: program: address of the ring
    std::atomic<int32_t> audioRingBytes;             // 11: program
    std::atomic<int32_t> audioGeneration;            // 12: program: bumped by each write
    std::atomic<int32_t> audioBytesPlayed;           // 13: worklet (reset by the program)
    std::atomic<int32_t> audioHandOver;              // 14: program
    std::atomic<int32_t> audioBusy;                  // 15: worklet: inside a copy
    std::atomic<int32_t> input[WEB_INPUT_SLOTS * 3]; // 16..: message, wParam, lParam
};

constexpr int32_t WEB_SHARED_MAGIC = 0x51554C4E; // "QULN"

static_assert(sizeof(std::atomic<int32_t>) == 4 && std::atomic<int32_t>::is_always_lock_free);
static_assert(offsetof(WebShared, hidden) == 6 * 4 && offsetof(WebShared, audioPlaying) == 9 * 4 &&
              offsetof(WebShared, audioBusy) == 15 * 4 && offsetof(WebShared, input) == 16 * 4);

WebShared& Shared();

// Moves the input the page has queued into the message queue; true when
// anything arrived.
bool WebDrainInput();
// The reason of the last failing window or display operation, printed by
// the message box on its second line; "" when none.
void WebKeepReason(const char* reason);
