#include "music/audio_output.h"

#include <cstdlib>
#include <cstring>

#include "music/mixer.h"
#include "music/module.h"
#include "music/player.h"
#include "music/playback.h"
#include "music/stream.h"

// The handshake flags have one writer each and no locks. A release store
// publishes everything its writer did before it (the feeder's last
// FillBlock, the main thread's set-up) to the acquire load on the other side.
AudioOutput output;

namespace {

// The block time and the ring length the block arithmetic is built from.
constexpr int32_t BLOCK_MILLISECONDS = 20;
constexpr int32_t RING_SETTING_MILLISECONDS = 1000;
constexpr uint32_t BYTES_PER_FRAME = 4; // 16-bit stereo
constexpr uint32_t LOOP_FOREVER = 0xFFFFFFFFu;
// Room to move the mix buffer's start to a 16-byte boundary.
constexpr size_t MIX_ALIGNMENT_SLACK = 256;
constexpr uint32_t FEEDER_POLL_MILLISECONDS = 5;
constexpr uint32_t STOP_POLL_MILLISECONDS = 50;

} // namespace

int32_t BlockFramesFor(int32_t rate) { return (rate * BLOCK_MILLISECONDS / 1000 + 3) & ~3; }

int32_t RingFramesFor(int32_t rate) {
    return (RING_SETTING_MILLISECONDS / BLOCK_MILLISECONDS) * BlockFramesFor(rate) * 2;
}

int32_t BlockCount() { return output.blockFrames > 0 ? output.ringFrames / output.blockFrames : 0; }

int32_t PlayingBlock(uint32_t positionBytes) {
    if (output.blockFrames <= 0 || output.ringFrames <= 0)
        return 0;
    uint32_t frames = positionBytes >> 2;
    return static_cast<int32_t>((frames % static_cast<uint32_t>(output.ringFrames)) /
                                static_cast<uint32_t>(output.blockFrames));
}

const int16_t* OutputRing() { return output.ring; }

const float* MixArea(int32_t block) {
    if (!output.mixBuffer || block < 0 || block >= BlockCount())
        return nullptr;
    return output.mixBuffer + 2 * static_cast<size_t>(block) * output.blockFrames;
}

bool OpenOutput(int32_t rate) {
    if (!FileCallbacksInstalled())
        return false;
    CloseOutput();
    output.rate = rate;
    WaveFormat format{};
    format.formatTag = WAVE_FORMAT_PCM;
    format.channels = 2;
    format.samplesPerSec = static_cast<uint32_t>(rate);
    format.avgBytesPerSec = static_cast<uint32_t>(rate) * BYTES_PER_FRAME;
    format.blockAlign = BYTES_PER_FRAME;
    format.bitsPerSample = 16;
    format.cbSize = 0;
    if (WaveOutOpen(&output.device, &format) != RESULT_OK)
        return false;
    output.blockFrames = BlockFramesFor(rate);
    output.ringFrames = RingFramesFor(rate);
    SetMixerRate(rate);
    ResetVoices();
    return true;
}

void CloseOutput() {
    // Results ignored; the handle is kept, as the device layer answers a stale
    // one with an error instead of touching memory.
    WaveOutReset(output.device);
    WaveOutClose(output.device);
    // The device no longer reads the ring, so the next PlaySong may refill it
    // without a reset of its own.
    output.ringWritten = false;
}

bool PlaySong(Module* song) {
    if (!song)
        return false;
    StopSong(song);

    // Voices left sounding by an earlier song may point into samples that
    // have since been released; a song starts from a silent pool. (The first
    // song after OpenOutput finds the pool in this state already.)
    ResetVoices();
    ContentPlayer()(song);
    output.song = song;

    // One ring per device geometry, reused by later songs: a ring the device
    // may still be looping over is never released. When the device is still
    // looping over it from an earlier song, it is reset first, so that the
    // pre-fill below never writes under the play position and the new write
    // starts from block 0 again rather than queueing behind an endless loop.
    uint32_t ringBytes = static_cast<uint32_t>(output.ringFrames) * BYTES_PER_FRAME;
    if (output.ringWritten) {
        WaveOutReset(output.device);
        output.ringWritten = false;
    }
    if (output.ring && output.ringBytes != ringBytes) {
        std::free(output.ring);
        output.ring = nullptr;
    }
    if (!output.ring) {
        output.ring = static_cast<int16_t*>(std::calloc(ringBytes, 1));
        output.ringBytes = output.ring ? ringBytes : 0;
    } else {
        std::memset(output.ring, 0, ringBytes);
    }
    output.header = {};
    output.header.data = reinterpret_cast<uint8_t*>(output.ring);
    output.header.bufferLength = output.ringBytes;
    output.header.flags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    output.header.loops = LOOP_FOREVER;
    WaveOutPrepareHeader(output.device, &output.header);

    output.mixAllocation =
        std::calloc(static_cast<size_t>(output.ringFrames) * 2 * sizeof(float) + MIX_ALIGNMENT_SLACK, 1);
    if (output.mixAllocation) {
        uintptr_t start = reinterpret_cast<uintptr_t>(output.mixAllocation);
        output.mixBuffer = reinterpret_cast<float*>((start + 15) & ~static_cast<uintptr_t>(15));
    } else {
        output.mixBuffer = nullptr;
    }
    if (!output.ring || !output.mixBuffer) {
        // Out of memory: nothing to mix into, so the song stays silent.
        std::free(output.mixAllocation);
        output.mixAllocation = nullptr;
        output.mixBuffer = nullptr;
        output.song = nullptr;
        return true;
    }

    output.fillIndex = 0;
    do {
        FillBlock();
    } while (output.fillIndex != 0);

    WaveOutWrite(output.device, &output.header);
    output.ringWritten = true;
    output.stopRequested.store(0, std::memory_order_release);
    output.feeder = OsCreateThread(FeederThread, nullptr);
    if (output.feeder)
        OsSetThreadPriorityTimeCritical(output.feeder);
    return true;
}

