#include "music/music.h"

#include "music/audio_output.h"
#include "music/module.h"
#include "music/resource_stream.h"
#include "music/stream.h"

namespace {

constexpr int32_t OUTPUT_RATE = 44100;

// The song MusicStart loaded; only MusicStop reads it.
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
        // Stops the feeder (StopSong) before anything of the song is released.
        FreeModule(startedSong);
        startedSong = nullptr;
    }
    CloseOutput();
}
