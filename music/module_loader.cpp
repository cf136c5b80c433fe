// The Extended Module loader. Every read goes through the stream layer, and
// every field is decoded from a zero-initialised buffer, so a file that ends
// early leaves what it would have filled at zero instead of reading beyond
// its bytes. Limits are checked here, once: nothing the player does later
// can fail or go out of bounds on a song that loaded.
#include <cstdlib>
#include <cstring>

#include "music/module.h"
#include "music/stream.h"

Sample emptySample;

namespace {

constexpr char SIGNATURE[] = "Extended Module: ";
constexpr int32_t SIGNATURE_LENGTH = 17;
constexpr int32_t HEADER_SIZE_OFFSET = 60;
constexpr int32_t MISSING_PATTERN_ROWS = 64;
constexpr int32_t SAMPLE_HEADER_READ = 17; // fields up to the relative note
constexpr int32_t SAMPLE_HEADER_SKIP = 23; // reserved byte and name
constexpr int32_t INSTRUMENT_NAME_SKIP = 23;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint8_t ReadU8(StreamFile* file) {
    uint8_t b = 0;
    StreamRead(&b, 1, file);
    return b;
}
uint16_t ReadU16(StreamFile* file) {
    uint8_t b[2] = {};
    StreamRead(b, 2, file);
    return Le16(b);
}
uint32_t ReadU32(StreamFile* file) {
    uint8_t b[4] = {};
    StreamRead(b, 4, file);
    return Le32(b);
}

// Seeks to base + offset from the start; a target beyond what a 32-bit
// position can hold is sent to the end (where every read delivers nothing).
void SeekTo(StreamFile* file, int64_t target) {
    if (target > INT32_MAX || target < 0)
        StreamSeek(file, 0, STREAM_SEEK_END);
    else
        StreamSeek(file, static_cast<int32_t>(target), STREAM_SEEK_SET);
}

// Bytes between the current position and the end of the stream.
int64_t BytesLeft(StreamFile* file) {
    int32_t here = StreamTell(file);
    StreamSeek(file, 0, STREAM_SEEK_END);
    int32_t end = StreamTell(file);
    StreamSeek(file, here, STREAM_SEEK_SET);
    return end > here ? static_cast<int64_t>(end) - here : 0;
}

// Unpacks rows * channelCount cells with the mask-byte scheme.
void UnpackCells(StreamFile* file, Cell* cells, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        Cell& cell = cells[i];
        uint8_t b = ReadU8(file);
        uint8_t fields[5] = {};
        if (b & 0x80) {
            for (int f = 0; f < 5; ++f)
                if (b & (1 << f))
                    fields[f] = ReadU8(file);
        } else {
            uint8_t rest[4] = {};
            StreamRead(rest, 4, file);
            fields[0] = b;
            std::memcpy(fields + 1, rest, 4);
        }
        cell.note = fields[0] == NOTE_FILE_KEY_OFF ? NOTE_KEY_OFF : fields[0];
        cell.instrument = fields[1] > MAX_INSTRUMENTS ? 0 : fields[1];
        cell.volume = fields[2];
        cell.effectType = fields[3];
        cell.effectParameter = fields[4];
    }
}

// Makes the loop fit the sample: a loop reaching past the end is cut at the
// end, one that starts at or past it, or is left empty, becomes no loop. The
// mixer relies on loopStart + loopLength <= length, and the guard value
// written after the loop then always lands inside the sample's block.
void FitLoop(Sample* sample) {
    if (sample->loopType != LOOP_NONE) {
        if (sample->loopStart >= sample->length)
            sample->loopLength = 0;
        else if (sample->loopLength > sample->length - sample->loopStart)
            sample->loopLength = sample->length - sample->loopStart;
    }
    if (sample->loopType == LOOP_NONE || sample->loopLength == 0) {
        sample->loopType = LOOP_NONE;
        sample->loopStart = 0;
        sample->loopLength = sample->length;
    }
}

