// Builds the bytes of an Extended Module file from a plain description, the
// way trackers write them: a 276-byte header, patterns packed with the
// mask-byte scheme, instruments with 263-byte headers (243 without samples)
// and 40-byte sample headers, sample data delta-coded in 8 or 16 bits.
// Every size field can be overridden so tests can write malformed files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0; // 0 none, 1..96, 97 or 255 key off (written as 97)
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effectType = 0;
    uint8_t effectParameter = 0;
};

struct XmPattern {
    uint16_t rows = 64;
    std::vector<XmCell> cells; // rows * channels, row after row; missing cells are empty
    // When set, written instead of the packed cells (and its size as the
    // packed size unless packedSize says otherwise).
    std::optional<std::vector<uint8_t>> rawPacked;
    std::optional<uint16_t> packedSize;
};

struct XmEnvelopePoint {
    uint16_t position = 0;
    uint16_t value = 0;
};

struct XmSample {
    std::vector<int16_t> values; // sample values (8-bit samples: -128..127), delta-coded on write
    bool sixteenBit = false;
    uint8_t loopBits = 0;   // type bits 0..1: 1 forward, 2 ping-pong
    uint32_t loopStart = 0; // in samples (converted to bytes on write)
    uint32_t loopLength = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name;
    // Raw overrides: data bytes written as they are (no delta coding), and
    // the header's byte counts.
    std::optional<std::vector<uint8_t>> rawData;
    std::optional<uint32_t> lengthBytes;
    std::optional<uint32_t> loopStartBytes;
    std::optional<uint32_t> loopLengthBytes;
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples;
    std::array<uint8_t, 96> keymap{};
    std::vector<XmEnvelopePoint> volumeEnvelope; // at most 12
    std::vector<XmEnvelopePoint> panningEnvelope;
    uint8_t volumeSustainPoint = 0, volumeLoopStart = 0, volumeLoopEnd = 0;
    uint8_t panningSustainPoint = 0, panningLoopStart = 0, panningLoopEnd = 0;
    uint8_t volumeType = 0, panningType = 0;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
    std::optional<uint32_t> headerSize;  // default 263 with samples, 243 without
    std::optional<uint16_t> sampleCount; // default samples.size()
};

struct XmSong {
    std::string name = "quillon";
    std::string tracker = "Quillon xm_writer";
    uint32_t headerSize = 276;
    std::vector<uint8_t> orders; // at most 256
    uint16_t restartPosition = 0;
    uint16_t channels = 4;
    uint16_t flags = 1; // linear table
    uint16_t defaultSpeed = 6;
    uint16_t defaultBpm = 125;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
    // Header overrides; default to the sizes of the vectors above.
    std::optional<uint16_t> songLength;
    std::optional<uint16_t> patternCount;
    std::optional<uint16_t> instrumentCount;
};

// The cell of a pattern at (row, channel); grows cells as needed.
XmCell& XmCellAt(XmPattern& pattern, uint16_t channels, int row, int channel);
// Packs rows * channels cells with the mask-byte scheme.
std::vector<uint8_t> PackXmPattern(const XmPattern& pattern, uint16_t channels);
std::vector<uint8_t> BuildXm(const XmSong& song);
// False when the file cannot be written.
bool WriteXmFile(const std::string& path, const std::vector<uint8_t>& bytes);
