#include "music/music.h"

#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/player.h"
#include "music/resource_stream.h"
#include "music/stream.h"

namespace {

constexpr int32_t OUTPUT_RATE = 44100;

// The song MusicStart loaded; only MusicStop and ResetMusic read it.
Module* startedSong;

} // namespace

bool MusicStart() {
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    if (!OpenOutput(OUTPUT_RATE))
        return false;
    startedSong = LoadModule("MUSIC");
    if (!startedSong)
        return false;
    PlaySong(startedSong);
    return true;
}

void MusicStop() {
    if (startedSong) {
        // The feeder must be outside a block and ended before the song goes away.
        StopSong(startedSong);
        FreeModule(startedSong);
        startedSong = nullptr;
    }
    CloseOutput();
}

void ResetMusic() {
    ResetAudioOutput();
    FreeModule(startedSong);
    startedSong = nullptr;
    ResetMixer();
    ResetEngines();
    ResetStream();
    emptySample = Sample{};
}
