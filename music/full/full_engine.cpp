// The full player's rows and ticks: notes and instruments as the format's
// tracker takes them, the song position with breaks, jumps, loops and
// pattern delays, and each tick's result handed to the channel's voice.
#include "music/full/full_engine.h"

#include <cstddef>

#include "music/mixer.h"
#include "music/pitch.h"
#include "music/playback.h"
#include "music/tempo.h"

namespace {

constexpr uint8_t VOLUME_TONE_PORTA = 0xF;
// Real notes (after the sample's relative note) the tracker plays: C-0 .. B-9.
constexpr int32_t LAST_REAL_NOTE = 119;

// The song's order list ends at songLength here: a position beyond it has
// no pattern.
const Pattern* PatternAt(const Module* song, int32_t orderPosition) {
    return orderPosition < song->songLength ? OrderPattern(song, orderPosition) : nullptr;
}

int32_t PatternRows(const Module* song, int32_t orderPosition) {
    const Pattern* pattern = PatternAt(song, orderPosition);
    return pattern ? pattern->rows : 0;
}

const Cell* RowCells(const Module* song) {
    const Pattern* pattern = PatternAt(song, song->orderPosition);
    if (!pattern || !pattern->cells || song->row < 0 || song->row >= pattern->rows)
        return nullptr;
    return pattern->cells + static_cast<size_t>(song->row) * song->channelCount;
}

// The sample an instrument maps a note to; emptySample when there is none.
const Sample* NoteSample(const Instrument* instrument, uint8_t note) {
    if (!instrument || note >= NOTE_LAST)
        return &emptySample;
    uint8_t slot = instrument->keymap[note];
    if (slot >= MAX_INSTRUMENT_SAMPLES || slot >= instrument->sampleCount || !instrument->samples[slot])
        return &emptySample;
    return instrument->samples[slot];
}

bool TonePortamento(const Cell* cell) {
    return cell->effectType == EFFECT_TONE_PORTA || cell->effectType == EFFECT_TONE_PORTA_VOLUME_SLIDE ||
           (cell->volume >> 4) == VOLUME_TONE_PORTA;
}

// Resets a channel's volume, panning, envelopes, fadeout and auto-vibrato
// for a new instrument number on its row.
void ResetInstrument(FullChannel* channel) {
    const Sample* sample = channel->sample;
    channel->volume = sample->volume > FULL_VOLUME ? FULL_VOLUME : sample->volume;
    channel->panning = sample->panning;
    channel->keyOff = false;
    channel->fadeout = FADEOUT_START;
    channel->volumeEnvelope = {0, FULL_VOLUME};
    channel->panningEnvelope = {0, FULL_VOLUME / 2};
    channel->autoVibratoPosition = 0;
    channel->autoVibratoAmount = 0;
}

// The next row and order once this row is done, unless an effect decided.
void AdvancePosition(Module* song) {
    if (song->nextRow >= 0 || song->nextOrderPosition >= 0) {
        if (song->nextOrderPosition < 0)
            song->nextOrderPosition = song->orderPosition;
        if (song->nextRow < 0)
            song->nextRow = 0;
    } else {
        song->nextRow = song->row + 1;
        song->nextOrderPosition = song->orderPosition;
        if (song->nextRow >= PatternRows(song, song->orderPosition)) {
            song->nextRow = 0;
            song->nextOrderPosition = song->orderPosition + 1;
        }
    }
    // Past the end of the order list: the restart position, or 0 when it
    // lies outside the list.
    if (song->nextOrderPosition >= song->songLength)
        song->nextOrderPosition =
            song->restartPosition >= 0 && song->restartPosition < song->songLength ? song->restartPosition : 0;
    // A break to a row the pattern lacks starts it at row 0.
    if (song->nextRow >= PatternRows(song, song->nextOrderPosition))
        song->nextRow = 0;
}

// The full gain of a channel at full volume, envelope, fadeout and global
// volume, in voice levels: the small player's 127 of 255.
constexpr double FULL_LEVEL = 127.0 * 256.0;

// The tick's result to the channel's voice.
void Output(Module* song, FullChannel* channel, int32_t number) {
    int32_t volume = TickVolume(channel);
    int32_t panning = TickPanning(song, channel);
    int32_t period = channel->period + channel->periodOffset + StepAutoVibrato(channel, FullInstrument(song, channel));
    period = period < PERIOD_MIN ? PERIOD_MIN : (period > PERIOD_MAX ? PERIOD_MAX : period);

    VoiceControl& control = channel->sent;
    control = VoiceControl{};
    control.changes = VOICE_LEVELS;
    double level = FULL_LEVEL * volume / FULL_VOLUME * channel->volumeEnvelope.value / FULL_VOLUME * channel->fadeout /
                   FADEOUT_START * song->globalVolume / FULL_VOLUME;
    // Linear panning, 0 fully left.
    control.left = static_cast<int32_t>(level * (255 - panning) / 255.0 + 0.5);
    control.right = static_cast<int32_t>(level * panning / 255.0 + 0.5);
    // The step is worked out again only when the period moved (the voice
    // keeps it otherwise, a note start's new voice included).
    if (period != channel->sentPeriod) {
        control.changes |= VOICE_FREQUENCY;
        control.frequency = PeriodFrequency(song, period, 0);
    }
    channel->sentPeriod = period;
    if (channel->trigger) {
        // 9xx: the note starts this far in; beyond the sample's end it is silent.
        control.changes |= VOICE_TRIGGER;
        control.sample = channel->sample;
        control.startOffset = channel->startOffset;
    }
    ControlVoice(number, control);
    channel->trigger = false;
    ReleaseFadedPartner(number);
}

void Envelopes(Module* song, FullChannel* channel) {
    const Instrument* instrument = FullInstrument(song, channel);
    if (!instrument) {
        channel->volumeEnvelope.value = FULL_VOLUME;
        return;
    }
    StepEnvelope(&channel->volumeEnvelope, instrument->volumeEnvelope, instrument->volumePointCount,
                 instrument->volumeType, instrument->volumeSustainPoint, instrument->volumeLoopStart,
                 instrument->volumeLoopEnd, channel->keyOff);
    StepEnvelope(&channel->panningEnvelope, instrument->panningEnvelope, instrument->panningPointCount,
                 instrument->panningType, instrument->panningSustainPoint, instrument->panningLoopStart,
                 instrument->panningLoopEnd, channel->keyOff);
    if (channel->keyOff) {
        channel->fadeout -= instrument->fadeout;
        if (channel->fadeout < 0)
            channel->fadeout = 0;
    }
}

} // namespace

