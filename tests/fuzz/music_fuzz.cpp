// libFuzzer target: a song from arbitrary bytes is loaded as the resource
// "MUSIC" and, when it loads, played through the real output path (the
// pre-fill of PlaySong, two seconds of FillBlock, then one more second of
// blocks) and released. The platform is a small in-process shim: the input
// is the only resource, the wave device accepts everything, no thread starts.
#include <cstddef>
#include <cstdint>

#include "music/audio_output.h"
#include "music/module.h"
#include "music/music.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/platform.h"

namespace {
const uint8_t* inputData;
size_t inputSize;
} // namespace

struct Instance {};
struct Thread {};

Instance* OsModuleHandle() { return nullptr; }
bool OsFindResource(Instance*, const char*, uint32_t, ResourceBytes* out) {
    out->data = inputData;
    out->size = static_cast<uint32_t>(inputSize);
    return true;
}
Result WaveOutOpen(WaveOutHandle* out, const WaveFormat*) {
    *out = 1;
    return RESULT_OK;
}
Result WaveOutPrepareHeader(WaveOutHandle, WaveHeader*) { return RESULT_OK; }
Result WaveOutWrite(WaveOutHandle, WaveHeader*) { return RESULT_OK; }
Result WaveOutGetPositionBytes(WaveOutHandle, uint32_t* bytes) {
    *bytes = 0;
    return RESULT_OK;
}
Result WaveOutUnprepareHeader(WaveOutHandle, WaveHeader*) { return RESULT_OK; }
Result WaveOutReset(WaveOutHandle) { return RESULT_OK; }
Result WaveOutClose(WaveOutHandle) { return RESULT_OK; }
Thread* OsCreateThread(ThreadProc, void*) { return nullptr; }
bool OsSetThreadPriorityTimeCritical(Thread*) { return true; }
void OsCloseThread(Thread*) {}
void OsSleep(uint32_t) {}
uint32_t OsTimeGetTime() { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF)
        return 0;
    inputData = data;
    inputSize = size;
    ResetMusic();
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    if (!OpenOutput(44100))
        __builtin_trap();
    Module* song = LoadModule("MUSIC");
    if (song) {
        PlaySong(song); // mixes the whole ring: two seconds
        for (int block = 0; block < 50; ++block)
            FillBlock();
        StopSong(song);
        FreeModule(song);
    }
    CloseOutput();
    return 0;
}
