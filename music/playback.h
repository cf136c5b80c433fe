// The small player: walks the song row by row and tick by tick and turns
// its cells into per-channel pitch, volume, panning and note starts, which
// UpdateVoice carries to the mixer's voices.
#pragma once

#include <cstdint>

#include "music/channel.h"
#include "music/module.h"

// The tick routine: tick 0 runs ProcessRow and decides the next position,
// later ticks run ProcessTickEffects. Called before the tick's frames are mixed.
void PlayTick(Module* song);
void ProcessRow(Module* song);
void ProcessTickEffects(Module* song);
// Instrument reset from the selected sample: volume, panning, envelope and
// fadeout levels, key-off and vibrato position.
void ResetChannel(Channel* channel, const Sample* sample);

// The song at its start: position and speed from the song's defaults,
// SetTempo(defaultBpm), the first channelCount channels cleared.
void ResetSongPosition(Module* song);
// The small player's start (PlaySong's playerStart in the default build):
// ResetSongPosition, PlayTick as the song's tick routine, and the mixer's
// ramps at the small player's resolution.
void StartSmallPlayer(Module* song);

// The instrument and the sample a channel plays now (emptyInstrument /
// emptySample for numbers beyond the song). Never null.
const Instrument* ChannelInstrument(const Module* song, const Channel* channel);
Sample* ChannelSample(const Module* song, const Channel* channel);

// Carries channel->pending to the voice of channel `number`: the frequency
// (skipped while period + periodOffset is 0), the volume and the panning
// split into the voice's levels, and a note start of `sample`.
void UpdateVoice(int32_t number, Channel* channel, const Sample* sample, const Module* song);

// All channels zero, emptyInstrument zero (tests).
void ResetPlayback();
