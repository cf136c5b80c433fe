// The program's player in the default build: the small engine of
// playback.cpp and effects.cpp, started as it always was.
#include "music/player.h"

#include "music/playback.h"

SongStartRoutine playerStart = ResetSongPosition;
