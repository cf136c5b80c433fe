// The program's player in the default build: the small engine of
// playback.cpp and effects.cpp.
#include "music/player.h"

#include "music/playback.h"

SongStartRoutine playerStart = StartSmallPlayer;

void ResetEngines() {
    ResetPlayback();
    playerStart = StartSmallPlayer;
}
