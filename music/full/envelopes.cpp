// Instrument envelopes, the panning envelope's pan law and the instrument's
// auto-vibrato: what changes once per tick on its own, whatever the pattern
// says.
#include <cmath>

#include "music/full/full_engine.h"

namespace {

constexpr int32_t ENVELOPE_CENTRE = 32;
constexpr int32_t PAN_CENTRE = 128;
constexpr int32_t AUTO_VIBRATO_SINE = 64;

// Auto-vibrato waveforms of the instrument header.
constexpr uint8_t AUTO_SINE = 0;
constexpr uint8_t AUTO_SQUARE = 1;
constexpr uint8_t AUTO_RAMP_DOWN = 2;

// Vibrato and tremolo waveforms of E4x / E7x.
constexpr uint8_t WAVE_SINE = 0;
constexpr uint8_t WAVE_RAMP_DOWN = 1;

// The 256-step signed sine of amplitude 64 of the auto-vibrato, computed once.
struct Tables {
    int8_t autoSine[256];
    Tables() {
        for (int i = 0; i < 256; ++i)
            autoSine[i] = static_cast<int8_t>(std::lround(AUTO_VIBRATO_SINE * std::sin(i * 6.283185307179586 / 256)));
    }
};
// Half a sine of amplitude 255 in 32 steps: the vibrato and tremolo table
// of the format (the one its tracker took over from the Amiga trackers).
constexpr uint8_t HALF_SINE[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                                   255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
const Tables tables;

} // namespace

int32_t EnvelopeValue(const EnvelopePoint* points, int32_t count, int32_t tick) {
    int32_t i = 0;
    while (i + 1 < count && tick >= points[i + 1].position)
        ++i;
    int32_t value = points[i].value;
    if (i + 1 < count && tick > points[i].position) {
        int32_t span = points[i + 1].position - points[i].position;
        int32_t rise = points[i + 1].value - points[i].value;
        if (span > 0)
            value += rise * (tick - points[i].position) / span;
    }
    return value < 0 ? 0 : (value > FULL_VOLUME ? FULL_VOLUME : value);
}

void StepEnvelope(EnvelopeState* state, const EnvelopePoint* points, uint8_t pointCount, uint8_t type, uint8_t sustain,
                  uint8_t loopStart, uint8_t loopEnd, bool keyOff) {
    int32_t count = pointCount > ENVELOPE_POINTS ? ENVELOPE_POINTS : pointCount;
    if (!(type & ENVELOPE_ON)) {
        state->value = FULL_VOLUME;
        return;
    }
    state->value = EnvelopeValue(points, count, state->tick);
    // Held on the sustain point until key-off.
    if ((type & ENVELOPE_SUSTAIN) && !keyOff && sustain < count && state->tick == points[sustain].position)
        return;
    state->tick += 1;
    // A loop sends the tick back once it reaches the loop end point; a loop
    // whose points are out of range or reversed is no loop.
    if ((type & ENVELOPE_LOOP) && loopEnd < count && loopStart <= loopEnd && state->tick >= points[loopEnd].position &&
        points[loopStart].position <= points[loopEnd].position) {
        // After key-off a loop ending on the sustain point no longer holds;
        // any other loop keeps going, as in the tracker.
        state->tick = points[loopStart].position;
    }
    // Held beyond the last point, so the counter never runs away.
    if (state->tick > points[count - 1].position + 1)
        state->tick = points[count - 1].position + 1;
}

int32_t EnvelopePanning(int32_t panning, int32_t envelope) {
    int32_t distance = panning - PAN_CENTRE;
    int32_t room = PAN_CENTRE - (distance < 0 ? -distance : distance);
    // Never below 0: the room is at most the panning itself. Fully right
    // from 128 and above reaches 256, one past the right edge.
    int32_t result = panning + (envelope - ENVELOPE_CENTRE) * room / ENVELOPE_CENTRE;
    return result > 255 ? 255 : result;
}

int32_t StepAutoVibrato(FullChannel* channel, const Instrument* instrument) {
    if (!instrument || instrument->vibratoDepth == 0 || instrument->vibratoRate == 0)
        return 0;
    int32_t full = instrument->vibratoDepth << 8;
    // The sweep raises the depth from 0 over `sweep` ticks; after key-off
    // it stays where it got to.
    if (instrument->vibratoSweep == 0) {
        channel->autoVibratoAmount = full;
    } else if (!channel->keyOff && channel->autoVibratoAmount < full) {
        channel->autoVibratoAmount += full / instrument->vibratoSweep;
        if (channel->autoVibratoAmount > full)
            channel->autoVibratoAmount = full;
    }
    // The position moves before it is read, and a positive wave raises the
    // pitch (lowers the period), so a sine starts upward one step in.
    auto position = static_cast<uint8_t>(channel->autoVibratoPosition + instrument->vibratoRate);
    channel->autoVibratoPosition = position;
    int32_t wave;
    switch (instrument->vibratoType) {
    case AUTO_SINE: wave = tables.autoSine[position]; break;
    case AUTO_SQUARE: wave = position < 128 ? AUTO_VIBRATO_SINE : -AUTO_VIBRATO_SINE; break;
    case AUTO_RAMP_DOWN: wave = AUTO_VIBRATO_SINE - ((position + 128) & 255) / 2; break;
    default: // ramp up: its top is at position 128, the jump just after
        wave = ((position + 127) & 255) / 2 - (AUTO_VIBRATO_SINE - 1);
        break;
    }
    // depth 15 at full sweep moves the period by up to 15 * 64 * 256 / 2^14
    // = 15 units (a quarter semitone under the linear table).
    return -wave * channel->autoVibratoAmount / (1 << 14);
}

int32_t Waveform(uint8_t control, uint8_t position) {
    position &= 63;
    int32_t half = position & 31;
    int32_t value;
    switch (control & 3) {
    case WAVE_SINE: value = HALF_SINE[half]; break;
    case WAVE_RAMP_DOWN:
        // The period rises through each half (the pitch falls), then jumps.
        value = position < 32 ? half * 8 : 255 - half * 8;
        break;
    default: // square (3, "random" in the tracker's manual, plays as square)
        value = 255;
        break;
    }
    return position < 32 ? value : -value;
}
