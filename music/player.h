// Which engine plays a song: the routine PlaySong runs to put the song at
// its start and give it its tick routine. The music library is built in two
// ways that differ only in the file defining the build's default: the small
// player (player_small.cpp: StartSmallPlayer) or the full player
// (full/player_full.cpp: StartFullPlayer). Tools that offer both set
// playerStart before MusicStart.
#pragma once

struct Module;

using SongStartRoutine = void (*)(Module* song);

extern SongStartRoutine playerStart;

// Every engine of the build back to a fresh process, playerStart to the
// build's default (ResetMusic).
void ResetEngines();
