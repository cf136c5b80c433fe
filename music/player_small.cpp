// The program's player in the default build: the small engine of
// playback.cpp and effects.cpp.
#include "music/player.h"

#include "music/playback.h"

#include <cstring>

SongStartRoutine playerStart = StartSmallPlayer;

void ResetEngines() {
    ResetPlayback();
    playerStart = StartSmallPlayer;
}

SongStartRoutine EngineNamed(const char* name, uint32_t length) {
    if (length == 5 && std::memcmp(name, "small", 5) == 0)
        return StartSmallPlayer;
    return nullptr;
}
