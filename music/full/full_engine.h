// The full player: every effect, the volume column, envelopes, fadeout and
// auto-vibrato of the Extended Module format, as the format's own tracker
// plays them. It shares the loader, the pitch and tempo arithmetic, the
// voices and the mixer with the small player; per channel it keeps a
// FullChannel and hands the result of each tick to the channel's voice in a
// VoiceControl. All state is fixed in size; nothing is allocated while a
// song plays.
#pragma once

#include <cstdint>

#include "music/mixer.h"
#include "music/module.h"

// Envelope flags of an instrument (volumeType, panningType).
constexpr uint8_t ENVELOPE_ON = 1;
constexpr uint8_t ENVELOPE_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_LOOP = 4;
constexpr int32_t ENVELOPE_POINTS = 12;

constexpr int32_t FULL_VOLUME = 64;
constexpr int32_t FADEOUT_START = 65536;
// Periods stay inside this range (the format's tracker keeps slides there).
constexpr int32_t PERIOD_MIN = 1;
constexpr int32_t PERIOD_MAX = 32000;

// Where an envelope is: its tick counter and the value it gave this tick.
struct EnvelopeState {
    int32_t tick;
    int32_t value; // 0..64
};

// A waveform oscillator of vibrato or tremolo.
struct Oscillator {
    uint8_t position; // 0..63, one cycle
    uint8_t speed;
    uint8_t depth;
    uint8_t control; // bits 0..1 waveform, bit 2: keep the position on a new note
};

struct FullChannel {
    Cell cell;            // the row's cell, for the later ticks
    const Sample* sample; // the sample playing; emptySample when none
    int16_t instrument;   // 0-based; -1 before the first one
    uint8_t note;         // 0..95, the cell's note - 1
    int8_t finetune;      // the sample's, or E5x's
    int32_t period;       // the slid period (linear or Amiga units)
    int32_t portaTarget;
    int32_t volume;  // 0..64
    int32_t panning; // 0..255, 0 left
    bool keyOff;
    int32_t fadeout; // FADEOUT_START .. 0
    EnvelopeState volumeEnvelope;
    EnvelopeState panningEnvelope;
    uint8_t autoVibratoPosition;
    int32_t autoVibratoAmount; // rises to depth * 256 over the sweep

    // This tick's changes on top of the above.
    int32_t periodOffset; // vibrato, arpeggio
    int32_t volumeOffset; // tremolo
    bool muted;           // tremor's off phase
    bool trigger;         // the sample starts this tick
    uint32_t startOffset; // ... at this frame (9xx)
    int32_t sentPeriod;   // the period the voice's step was last set from
    VoiceControl sent;    // what this tick asked of the voice

    // Effect memories: each written by a non-zero parameter only.
    uint8_t portaUpSpeed, portaDownSpeed, tonePortaSpeed;
    uint8_t finePortaUpSpeed, finePortaDownSpeed;
    uint8_t extraFineUpSpeed, extraFineDownSpeed;
    uint8_t volumeSlideSpeed, fineVolumeUpSpeed, fineVolumeDownSpeed;
    uint8_t globalSlideSpeed, panningSlideSpeed;
    uint8_t sampleOffset;
    uint8_t retrigVolume, retrigInterval, retrigCounter;
    uint8_t tremorParameter, tremorCounter;
    bool tremorOff; // tremor's phase on its last tick after tick 0
    Oscillator vibrato;
    Oscillator tremolo;
    bool glissando;
    uint8_t loopRow, loopCount; // E6x
    uint8_t delayTick;          // EDx: the tick the cell starts on; 0 none
};

// The full player's state: its channels and, beside the Module's position
// fields, the pattern delay.
struct FullPlayer {
    FullChannel channels[MAX_SONG_CHANNELS];
    int32_t patternDelay; // rows still to repeat (EEx)
    bool repeatingRow;    // this row is a repeat of EEx
};

extern FullPlayer fullPlayer;

// PlaySong's start routine in a full build: ResetSongPosition, the full
// player's channels, its tick routine and the mixer's fine ramps.
void StartFullPlayer(Module* song);
// The tick routine: a row's cells on tick 0 (unless the row repeats), the
// continuing effects on the other ticks, then envelopes, fadeout and
// auto-vibrato, and every channel's result to its voice.
void FullPlayTick(Module* song);

// The cell's note, instrument and volume column as the tracker takes them on
// the tick the cell starts (tick 0, or EDx's tick).
void StartCell(Module* song, FullChannel* channel, const Cell* cell);
// The tick-0 part of the effect and of the volume column.
void RowEffect(Module* song, FullChannel* channel, const Cell* cell, int32_t index);
// The volume column and effect on a later tick.
void TickEffect(Module* song, FullChannel* channel, const Cell* cell);
// Key-off: the envelope leaves its sustain, the fadeout starts; without a
// volume envelope the note is silenced at once.
void KeyOff(Module* song, FullChannel* channel);
// The sample restarts (E9x, Rxy, EDx): from its start, at this tick.
void Retrigger(FullChannel* channel);

// This tick's volume (0..64): the volume with the tremolo's offset, held in
// range; 0 in the tremor's off phase.
int32_t TickVolume(const FullChannel* channel);
// This tick's panning (0 left): the channel's, moved by the panning envelope
// when the instrument has one on.
int32_t TickPanning(const Module* song, const FullChannel* channel);

// The instrument of a channel, or null for none / out of range.
const Instrument* FullInstrument(const Module* song, const FullChannel* channel);

// Envelopes and auto-vibrato, once per tick after the effects.
// The envelope's value at its tick, then the tick advanced (held at the
// sustain point until key-off, sent back at the loop end). An envelope that
// is on has at least 2 points: the loader turns one with fewer off.
void StepEnvelope(EnvelopeState* state, const EnvelopePoint* points, uint8_t pointCount, uint8_t type, uint8_t sustain,
                  uint8_t loopStart, uint8_t loopEnd, bool keyOff);
// The envelope's value at a tick: linear between points, the last point's
// value after it; count is 1..ENVELOPE_POINTS.
int32_t EnvelopeValue(const EnvelopePoint* points, int32_t count, int32_t tick);
// The auto-vibrato's period offset this tick, and its position advanced.
int32_t StepAutoVibrato(FullChannel* channel, const Instrument* instrument);
// The signed wave -255..255 of vibrato / tremolo waveform `control` at
// position 0..63.
int32_t Waveform(uint8_t control, uint8_t position);
// The pan after the panning envelope (value 0..64, 32 centre).
int32_t EnvelopePanning(int32_t panning, int32_t envelope);

// Every channel at its start values (no instrument, no sample, full
// envelopes, centred), no pattern delay (tests, StartFullPlayer).
void ResetFullPlayer();
