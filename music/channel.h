// The small player's channel record: what a channel plays and the memories
// of its effects, shared by the row and tick handling (playback.cpp), the
// effects (effects.cpp) and the voice update (voice_update.cpp).
#pragma once

#include <cstdint>

#include "music/module.h"

// What UpdateVoice must carry to the channel's voice this tick.
constexpr uint8_t PENDING_FREQUENCY = 1;
constexpr uint8_t PENDING_VOLUME = 2;
constexpr uint8_t PENDING_PANNING = 4;
constexpr uint8_t PENDING_TRIGGER = 8;

struct Channel {
    uint8_t note;    // 0..95: cell note - 1 of the last note taken
    uint8_t pending; // PENDING_* bits
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
    // What the voice was last given: its volume (0..127 for channel volumes
    // up to 64) and its panning (0..255, 255 fully left). Each update of one
    // splits the volume again with the other.
    int32_t voiceVolume;
    int32_t voicePanning;
};

// The small player's state.
struct Playback {
    Channel channels[MAX_SONG_CHANNELS];
    // Stands for every instrument number beyond the song's instruments.
    Instrument emptyInstrument;
};

extern Playback playback;
