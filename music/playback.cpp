// The playback engine: rows on tick 0, continuing effects on later ticks,
// the order position and its loop to the restart position. It only sets
// channel state and pending bits; UpdateVoice carries them to the voices.
#include "music/playback.h"

#include <cstddef>

#include "music/effects.h"
#include "music/mixer.h"
#include "music/pitch.h"
#include "music/tempo.h"

Playback playback;

namespace {

constexpr int32_t ENVELOPE_FULL = 64;
constexpr int32_t FADEOUT_FULL = 65536;

// The cells of the current row, or null when the pattern has none there
// (an order entry naming a pattern without cells plays empty rows).
const Cell* CurrentRowCells(const Module* song) {
    const Pattern* pattern = CurrentPattern(song);
    if (!pattern || !pattern->cells || song->row < 0 || song->row >= pattern->rows)
        return nullptr;
    return pattern->cells + static_cast<size_t>(song->row) * song->channelCount;
}

void LowerFadeout(Channel* channel, const Instrument* instrument) {
    channel->fadeoutVolume -= instrument->fadeout;
    if (channel->fadeoutVolume < 0)
        channel->fadeoutVolume = 0;
}

bool IsNote(uint8_t note) { return note >= 1 && note <= NOTE_LAST; }

} // namespace

const Instrument* ChannelInstrument(const Module* song, const Channel* channel) {
    if (channel->instrument < song->instrumentCount && song->instruments)
        return &song->instruments[channel->instrument];
    return &playback.emptyInstrument;
}

Sample* ChannelSample(const Module* song, const Channel* channel) {
    const Instrument* instrument = ChannelInstrument(song, channel);
    uint8_t slot = channel->note < NOTE_LAST ? instrument->keymap[channel->note] : 0xFF;
    if (slot >= MAX_INSTRUMENT_SAMPLES || !instrument->samples[slot])
        return &emptySample;
    return instrument->samples[slot];
}

void ResetChannel(Channel* channel, const Sample* sample) {
    channel->volume = sample->volume;
    channel->panning = sample->panning;
    channel->envelopeVolume = ENVELOPE_FULL;
    channel->keyOff = 0;
    channel->fadeoutVolume = FADEOUT_FULL;
    channel->vibratoPosition = 0;
    channel->pending |= PENDING_VOLUME | PENDING_PANNING;
}

void ProcessRow(Module* song) {
    song->nextRow = -1;
    song->nextOrderPosition = -1;
    const Cell* cells = CurrentRowCells(song);
    if (!cells)
        return;
    int32_t count = ChannelCount(song);
    for (int32_t c = 0; c < count; ++c) {
        Channel* channel = &playback.channels[c];
        const Cell* cell = &cells[c];
        bool tonePortaRow = cell->effectType == EFFECT_TONE_PORTA || cell->effectType == EFFECT_TONE_PORTA_VOLUME_SLIDE;
        // Notes 98..254 never come from a valid file; they are no note.
        bool hasNote = IsNote(cell->note);
        if (cell->instrument != 0 && !tonePortaRow)
            channel->instrument = static_cast<uint8_t>(cell->instrument - 1);
        if (hasNote && !tonePortaRow)
            channel->note = static_cast<uint8_t>(cell->note - 1);
        Sample* sample = ChannelSample(song, channel);

        channel->pending = 0;
        if (hasNote) {
            auto realNote = static_cast<uint8_t>(cell->note - 1 + sample->relativeNote);
            channel->notePeriod = NotePeriod(song, realNote, sample->finetune);
            if (!tonePortaRow)
                channel->period = channel->notePeriod;
            channel->pending = PENDING_TRIGGER;
        }
        channel->periodOffset = 0;
        channel->pending |= PENDING_FREQUENCY | PENDING_VOLUME;
        if (cell->instrument != 0)
            ResetChannel(channel, sample);
        if (cell->note == NOTE_KEY_OFF || cell->effectType == EFFECT_KEY_OFF)
            channel->keyOff = 1;
        if (channel->keyOff) {
            channel->envelopeVolume = 0;
            LowerFadeout(channel, ChannelInstrument(song, channel));
            channel->pending |= PENDING_VOLUME;
        }
        ApplyRowEffect(song, channel, cell);
        UpdateVoice(c, channel, sample, song);
    }
}

void ProcessTickEffects(Module* song) {
    const Cell* cells = CurrentRowCells(song);
    if (!cells)
        return;
    int32_t count = ChannelCount(song);
    for (int32_t c = 0; c < count; ++c) {
        Channel* channel = &playback.channels[c];
        Sample* sample = ChannelSample(song, channel);
        channel->periodOffset = 0;
        channel->pending = 0;
        if (channel->keyOff) {
            LowerFadeout(channel, ChannelInstrument(song, channel));
            channel->pending = PENDING_VOLUME;
        }
        ApplyTickEffect(song, channel, &cells[c]);
        UpdateVoice(c, channel, sample, song);
    }
}

void PlayTick(Module* song) {
    if (song->tick != 0) {
        ProcessTickEffects(song);
    } else {
        if (song->nextOrderPosition >= 0)
            song->orderPosition = song->nextOrderPosition;
        if (song->nextRow >= 0)
            song->row = song->nextRow;
        ProcessRow(song);
        if (song->nextRow == -1) {
            song->nextRow = song->row + 1;
            const Pattern* pattern = CurrentPattern(song);
            int32_t rows = pattern ? pattern->rows : 0;
            if (song->nextRow >= rows) {
                int32_t next = song->orderPosition + 1;
                if (next >= song->songLength) {
                    // A restart position outside the order list starts over at 0.
                    next = song->restartPosition >= 0 && song->restartPosition < song->songLength
                               ? song->restartPosition
                               : 0;
                }
                song->nextOrderPosition = next;
                song->nextRow = 0;
            }
        }
    }
    song->tick += 1;
    if (song->tick >= song->speed)
        song->tick = 0;
}

void ResetSongPosition(Module* song) {
    song->speed = song->defaultSpeed;
    song->globalVolume = song->initialGlobalVolume;
    song->nextOrderPosition = -1;
    song->nextRow = -1;
    song->row = 0;
    song->orderPosition = 0;
    song->samplesLeftInTick = 0;
    song->tick = 0;
    SetTempo(song, song->defaultBpm);
    int32_t count = ChannelCount(song);
    for (int32_t i = 0; i < count; ++i)
        playback.channels[i] = Channel{};
}

void StartSmallPlayer(Module* song) {
    ResetSongPosition(song);
    song->tickRoutine = PlayTick;
    mixer.rampShift = RAMP_COARSE;
}

void ResetPlayback() { playback = Playback{}; }
