// The program's player in a full build (QUILLON_FULL_XM=ON): every song
// starts on the full engine. The small engine is linked too (tools choose it
// with playerStart).
#include "music/full/full_engine.h"
#include "music/playback.h"
#include "music/player.h"

SongStartRoutine playerStart = StartFullPlayer;

void ResetEngines() {
    ResetPlayback();
    ResetFullPlayer();
    playerStart = StartFullPlayer;
}
