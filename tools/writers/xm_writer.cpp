#include "tools/writers/xm_writer.h"

#include <algorithm>
#include <cstdio>

#include "tools/writers/byte_writer.h"

namespace {

// Fixed-width text field, zero padded.
void PutText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i)
        PutLe8(out, i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}
void PadTo(std::vector<uint8_t>& out, size_t start, size_t size) {
    if (out.size() < start + size)
        out.resize(start + size, 0);
}

XmCell CellOf(const XmPattern& pattern, uint16_t channels, int row, int channel) {
    size_t index = static_cast<size_t>(row) * channels + channel;
    return index < pattern.cells.size() ? pattern.cells[index] : XmCell{};
}

// Delta-coded sample bytes: 8-bit deltas of the values, or 16-bit deltas
// little-endian.
std::vector<uint8_t> SampleBytes(const XmSample& sample) {
    if (sample.rawData)
        return *sample.rawData;
    std::vector<uint8_t> out;
    int16_t previous = 0;
    for (int16_t value : sample.values) {
        if (sample.sixteenBit) {
            PutLe16(out, static_cast<uint16_t>(value - previous));
        } else {
            PutLe8(out, static_cast<uint8_t>(value - previous));
        }
        previous = value;
    }
    return out;
}

} // namespace

XmCell& XmCellAt(XmPattern& pattern, uint16_t channels, int row, int channel) {
    size_t index = static_cast<size_t>(row) * channels + channel;
    if (pattern.cells.size() <= index)
        pattern.cells.resize(std::max<size_t>(index + 1, static_cast<size_t>(pattern.rows) * channels));
    return pattern.cells[index];
}

std::vector<uint8_t> PackXmPattern(const XmPattern& pattern, uint16_t channels) {
    std::vector<uint8_t> out;
    bool anything = false;
    for (int row = 0; row < pattern.rows; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            XmCell cell = CellOf(pattern, channels, row, channel);
            uint8_t note = cell.note == 255 ? 97 : cell.note;
            uint8_t fields[5] = {note, cell.instrument, cell.volume, cell.effectType, cell.effectParameter};
            uint8_t mask = 0x80;
            for (int i = 0; i < 5; ++i)
                if (fields[i] != 0)
                    mask |= static_cast<uint8_t>(1 << i);
            anything = anything || mask != 0x80;
            if (mask == 0x9F && note < 0x80) {
                out.insert(out.end(), fields, fields + 5); // all five present: unpacked
                continue;
            }
            out.push_back(mask);
            for (int i = 0; i < 5; ++i)
                if (fields[i] != 0)
                    out.push_back(fields[i]);
        }
    }
    if (!anything)
        out.clear(); // an all-empty pattern is stored with packed size 0
    return out;
}

std::vector<uint8_t> BuildXm(const XmSong& song) {
    std::vector<uint8_t> out;
    PutText(out, "Extended Module: ", 17);
    PutText(out, song.name, 20);
    PutLe8(out, 0x1A);
    PutText(out, song.tracker, 20);
    PutLe16(out, 0x0104);
    PutLe32(out, song.headerSize);
    PutLe16(out, song.songLength.value_or(static_cast<uint16_t>(song.orders.size())));
    PutLe16(out, song.restartPosition);
    PutLe16(out, song.channels);
    PutLe16(out, song.patternCount.value_or(static_cast<uint16_t>(song.patterns.size())));
    PutLe16(out, song.instrumentCount.value_or(static_cast<uint16_t>(song.instruments.size())));
    PutLe16(out, song.flags);
    PutLe16(out, song.defaultSpeed);
    PutLe16(out, song.defaultBpm);
    for (size_t i = 0; i < 256; ++i)
        PutLe8(out, i < song.orders.size() ? song.orders[i] : 0);
    // The header size counts from offset 60; pad (or cut) to it.
    out.resize(60 + song.headerSize, 0);

    for (const XmPattern& pattern : song.patterns) {
        std::vector<uint8_t> packed = pattern.rawPacked ? *pattern.rawPacked : PackXmPattern(pattern, song.channels);
        PutLe32(out, 9);
        PutLe8(out, 0);
        PutLe16(out, pattern.rows);
        PutLe16(out, pattern.packedSize.value_or(static_cast<uint16_t>(packed.size())));
        out.insert(out.end(), packed.begin(), packed.end());
    }

    for (const XmInstrument& instrument : song.instruments) {
        size_t start = out.size();
        uint16_t count = instrument.sampleCount.value_or(static_cast<uint16_t>(instrument.samples.size()));
        uint32_t headerSize = instrument.headerSize.value_or(count > 0 ? 263u : 243u);
        PutLe32(out, headerSize);
        PutText(out, instrument.name, 22);
        PutLe8(out, 0); // type
        PutLe16(out, count);
        PutLe32(out, 40);
        out.insert(out.end(), instrument.keymap.begin(), instrument.keymap.end());
        for (const auto* envelope : {&instrument.volumeEnvelope, &instrument.panningEnvelope}) {
            for (size_t i = 0; i < 12; ++i) {
                XmEnvelopePoint point = i < envelope->size() ? (*envelope)[i] : XmEnvelopePoint{};
                PutLe16(out, point.position);
                PutLe16(out, point.value);
            }
        }
        PutLe8(out, static_cast<uint8_t>(instrument.volumeEnvelope.size()));
        PutLe8(out, static_cast<uint8_t>(instrument.panningEnvelope.size()));
        PutLe8(out, instrument.volumeSustainPoint);
        PutLe8(out, instrument.volumeLoopStart);
        PutLe8(out, instrument.volumeLoopEnd);
        PutLe8(out, instrument.panningSustainPoint);
        PutLe8(out, instrument.panningLoopStart);
        PutLe8(out, instrument.panningLoopEnd);
        PutLe8(out, instrument.volumeType);
        PutLe8(out, instrument.panningType);
        PutLe8(out, instrument.vibratoType);
        PutLe8(out, instrument.vibratoSweep);
        PutLe8(out, instrument.vibratoDepth);
        PutLe8(out, instrument.vibratoRate);
        PutLe16(out, instrument.fadeout);
        // Only the first headerSize bytes belong to the header.
        out.resize(start + headerSize, 0);

        std::vector<std::vector<uint8_t>> data;
        for (const XmSample& sample : instrument.samples) {
            data.push_back(SampleBytes(sample));
            uint32_t unit = sample.sixteenBit ? 2 : 1;
            size_t headerStart = out.size();
            PutLe32(out, sample.lengthBytes.value_or(static_cast<uint32_t>(data.back().size())));
            PutLe32(out, sample.loopStartBytes.value_or(sample.loopStart * unit));
            PutLe32(out, sample.loopLengthBytes.value_or(sample.loopLength * unit));
            PutLe8(out, sample.volume);
            PutLe8(out, static_cast<uint8_t>(sample.finetune));
            PutLe8(out, (sample.loopBits & 3) | (sample.sixteenBit ? 16 : 0));
            PutLe8(out, sample.panning);
            PutLe8(out, static_cast<uint8_t>(sample.relativeNote));
            PutLe8(out, 0);
            PutText(out, sample.name, 22);
            PadTo(out, headerStart, 40);
        }
        for (const auto& bytes : data)
            out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool WriteXmFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
