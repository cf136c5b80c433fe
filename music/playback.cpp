// The playback engine: rows on tick 0, continuing effects on later ticks,
// the order position and its loop to the restart position. It only sets
// channel state and pending bits; UpdateVoice carries them to the voices.
#include "music/playback.h"

#include "music/audio_output.h"
#include "music/effects.h"
#include "music/mixer.h"

Channel channels[MAX_SONG_CHANNELS];
Instrument emptyInstrument;

namespace {

constexpr int32_t LINEAR_BASE_PERIOD = 7680;
constexpr int32_t LINEAR_PERIOD_PER_NOTE = 64;
constexpr int32_t ENVELOPE_FULL = 64;
constexpr int32_t FADEOUT_FULL = 65536;
constexpr uint8_t EFFECT_K = 20;

// The Amiga period table of the format: 12 notes of 8 finetune steps each,
// one octave, index 8 being C at finetune 0 (856) and index 0 the B below
// it. Values for the octave of C-4 are these times 2.
// clang-format off
constexpr int16_t AMIGA_PERIODS[96] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457};
// clang-format on
// Table values scaled so that real note 0 (C-0) is 32 times the table's C
// and C-4 comes out at 1712, the period UpdateVoice's 14317056 / period
// turns into 8363 Hz.
constexpr int32_t AMIGA_SCALE = 32;

// The table entry at eighth-semitone step q (0 = C-0 at finetune -128),
// shifted down one octave per 96 steps.
int32_t AmigaStep(int32_t q) { return (AMIGA_PERIODS[q % 96] * AMIGA_SCALE) >> (q / 96); }

const Pattern* CurrentPattern(const Module* song) {
    if (!song->patterns || song->orderPosition < 0 || song->orderPosition >= MAX_SONG_LENGTH)
        return nullptr;
    uint8_t number = song->orders[song->orderPosition];
    if (number >= song->patternCount)
        return nullptr;
    return &song->patterns[number];
}

// The cells of the current row, or null when the pattern has none there
// (an order entry naming a pattern without cells plays empty rows).
const Cell* CurrentRowCells(const Module* song) {
    const Pattern* pattern = CurrentPattern(song);
    if (!pattern || !pattern->cells || song->row < 0 || song->row >= pattern->rows)
        return nullptr;
    return pattern->cells + static_cast<size_t>(song->row) * song->channelCount;
}

int32_t ChannelCount(const Module* song) {
    int32_t count = song->channelCount;
    return count < 0 ? 0 : (count > MAX_SONG_CHANNELS ? MAX_SONG_CHANNELS : count);
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
    return &emptyInstrument;
}

Sample* ChannelSample(const Module* song, const Channel* channel) {
    const Instrument* instrument = ChannelInstrument(song, channel);
    uint8_t slot = channel->note < NOTE_LAST ? instrument->keymap[channel->note] : 0xFF;
    if (slot >= MAX_INSTRUMENT_SAMPLES || !instrument->samples[slot])
        return &emptySample;
    return instrument->samples[slot];
}

int32_t NotePeriod(const Module* song, uint8_t realNote, int8_t finetune) {
    if (song->flags & FLAG_LINEAR_TABLE)
        return LINEAR_BASE_PERIOD - LINEAR_PERIOD_PER_NOTE * realNote - finetune / 2;
    // Amiga table: eighth-semitone steps from the table, the finetune's low
    // four bits interpolating between neighbouring steps.
    int32_t q = realNote * 8 + (finetune >> 4) + 8;
    int32_t fraction = finetune & 15;
    return (AmigaStep(q) * (16 - fraction) + AmigaStep(q + 1) * fraction) / 16;
}

void SetTempo(Module* song, int bpm) {
    song->bpm = bpm;
    // Effect F and the loader keep the tempo in range; held here as well, so
    // that no tempo can make a tick of zero frames.
    if (bpm < MIN_BPM)
        bpm = MIN_BPM;
    if (bpm > MAX_BPM)
        bpm = MAX_BPM;
    // The constants are single precision, the arithmetic wider: so 42 BPM
    // gives 2625 frames, the whole part of 44100 * 2.5 / 42, not 2624.
    double frames = 1000.0 / (bpm * static_cast<double>(0.4f)) * outputRate * static_cast<double>(0.001f);
    int32_t perTick = static_cast<int32_t>(frames);
    song->samplesPerTick = perTick < 1 ? 1 : perTick;
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
        Channel* channel = &channels[c];
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
        if (cell->note == NOTE_KEY_OFF || cell->effectType == EFFECT_K)
            channel->keyOff = 1;
        if (channel->keyOff) {
            channel->envelopeVolume = 0;
            LowerFadeout(channel, ChannelInstrument(song, channel));
            channel->pending |= PENDING_VOLUME;
        }
        ApplyRowEffect(song, channel, cell);
        UpdateVoice(channel, sample, song);
    }
}

void ProcessTickEffects(Module* song) {
    const Cell* cells = CurrentRowCells(song);
    if (!cells)
        return;
    int32_t count = ChannelCount(song);
    for (int32_t c = 0; c < count; ++c) {
        Channel* channel = &channels[c];
        Sample* sample = ChannelSample(song, channel);
        channel->periodOffset = 0;
        channel->pending = 0;
        if (channel->keyOff) {
            LowerFadeout(channel, ChannelInstrument(song, channel));
            channel->pending = PENDING_VOLUME;
        }
        ApplyTickEffect(song, channel, &cells[c]);
        UpdateVoice(channel, sample, song);
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
    for (int32_t i = 0; i < count; ++i) {
        channels[i] = Channel{};
        channels[i].voice = &voicePool[i];
    }
}

void ResetPlayback() {
    for (Channel& channel : channels)
        channel = Channel{};
    emptyInstrument = Instrument{};
}
