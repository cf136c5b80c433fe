// Waveform audio on SDL2: one SDL audio device per open handle, opened for
// the format's rate, signed 16-bit little-endian stereo with no format
// change allowed (SDL converts for the hardware if it must). After
// WaveOutWrite the device's callback plays the one buffer in an endless
// loop and counts the bytes it has handed to SDL.
//
// Threads. Three parties touch a device: the main thread (open, write,
// reset, close), the music feeder thread (GetPositionBytes, then refilling
// the blocks already played), and SDL's audio thread (the callback).
//  - The buffer pointer, its length, the play offset and `playing` change
//    only under SDL_LockAudioDevice, the lock SDL holds around each callback,
//    so the callback sees them consistently and never after Reset returns.
//  - The byte counter is written by the callback alone: a release store
//    after it has copied the bytes it counts. GetPositionBytes loads it with
//    acquire, so once the feeder has seen a count, the callback's reads of
//    those bytes happen before the feeder's rewriting of them.
//  - The other direction: the feeder writes a block, and the callback reads
//    it a lap later. GetPositionBytes, which the feeder calls on every pass,
//    does a release read-modify-write on `handOver`, and the callback
//    acquire-loads `handOver` before it copies. Every block the feeder wrote
//    before its last position query is thereby visible to the callback (the
//    feeder only rewrites blocks behind the play position, which the
//    callback reaches again only much later), and ThreadSanitizer sees the
//    happens-before edge instead of a race on the ring.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/sdl/sdl_internal.h"

namespace {

constexpr int MAX_DEVICES = 4;

struct AudioDevice {
    std::atomic<WaveOutHandle> handle{NO_WAVEOUT}; // NO_WAVEOUT: slot free
    SDL_AudioDeviceID id = 0;
    // Under the device lock:
    const uint8_t* ring = nullptr;
    uint32_t length = 0;
    uint32_t offset = 0;
    bool playing = false;
    // Lock-free, see above:
    std::atomic<uint32_t> bytesPlayed{0};
    std::atomic<uint32_t> handOver{0};
};

AudioDevice devices[MAX_DEVICES];
std::atomic<WaveOutHandle> lastHandle{NO_WAVEOUT};

// The device of a live handle, or null.
AudioDevice* Find(WaveOutHandle handle) {
    if (handle == NO_WAVEOUT)
        return nullptr;
    for (AudioDevice& d : devices)
        if (d.handle.load(std::memory_order_acquire) == handle)
            return &d;
    return nullptr;
}

void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
    auto* d = static_cast<AudioDevice*>(userdata);
    if (!d->playing || !d->ring || d->length == 0 || len <= 0) {
        std::memset(stream, 0, static_cast<size_t>(len > 0 ? len : 0));
        return;
    }
    (void)d->handOver.load(std::memory_order_acquire);
    uint32_t left = static_cast<uint32_t>(len);
    uint8_t* to = stream;
    while (left > 0) {
        const uint32_t run = std::min(left, d->length - d->offset);
        std::memcpy(to, d->ring + d->offset, run);
        to += run;
        left -= run;
        d->offset = (d->offset + run) % d->length;
    }
    d->bytesPlayed.store(d->bytesPlayed.load(std::memory_order_relaxed) + static_cast<uint32_t>(len),
                         std::memory_order_release);
}

} // namespace

Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format) {
    if (!out)
        return RESULT_FAILED;
    *out = NO_WAVEOUT;
    if (!format || format->formatTag != WAVE_FORMAT_PCM || format->channels != 2 || format->bitsPerSample != 16 ||
        format->blockAlign != 4 || format->samplesPerSec < 8000 || format->samplesPerSec > 192000)
        return RESULT_FAILED;
    AudioDevice* slot = nullptr;
    for (AudioDevice& d : devices)
        if (d.handle.load(std::memory_order_acquire) == NO_WAVEOUT) {
            slot = &d;
            break;
        }
    if (!slot)
        return RESULT_FAILED;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format->samplesPerSec);
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Callback;
    want.userdata = slot;
    SDL_AudioSpec have{};
    SDL_AudioDeviceID id = 0;
    {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            if (id == 0)
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }
    if (id == 0) {
        // Said once per process: the music opens its device once, but a
        // test may open many.
        static std::atomic<bool> toldSilent{false};
        if (!toldSilent.exchange(true))
            std::fputs("no sound device: the presentation runs silent\n", stderr);
        return RESULT_NODEVICE;
    }
    slot->id = id;
    slot->ring = nullptr;
    slot->length = 0;
    slot->offset = 0;
    slot->playing = false;
    slot->bytesPlayed.store(0, std::memory_order_relaxed);
    WaveOutHandle h = lastHandle.fetch_add(1) + 1;
    if (h == NO_WAVEOUT)
        h = lastHandle.fetch_add(1) + 1;
    slot->handle.store(h, std::memory_order_release);
    *out = h;
    return RESULT_OK;
}

Result WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header) {
    if (!Find(device))
        return RESULT_INVALIDHANDLE;
    if (!header || !header->data || header->bufferLength == 0)
        return RESULT_FAILED;
    header->flags |= WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutWrite(WaveOutHandle device, WaveHeader* header) {
    AudioDevice* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    if (!header || !(header->flags & WHDR_PREPARED))
        return RESULT_FAILED;
    // Whole frames only, so the loop never splits a sample.
    const uint32_t length = header->bufferLength - header->bufferLength % 4;
    if (length == 0)
        return RESULT_FAILED;
    SDL_LockAudioDevice(d->id);
    const bool busy = d->playing;
    if (!busy) {
        d->ring = header->data;
        d->length = length;
        d->offset = 0;
        d->playing = true;
        d->bytesPlayed.store(0, std::memory_order_release);
    }
    SDL_UnlockAudioDevice(d->id);
    if (busy)
        return RESULT_FAILED;
    SDL_PauseAudioDevice(d->id, 0);
    return RESULT_OK;
}

Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes) {
    AudioDevice* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    if (!bytes)
        return RESULT_FAILED;
    d->handOver.fetch_add(1, std::memory_order_release);
    *bytes = d->bytesPlayed.load(std::memory_order_acquire);
    return RESULT_OK;
}

Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header) {
    AudioDevice* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    if (!header)
        return RESULT_FAILED;
    SDL_LockAudioDevice(d->id);
    const bool stillPlaying = d->playing && d->ring == header->data;
    SDL_UnlockAudioDevice(d->id);
    if (stillPlaying)
        return RESULT_FAILED; // WAVERR_STILLPLAYING
    header->flags &= ~WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutReset(WaveOutHandle device) {
    AudioDevice* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    SDL_PauseAudioDevice(d->id, 1);
    SDL_LockAudioDevice(d->id);
    d->playing = false;
    d->ring = nullptr;
    d->length = 0;
    d->offset = 0;
    d->bytesPlayed.store(0, std::memory_order_release);
    SDL_UnlockAudioDevice(d->id);
    return RESULT_OK;
}

Result WaveOutClose(WaveOutHandle device) {
    AudioDevice* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    SDL_LockAudioDevice(d->id);
    const bool playing = d->playing;
    SDL_UnlockAudioDevice(d->id);
    if (playing)
        return RESULT_FAILED; // WAVERR_STILLPLAYING: reset first
    SDL_CloseAudioDevice(d->id);
    d->id = 0;
    d->handle.store(NO_WAVEOUT, std::memory_order_release);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return RESULT_OK;
}
