// Waveform audio in the browser: one device, an AudioWorkletNode of the
// page's AudioContext (made at the visitor's start gesture, at the format's
// rate) whose processor (quillon-audio.js) plays what the page sends it
// through its message port and reports how much it has played.
//
// The device reads ahead of the loudspeaker, as a sound card's DMA does:
// the page copies the written ring, from where it last stopped, into
// messages for the processor, always up to half the ring beyond what the
// processor has played, and the position this backend gives
// is the number of bytes copied so far. So every byte behind the position
// has been read for good and the feeder may rewrite it, and the bytes the
// page copies next are those the feeder wrote a lap before. The copying
// happens at each position query (the feeder's pass) and at the write;
// the processor reports its progress several times per second, which also
// wakes the program's waits, so a hidden page keeps the feeder going.
//
// While the page records a video (web_record.cpp) the device is a virtual
// one that plays the frame's share of the ring at each Flip, and the page
// gets no sound of its own.
//
// If the page is held up for longer than half the ring, the processor
// runs dry and plays silence until data comes: a gap, never a repeat,
// since the copy goes on from where it stopped.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/web/web_internal.h"

namespace {

WaveOutHandle openHandle = NO_WAVEOUT;
WaveOutHandle lastHandle = NO_WAVEOUT;
const uint8_t* writtenBuffer = nullptr; // the ring the device plays; null when stopped

bool Live(WaveOutHandle handle) { return handle != NO_WAVEOUT && handle == openHandle; }

} // namespace

Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format) {
    if (!out)
        return RESULT_FAILED;
    *out = NO_WAVEOUT;
    if (!format || format->formatTag != WAVE_FORMAT_PCM || format->channels != 2 || format->bitsPerSample != 16 ||
        format->blockAlign != 4 || format->samplesPerSec < 8000 || format->samplesPerSec > 192000)
        return RESULT_FAILED;
    if (openHandle != NO_WAVEOUT)
        return RESULT_FAILED; // one device at a time
    int made = 1;
    if (WebRecording())
        WebRecordAudioOpen(format->samplesPerSec);
    else // 0 when the page has no context at that rate.
        made = EM_ASM_INT({ return Module['quillonOpenAudio'] ? Module['quillonOpenAudio']($0) : 0; },
                          format->samplesPerSec);
    if (!made)
        return RESULT_NODEVICE;
    writtenBuffer = nullptr;
    if (++lastHandle == NO_WAVEOUT)
        ++lastHandle;
    openHandle = lastHandle;
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
    if (length == 0 || writtenBuffer)
        return RESULT_FAILED;
    writtenBuffer = header->data;
    if (WebRecording()) {
        WebRecordAudioWrite(header->data, length);
        return RESULT_OK;
    }
    EM_ASM({ Module['quillonAudioWrite']($0, $1); }, header->data, length);
    return RESULT_OK;
}

Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!bytes)
        return RESULT_FAILED;
    if (WebRecording()) {
        *bytes = writtenBuffer ? WebRecordAudioPosition() : 0;
        return RESULT_OK;
    }
    *bytes = writtenBuffer ? static_cast<uint32_t>(EM_ASM_INT({ return Module['quillonAudioPosition'](); })) : 0;
    return RESULT_OK;
}

Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (!header)
        return RESULT_FAILED;
    if (writtenBuffer && writtenBuffer == header->data)
        return RESULT_FAILED; // WAVERR_STILLPLAYING
    header->flags &= ~WHDR_PREPARED;
    return RESULT_OK;
}

// After this the page reads the ring no more, so it may be released.
Result WaveOutReset(WaveOutHandle device) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    writtenBuffer = nullptr;
    if (WebRecording()) {
        WebRecordAudioReset();
        return RESULT_OK;
    }
    EM_ASM({ Module['quillonAudioReset'](); });
    return RESULT_OK;
}

Result WaveOutClose(WaveOutHandle device) {
    if (!Live(device))
        return RESULT_INVALIDHANDLE;
    if (writtenBuffer)
        return RESULT_FAILED; // WAVERR_STILLPLAYING: reset first
    if (WebRecording())
        WebRecordAudioClose();
    else
        EM_ASM({
            if (Module['quillonCloseAudio'])
                Module['quillonCloseAudio']();
        });
    openHandle = NO_WAVEOUT;
    return RESULT_OK;
}
