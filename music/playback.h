// The playback engine: walks the song row by row and tick by tick and
// turns its cells into per-channel pitch, volume, panning and note starts,
// which UpdateVoice carries to the mixer's voices.
#pragma once

#include <cstdint>

#include "music/module.h"

struct Voice;

// What UpdateVoice must carry to the channel's voice this tick.
constexpr uint8_t PENDING_FREQUENCY = 1;
constexpr uint8_t PENDING_VOLUME = 2;
constexpr uint8_t PENDING_PANNING = 4;
constexpr uint8_t PENDING_TRIGGER = 8;

struct Channel {
    uint8_t note;    // 0..95: cell note - 1 of the last note taken
    uint8_t pending; // PENDING_* bits
    Voice* voice;    // voicePool[i] or voicePool[i + 32] for channel i
    int32_t period;  // linear: 64 units per semitone; smaller is higher
    int32_t volume;
    int32_t panning;
    int32_t periodOffset;   // this tick's arpeggio / vibrato offset
    int32_t envelopeVolume; // 64 after an instrument reset, 0 once keyed off
    int32_t fadeoutVolume;  // 65536 after an instrument reset
    uint8_t keyOff;
    uint8_t instrument;     // 0-based
    int32_t notePeriod;     // period of the last note read
    uint8_t portaDownSpeed; // effect memories: written only by non-zero parameters
    uint8_t portaUpSpeed;
    uint8_t volumeSlideSpeed;
    int32_t portaTarget;
    uint8_t portaSpeed;
    int8_t vibratoPosition; // -32..31
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
    uint8_t finePortaUpSpeed;
};

extern Channel channels[MAX_SONG_CHANNELS];

// Stands for every instrument number beyond the song's instruments.
extern Instrument emptyInstrument;

// The tick routine: tick 0 runs ProcessRow and decides the next position,
// later ticks run ProcessTickEffects. Called before the tick's frames are mixed.
void PlayTick(Module* song);
// bpm is stored; samplesPerTick = 1000 / (bpm * 0.4f) * outputRate * 0.001f,
// single-precision constants in double arithmetic, truncated (125 BPM at
// 44100 Hz gives 882). A tempo outside 32..255 is computed as the nearest
// end of that range, so a tick always has at least one frame.
void SetTempo(Module* song, int bpm);
void ProcessRow(Module* song);
void ProcessTickEffects(Module* song);
// Instrument reset from the selected sample: volume, panning, envelope and
// fadeout levels, key-off and vibrato position.
void ResetChannel(Channel* channel, const Sample* sample);

// The song start that PlaySong performs before its first tick: position and
// speed from the song's defaults, SetTempo(defaultBpm), the first
// channelCount channels cleared and channel i linked to voice i.
void ResetSongPosition(Module* song);

// The instrument and the sample a channel plays now (emptyInstrument /
// emptySample for numbers beyond the song). Never null.
const Instrument* ChannelInstrument(const Module* song, const Channel* channel);
Sample* ChannelSample(const Module* song, const Channel* channel);

// Period of a real note (0-based, after relativeNote) under the song's table:
// linear 7680 - 64 * note - finetune / 2; Amiga from the period table with
// finetune interpolation, in units where C-4 (note 48) finetune 0 is 1712.
int32_t NotePeriod(const Module* song, uint8_t realNote, int8_t finetune);

// All channels zero, emptyInstrument zero (tests).
void ResetPlayback();
