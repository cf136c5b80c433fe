// The honoured pattern effects, each with its tick-0 part (memories, set-up)
// and its later-tick part. A memory is written only by a non-zero parameter,
// so a zero parameter repeats the channel's last value.
#include "music/effects.h"

#include <cmath>

#include "music/channel.h"
#include "music/module.h"
#include "music/tempo.h"

namespace {

constexpr int32_t PORTA_UP_LIMIT = 56;
constexpr int32_t PERIODS_PER_SEMITONE = 64;
constexpr int32_t MAX_VOLUME = 64;
constexpr uint8_t SPEED_TEMPO_SPLIT = 0x20;
// Periods are held within this many units of 0. Portamento down and fine
// portamento up apply no limit of their own; without one, a slide held long
// enough would overflow the period, long after the pitch reached its
// audible end (100 Hz, or the mixer's top step).
constexpr int32_t PERIOD_LIMIT = 1 << 24;

int32_t HoldPeriod(int64_t period) {
    if (period > PERIOD_LIMIT)
        return PERIOD_LIMIT;
    if (period < -PERIOD_LIMIT)
        return -PERIOD_LIMIT;
    return static_cast<int32_t>(period);
}

uint8_t HighNibble(uint8_t value) { return value >> 4; }
uint8_t LowNibble(uint8_t value) { return value & 15; }

} // namespace

int32_t VibratoSine(int32_t position) {
    return static_cast<int32_t>(std::fabs(std::sin(2.0 * position * 0.049087375)) * 256.0);
}

void ApplyVibrato(Channel* channel) {
    int32_t value = VibratoSine(channel->vibratoPosition);
    int32_t amount = ((value * channel->vibratoDepth) >> 5) & ~3;
    // The pitch goes down first under the linear table.
    channel->periodOffset = channel->vibratoPosition < 0 ? amount : -amount;
    channel->pending |= PENDING_FREQUENCY;
}

void TonePortamentoStep(Channel* channel) {
    int32_t step = 4 * channel->portaSpeed;
    if (channel->period < channel->portaTarget) {
        channel->period += step;
        if (channel->period > channel->portaTarget)
            channel->period = channel->portaTarget;
    } else if (channel->period > channel->portaTarget) {
        channel->period -= step;
        if (channel->period < channel->portaTarget)
            channel->period = channel->portaTarget;
    }
    channel->pending |= PENDING_FREQUENCY;
}

void ApplyRowEffect(Module* song, Channel* channel, const Cell* cell) {
    uint8_t parameter = cell->effectParameter;
    switch (cell->effectType) {
    case EFFECT_PORTA_UP: // 1xx: memory only on tick 0
        if (parameter)
            channel->portaUpSpeed = parameter;
        break;
    case EFFECT_PORTA_DOWN: // 2xx
        if (parameter)
            channel->portaDownSpeed = parameter;
        break;
    case EFFECT_TONE_PORTA: // 3xx: the target, and no restart or pitch change now
        if (parameter)
            channel->portaSpeed = parameter;
        channel->portaTarget = channel->notePeriod;
        channel->pending &= static_cast<uint8_t>(~(PENDING_FREQUENCY | PENDING_TRIGGER));
        break;
    case EFFECT_VIBRATO: // 4xy: the position does not move on tick 0
        if (HighNibble(parameter))
            channel->vibratoSpeed = HighNibble(parameter);
        if (LowNibble(parameter))
            channel->vibratoDepth = LowNibble(parameter);
        ApplyVibrato(channel);
        break;
    case EFFECT_VOLUME_SLIDE: // Axy
        if (parameter)
            channel->volumeSlideSpeed = parameter;
        break;
    case EFFECT_SET_VOLUME: // Cxx, taken as is (above 64 too); tick 0 updates the volume anyway
        channel->volume = parameter;
        break;
    case EFFECT_EXTENDED: // E1y fine portamento up; other E effects ignored
        if (HighNibble(parameter) == EXTENDED_FINE_PORTA_UP) {
            if (LowNibble(parameter))
                channel->finePortaUpSpeed = LowNibble(parameter);
            channel->period = HoldPeriod(int64_t{channel->period} - 4 * channel->finePortaUpSpeed);
        }
        break;
    case EFFECT_SPEED_TEMPO: // Fxx: speed below 0x20 (0 included), tempo from there
        if (parameter < SPEED_TEMPO_SPLIT)
            song->speed = parameter;
        else
            SetTempo(song, parameter);
        break;
    default: // arpeggio acts on later ticks; K is the engine's key-off; the rest is ignored
        break;
    }
}

void ApplyTickEffect(Module* song, Channel* channel, const Cell* cell) {
    uint8_t parameter = cell->effectParameter;
    switch (cell->effectType) {
    case EFFECT_ARPEGGIO: // 0xy: note, +x, +y semitones by tick mod 3
        if (parameter) {
            if (song->flags & FLAG_LINEAR_TABLE) {
                int32_t r = song->tick % 3;
                if (r == 1)
                    channel->periodOffset = PERIODS_PER_SEMITONE * HighNibble(parameter);
                else if (r == 2)
                    channel->periodOffset = PERIODS_PER_SEMITONE * LowNibble(parameter);
            }
            channel->pending |= PENDING_FREQUENCY;
        }
        break;
    case EFFECT_PORTA_UP: // 1xx
        channel->period -= 4 * channel->portaUpSpeed;
        if (channel->period < PORTA_UP_LIMIT)
            channel->period = PORTA_UP_LIMIT;
        channel->pending |= PENDING_FREQUENCY;
        break;
    case EFFECT_PORTA_DOWN: // 2xx, no upper limit but the period's own
        channel->period = HoldPeriod(int64_t{channel->period} + 4 * channel->portaDownSpeed);
        channel->pending |= PENDING_FREQUENCY;
        break;
    case EFFECT_TONE_PORTA: // 3xx
        TonePortamentoStep(channel);
        break;
    case EFFECT_VIBRATO: { // 4xy
        ApplyVibrato(channel);
        int32_t position = channel->vibratoPosition + channel->vibratoSpeed;
        if (position > 31)
            position -= 64;
        channel->vibratoPosition = static_cast<int8_t>(position);
        break;
    }
    case EFFECT_VOLUME_SLIDE: { // Axy from memory: up wins over down
        uint8_t up = HighNibble(channel->volumeSlideSpeed);
        uint8_t down = LowNibble(channel->volumeSlideSpeed);
        if (up) {
            channel->volume += up;
            if (channel->volume > MAX_VOLUME)
                channel->volume = MAX_VOLUME;
        } else if (down) {
            channel->volume -= down;
            if (channel->volume < 0)
                channel->volume = 0;
        }
        channel->pending |= PENDING_VOLUME;
        break;
    }
    default: // C, E1, F and K act on tick 0 only; the rest is ignored
        break;
    }
}
