// Every effect and volume-column command of the format, each with its
// tick-0 part (memories, set-ups, the "fine" commands, song position) and
// its part on the later ticks of the row. A memory is written only by a
// non-zero parameter, so a zero parameter repeats the channel's last value;
// which commands share a memory follows the format's tracker (A, 5 and 6
// share one; 3 and the volume column's tone portamento share one; 4, 6 and
// the volume column's vibrato share speed and depth).
#include "music/full/full_engine.h"

#include "music/pitch.h"
#include "music/tempo.h"

namespace {

// Volume-column commands by their high nibble (0x10..0x50 set the volume).
enum : uint8_t {
    COLUMN_SLIDE_DOWN = 0x6,
    COLUMN_SLIDE_UP = 0x7,
    COLUMN_FINE_DOWN = 0x8,
    COLUMN_FINE_UP = 0x9,
    COLUMN_VIBRATO_SPEED = 0xA,
    COLUMN_VIBRATO = 0xB,
    COLUMN_PANNING = 0xC,
    COLUMN_PAN_LEFT = 0xD,
    COLUMN_PAN_RIGHT = 0xE,
    COLUMN_TONE_PORTA = 0xF,
};

constexpr uint8_t SPEED_TEMPO_SPLIT = 0x20;
constexpr int32_t PERIOD_PER_SEMITONE = 64;
constexpr int32_t SLIDE_UNIT = 4; // a slide parameter step in period units

uint8_t High(uint8_t value) { return value >> 4; }
uint8_t Low(uint8_t value) { return value & 15; }

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : (value > high ? high : value); }

void Remember(uint8_t* memory, uint8_t parameter) {
    if (parameter)
        *memory = parameter;
}

// The two nibbles of a parameter into two memories, each when non-zero.
void RememberNibbles(uint8_t* high, uint8_t* low, uint8_t parameter) {
    if (High(parameter))
        *high = High(parameter);
    if (Low(parameter))
        *low = Low(parameter);
}

void AddVolume(FullChannel* channel, int32_t amount) {
    channel->volume = Clamp(channel->volume + amount, 0, FULL_VOLUME);
}

void SlidePeriod(FullChannel* channel, int32_t amount) {
    channel->period = Clamp(channel->period + amount, PERIOD_MIN, PERIOD_MAX);
}

// Axy from memory: up wins when both nibbles are set.
void VolumeSlide(FullChannel* channel) {
    uint8_t speed = channel->volumeSlideSpeed;
    AddVolume(channel, High(speed) ? High(speed) : -Low(speed));
}

void Vibrato(FullChannel* channel) {
    Oscillator& v = channel->vibrato;
    channel->periodOffset = Waveform(v.control, v.position) * v.depth / 32;
    v.position = static_cast<uint8_t>((v.position + v.speed) & 63);
}

void Tremolo(FullChannel* channel) {
    Oscillator& t = channel->tremolo;
    channel->volumeOffset = Waveform(t.control, t.position) * t.depth / 64;
    t.position = static_cast<uint8_t>((t.position + t.speed) & 63);
}

void TonePortamento(FullChannel* channel) {
    int32_t step = SLIDE_UNIT * channel->tonePortaSpeed;
    if (channel->period < channel->portaTarget)
        channel->period = channel->period + step > channel->portaTarget ? channel->portaTarget : channel->period + step;
    else if (channel->period > channel->portaTarget)
        channel->period = channel->period - step < channel->portaTarget ? channel->portaTarget : channel->period - step;
    // Glissando: the pitch moves in whole semitones from the target.
    if (channel->glissando) {
        int32_t distance = channel->period - channel->portaTarget;
        int32_t semitones = (distance + (distance >= 0 ? 1 : -1) * PERIOD_PER_SEMITONE / 2) / PERIOD_PER_SEMITONE;
        channel->periodOffset = channel->portaTarget + semitones * PERIOD_PER_SEMITONE - channel->period;
    }
}

// 0xy: the note, +x, +y semitones in turn. The tracker counts a row's ticks
// down from the speed, and the turn follows that count: tick t plays step
// (speed - t) mod 3 (0 the note, 1 +x, 2 +y), so at speed 6 the ticks
// after the first play +y, +x, note, +y, +x. The tick is always below the
// speed (Fxx changes it on tick 0 only), so the count is never negative.
void Arpeggio(const Module* song, FullChannel* channel, uint8_t parameter) {
    int32_t step = (song->speed - song->tick) % 3;
    int32_t semitones = step == 0 ? 0 : (step == 1 ? High(parameter) : Low(parameter));
    if (semitones == 0)
        return;
    if (song->flags & FLAG_LINEAR_TABLE) {
        channel->periodOffset = -PERIOD_PER_SEMITONE * semitones;
    } else {
        // An Amiga period shrinks by 2^(1/12) per semitone; taken from the
        // note table at the same finetune, scaled to the slid period.
        int32_t base = NotePeriod(song, 48, channel->finetune);
        int32_t raised = NotePeriod(song, static_cast<uint8_t>(48 + semitones), channel->finetune);
        channel->periodOffset = static_cast<int32_t>(int64_t{channel->period} * raised / base) - channel->period;
    }
}