// Reads one 40-byte sample header into a new zero-filled Sample.
Sample* ReadSampleHeader(StreamFile* file) {
    auto* sample = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
    if (!sample)
        return nullptr;
    uint8_t header[SAMPLE_HEADER_READ] = {};
    StreamRead(header, SAMPLE_HEADER_READ, file);
    sample->length = Le32(header + 0);
    sample->loopStart = Le32(header + 4);
    sample->loopLength = Le32(header + 8);
    sample->volume = header[12];
    sample->finetune = static_cast<int8_t>(header[13]);
    uint8_t type = header[14];
    sample->loopType = LOOP_NONE;
    sample->bits = 8;
    if (type & 1)
        sample->loopType = LOOP_FORWARD;
    if (type & 2)
        sample->loopType = LOOP_PINGPONG;
    if (type & 16)
        sample->bits = 16;
    if (sample->loopType == LOOP_NONE) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
    }
    if (sample->bits == 16) {
        // Bytes to samples; an odd byte is dropped.
        sample->length >>= 1;
        sample->loopStart >>= 1;
        sample->loopLength >>= 1;
    }
    if (sample->loopLength == 0) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        sample->loopType = LOOP_NONE;
    }
    sample->panning = header[15];
    sample->relativeNote = static_cast<int8_t>(header[16]);
    StreamSeek(file, SAMPLE_HEADER_SKIP, STREAM_SEEK_CUR);
    return sample;
}

// Reads, widens and delta-decodes one sample's data into length + 8 values,
// then writes the guard value after the loop. A sample that claims more
// bytes than the stream has left is cut to what is there, so the block is
// never larger than the file justifies. False when memory runs out.
bool ReadSampleData(StreamFile* file, Sample* sample) {
    uint32_t bytesPerValue = sample->bits == 16 ? 2 : 1;
    int64_t available = BytesLeft(file) / bytesPerValue;
    if (static_cast<int64_t>(sample->length) > available) {
        bool wholeLoop = sample->loopType == LOOP_NONE;
        sample->length = static_cast<uint32_t>(available);
        if (wholeLoop)
            sample->loopLength = sample->length;
    }
    FitLoop(sample);
    if (sample->length == 0)
        return true;

    size_t values = static_cast<size_t>(sample->length) + SAMPLE_SPARE_VALUES;
    auto* data = static_cast<int16_t*>(std::calloc(values, sizeof(int16_t)));
    if (!data)
        return false;
    sample->data = data;
    auto* bytes = reinterpret_cast<uint8_t*>(data);
    size_t byteCount = static_cast<size_t>(sample->length) * bytesPerValue;
    StreamRead(bytes, static_cast<int32_t>(byteCount), file);

    uint16_t sum = 0;
    if (sample->bits == 16) {
        // In place: value i comes from bytes 2i and 2i + 1.
        for (uint32_t i = 0; i < sample->length; ++i) {
            sum = static_cast<uint16_t>(sum + Le16(bytes + 2 * i));
            data[i] = static_cast<int16_t>(sum);
        }
    } else {
        // Widened from the back, so no byte is overwritten before it is read:
        // the byte becomes the high byte. The 16-bit running sum of the
        // widened deltas equals the 8-bit decoding times 256.
        for (uint32_t i = sample->length; i-- > 0;)
            data[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[i]) << 8);
        for (uint32_t i = 0; i < sample->length; ++i) {
            sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i]));
            data[i] = static_cast<int16_t>(sum);
        }
        sample->bits = 16;
    }

    uint32_t loopEnd = sample->loopStart + sample->loopLength;
    if (sample->loopType == LOOP_PINGPONG)
        data[loopEnd] = data[loopEnd - 1];
    else if (sample->loopType == LOOP_FORWARD)
        data[loopEnd] = data[sample->loopStart];
    return true;
}

