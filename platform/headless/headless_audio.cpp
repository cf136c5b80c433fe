// The virtual waveform-audio device: it plays nothing; the test moves the
// byte position that WaveOutGetPositionBytes reports. The feeder thread asks
// for the position while the test's thread moves it, so the position is an
// atomic and the rest of the device record is guarded by a mutex.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"

namespace {

struct VirtualDevice {
    std::mutex mutex;
    WaveOutHandle handle = NO_WAVEOUT; // the open device's number
    WaveOutHandle lastHandle = NO_WAVEOUT;
    WaveFormat format{};
    const uint8_t* buffer = nullptr;
    uint32_t length = 0;
    bool playing = false;
    bool looping = false; // written with both loop flags; else the buffer plays once
    std::atomic<uint32_t> position{0};
};

VirtualDevice& Device() {
    static VirtualDevice device;
    return device;
}

bool FormatPlayable(const WaveFormat& f) {
    return f.formatTag == WAVE_FORMAT_PCM && (f.channels == 1 || f.channels == 2) &&
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.samplesPerSec >= 1000 && f.samplesPerSec <= 192000 &&
           f.blockAlign == f.channels * f.bitsPerSample / 8 && f.avgBytesPerSec == f.samplesPerSec * f.blockAlign;
}

} // namespace

Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format) {
    if (!out)
        return RESULT_FAILED;
    *out = NO_WAVEOUT;
    if (HeadlessFaultHit("WaveOutOpen"))
        return RESULT_NODEVICE;
    if (!format || !FormatPlayable(*format))
        return RESULT_FAILED;
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.handle != NO_WAVEOUT)
        return RESULT_FAILED; // one device, already allocated
    d.handle = ++d.lastHandle == NO_WAVEOUT ? ++d.lastHandle : d.lastHandle;
    d.format = *format;
    d.buffer = nullptr;
    d.length = 0;
    d.playing = false;
    d.position.store(0, std::memory_order_relaxed);
    *out = d.handle;
    return RESULT_OK;
}

Result WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header) {
    if (HeadlessFaultHit("WaveOutPrepareHeader"))
        return RESULT_FAILED;
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    if (!header || !header->data || header->bufferLength == 0)
        return RESULT_FAILED;
    header->flags |= WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutWrite(WaveOutHandle device, WaveHeader* header) {
    if (HeadlessFaultHit("WaveOutWrite"))
        return RESULT_FAILED;
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    if (!header || !(header->flags & WHDR_PREPARED) || d.playing)
        return RESULT_FAILED;
    d.buffer = header->data;
    d.length = header->bufferLength;
    d.playing = true;
    d.looping = (header->flags & WHDR_BEGINLOOP) && (header->flags & WHDR_ENDLOOP);
    d.position.store(0, std::memory_order_release);
    return RESULT_OK;
}

Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes) {
    if (HeadlessFaultHit("WaveOutGetPosition"))
        return RESULT_FAILED;
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    if (!bytes)
        return RESULT_FAILED;
    *bytes = d.position.load(std::memory_order_acquire);
    return RESULT_OK;
}

Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header) {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    if (!header)
        return RESULT_FAILED;
    // The buffer the device still loops over stays prepared (WAVERR_STILLPLAYING).
    if (d.playing && header->data == d.buffer)
        return RESULT_FAILED;
    header->flags &= ~WHDR_PREPARED;
    return RESULT_OK;
}

Result WaveOutReset(WaveOutHandle device) {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    d.playing = false;
    d.position.store(0, std::memory_order_release);
    return RESULT_OK;
}

Result WaveOutClose(WaveOutHandle device) {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (device == NO_WAVEOUT || device != d.handle)
        return RESULT_INVALIDHANDLE;
    if (d.playing)
        return RESULT_FAILED; // WAVERR_STILLPLAYING: reset first
    d.handle = NO_WAVEOUT;
    HeadlessLogRelease("waveOut");
    return RESULT_OK;
}

bool HeadlessAudioOpen() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.handle != NO_WAVEOUT;
}

void HeadlessAudioSetPosition(uint32_t bytes) { Device().position.store(bytes, std::memory_order_release); }

void HeadlessAudioAdvance(uint32_t bytes) {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    uint32_t position = d.position.load(std::memory_order_acquire) + bytes;
    if (d.playing && !d.looping && position > d.length)
        position = d.length; // played once to its end: the count stands still
    d.position.store(position, std::memory_order_release);
}

uint32_t HeadlessAudioPosition() { return Device().position.load(std::memory_order_acquire); }

const uint8_t* HeadlessAudioBuffer() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.buffer;
}

uint32_t HeadlessAudioBufferLength() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.length;
}

void HeadlessAudioPlay(uint32_t bytes, uint8_t* out) {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.playing || d.buffer == nullptr || d.length == 0) {
        std::memset(out, 0, bytes);
        return;
    }
    uint32_t position = d.position.load(std::memory_order_acquire);
    for (uint32_t done = 0; done < bytes;) {
        if (!d.looping && position >= d.length) {
            std::memset(out + done, 0, bytes - done);
            break;
        }
        const uint32_t at = position % d.length;
        const uint32_t n = std::min(bytes - done, d.length - at);
        std::memcpy(out + done, d.buffer + at, n);
        done += n;
        position += n;
    }
    d.position.store(position, std::memory_order_release);
}

bool HeadlessAudioPlaying() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.playing;
}

WaveFormat HeadlessAudioFormat() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.format;
}

void HeadlessResetAudio() {
    VirtualDevice& d = Device();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.handle = NO_WAVEOUT;
    d.lastHandle = NO_WAVEOUT;
    d.format = WaveFormat{};
    d.buffer = nullptr;
    d.length = 0;
    d.playing = false;
    d.position.store(0, std::memory_order_relaxed);
}