int32_t TickVolume(const FullChannel* channel) {
    if (channel->muted)
        return 0;
    int32_t volume = channel->volume + channel->volumeOffset;
    return volume < 0 ? 0 : (volume > FULL_VOLUME ? FULL_VOLUME : volume);
}

int32_t TickPanning(const Module* song, const FullChannel* channel) {
    const Instrument* instrument = FullInstrument(song, channel);
    if (instrument && (instrument->panningType & ENVELOPE_ON))
        return EnvelopePanning(channel->panning, channel->panningEnvelope.value);
    return channel->panning;
}

void StartCell(Module* song, FullChannel* channel, const Cell* cell) {
    bool portamento = TonePortamento(cell);
    if (cell->instrument != 0)
        channel->instrument = static_cast<int16_t>(cell->instrument - 1);
    const Instrument* instrument = FullInstrument(song, channel);
    uint8_t note = cell->note;
    if (note >= 1 && note <= NOTE_LAST) {
        const Sample* sample = NoteSample(instrument, static_cast<uint8_t>(note - 1));
        int8_t finetune = sample->finetune;
        if (cell->effectType == EFFECT_EXTENDED && (cell->effectParameter >> 4) == EXTENDED_SET_FINETUNE)
            finetune = static_cast<int8_t>(((cell->effectParameter & 15) - 8) * 16);
        int32_t realNote = note - 1 + sample->relativeNote;
        if (realNote >= 0 && realNote <= LAST_REAL_NOTE) {
            int32_t period = NotePeriod(song, static_cast<uint8_t>(realNote), finetune);
            if (portamento && channel->sample != &emptySample && channel->sample) {
                // Tone portamento: the note is only the target; the sample
                // goes on where it is.
                channel->portaTarget = period;
            } else {
                channel->note = static_cast<uint8_t>(note - 1);
                channel->sample = sample;
                channel->finetune = finetune;
                channel->period = period;
                channel->portaTarget = period;
                channel->trigger = true;
                channel->startOffset = 0;
                channel->retrigCounter = 0;
                channel->tremorCounter = 0;
                if (!(channel->vibrato.control & 4))
                    channel->vibrato.position = 0;
                if (!(channel->tremolo.control & 4))
                    channel->tremolo.position = 0;
            }
        }
    }
    if (note == NOTE_KEY_OFF) {
        KeyOff(song, channel);
        // With an instrument number the key-off still releases the note, but
        // the volume and panning come back from the sample: a note without
        // volume envelope keeps sounding.
        if (cell->instrument != 0) {
            channel->volume = channel->sample->volume > FULL_VOLUME ? FULL_VOLUME : channel->sample->volume;
            channel->panning = channel->sample->panning;
        }
    } else if (cell->instrument != 0) {
        if (!instrument) {
            // A number beyond the song's instruments silences the channel.
            channel->sample = &emptySample;
            channel->trigger = channel->trigger || note != 0;
        }
        ResetInstrument(channel);
    }
}

