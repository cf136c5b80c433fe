// Waveform audio output. The platform's WaveOutHandle is a small number: the
// slot of an HWAVEOUT here, so a stale or never-opened handle is refused
// with RESULT_INVALIDHANDLE before Windows sees it. The program's header is
// mirrored into the slot's WAVEHDR, which Windows holds while it plays; the
// flags Windows sets are copied back after every call.
#include "platform/win32/win32_internal.h"

namespace {

constexpr int MAX_DEVICES = 4;

struct Device {
    HWAVEOUT handle;
    WAVEHDR header;
};

Device devices[MAX_DEVICES];

Device* Find(WaveOutHandle handle) {
    if (handle == NO_WAVEOUT || handle > MAX_DEVICES)
        return nullptr;
    Device* d = &devices[handle - 1];
    return d->handle ? d : nullptr;
}

Result FromMmresult(MMRESULT r) {
    switch (r) {
    case MMSYSERR_NOERROR: return RESULT_OK;
    case MMSYSERR_INVALHANDLE: return RESULT_INVALIDHANDLE;
    case MMSYSERR_NODRIVER:
    case MMSYSERR_BADDEVICEID: return RESULT_NODEVICE;
    default: return RESULT_FAILED;
    }
}

// The program's header into the device's WAVEHDR; the WHDR_PREPARED and
// WHDR_INQUEUE bits stay as Windows keeps them.
void Mirror(Device* d, const WaveHeader* header) {
    WAVEHDR& h = d->header;
    h.lpData = reinterpret_cast<LPSTR>(header->data);
    h.dwBufferLength = header->bufferLength;
    h.dwBytesRecorded = header->bytesRecorded;
    h.dwUser = header->user;
    h.dwFlags = (h.dwFlags & (WHDR_PREPARED | WHDR_INQUEUE)) | (header->flags & ~(WHDR_PREPARED | WHDR_INQUEUE));
    h.dwLoops = header->loops;
}

} // namespace

Result WaveOutOpen(WaveOutHandle* out, const WaveFormat* format) {
    *out = NO_WAVEOUT;
    int slot = 0;
    while (slot < MAX_DEVICES && devices[slot].handle)
        ++slot;
    if (slot == MAX_DEVICES)
        return RESULT_FAILED;
    WAVEFORMATEX f{};
    f.wFormatTag = format->formatTag;
    f.nChannels = format->channels;
    f.nSamplesPerSec = format->samplesPerSec;
    f.nAvgBytesPerSec = format->avgBytesPerSec;
    f.nBlockAlign = format->blockAlign;
    f.wBitsPerSample = format->bitsPerSample;
    f.cbSize = format->cbSize;
    HWAVEOUT handle = nullptr;
    const MMRESULT r = waveOutOpen(&handle, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
    if (r != MMSYSERR_NOERROR)
        return FromMmresult(r);
    devices[slot] = Device{handle, WAVEHDR{}};
    *out = static_cast<WaveOutHandle>(slot + 1);
    return RESULT_OK;
}

Result WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    d->header.dwFlags = 0;
    Mirror(d, header);
    const MMRESULT r = waveOutPrepareHeader(d->handle, &d->header, sizeof(WAVEHDR));
    header->flags = d->header.dwFlags;
    return FromMmresult(r);
}

Result WaveOutWrite(WaveOutHandle device, WaveHeader* header) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    Mirror(d, header);
    const MMRESULT r = waveOutWrite(d->handle, &d->header, sizeof(WAVEHDR));
    header->flags = d->header.dwFlags;
    return FromMmresult(r);
}

Result WaveOutGetPositionBytes(WaveOutHandle device, uint32_t* bytes) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    MMTIME time{};
    time.wType = TIME_BYTES;
    const MMRESULT r = waveOutGetPosition(d->handle, &time, sizeof(MMTIME));
    if (r != MMSYSERR_NOERROR)
        return FromMmresult(r);
    // A driver that cannot count bytes answers in another unit.
    if (time.wType != TIME_BYTES)
        return RESULT_FAILED;
    *bytes = time.u.cb;
    return RESULT_OK;
}

Result WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    const MMRESULT r = waveOutUnprepareHeader(d->handle, &d->header, sizeof(WAVEHDR));
    header->flags = d->header.dwFlags;
    return FromMmresult(r);
}

Result WaveOutReset(WaveOutHandle device) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    return FromMmresult(waveOutReset(d->handle));
}

Result WaveOutClose(WaveOutHandle device) {
    Device* d = Find(device);
    if (!d)
        return RESULT_INVALIDHANDLE;
    const MMRESULT r = waveOutClose(d->handle);
    if (r == MMSYSERR_NOERROR)
        d->handle = nullptr;
    return FromMmresult(r);
}
