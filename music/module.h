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
// one beyond the last frame; the guard after a loop lands among them).
constexpr uint32_t SAMPLE_SPARE_VALUES = 8;

constexpr uint8_t NOTE_NONE = 0;
constexpr uint8_t NOTE_LAST = 96; // notes 1..96, from the lowest
constexpr uint8_t NOTE_FILE_KEY_OFF = 97;
constexpr uint8_t NOTE_KEY_OFF = 255; // the file's 97 as stored

constexpr uint8_t LOOP_NONE = 1;
constexpr uint8_t LOOP_FORWARD = 2;
constexpr uint8_t LOOP_PINGPONG = 4;

constexpr uint16_t FLAG_LINEAR_TABLE = 1;

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
    TickRoutine tickRoutine;   // PlayTick
};

// The shared all-zero sample of every empty instrument slot; never released.
extern Sample emptySample;

// Opens `name` through the stream layer and parses it. Null when the stream
// cannot be opened, the song is malformed or breaks a limit, or memory runs
// out; a partly built song is released first.
Module* LoadModule(const char* name);
// Fills a zero-filled Module from an open stream. False on a wrong
// signature, a broken limit or a failed allocation; what was built so far
// stays in the record for FreeModule.
bool ParseModule(Module* song, StreamFile* file);
// Waits until the feeder is outside a block, stops the song's playback
// (StopSong), then releases everything of the song. False for null.
bool FreeModule(Module* song);