// Rxy's volume change by x.
void RetrigVolume(FullChannel* channel) {
    int32_t v = channel->volume;
    switch (channel->retrigVolume) {
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x4:
    case 0x5: v -= 1 << (channel->retrigVolume - 1); break;
    case 0x6: v = v * 2 / 3; break;
    case 0x7: v = v / 2; break;
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xC:
    case 0xD: v += 1 << (channel->retrigVolume - 9); break;
    case 0xE: v = v * 3 / 2; break;
    case 0xF: v = v * 2; break;
    default: break;
    }
    channel->volume = Clamp(v, 0, FULL_VOLUME);
}

// Txy: on for x + 1 ticks, off for y + 1, counted over the ticks after tick
// 0 of the rows it runs; tick 0 keeps the phase of the tick before.
void Tremor(FullChannel* channel) {
    int32_t on = High(channel->tremorParameter) + 1;
    int32_t cycle = on + Low(channel->tremorParameter) + 1;
    if (channel->tremorCounter >= cycle)
        channel->tremorCounter = 0;
    channel->tremorOff = channel->tremorCounter >= on;
    channel->muted = channel->tremorOff;
    channel->tremorCounter = static_cast<uint8_t>((channel->tremorCounter + 1) % cycle);
}

// Tick 0 of a row that goes on with vibrato or tremolo applies the
// oscillator where it stands, without moving it (it moves only on the later
// ticks); a note starting on the row starts from its own pitch.
void HoldVibrato(FullChannel* channel) {
    if (!channel->trigger)
        channel->periodOffset =
            Waveform(channel->vibrato.control, channel->vibrato.position) * channel->vibrato.depth / 32;
}

void HoldTremolo(FullChannel* channel) {
    if (!channel->trigger)
        channel->volumeOffset =
            Waveform(channel->tremolo.control, channel->tremolo.position) * channel->tremolo.depth / 64;
}

// Rxy counts every tick of its rows, tick 0 included (a note starting on
// the row sets the count back to 0 first); every y counted ticks the
// sample restarts and the volume changes by x. On tick 0 of a row whose
// note just started the count restarts without a second start.
void MultiRetrig(FullChannel* channel) {
    channel->retrigCounter = static_cast<uint8_t>(channel->retrigCounter + 1);
    if (channel->retrigInterval == 0 || channel->retrigCounter < channel->retrigInterval)
        return;
    channel->retrigCounter = 0;
    if (channel->trigger)
        return;
    Retrigger(channel);
    RetrigVolume(channel);
}

void ColumnRow(FullChannel* channel, uint8_t column) {
    uint8_t amount = Low(column);
    if (column >= 0x10 && column <= 0x50) {
        channel->volume = column - 0x10;
        return;
    }
    switch (High(column)) {
    case COLUMN_FINE_DOWN: AddVolume(channel, -amount); break;
    case COLUMN_FINE_UP: AddVolume(channel, amount); break;
    case COLUMN_VIBRATO_SPEED: Remember(&channel->vibrato.speed, amount); break;
    case COLUMN_VIBRATO:
        Remember(&channel->vibrato.depth, amount);
        HoldVibrato(channel);
        break;
    case COLUMN_PANNING: channel->panning = amount * 16; break;
    case COLUMN_TONE_PORTA: Remember(&channel->tonePortaSpeed, static_cast<uint8_t>(amount << 4)); break;
    default: break;
    }
}

void ColumnTick(FullChannel* channel, uint8_t column) {
    uint8_t amount = Low(column);
    switch (High(column)) {
    case COLUMN_SLIDE_DOWN: AddVolume(channel, -amount); break;
    case COLUMN_SLIDE_UP: AddVolume(channel, amount); break;
    case COLUMN_VIBRATO: Vibrato(channel); break;
    case COLUMN_PAN_LEFT: channel->panning = Clamp(channel->panning - amount, 0, 255); break;
    case COLUMN_PAN_RIGHT: channel->panning = Clamp(channel->panning + amount, 0, 255); break;
    case COLUMN_TONE_PORTA: TonePortamento(channel); break;
    default: break;
    }
}

