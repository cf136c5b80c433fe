// The in-memory song: an Extended Module loaded through the stream layer,
// with patterns unpacked into 5-byte cells and every sample held as 16-bit
// signed values with spare values after its end and a guard after its loop.
#pragma once

#include <cstdint>

struct StreamFile;
struct Module;

// Limits a song must keep; a song that breaks one is refused at load.
constexpr int32_t MAX_SONG_CHANNELS = 32;
constexpr int32_t MAX_SONG_LENGTH = 256;
constexpr int32_t MAX_PATTERNS = 256;
constexpr int32_t MAX_PATTERN_ROWS = 256;
constexpr int32_t MAX_INSTRUMENTS = 128;
constexpr int32_t MAX_INSTRUMENT_SAMPLES = 16;
// The tempo range every song plays in; defaultBpm is brought into it at load.
constexpr int32_t MIN_BPM = 32;
constexpr int32_t MAX_BPM = 255;
// Spare 16-bit values after every sample's last value (interpolation reads
// one beyond the last frame; the guard after a loop lands among them). The
// mixer's vector passes read the 17 values from the lowest one a pass
// needs, values they then leave unused, so 16 spare values keep every read
// inside the sample's data.
constexpr uint32_t SAMPLE_SPARE_VALUES = 16;

constexpr uint8_t NOTE_NONE = 0;
constexpr uint8_t NOTE_LAST = 96; // notes 1..96, from the lowest
constexpr uint8_t NOTE_FILE_KEY_OFF = 97;
constexpr uint8_t NOTE_KEY_OFF = 255; // the file's 97 as stored

constexpr uint8_t LOOP_NONE = 1;
constexpr uint8_t LOOP_FORWARD = 2;
constexpr uint8_t LOOP_PINGPONG = 4;

constexpr uint16_t FLAG_LINEAR_TABLE = 1;

// Effect types of a cell: 0-9 and A-F, then the letters from G on as 16 on.
constexpr uint8_t EFFECT_ARPEGGIO = 0x0;
constexpr uint8_t EFFECT_PORTA_UP = 0x1;
constexpr uint8_t EFFECT_PORTA_DOWN = 0x2;
constexpr uint8_t EFFECT_TONE_PORTA = 0x3;
constexpr uint8_t EFFECT_VIBRATO = 0x4;
constexpr uint8_t EFFECT_TONE_PORTA_VOLUME_SLIDE = 0x5;
constexpr uint8_t EFFECT_VIBRATO_VOLUME_SLIDE = 0x6;
constexpr uint8_t EFFECT_TREMOLO = 0x7;
constexpr uint8_t EFFECT_SET_PANNING = 0x8;
constexpr uint8_t EFFECT_SAMPLE_OFFSET = 0x9;
constexpr uint8_t EFFECT_VOLUME_SLIDE = 0xA;
constexpr uint8_t EFFECT_POSITION_JUMP = 0xB;
constexpr uint8_t EFFECT_SET_VOLUME = 0xC;
constexpr uint8_t EFFECT_PATTERN_BREAK = 0xD;
constexpr uint8_t EFFECT_EXTENDED = 0xE;
constexpr uint8_t EFFECT_SPEED_TEMPO = 0xF;
constexpr uint8_t EFFECT_GLOBAL_VOLUME = 16;       // G
constexpr uint8_t EFFECT_GLOBAL_VOLUME_SLIDE = 17; // H
constexpr uint8_t EFFECT_KEY_OFF = 20;             // K
constexpr uint8_t EFFECT_ENVELOPE_POSITION = 21;   // L
constexpr uint8_t EFFECT_PANNING_SLIDE = 25;       // P
constexpr uint8_t EFFECT_MULTI_RETRIG = 27;        // R
constexpr uint8_t EFFECT_TREMOR = 29;              // T
constexpr uint8_t EFFECT_EXTRA_FINE_PORTA = 33;    // X

// Effect E by the high nibble of its parameter.
constexpr uint8_t EXTENDED_FINE_PORTA_UP = 0x1;
constexpr uint8_t EXTENDED_FINE_PORTA_DOWN = 0x2;
constexpr uint8_t EXTENDED_GLISSANDO = 0x3;
constexpr uint8_t EXTENDED_VIBRATO_WAVEFORM = 0x4;
constexpr uint8_t EXTENDED_SET_FINETUNE = 0x5;
constexpr uint8_t EXTENDED_PATTERN_LOOP = 0x6;
constexpr uint8_t EXTENDED_TREMOLO_WAVEFORM = 0x7;
constexpr uint8_t EXTENDED_COARSE_PANNING = 0x8;
constexpr uint8_t EXTENDED_RETRIG = 0x9;
constexpr uint8_t EXTENDED_FINE_VOLUME_UP = 0xA;
constexpr uint8_t EXTENDED_FINE_VOLUME_DOWN = 0xB;
constexpr uint8_t EXTENDED_NOTE_CUT = 0xC;
constexpr uint8_t EXTENDED_NOTE_DELAY = 0xD;
constexpr uint8_t EXTENDED_PATTERN_DELAY = 0xE;

