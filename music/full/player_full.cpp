// The program's player in a full build (QUILLON_FULL_XM=ON): every song
// starts on the full engine.
#include "music/full/full_engine.h"
#include "music/player.h"

SongStartRoutine playerStart = StartFullPlayer;