// Bxx, Dxy and E6x decide the next position; a break and a jump on one
// row combine into the jump's order at the break's row.
void Jump(Module* song, int32_t order) { song->nextOrderPosition = order; }
void Break(Module* song, int32_t row) {
    song->nextRow = row;
    if (song->nextOrderPosition < 0)
        song->nextOrderPosition = song->orderPosition + 1;
}

void ExtendedRow(Module* song, FullChannel* channel, uint8_t parameter) {
    uint8_t x = Low(parameter);
    switch (High(parameter)) {
    case EXTENDED_FINE_PORTA_UP:
        Remember(&channel->finePortaUpSpeed, x);
        SlidePeriod(channel, -SLIDE_UNIT * channel->finePortaUpSpeed);
        break;
    case EXTENDED_FINE_PORTA_DOWN:
        Remember(&channel->finePortaDownSpeed, x);
        SlidePeriod(channel, SLIDE_UNIT * channel->finePortaDownSpeed);
        break;
    case EXTENDED_GLISSANDO: channel->glissando = x != 0; break;
    case EXTENDED_VIBRATO_WAVEFORM: channel->vibrato.control = x; break;
    case EXTENDED_PATTERN_LOOP:
        if (fullPlayer.repeatingRow)
            break;
        if (x == 0) {
            channel->loopRow = static_cast<uint8_t>(song->row);
        } else if (channel->loopCount == 0 || --channel->loopCount > 0) {
            if (channel->loopCount == 0)
                channel->loopCount = x;
            song->nextRow = channel->loopRow;
            song->nextOrderPosition = song->orderPosition;
        }
        break;
    case EXTENDED_TREMOLO_WAVEFORM: channel->tremolo.control = x; break;
    case EXTENDED_COARSE_PANNING: channel->panning = x * 17; break;
    case EXTENDED_FINE_VOLUME_UP:
        Remember(&channel->fineVolumeUpSpeed, x);
        AddVolume(channel, channel->fineVolumeUpSpeed);
        break;
    case EXTENDED_FINE_VOLUME_DOWN:
        Remember(&channel->fineVolumeDownSpeed, x);
        AddVolume(channel, -channel->fineVolumeDownSpeed);
        break;
    case EXTENDED_NOTE_CUT:
        if (x == 0)
            channel->volume = 0;
        break;
    case EXTENDED_PATTERN_DELAY:
        if (!fullPlayer.repeatingRow && fullPlayer.patternDelay == 0)
            fullPlayer.patternDelay = x;
        break;
    default: // E0 (filter), E5 (with the note), E9 / ED (later ticks), EF: nothing on tick 0
        break;
    }
}

void ExtendedTick(const Module* song, FullChannel* channel, uint8_t parameter) {
    uint8_t x = Low(parameter);
    switch (High(parameter)) {
    case EXTENDED_RETRIG:
        if (x != 0 && song->tick % x == 0)
            Retrigger(channel);
        break;
    case EXTENDED_NOTE_CUT:
        if (song->tick == x)
            channel->volume = 0;
        break;
    default: break;
    }
}

} // namespace

