// The music player as the application shell sees it: start and stop, and
// the reset of the whole player to a fresh process.
//
// Layers, each looking only down: this facade (the started song's
// lifetime); the output (audio_output: the ring, the feeder, the device; it
// starts songs on the player and runs their tick routine); the engines (the
// small player of playback.cpp, the full player of full/, each a tick
// routine filling VoiceControl records); the mixer (voices, resampling,
// ramps); the song data (stream, resource stream and loader).
#pragma once

// Installs the resource stream, opens the output device, loads "MUSIC" and
// starts playing it, on the player "PLAYER" names where the content has one
// (music/player.h). False when there is no sound; the caller runs silent.
bool MusicStart();
// Stops the feeder, then releases the song, then closes the output device.
// Safe without a preceding MusicStart.
void MusicStop();

// Every layer of the player back to the state of a fresh process: the
// feeder ended and the device reset before the started song is released,
// then the mixer, the engines, the stream and the shared empty sample.
void ResetMusic();
