// UpdateVoice: the only way the small player's per-channel results reach
// the mixer's voices.
#include <cmath>

#include "music/mixer.h"
#include "music/pitch.h"
#include "music/playback.h"

namespace {

// 255 / 2^35: volume (0..64) * envelope (0..64) * fadeout (0..65536) *
// global volume (0..64) to a voice volume of 0..127.
constexpr float VOLUME_SCALE = 7.4214768e-9f;
// The small player's levels count 255 to full gain.
constexpr int32_t LEVEL_PER_STEP = VOICE_LEVEL_FULL / 255;

} // namespace

void UpdateVoice(int32_t number, Channel* channel, const Sample* sample, const Module* song) {
    uint8_t pending = channel->pending;
    if (int64_t{channel->period} + channel->periodOffset == 0)
        pending &= static_cast<uint8_t>(~PENDING_FREQUENCY);

    VoiceControl control{};
    if (pending & PENDING_TRIGGER) {
        control.changes |= VOICE_TRIGGER;
        control.sample = sample;
    }
    if (pending & PENDING_VOLUME) {
        int64_t product =
            int64_t{channel->volume} * channel->envelopeVolume * channel->fadeoutVolume * song->globalVolume;
        channel->voiceVolume = static_cast<int32_t>(static_cast<double>(product) * static_cast<double>(VOLUME_SCALE));
    }
    if (pending & PENDING_PANNING) {
        int32_t panning = channel->panning;
        channel->voicePanning = panning < 0 ? 0 : (panning > 255 ? 255 : panning);
    }
    if (pending & (PENDING_VOLUME | PENDING_PANNING)) {
        // The small player's own pan law: 255 is fully left, each side cut
        // to a whole step of its 255.
        control.changes |= VOICE_LEVELS;
        control.left = channel->voiceVolume * channel->voicePanning / 255 * LEVEL_PER_STEP;
        control.right = channel->voiceVolume * (255 - channel->voicePanning) / 255 * LEVEL_PER_STEP;
    }
    if (pending & PENDING_FREQUENCY) {
        control.changes |= VOICE_FREQUENCY;
        control.frequency = PeriodFrequency(song, channel->period, channel->periodOffset);
    }
    ControlVoice(number, control);
}
