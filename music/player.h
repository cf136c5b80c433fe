// Which engine plays a song: the routine PlaySong runs to put the song at
// its start. The music library is built in two ways that differ only in
// the file defining `playerStart`: the small player (player_small.cpp:
// ResetSongPosition, the song keeps PlayTick) or the full player
// (full/player_full.cpp: StartFullPlayer, which also installs its own tick
// routine). Tools that offer both set it before MusicStart.
#pragma once

struct Module;

using SongStartRoutine = void (*)(Module* song);

extern SongStartRoutine playerStart;
