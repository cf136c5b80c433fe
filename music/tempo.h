// The song's tempo in output frames, shared by both players.
#pragma once

struct Module;

// bpm is stored; samplesPerTick = 1000 / (bpm * 0.4f) * rate * 0.001f,
// single-precision constants in double arithmetic, truncated (125 BPM at
// 44100 Hz gives 882), for the rate the mixer was opened at. A tempo outside
// 32..255 is computed as the nearest end of that range, so a tick always has
// at least one frame.
void SetTempo(Module* song, int bpm);