bool ReadInstrument(StreamFile* file, Instrument* instrument) {
    int64_t start = StreamTell(file);
    uint32_t headerSize = ReadU32(file);
    StreamSeek(file, INSTRUMENT_NAME_SKIP, STREAM_SEEK_CUR);
    uint16_t count = ReadU16(file);
    if (count > MAX_INSTRUMENT_SAMPLES)
        return false;
    instrument->sampleCount = count;
    for (Sample*& slot : instrument->samples)
        slot = &emptySample;
    if (count == 0) {
        SeekTo(file, start + headerSize);
        return true;
    }
    for (int32_t i = 0; i < count; ++i)
        instrument->samples[i] = nullptr; // owned slots, filled below

    uint8_t rest[4 + 96 + 48 + 48 + 16] = {};
    StreamRead(rest, sizeof rest, file);
    const uint8_t* p = rest + 4; // the sample header size is not used
    std::memcpy(instrument->keymap, p, 96);
    p += 96;
    for (EnvelopePoint& point : instrument->volumeEnvelope) {
        point = {Le16(p), Le16(p + 2)};
        p += 4;
    }
    for (EnvelopePoint& point : instrument->panningEnvelope) {
        point = {Le16(p), Le16(p + 2)};
        p += 4;
    }
    instrument->volumePointCount = p[0];
    instrument->panningPointCount = p[1];
    instrument->volumeSustainPoint = p[2];
    instrument->volumeLoopStart = p[3];
    instrument->volumeLoopEnd = p[4];
    instrument->panningSustainPoint = p[5];
    instrument->panningLoopStart = p[6];
    instrument->panningLoopEnd = p[7];
    instrument->volumeType = p[8];
    instrument->panningType = p[9];
    instrument->vibratoType = p[10];
    instrument->vibratoSweep = p[11];
    instrument->vibratoDepth = p[12];
    instrument->vibratoRate = p[13];
    instrument->fadeout = static_cast<uint16_t>(Le16(p + 14) << 1);
    if (instrument->volumePointCount < 2)
        instrument->volumeType = 0;
    if (instrument->panningPointCount < 2)
        instrument->panningType = 0;
    SeekTo(file, start + headerSize);

    for (int32_t i = 0; i < count; ++i) {
        instrument->samples[i] = ReadSampleHeader(file);
        if (!instrument->samples[i])
            return false;
    }
    for (int32_t i = 0; i < count; ++i)
        if (!ReadSampleData(file, instrument->samples[i]))
            return false;
    return true;
}

} // namespace