void StartFullPlayer(Module* song) {
    ResetSongPosition(song);
    ResetFullPlayer();
    song->tickRoutine = FullPlayTick;
    mixer.rampShift = RAMP_FINE;
}

void FullPlayTick(Module* song) {
    int32_t count = ChannelCount(song);
    const Cell* cells = nullptr;
    if (song->tick == 0 && !fullPlayer.repeatingRow) {
        if (song->nextOrderPosition >= 0)
            song->orderPosition = song->nextOrderPosition;
        if (song->nextRow >= 0)
            song->row = song->nextRow;
        song->nextRow = -1;
        song->nextOrderPosition = -1;
        cells = RowCells(song);
        for (int32_t c = 0; c < count; ++c) {
            FullChannel* channel = &fullPlayer.channels[c];
            channel->cell = cells ? cells[c] : Cell{};
            channel->delayTick = 0;
        }
    }
    for (int32_t c = 0; c < count; ++c) {
        FullChannel* channel = &fullPlayer.channels[c];
        const Cell* cell = &channel->cell;
        channel->periodOffset = 0;
        channel->volumeOffset = 0;
        channel->muted = false;
        if (song->tick == 0) {
            bool delayed = cell->effectType == EFFECT_EXTENDED && (cell->effectParameter >> 4) == EXTENDED_NOTE_DELAY &&
                           (cell->effectParameter & 15) != 0;
            if (fullPlayer.repeatingRow) {
                // A row repeated by EEx is not read again: its tick 0 runs
                // the effects as a later tick does (slides go on, fine
                // slides and notes are not repeated).
                TickEffect(song, channel, cell);
            } else if (delayed) {
                channel->delayTick = cell->effectParameter & 15;
            } else {
                StartCell(song, channel, cell);
                RowEffect(song, channel, cell, c);
            }
        } else {
            if (channel->delayTick == song->tick) {
                StartCell(song, channel, cell);
                RowEffect(song, channel, cell, c);
            }
            TickEffect(song, channel, cell);
        }
    }
    for (int32_t c = 0; c < count; ++c) {
        Envelopes(song, &fullPlayer.channels[c]);
        Output(song, &fullPlayer.channels[c], c);
    }
    if (song->tick == 0 && !fullPlayer.repeatingRow)
        AdvancePosition(song);

    song->tick += 1;
    if (song->tick >= song->speed) {
        song->tick = 0;
        fullPlayer.repeatingRow = fullPlayer.patternDelay > 0;
        if (fullPlayer.patternDelay > 0)
            fullPlayer.patternDelay -= 1;
    }
}
