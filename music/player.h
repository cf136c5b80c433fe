// Which engine plays a song: the routine PlaySong runs to put the song at
// its start and give it its tick routine. The music library is built in two
// ways that differ only in the file defining the build's default: the small
// player (player_small.cpp: StartSmallPlayer) or the full player
// (full/player_full.cpp: StartFullPlayer). Tools that offer both set
// playerStart before MusicStart; a resource "PLAYER" in the content
// overrides either (ContentPlayer).
#pragma once

#include <cstdint>

struct Module;

using SongStartRoutine = void (*)(Module* song);

extern SongStartRoutine playerStart;

// Every engine of the build back to a fresh process, playerStart to the
// build's default (ResetMusic).
void ResetEngines();

// The engine of this build named `name` ("small" or "full", `length` bytes,
// no terminator needed), or nullptr where the build has no engine of that
// name: the small library holds only the small player, the full library
// both.
SongStartRoutine EngineNamed(const char* name, uint32_t length);

// The engine a song starts on: the content's choice where the program
// carries an RCDATA resource "PLAYER" whose bytes are exactly "small" or
// "full" and the build holds that engine, otherwise playerStart (the build's
// default in the program). Read at each start and never stored, so one
// program (the maker's Windows exe, the web program) serves both players and
// a start without the resource plays the default again.
SongStartRoutine ContentPlayer();
