// Waveform audio in the browser: one device, an AudioWorkletNode of the
// page's AudioContext (made at the visitor's start gesture, at the format's
// rate) whose processor (quillon-audio.js) loops the written buffer straight
// out of the program's shared memory and counts the bytes it has played.
//
// Threads. The program's thread opens, writes, resets and closes; the feeder
// thread asks for the position and then rewrites blocks already played; the
// audio thread's processor reads the ring. All of their common state is in
// the shared block (web_internal.h):
//  - Write publishes ring, length and a new generation before `playing`; the
//    processor reads `playing` first and starts from the ring's start at a
//    new generation.
//  - The processor adds the bytes it has copied to audioBytesPlayed after
//    the copy; the feeder only rewrites blocks behind that count.
//  - The other direction: each position query bumps audioHandOver, and the
//    processor loads it before it copies, so every block the feeder wrote
//    before its last query is visible to the processor (all of these are
//    sequentially consistent Atomics on both sides).
//  - Reset clears `playing` and then waits while audioBusy (set by the
//    processor around each copy) is up, so that after Reset returns the ring
//    is never read again and may be released.
#include <emscripten.h>
#include <emscripten/threading.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/web/web_internal.h"

namespace {

// Longest wait of Reset for a copy in progress; the audio thread copies 128
// frames at a time, so only a stalled audio thread takes this long, and
// then it is no longer reading.
constexpr double RESET_WAIT_MS = 200;

// The feeder thread checks the handle of its position queries too.
std::atomic<WaveOutHandle> openHandle{NO_WAVEOUT};
WaveOutHandle lastHandle = NO_WAVEOUT;
const uint8_t* writtenBuffer = nullptr; // program thread only

bool Live(WaveOutHandle handle) { return handle != NO_WAVEOUT && handle == openHandle.load(); }

} // namespace

Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format) {
    if (!out)
        return RESULT_FAILED;
    *out = NO_WAVEOUT;
    if (!format || format->formatTag != WAVE_FORMAT_PCM || format->channels != 2 || format->bitsPerSample != 16 ||
        format->blockAlign != 4 || format->samplesPerSec < 8000 || format->samplesPerSec > 192000)
        return RESULT_FAILED;
    if (openHandle.load() != NO_WAVEOUT)
        return RESULT_FAILED; // one device at a time
    WebShared& s = Shared();
    s.audioPlaying.store(0);
    s.audioBytesPlayed.store(0);
    // The page makes the node on its own thread (the AudioContext lives
    // there); 0 when it has no context at that rate.
    const int made = MAIN_THREAD_EM_ASM_INT(
        { return Module['quillonOpenAudio'] ? Module['quillonOpenAudio'](HEAPU8.buffer, $0, $1) : 0; }, &s,
        format->samplesPerSec);
    if (!made)
        return RESULT_NODEVICE;
    if (++lastHandle == NO_WAVEOUT)
        ++lastHandle;
    openHandle.store(lastHandle);
    *out = lastHandle;
    return RESULT_OK;
}

Result WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!header || !header->data || header->bufferLength == 0)
        return RESULT_FAILED;
    header->flags |= WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutWrite(WaveOutHandle device, WaveHeader* header) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!header || !(header->flags & WHDR_PREPARED))
        return RESULT_FAILED;
    // Whole frames only, so the loop never splits a sample.
    const uint32_t length = header->bufferLength - header->bufferLength % 4;
    WebShared& s = Shared();
    if (length == 0 || s.audioPlaying.load())
        return RESULT_FAILED;
    s.audioRing.store(static_cast<int32_t>(reinterpret_cast<uintptr_t>(header->data)));
    s.audioRingBytes.store(static_cast<int32_t>(length));
    s.audioBytesPlayed.store(0);
    s.audioGeneration.fetch_add(1);
    writtenBuffer = header->data;
    s.audioPlaying.store(1);
    return RESULT_OK;
}

Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!bytes)
        return RESULT_FAILED;
    WebShared& s = Shared();
    s.audioHandOver.fetch_add(1);
    *bytes = static_cast<uint32_t>(s.audioBytesPlayed.load());
    return RESULT_OK;
}

Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!header)
        return RESULT_FAILED;
    if (Shared().audioPlaying.load() && writtenBuffer == header->data)
        return RESULT_FAILED; // WAVERR_STILLPLAYING
    header->flags &= ~WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutReset(WaveOutHandle device) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    WebShared& s = Shared();
    s.audioPlaying.store(0);
    const double until = emscripten_get_now() + RESET_WAIT_MS;
    while (s.audioBusy.load() && emscripten_get_now() < until)
        emscripten_futex_wait(&s.audioBusy, 1, 1);
    s.audioBytesPlayed.store(0);
    writtenBuffer = nullptr;
    return RESULT_OK;
}

Result WaveOutClose(WaveOutHandle device) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (Shared().audioPlaying.load())
        return RESULT_FAILED; // WAVERR_STILLPLAYING: reset first
    MAIN_THREAD_EM_ASM({
        if (Module['quillonCloseAudio'])
            Module['quillonCloseAudio']();
    });
    openHandle.store(NO_WAVEOUT);
    return RESULT_OK;
}