bool ParseModule(Module* song, StreamFile* file) {
    char signature[SIGNATURE_LENGTH] = {};
    StreamRead(signature, SIGNATURE_LENGTH, file);
    if (std::memcmp(signature, SIGNATURE, SIGNATURE_LENGTH) != 0)
        return false;
    song->initialGlobalVolume = 64;

    StreamSeek(file, HEADER_SIZE_OFFSET, STREAM_SEEK_SET);
    uint32_t headerSize = ReadU32(file);
    uint8_t header[6 + 2 + 264] = {};
    StreamRead(header, sizeof header, file);
    uint16_t songLength = Le16(header + 0);
    uint16_t channelCount = Le16(header + 4);
    uint16_t filePatternCount = Le16(header + 6);
    uint16_t instrumentCount = Le16(header + 8);
    song->songLength = static_cast<int16_t>(songLength);
    song->restartPosition = static_cast<int16_t>(Le16(header + 2));
    song->channelCount = static_cast<int16_t>(channelCount);
    song->instrumentCount = static_cast<int16_t>(instrumentCount);
    song->flags = Le16(header + 10);
    song->defaultSpeed = static_cast<int16_t>(Le16(header + 12));
    song->defaultBpm = static_cast<int16_t>(Le16(header + 14));
    std::memcpy(song->orders, header + 16, 256);

    // The limits the player is built for, checked once. The header's counts
    // are unsigned in the file, so a "negative" count is a huge one.
    if (channelCount > MAX_SONG_CHANNELS || songLength > MAX_SONG_LENGTH || filePatternCount > MAX_PATTERNS ||
        instrumentCount > MAX_INSTRUMENTS)
        return false;
    // samplesPerTick must stay at least 1 so the block filler always mixes.
    if (song->defaultBpm < MIN_BPM)
        song->defaultBpm = MIN_BPM;
    if (song->defaultBpm > MAX_BPM)
        song->defaultBpm = MAX_BPM;
    SeekTo(file, int64_t{HEADER_SIZE_OFFSET} + headerSize);

    song->orderedPatternCount = 0;
    for (int32_t i = 0; i < song->songLength; ++i)
        if (song->orders[i] >= song->orderedPatternCount)
            song->orderedPatternCount = song->orders[i] + 1;
    song->patternCount = filePatternCount > song->orderedPatternCount ? filePatternCount : song->orderedPatternCount;
    if (song->patternCount > 0) {
        song->patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(song->patternCount), sizeof(Pattern)));
        if (!song->patterns) {
            song->patternCount = 0;
            return false;
        }
    }

    for (int32_t i = 0; i < filePatternCount; ++i) {
        Pattern& pattern = song->patterns[i];
        uint8_t patternHeader[9] = {};
        StreamRead(patternHeader, 9, file); // header length and packing type are not used
        uint16_t rows = Le16(patternHeader + 5);
        uint16_t packedSize = Le16(patternHeader + 7);
        if (rows > MAX_PATTERN_ROWS)
            return false;
        int32_t cellCount = rows * song->channelCount;
        // Every packed cell takes at least one byte: cells the stream cannot
        // hold mean a broken file, refused before anything is allocated.
        if (packedSize != 0 && cellCount > BytesLeft(file))
            return false;
        pattern.rows = rows;
        if (cellCount > 0) {
            pattern.cells = static_cast<Cell*>(std::calloc(static_cast<size_t>(cellCount), sizeof(Cell)));
            if (!pattern.cells)
                return false;
            if (packedSize != 0)
                UnpackCells(file, pattern.cells, cellCount);
        }
    }
    // Patterns the order list names but the file lacks: 64 empty rows.
    for (int32_t i = filePatternCount; i < song->orderedPatternCount; ++i) {
        Pattern& pattern = song->patterns[i];
        pattern.rows = MISSING_PATTERN_ROWS;
        int32_t cellCount = MISSING_PATTERN_ROWS * song->channelCount;
        if (cellCount > 0) {
            pattern.cells = static_cast<Cell*>(std::calloc(static_cast<size_t>(cellCount), sizeof(Cell)));
            if (!pattern.cells)
                return false;
        }
    }

    if (song->instrumentCount <= 0)
        return true;
    song->instruments =
        static_cast<Instrument*>(std::calloc(static_cast<size_t>(song->instrumentCount), sizeof(Instrument)));
    if (!song->instruments) {
        song->instrumentCount = 0;
        return false;
    }
    for (int32_t i = 0; i < song->instrumentCount; ++i)
        if (!ReadInstrument(file, &song->instruments[i]))
            return false;
    return true;
}

Module* LoadModule(const char* name) {
    auto* song = static_cast<Module*>(std::calloc(1, sizeof(Module)));
    if (!song)
        return nullptr;
    StreamFile* file = StreamOpen(name);
    if (!file) {
        std::free(song);
        return nullptr;
    }
    bool parsed = ParseModule(song, file);
    StreamClose(file);
    if (!parsed) {
        FreeModule(song);
        return nullptr;
    }
    return song;
}

bool FreeModule(Module* song) {
    if (!song)
        return false;
    if (song->instruments) {
        for (int32_t i = 0; i < song->instrumentCount; ++i) {
            Instrument& instrument = song->instruments[i];
            for (int32_t s = 0; s < instrument.sampleCount && s < MAX_INSTRUMENT_SAMPLES; ++s) {
                Sample* sample = instrument.samples[s];
                if (!sample || sample == &emptySample)
                    continue;
                std::free(sample->data);
                std::free(sample);
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns) {
        for (int32_t i = 0; i < song->patternCount; ++i)
            std::free(song->patterns[i].cells);
        std::free(song->patterns);
    }
    std::free(song);
    return true;
}
