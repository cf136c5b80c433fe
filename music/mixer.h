// Voice update and mixer: UpdateVoice carries a channel's pending changes to
// its voice; MixVoices resamples every sounding voice with linear
// interpolation into a stereo float buffer, following loops and ramping
// every volume change; ConvertToPcm16 turns the floats into 16-bit output.
#pragma once

#include <cstdint>

struct Channel;
struct Module;
struct Sample;

struct Voice {
    int32_t index;        // own number in voicePool
    int32_t volume;       // 0..127 for channel volumes up to 64
    int32_t panning;      // 0..255; 255 fully left
    const Sample* sample; // null: idle, not mixed
    int32_t leftVolume;   // target levels, at most volume
    int32_t rightVolume;
    uint32_t position; // 32.32 play position in sample frames
    uint32_t positionFraction;
    uint32_t stepFraction; // 32.32 step per output frame; stepInteger < 256
    uint32_t stepInteger;
    int32_t direction;      // 1 forward, 2 backward
    int32_t rampLeftTarget; // the levels the running ramp was set up for
    int32_t rampRightTarget;
    int32_t levelLeft; // level reached, in 1/256 of leftVolume's scale
    int32_t levelRight;
    float rampStepLeft; // gain change per output frame while ramping
    float rampStepRight;
    int32_t rampRemaining; // frames left in the ramp; 0 when none runs
    float volumeDivisor;   // leftVolume / rightVolume at full gain; 0 means 255
};

constexpr int32_t VOICE_COUNT = 64;
// Channel i plays on voice i or i + 32; each note start moves it to the other.
extern Voice voicePool[VOICE_COUNT];

constexpr int32_t DIRECTION_FORWARD = 1;
constexpr int32_t DIRECTION_BACKWARD = 2;

// Carries channel->pending to channel->voice (switching to the partner voice
// on a note start while the old voice still sounds).
void UpdateVoice(Channel* channel, const Sample* sample, const Module* song);
// Adds every sounding voice into frames stereo frames of buffer (left
// first) and advances them. frames < 1 does nothing. Allocates nothing.
void MixVoices(float* buffer, int32_t frames);
// 2 * frames floats rounded to nearest (ties to even) and clamped into
// -32768..32767. Nothing for frames < 1 or a null pointer.
void ConvertToPcm16(int16_t* destination, const float* source, int32_t frames);

// Whether settled runs may use the processor's vector units (the default).
// Both ways give identical sums; tests compare them.
void SetVectorMixing(bool enabled);

// The reset of OpenOutput: every voice zero except index i and a step of 1.
void ResetVoicePool();