struct Cell {
    uint8_t note;       // 0 none, 1..96, 255 key off; others as read
    uint8_t instrument; // 0 none, 1..128
    uint8_t volume;     // volume column, as read (ignored by the engine)
    uint8_t effectType; // 0..35
    uint8_t effectParameter;
};
static_assert(sizeof(Cell) == 5);

struct Pattern {
    int32_t rows;
    Cell* cells; // rows * channelCount cells, row after row; null when that is 0
};

struct Sample {
    int16_t* data;       // length + SAMPLE_SPARE_VALUES values; null when length is 0
    uint32_t length;     // in samples
    uint32_t loopStart;  // in samples; loopStart + loopLength <= length always
    uint32_t loopLength; // == length for a sample without loop
    uint8_t volume;      // as read, 0..64 in a valid file
    int8_t finetune;
    int32_t panning;  // 0..255
    uint8_t bits;     // 16 once loaded
    uint8_t loopType; // LOOP_NONE, LOOP_FORWARD or LOOP_PINGPONG
    int8_t relativeNote;
};

struct EnvelopePoint {
    uint16_t position;
    uint16_t value;
};

struct Instrument {
    int32_t sampleCount; // 0..16
    Sample* samples[16]; // slots from sampleCount on point to emptySample
    uint8_t keymap[96];  // sample slot for notes 1..96, as read
    // Loaded as read and used by nothing in the player (no envelopes, no
    // auto-vibrato are applied).
    EnvelopePoint volumeEnvelope[12];
    EnvelopePoint panningEnvelope[12];
    uint8_t volumePointCount;
    uint8_t panningPointCount;
    uint8_t volumeSustainPoint;
    uint8_t volumeLoopStart;
    uint8_t volumeLoopEnd;
    uint8_t panningSustainPoint;
    uint8_t panningLoopStart;
    uint8_t panningLoopEnd;
    uint8_t volumeType;  // 0 when there are fewer than 2 volume points
    uint8_t panningType; // 0 when there are fewer than 2 panning points
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout; // twice the file's value (the top bit is lost)
};

using TickRoutine = void (*)(Module* song);

struct Module {
    Pattern* patterns;
    Instrument* instruments;
    int32_t samplesLeftInTick;
    int32_t samplesPerTick;
    int16_t songLength;          // 0..256
    int16_t restartPosition;     // as read; playback falls back to 0 when not below songLength
    int16_t channelCount;        // 0..32
    int32_t orderedPatternCount; // 1 + highest pattern named among the first songLength orders
    int32_t patternCount;        // max(file's pattern count, orderedPatternCount)
    int16_t instrumentCount;     // 0..128
    uint16_t flags;              // bit 0: linear frequency table
    int16_t defaultSpeed;
    int16_t defaultBpm; // MIN_BPM..MAX_BPM once loaded
    uint8_t orders[256];
    uint8_t initialGlobalVolume; // 64
    int32_t globalVolume;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t orderPosition;
    int32_t nextRow;           // -1 when none is decided
    int32_t nextOrderPosition; // -1 when none is decided
    TickRoutine tickRoutine;   // set by the player that starts the song; null until then
};

// The channels a song plays: its channelCount held within 0..MAX_SONG_CHANNELS.
inline int32_t ChannelCount(const Module* song) {
    int32_t count = song->channelCount;
    return count < 0 ? 0 : (count > MAX_SONG_CHANNELS ? MAX_SONG_CHANNELS : count);
}

// The pattern the order list names at `orderPosition`, or null when the
// position lies outside the order array or names no pattern of the song.
inline const Pattern* OrderPattern(const Module* song, int32_t orderPosition) {
    if (!song->patterns || orderPosition < 0 || orderPosition >= MAX_SONG_LENGTH)
        return nullptr;
    uint8_t number = song->orders[orderPosition];
    return number < song->patternCount ? &song->patterns[number] : nullptr;
}

// The pattern at the song's order position.
inline const Pattern* CurrentPattern(const Module* song) { return OrderPattern(song, song->orderPosition); }

// The shared all-zero sample of every empty instrument slot; never released.
extern Sample emptySample;

// Opens `name` through the stream layer and parses it. The song does not
// play until a player start gives it its tick routine. Null when the stream
// cannot be opened, the song is malformed or breaks a limit, or memory runs
// out; a partly built song is released first.
Module* LoadModule(const char* name);
// Fills a zero-filled Module from a stream opened at its start. False on a wrong
// signature, a broken limit or a failed allocation; what was built so far
// stays in the record for FreeModule.
bool ParseModule(Module* song, StreamFile* file);
// Releases everything of the song. False for null. The song must no longer
// be played: whoever started it stops its output first.
bool FreeModule(Module* song);
