// The program's player in a full build (QUILLON_FULL_XM=ON): every song
// starts on the full engine. The small engine is linked too (tools choose it
// with playerStart).
#include "music/full/full_engine.h"
#include "music/playback.h"
#include "music/player.h"

#include <cstring>

SongStartRoutine playerStart = StartFullPlayer;

void ResetEngines() {
    ResetPlayback();
    ResetFullPlayer();
    playerStart = StartFullPlayer;
}

SongStartRoutine EngineNamed(const char* name, uint32_t length) {
    if (length == 5 && std::memcmp(name, "small", 5) == 0)
        return StartSmallPlayer;
    if (length == 4 && std::memcmp(name, "full", 4) == 0)
        return StartFullPlayer;
    return nullptr;
}
