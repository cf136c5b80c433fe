// The two entry points of the music player that the application shell calls.
#pragma once

// Installs the resource stream, opens the output device, loads "MUSIC" and
// starts playing it. False when there is no sound; the caller runs silent.
bool MusicStart();
// Stops and releases the song, then closes the output device. Safe without a
// preceding MusicStart.
void MusicStop();
