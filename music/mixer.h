// The mixer: the voices, which the engines control through ControlVoice;
// MixVoices resamples every sounding voice with linear interpolation into a
// stereo float buffer, following loops and ramping every volume change;
// ConvertToPcm16 turns the floats into 16-bit output.
#pragma once

#include <cstdint>

struct Sample;

// Levels of a voice count VOICE_LEVEL_FULL to full gain (a sample value
// added as it is): fine enough that the quietest channel volume of the full
// player still sounds; the small player's levels of 0..127 in steps of 1/255
// are these counts divided by 256, exactly.
constexpr int32_t VOICE_LEVEL_FULL = 255 * 256;

struct Voice {
    int32_t index;        // own number in mixer.voices
    const Sample* sample; // null: idle, not mixed
    int32_t leftVolume;   // target levels, in VOICE_LEVEL_FULL units
    int32_t rightVolume;
    uint32_t position; // 32.32 play position in sample frames
    uint32_t positionFraction;
    uint32_t stepFraction; // 32.32 step per output frame; stepInteger < 256
    uint32_t stepInteger;
    int32_t direction;      // 1 forward, 2 backward
    int32_t rampLeftTarget; // the levels the running ramp was set up for
    int32_t rampRightTarget;
    int32_t levelLeft; // level reached, in 1/256 of leftVolume's unit
    int32_t levelRight;
    float rampStepLeft; // gain change per output frame while ramping
    float rampStepRight;
    int32_t rampRemaining; // frames left in the ramp; 0 when none runs
};

constexpr int32_t VOICE_COUNT = 64;

constexpr int32_t DIRECTION_FORWARD = 1;
constexpr int32_t DIRECTION_BACKWARD = 2;

// Which fields of a VoiceControl apply this tick.
constexpr uint8_t VOICE_TRIGGER = 1;   // start `sample` at `startOffset`
constexpr uint8_t VOICE_FREQUENCY = 2; // a new `frequency`
constexpr uint8_t VOICE_LEVELS = 4;    // new `left` and `right` levels

// What either engine asks of a channel's voice on one tick.
struct VoiceControl {
    uint8_t changes;      // VOICE_* bits
    const Sample* sample; // VOICE_TRIGGER: the sample to start
    uint32_t startOffset; // ... at this frame; at or past its end the voice stays silent
    double frequency;     // VOICE_FREQUENCY: in Hz, at least 100
    int32_t left;         // VOICE_LEVELS: in VOICE_LEVEL_FULL units
    int32_t right;
};

// How finely a volume ramp follows its levels: RAMP_FINE keeps the level
// reached to 1/256 of a level unit; RAMP_COARSE, the small player's, to
// 1/255 of full gain (256 units), and starts each ramp from the level cut
// down to such a step.
constexpr int32_t RAMP_FINE = 0;
constexpr int32_t RAMP_COARSE = 8;

// The mixer's state: the voices, which voice each channel plays on, and
// the values of the open output that the mixer and the engines read (set
// by the output layer when it opens the device).
struct Mixer {
    Voice voices[VOICE_COUNT];
    // Channel i plays on voice i or i + 32; each note start moves it to the other.
    uint8_t channelVoice[VOICE_COUNT / 2];
    int32_t rate;       // output frames per second
    int32_t rampFrames; // volume ramp length: rate * 128 / 44100
    float rampScale;    // 1 / rampFrames, single precision
    int32_t rampShift;  // RAMP_FINE or RAMP_COARSE, set by the player start
    bool scalarOnly;    // the vector paths are off (tests compare both)
    bool noWidest;      // the AVX-512 passes are off: AVX2's run instead
};

extern Mixer mixer;

// Carries one tick's changes to channel `channel`'s voice. A trigger while
// the voice still sounds moves the channel to its partner voice, which takes
// the old voice's step and levels; the old voice ramps down to silence.
void ControlVoice(int32_t channel, const VoiceControl& control);
// The voice channel `channel` plays on now.
Voice* ChannelVoice(int32_t channel);
// The voice a channel left at its last note start, once its ramp down has
// ended, adds only zeros: it is stopped, so the mixer no longer follows its
// loops. (It never sounds again: a note start takes it over from position 0.)
void ReleaseFadedPartner(int32_t channel);
// Adds every sounding voice into frames stereo frames of buffer (left
// first) and advances them. frames < 1 does nothing. Allocates nothing.
void MixVoices(float* buffer, int32_t frames);
// 2 * frames floats rounded to nearest (ties to even) and clamped into
// -32768..32767. Nothing for frames < 1 or a null pointer.
void ConvertToPcm16(int16_t* destination, const float* source, int32_t frames);

// Whether settled runs may use the processor's vector units (the default).
// Both ways give identical sums; tests compare them.
void SetVectorMixing(bool enabled);
// Whether the vector paths may use AVX-512 where the processor has it (the
// default); off, they use AVX2 as processors without it do. Tests compare
// both ways on a processor that has both.
void SetWidestMixing(bool enabled);

// The values of an output opened at `rate` frames per second.
void SetMixerRate(int32_t rate);
// Every voice silent: zero except index i and a step of 1; channel i on voice i.
void ResetVoices();
// Back to a fresh process: no rate, fine ramps, vector paths on.
void ResetMixer();