bool StopSong(Module* song) {
    if (!song)
        return false;
    output.stopRequested.store(1, std::memory_order_release);
    while (output.feederBusy.load(std::memory_order_acquire)) {
    }
    if (output.feeder) {
        while (!output.feederExited.load(std::memory_order_acquire))
            OsSleep(STOP_POLL_MILLISECONDS);
        // Joins the thread: even a feeder that had not yet announced itself
        // when output.feederExited was read has ended once this returns.
        OsCloseThread(output.feeder);
        output.feeder = nullptr;
    }
    std::free(output.mixAllocation);
    output.mixAllocation = nullptr;
    output.mixBuffer = nullptr;
    WaveOutUnprepareHeader(output.device, &output.header);
    output.header.flags &= ~WHDR_PREPARED;
    output.song = nullptr;
    return true;
}

void MixBlock(Module* song, float* mix, int16_t* pcm, int32_t frames) {
    std::memset(mix, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
    int32_t left = song->samplesLeftInTick;
    int32_t done = 0;
    while (done < frames) {
        if (left == 0) {
            song->tickRoutine(song);
            // Read after the tick: a tempo change made in it governs this very tick.
            left = song->samplesPerTick; // at least 1: SetTempo holds it there
        }
        int32_t n = left < frames - done ? left : frames - done;
        MixVoices(mix + 2 * static_cast<size_t>(done), n);
        done += n;
        left -= n;
    }
    // A tick that straddles two blocks continues in the next one.
    song->samplesLeftInTick = left;
    ConvertToPcm16(pcm, mix, frames);
}

void FillBlock() {
    int32_t k = output.fillIndex;
    size_t start = static_cast<size_t>(k) * output.blockFrames;
    MixBlock(output.song, output.mixBuffer + 2 * start, output.ring + 2 * start, output.blockFrames);
    output.fillIndex = k + 1 < BlockCount() ? k + 1 : 0;
}

int32_t FeederPass(uint32_t positionBytes) {
    int32_t playing = PlayingBlock(positionBytes);
    int32_t filled = 0;
    while (output.fillIndex != playing) {
        output.feederBusy.store(1, std::memory_order_release);
        FillBlock();
        output.feederBusy.store(0, std::memory_order_release);
        ++filled;
    }
    return filled;
}

uint32_t FeederThread(void*) {
    output.feederExited.store(0, std::memory_order_release);
    // A failed position query keeps the last position, so the pass fills
    // nothing rather than guessing.
    uint32_t position = 0;
    while (!output.stopRequested.load(std::memory_order_acquire)) {
        uint32_t bytes = position;
        if (WaveOutGetPositionBytes(output.device, &bytes) == RESULT_OK)
            position = bytes;
        FeederPass(position);
        OsSleep(FEEDER_POLL_MILLISECONDS);
    }
    output.feederExited.store(1, std::memory_order_release);
    return 0;
}

void ResetAudioOutput() {
    if (output.feeder) {
        output.stopRequested.store(1, std::memory_order_release);
        OsCloseThread(output.feeder);
    }
    if (output.ringWritten)
        WaveOutReset(output.device); // the device must not read a released ring
    std::free(output.mixAllocation);
    std::free(output.ring);
    output.rate = 0;
    output.blockFrames = 0;
    output.ringFrames = 0;
    output.fillIndex = 0;
    output.song = nullptr;
    output.device = {};
    output.header = {};
    output.ring = nullptr;
    output.ringBytes = 0;
    output.ringWritten = false;
    output.mixAllocation = nullptr;
    output.mixBuffer = nullptr;
    output.feeder = nullptr;
    output.stopRequested.store(0, std::memory_order_relaxed);
    output.feederBusy.store(0, std::memory_order_relaxed);
    output.feederExited.store(1, std::memory_order_relaxed);
}
