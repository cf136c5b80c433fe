// UpdateVoice: the only way the engine's per-channel results reach the
// mixer's voices.
#include <cmath>

#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/playback.h"

namespace {

constexpr int32_t MIN_FREQUENCY = 100;
constexpr int32_t AMIGA_CLOCK = 14317056;
constexpr double LINEAR_BASE_FREQUENCY = 8363.0;
constexpr float LINEAR_BASE_PERIOD = 4608.0f;
constexpr float LINEAR_OCTAVE_RECIPROCAL = 0.0013020834f; // 1 / 768
// 255 / 2^35: volume (0..64) * envelope (0..64) * fadeout (0..65536) *
// global volume (0..64) to a voice volume of 0..127.
constexpr float VOLUME_SCALE = 7.4214768e-9f;
// The mixer steps by less than 256 frames per output frame (its run length
// division works on 8-bit integer steps); faster notes are held just below.
constexpr int64_t MAX_STEP_INTEGER = 255;

Voice* Partner(Voice* voice) {
    int32_t number = static_cast<int32_t>(voice - voicePool);
    return &voicePool[number < VOICE_COUNT / 2 ? number + VOICE_COUNT / 2 : number - VOICE_COUNT / 2];
}

void SplitPanning(Voice* voice) {
    voice->leftVolume = voice->volume * voice->panning / 255;
    voice->rightVolume = voice->volume * (255 - voice->panning) / 255;
}

int64_t Frequency(const Channel* channel, const Module* song) {
    int64_t frequency;
    if (song->flags & FLAG_LINEAR_TABLE) {
        double exponent = (static_cast<double>(LINEAR_BASE_PERIOD) - channel->period + channel->periodOffset) *
                          static_cast<double>(LINEAR_OCTAVE_RECIPROCAL);
        double hz = LINEAR_BASE_FREQUENCY * std::pow(2.0, exponent);
        double top = static_cast<double>((MAX_STEP_INTEGER + 1) * outputRate);
        frequency = hz >= top ? static_cast<int64_t>(top) : static_cast<int64_t>(hz);
    } else {
        int64_t period = int64_t{channel->period} + channel->periodOffset;
        frequency = AMIGA_CLOCK / period; // period is not 0 here; negative gives the floor below
    }
    if (frequency < MIN_FREQUENCY)
        frequency = MIN_FREQUENCY;
    int64_t top = (MAX_STEP_INTEGER + 1) * int64_t{outputRate} - 1;
    if (frequency > top)
        frequency = top;
    return frequency;
}

} // namespace

void UpdateVoice(Channel* channel, const Sample* sample, const Module* song) {
    uint8_t pending = channel->pending;
    if (int64_t{channel->period} + channel->periodOffset == 0)
        pending &= static_cast<uint8_t>(~PENDING_FREQUENCY);
    Voice* voice = channel->voice;
    if (!voice)
        return;

    if (pending & PENDING_TRIGGER) {
        // The old sound moves to the partner voice and ramps down there while
        // the new note ramps up on this channel's voice.
        if (voice->sample) {
            Voice* partner = Partner(voice);
            int32_t index = partner->index;
            *partner = *voice;
            partner->index = index;
            voice->volume = 0;
            voice->leftVolume = 0;
            voice->rightVolume = 0;
            channel->voice = partner;
            voice = partner;
        }
        voice->sample = sample;
        voice->position = 0;
        voice->positionFraction = 0;
        voice->direction = DIRECTION_FORWARD;
        voice->levelLeft = 0;
        voice->levelRight = 0;
        voice->rampRemaining = 0;
    }
    if (pending & PENDING_VOLUME) {
        int64_t product =
            int64_t{channel->volume} * channel->envelopeVolume * channel->fadeoutVolume * song->globalVolume;
        voice->volume = static_cast<int32_t>(static_cast<double>(product) * static_cast<double>(VOLUME_SCALE));
        SplitPanning(voice);
    }
    if (pending & PENDING_PANNING) {
        int32_t panning = channel->panning;
        voice->panning = panning < 0 ? 0 : (panning > 255 ? 255 : panning);
        SplitPanning(voice);
    }
    if ((pending & PENDING_FREQUENCY) && outputRate > 0) {
        int64_t frequency = Frequency(channel, song);
        voice->stepInteger = static_cast<uint32_t>(frequency / outputRate);
        voice->stepFraction = static_cast<uint32_t>(((frequency % outputRate) << 32) / outputRate);
    }
}