void RowEffect(Module* song, FullChannel* channel, const Cell* cell, int32_t) {
    ColumnRow(channel, cell->volume);
    uint8_t p = cell->effectParameter;
    switch (cell->effectType) {
    case EFFECT_PORTA_UP: Remember(&channel->portaUpSpeed, p); break;
    case EFFECT_PORTA_DOWN: Remember(&channel->portaDownSpeed, p); break;
    case EFFECT_TONE_PORTA: Remember(&channel->tonePortaSpeed, p); break;
    case EFFECT_VIBRATO:
        RememberNibbles(&channel->vibrato.speed, &channel->vibrato.depth, p);
        HoldVibrato(channel);
        break;
    case EFFECT_VIBRATO_VOLUME_SLIDE:
        HoldVibrato(channel);
        Remember(&channel->volumeSlideSpeed, p);
        break;
    case EFFECT_TONE_PORTA_VOLUME_SLIDE:
    case EFFECT_VOLUME_SLIDE: Remember(&channel->volumeSlideSpeed, p); break;
    case EFFECT_TREMOLO:
        RememberNibbles(&channel->tremolo.speed, &channel->tremolo.depth, p);
        HoldTremolo(channel);
        break;
    case EFFECT_SET_PANNING: channel->panning = p; break;
    case EFFECT_SAMPLE_OFFSET:
        Remember(&channel->sampleOffset, p);
        if (channel->trigger)
            channel->startOffset = uint32_t{channel->sampleOffset} << 8;
        break;
    case EFFECT_POSITION_JUMP:
        if (!fullPlayer.repeatingRow)
            Jump(song, p);
        break;
    case EFFECT_SET_VOLUME: channel->volume = p > FULL_VOLUME ? FULL_VOLUME : p; break;
    case EFFECT_PATTERN_BREAK:
        if (!fullPlayer.repeatingRow)
            Break(song, High(p) * 10 + Low(p));
        break;
    case EFFECT_EXTENDED: ExtendedRow(song, channel, p); break;
    case EFFECT_SPEED_TEMPO:
        // F00 changes nothing; speeds are 1..31, tempos 32..255.
        if (p != 0 && p < SPEED_TEMPO_SPLIT)
            song->speed = p;
        else if (p >= SPEED_TEMPO_SPLIT)
            SetTempo(song, p);
        break;
    case EFFECT_GLOBAL_VOLUME: song->globalVolume = p > FULL_VOLUME ? FULL_VOLUME : p; break;
    case EFFECT_GLOBAL_VOLUME_SLIDE: Remember(&channel->globalSlideSpeed, p); break;
    case EFFECT_KEY_OFF:
        if (p == 0)
            KeyOff(song, channel);
        break;
    case EFFECT_ENVELOPE_POSITION:
        channel->volumeEnvelope.tick = p;
        channel->panningEnvelope.tick = p;
        break;
    case EFFECT_PANNING_SLIDE: Remember(&channel->panningSlideSpeed, p); break;
    case EFFECT_MULTI_RETRIG:
        RememberNibbles(&channel->retrigVolume, &channel->retrigInterval, p);
        MultiRetrig(channel);
        break;
    case EFFECT_TREMOR:
        Remember(&channel->tremorParameter, p);
        channel->muted = channel->tremorOff;
        break;
    case EFFECT_EXTRA_FINE_PORTA:
        if (High(p) == 1) {
            Remember(&channel->extraFineUpSpeed, Low(p));
            SlidePeriod(channel, -channel->extraFineUpSpeed);
        } else if (High(p) == 2) {
            Remember(&channel->extraFineDownSpeed, Low(p));
            SlidePeriod(channel, channel->extraFineDownSpeed);
        }
        break;
    default: // 0 acts on later ticks; unknown types do nothing
        break;
    }
}

void TickEffect(Module* song, FullChannel* channel, const Cell* cell) {
    ColumnTick(channel, cell->volume);
    uint8_t p = cell->effectParameter;
    switch (cell->effectType) {
    case EFFECT_ARPEGGIO:
        if (p)
            Arpeggio(song, channel, p);
        break;
    case EFFECT_PORTA_UP: SlidePeriod(channel, -SLIDE_UNIT * channel->portaUpSpeed); break;
    case EFFECT_PORTA_DOWN: SlidePeriod(channel, SLIDE_UNIT * channel->portaDownSpeed); break;
    case EFFECT_TONE_PORTA: TonePortamento(channel); break;
    case EFFECT_VIBRATO: Vibrato(channel); break;
    case EFFECT_TONE_PORTA_VOLUME_SLIDE:
        TonePortamento(channel);
        VolumeSlide(channel);
        break;
    case EFFECT_VIBRATO_VOLUME_SLIDE:
        Vibrato(channel);
        VolumeSlide(channel);
        break;
    case EFFECT_TREMOLO: Tremolo(channel); break;
    case EFFECT_VOLUME_SLIDE: VolumeSlide(channel); break;
    case EFFECT_EXTENDED: ExtendedTick(song, channel, p); break;
    case EFFECT_GLOBAL_VOLUME_SLIDE: {
        uint8_t speed = channel->globalSlideSpeed;
        song->globalVolume = Clamp(song->globalVolume + (High(speed) ? High(speed) : -Low(speed)), 0, FULL_VOLUME);
        break;
    }
    case EFFECT_KEY_OFF:
        if (song->tick == p)
            KeyOff(song, channel);
        break;
    case EFFECT_PANNING_SLIDE: {
        uint8_t speed = channel->panningSlideSpeed;
        channel->panning = Clamp(channel->panning + (High(speed) ? High(speed) : -Low(speed)), 0, 255);
        break;
    }
    case EFFECT_MULTI_RETRIG: MultiRetrig(channel); break;
    case EFFECT_TREMOR: Tremor(channel); break;
    default: break;
    }
}
