// The XM loader: header, pattern unpacking, instruments, samples, limits.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "tests/music/music_fixture.h"

namespace {

class LoaderTest : public MusicTest {
protected:
    Module* Load(const XmSong& xm) {
        song = LoadBytes(BuildXm(xm));
        return song;
    }
    const Cell& CellAt(int pattern, int row, int channel) {
        return song->patterns[pattern].cells[row * song->channelCount + channel];
    }
};

TEST_F(LoaderTest, HeaderFieldsAreReadAsWritten) {
    XmSong xm = TinySong(3, 8, 4, 140);
    xm.orders = {0, 0, 0};
    xm.restartPosition = 1;
    xm.flags = 1;
    ASSERT_NE(Load(xm), nullptr);
    EXPECT_EQ(song->songLength, 3);
    EXPECT_EQ(song->restartPosition, 1);
    EXPECT_EQ(song->channelCount, 3);
    EXPECT_EQ(song->instrumentCount, 1);
    EXPECT_EQ(song->flags, 1);
    EXPECT_EQ(song->defaultSpeed, 4);
    EXPECT_EQ(song->defaultBpm, 140);
    EXPECT_EQ(song->initialGlobalVolume, 64);
    EXPECT_EQ(song->tickRoutine, nullptr); // the player start gives it
    EXPECT_EQ(song->orderedPatternCount, 1);
    EXPECT_EQ(song->patternCount, 1);
    EXPECT_EQ(song->patterns[0].rows, 8);
    // Position fields are the engine's: the loader leaves them zero.
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->samplesPerTick, 0);
}

TEST_F(LoaderTest, PackedCellsUnpackByMaskByte) {
    XmSong xm = TinySong(2, 4);
    xm.patterns[0].rawPacked =
        std::vector<uint8_t>{0x9B, 0x33, 0x16, 0x0F, 0x04, // row 0 ch 0: note, instrument, effect, parameter
                             0x83, 0x31, 0x14,             // row 0 ch 1: note and instrument only
                             0x80,                         // row 1 ch 0: a mask byte alone
                             0x81, 97,                     // row 1 ch 1: key off
                             0x05, 0x81, 0x22, 0x0A, 0x0F, // row 2 ch 0: unpacked, instrument 129 becomes 0
                             0x84, 0x40,                   // row 2 ch 1: volume column only
                             0x90, 0x77,                   // row 3 ch 0: parameter only
                             0x88, 0x14};                  // row 3 ch 1: effect only (K)
    ASSERT_NE(Load(xm), nullptr);
    struct Expected {
        int row, channel;
        Cell cell;
    };
    const Expected table[] = {
        {0, 0, {51, 22, 0, 0x0F, 4}}, {0, 1, {49, 20, 0, 0, 0}},        {1, 0, {0, 0, 0, 0, 0}},
        {1, 1, {255, 0, 0, 0, 0}},    {2, 0, {5, 0, 0x22, 0x0A, 0x0F}}, {2, 1, {0, 0, 0x40, 0, 0}},
        {3, 0, {0, 0, 0, 0, 0x77}},   {3, 1, {0, 0, 0, 0x14, 0}},
    };
    for (const Expected& e : table) {
        const Cell& c = CellAt(0, e.row, e.channel);
        SCOPED_TRACE("row " + std::to_string(e.row) + " channel " + std::to_string(e.channel));
        EXPECT_EQ(c.note, e.cell.note);
        EXPECT_EQ(c.instrument, e.cell.instrument);
        EXPECT_EQ(c.volume, e.cell.volume);
        EXPECT_EQ(c.effectType, e.cell.effectType);
        EXPECT_EQ(c.effectParameter, e.cell.effectParameter);
    }
}

TEST_F(LoaderTest, PackedSizeZeroReadsNothingAndLeavesEmptyCells) {
    XmSong xm = TinySong(1, 4);
    xm.orders = {0, 1};
    xm.patterns[0].rawPacked = std::vector<uint8_t>{};
    XmPattern second;
    second.rows = 2;
    XmCellAt(second, 1, 1, 0) = {12, 1, 0, 0xC, 0x20};
    xm.patterns.push_back(second);
    ASSERT_NE(Load(xm), nullptr);
    EXPECT_EQ(song->patterns[0].rows, 4);
    EXPECT_EQ(CellAt(0, 3, 0).note, 0);
    // The next pattern's header follows at once: nothing was skipped or read.
    EXPECT_EQ(song->patterns[1].rows, 2);
    EXPECT_EQ(CellAt(1, 1, 0).note, 12);
    EXPECT_EQ(CellAt(1, 1, 0).effectParameter, 0x20);
}

TEST_F(LoaderTest, OrderedButMissingPatternsGet64EmptyRows) {
    XmSong xm = TinySong(2, 4);
    xm.patterns.resize(17, xm.patterns[0]);
    xm.orders = {0, 20, 3, 30};
    xm.songLength = 3; // the entry 30 lies beyond the song and is not counted
    ASSERT_NE(Load(xm), nullptr);
    EXPECT_EQ(song->orderedPatternCount, 21);
    EXPECT_EQ(song->patternCount, 21);
    for (int p = 17; p <= 20; ++p) {
        EXPECT_EQ(song->patterns[p].rows, 64) << p;
        ASSERT_NE(song->patterns[p].cells, nullptr);
        EXPECT_EQ(CellAt(p, 63, 1).note, 0);
    }
    EXPECT_EQ(song->patterns[16].rows, 4);
}

TEST_F(LoaderTest, InstrumentWithoutSamplesUsesEmptySlotsAndItsHeaderSize) {
    XmSong xm = TinySong();
    XmInstrument empty;
    empty.headerSize = 29; // shorter than the keymap: what follows starts there
    xm.instruments.insert(xm.instruments.begin(), empty);
    XmInstrument standard;
    standard.headerSize = 243;
    xm.instruments.insert(xm.instruments.begin() + 1, standard);
    ASSERT_NE(Load(xm), nullptr);
    ASSERT_EQ(song->instrumentCount, 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(song->instruments[i].sampleCount, 0);
        for (Sample* slot : song->instruments[i].samples)
            EXPECT_EQ(slot, &emptySample);
    }
    // The third instrument was found where the second's header size said.
    EXPECT_EQ(song->instruments[2].sampleCount, 1);
    EXPECT_EQ(song->instruments[2].samples[0]->length, 64u);
    EXPECT_EQ(song->instruments[2].samples[1], &emptySample);
}

TEST_F(LoaderTest, InstrumentWithSeventeenSamplesFailsTheWholeLoad) {
    XmSong xm = TinySong();
    XmInstrument big;
    for (int i = 0; i < 17; ++i)
        big.samples.push_back(LoopedSample(8));
    xm.instruments.push_back(big); // after one good instrument, which must be released (leak check)
    EXPECT_EQ(Load(xm), nullptr);
    xm.instruments.back().samples.pop_back();
    ASSERT_NE(Load(xm), nullptr);
    EXPECT_EQ(song->instruments[1].sampleCount, 16);
}

TEST_F(LoaderTest, InstrumentEnvelopeBytesAndFadeout) {
    XmSong xm = TinySong();
    XmInstrument& in = xm.instruments[0];
    in.keymap[10] = 3;
    in.volumeEnvelope = {{0, 64}, {10, 32}, {20, 0}};
    in.panningEnvelope = {{0, 32}};
    in.volumeType = 1;
    in.panningType = 1;
    in.vibratoDepth = 7;
    in.fadeout = 0x8001;
    // Each envelope byte a value of its own, so no two can be taken for each other.
    in.volumeSustainPoint = 11;
    in.volumeLoopStart = 12;
    in.volumeLoopEnd = 13;
    in.panningSustainPoint = 14;
    in.panningLoopStart = 15;
    in.panningLoopEnd = 16;
    in.vibratoType = 17;
    in.vibratoSweep = 18;
    in.vibratoRate = 19;
    ASSERT_NE(Load(xm), nullptr);
    const Instrument& i = song->instruments[0];
    EXPECT_EQ(i.keymap[10], 3);
    EXPECT_EQ(i.volumePointCount, 3);
    EXPECT_EQ(i.volumeEnvelope[1].position, 10);
    EXPECT_EQ(i.volumeEnvelope[1].value, 32);
    EXPECT_EQ(i.volumeType, 1);
    EXPECT_EQ(i.panningType, 0); // fewer than 2 points
    EXPECT_EQ(i.vibratoDepth, 7);
    const uint8_t bytes[] = {i.volumeSustainPoint,  i.volumeLoopStart,  i.volumeLoopEnd,
                             i.panningSustainPoint, i.panningLoopStart, i.panningLoopEnd,
                             i.vibratoType,         i.vibratoSweep,     i.vibratoRate};
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(bytes[k], 11 + k) << k;
    EXPECT_EQ(i.fadeout, 2); // doubled in 16 bits: the top bit is lost
}

struct LoopCase {
    const char* name;
    uint8_t typeBits;
    uint32_t loopStart, loopLength; // in samples, as written
    uint8_t loopType;
    uint32_t expectStart, expectLength;
};

const LoopCase loopTypeTestCases[] = {
    LoopCase{"NoLoopSpansTheSample", 0, 10, 20, LOOP_NONE, 0, 100},
    LoopCase{"Forward", 1, 10, 20, LOOP_FORWARD, 10, 20},
    LoopCase{"PingPong", 2, 10, 20, LOOP_PINGPONG, 10, 20},
    LoopCase{"BothBitsArePingPong", 3, 10, 20, LOOP_PINGPONG, 10, 20},
    LoopCase{"LengthZeroIsNoLoop", 1, 10, 0, LOOP_NONE, 0, 100},
    LoopCase{"PastTheEndIsCut", 1, 60, 100, LOOP_FORWARD, 60, 40},
    LoopCase{"HugeLengthIsCut", 2, 99, 0xFFFFFF, LOOP_PINGPONG, 99, 1},
    LoopCase{"StartAtTheEndIsNoLoop", 1, 100, 5, LOOP_NONE, 0, 100},
    LoopCase{"StartFarBeyondIsNoLoop", 2, 5000, 5, LOOP_NONE, 0, 100},
};

class LoopTypeTest : public LoaderTest {
protected:
    void Check(const LoopCase& c);
};

TEST_F(LoopTypeTest, TypeBitsAndLoopPoints) {
    for (const LoopCase& c : loopTypeTestCases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        Check(c);
    }
}

void LoopTypeTest::Check(const LoopCase& c) {
    XmSong xm = TinySong();
    XmSample& sample = xm.instruments[0].samples[0];
    sample = LoopedSample(100);
    sample.loopBits = c.typeBits;
    sample.loopStart = c.loopStart;
    sample.loopLength = c.loopLength;
    ASSERT_NE(Load(xm), nullptr);
    const Sample* s = song->instruments[0].samples[0];
    EXPECT_EQ(s->loopType, c.loopType);
    EXPECT_EQ(s->loopStart, c.expectStart);
    EXPECT_EQ(s->loopLength, c.expectLength);
    EXPECT_EQ(s->length, 100u);
    EXPECT_EQ(s->bits, 16);
    EXPECT_LE(s->loopStart + s->loopLength, s->length);
}

TEST_F(LoaderTest, SixteenBitSampleOfOddByteCountDropsTheOddByte) {
    XmSong xm = TinySong();
    XmInstrument& in = xm.instruments[0];
    in.samples.clear();
    XmSample odd;
    odd.sixteenBit = true;
    std::vector<uint8_t> data(1001, 0);
    data[0] = 0x10; // first value 16, every later delta 0
    data[1000] = 5; // the dropped byte: the next sample's first data byte
    odd.rawData = data;
    XmSample next;
    next.rawData = std::vector<uint8_t>{7, 1, 0};
    next.lengthBytes = 3;
    in.samples = {odd, next};
    ASSERT_NE(Load(xm), nullptr);
    const Sample* a = song->instruments[0].samples[0];
    const Sample* b = song->instruments[0].samples[1];
    EXPECT_EQ(a->length, 500u);
    EXPECT_EQ(a->data[499], 16);
    // The next sample's data began one byte early: 5, 7, 1.
    ASSERT_EQ(b->length, 3u);
    EXPECT_EQ(b->data[0], 5 * 256);
    EXPECT_EQ(b->data[1], 12 * 256);
    EXPECT_EQ(b->data[2], 13 * 256);
}

TEST_F(LoaderTest, DeltaDecodingWidensEightBitAndWrapsSixteenBit) {
    XmSong xm = TinySong();
    XmSample eight;
    eight.rawData = std::vector<uint8_t>{1, 1, 0xFE, 0x7F, 0x7F};
    XmSample sixteen;
    sixteen.sixteenBit = true;
    sixteen.rawData = std::vector<uint8_t>{0xFF, 0x7F, 0x02, 0x00, 0x00, 0x80};
    xm.instruments[0].samples = {eight, sixteen};
    ASSERT_NE(Load(xm), nullptr);
    const Sample* a = song->instruments[0].samples[0];
    const int16_t expect8[] = {256, 512, 0, 127 * 256, -2 * 256}; // 8-bit wrap: 127 + 127 = -2
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(a->data[i], expect8[i]) << i;
    const Sample* b = song->instruments[0].samples[1];
    EXPECT_EQ(b->data[0], 32767);
    EXPECT_EQ(b->data[1], -32767); // 32767 + 2 wraps
    EXPECT_EQ(b->data[2], 1);      // + 0x8000 wraps
    for (uint32_t i = 0; i < SAMPLE_SPARE_VALUES; ++i)
        EXPECT_EQ(a->data[a->length + i], 0) << "spare " << i;
}

TEST_F(LoaderTest, GuardValueFollowsTheLoop) {
    XmSong xm = TinySong();
    XmSample forward;
    XmSample pingpong;
    XmSample none;
    for (int i = 0; i < 40; ++i) {
        int16_t v = static_cast<int16_t>(i + 1);
        forward.values.push_back(v);
        pingpong.values.push_back(v);
        none.values.push_back(v);
    }
    forward.loopBits = 1;
    pingpong.loopBits = 2;
    forward.loopStart = pingpong.loopStart = 8;
    forward.loopLength = pingpong.loopLength = 32;
    xm.instruments[0].samples = {forward, pingpong, none};
    ASSERT_NE(Load(xm), nullptr);
    const Instrument& in = song->instruments[0];
    EXPECT_EQ(in.samples[0]->data[40], in.samples[0]->data[8]);
    EXPECT_EQ(in.samples[0]->data[40], 9 * 256);
    EXPECT_EQ(in.samples[1]->data[40], in.samples[1]->data[39]);
    EXPECT_EQ(in.samples[1]->data[40], 40 * 256);
    EXPECT_EQ(in.samples[2]->data[40], 0);
}

TEST_F(LoaderTest, SampleLongerThanTheFileIsCutToTheBytesThere) {
    XmSong xm = TinySong();
    XmSample& s = xm.instruments[0].samples[0];
    s = XmSample{};
    s.rawData = std::vector<uint8_t>{10, 10, 10};
    s.lengthBytes = 0x7FFFFFF0; // claims 2 GB; only 3 bytes follow
    s.loopBits = 1;
    s.loopStart = 1;
    s.loopLength = 1000;
    ASSERT_NE(Load(xm), nullptr);
    const Sample* loaded = song->instruments[0].samples[0];
    EXPECT_EQ(loaded->length, 3u);
    EXPECT_EQ(loaded->loopStart, 1u);
    EXPECT_EQ(loaded->loopLength, 2u);
    EXPECT_EQ(loaded->data[2], 30 * 256);
}

// The sanitizer's heap refuses (returns null for) blocks above its
// max_allocation_size_mb when told to before it starts, so the load runs in
// a child process started afresh with those options. The stream claims the
// length the sample header asks for, and its reads past the real bytes
// deliver nothing, as at the end of a truncated file.
#if defined(__SANITIZE_ADDRESS__)
#define LOADER_HEAP_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOADER_HEAP_LIMIT 1
#endif
#endif
#ifdef LOADER_HEAP_LIMIT
struct ClaimedStream {
    std::vector<uint8_t> bytes;
    int32_t claimed;
    int32_t position;
};
ClaimedStream claimedStream;

void* ClaimedOpen(const char*) {
    claimedStream.position = 0;
    return &claimedStream;
}
void ClaimedClose(void*) {}
void ClaimedRead(void* destination, int32_t count, void*) {
    const int64_t there = static_cast<int64_t>(claimedStream.bytes.size()) - claimedStream.position;
    if (there > 0)
        std::memcpy(destination, claimedStream.bytes.data() + claimedStream.position,
                    static_cast<size_t>(std::min<int64_t>(count, there)));
    claimedStream.position += count;
}
void ClaimedSeek(void*, int32_t offset, uint8_t origin) {
    claimedStream.position = offset + (origin == STREAM_SEEK_CUR   ? claimedStream.position
                                       : origin == STREAM_SEEK_END ? claimedStream.claimed
                                                                   : 0);
}
int32_t ClaimedTell(void*) { return claimedStream.position; }

TEST_F(LoaderTest, ASampleTheHeapCannotHoldFailsTheLoad) {
    constexpr int32_t MB = 1 << 20;
    const char* options = std::getenv("ASAN_OPTIONS");
    const bool hadOptions = options != nullptr;
    const std::string before = hadOptions ? options : "";
    setenv("ASAN_OPTIONS", (before + ":allocator_may_return_null=1:max_allocation_size_mb=64").c_str(), 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // An 8-bit sample takes two bytes a value: 16 MB of data fit in 64 MB,
    // 40 MB do not.
    for (auto [dataBytes, loads] : {std::pair{16 * MB, true}, std::pair{40 * MB, false}}) {
        SCOPED_TRACE(dataBytes / MB);
        XmSong xm = TinySong();
        XmSample& s = xm.instruments[0].samples[0];
        s = XmSample{};
        s.rawData = std::vector<uint8_t>{10, 10, 10};
        s.lengthBytes = static_cast<uint32_t>(dataBytes);
        claimedStream.bytes = BuildXm(xm);
        claimedStream.claimed = static_cast<int32_t>(claimedStream.bytes.size()) - 3 + dataBytes;
        EXPECT_EXIT(
            {
                InstallFileCallbacks(ClaimedOpen, ClaimedClose, ClaimedRead, ClaimedSeek, ClaimedTell);
                std::_Exit(LoadModule("MUSIC") != nullptr ? 10 : 20);
            },
            ::testing::ExitedWithCode(loads ? 10 : 20), "");
    }
    // The limit is for these children only: later tests' children get the
    // options the run was started with.
    if (hadOptions)
        setenv("ASAN_OPTIONS", before.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
}
#endif

TEST_F(LoaderTest, ZeroLengthSampleHasNoData) {
    XmSong xm = TinySong();
    xm.instruments[0].samples[0] = XmSample{};
    ASSERT_NE(Load(xm), nullptr);
    const Sample* s = song->instruments[0].samples[0];
    EXPECT_EQ(s->length, 0u);
    EXPECT_EQ(s->data, nullptr);
    EXPECT_NE(s, &emptySample);
}

struct BpmCase {
    uint16_t written;
    int16_t loaded;
};

const BpmCase bpmTestCases[] = {
    BpmCase{0, 32},    BpmCase{31, 32},   BpmCase{32, 32},     BpmCase{125, 125},
    BpmCase{255, 255}, BpmCase{256, 255}, BpmCase{0xFFFF, 32}, BpmCase{0x8000, 32},
};

class BpmTest : public LoaderTest {
protected:
    void Check(const BpmCase& c);
};

TEST_F(BpmTest, DefaultTempoIsBroughtInto32To255) {
    for (const BpmCase& c : bpmTestCases) {
        SCOPED_TRACE(c.written);
        ResetCase();
        Check(c);
    }
}

void BpmTest::Check(const BpmCase& c) {
    XmSong xm = TinySong();
    xm.defaultBpm = c.written;
    ASSERT_NE(Load(xm), nullptr);
    EXPECT_EQ(song->defaultBpm, c.loaded);
}

struct LimitCase {
    const char* name;
    void (*shape)(XmSong&);
    bool loads;
};

const LimitCase limitTestCases[] = {
    LimitCase{"ThirtyTwoChannels", [](XmSong& s) { s.channels = 32; }, true},
    LimitCase{"ThirtyThreeChannels", [](XmSong& s) { s.channels = 33; }, false},
    LimitCase{"ChannelCountWithTopBitSet", [](XmSong& s) { s.channels = 0xFFFF; }, false},
    LimitCase{"SongLength256", [](XmSong& s) { s.orders.assign(256, 0); }, true},
    LimitCase{"SongLength257", [](XmSong& s) { s.songLength = 257; }, false},
    LimitCase{"SongLengthWithTopBitSet", [](XmSong& s) { s.songLength = 0x8000; }, false},
    LimitCase{"PatternCount257", [](XmSong& s) { s.patternCount = 257; }, false},
    LimitCase{"Rows256", [](XmSong& s) { s.patterns[0].rows = 256; }, true},
    LimitCase{"Rows257", [](XmSong& s) { s.patterns[0].rows = 257; }, false},
    LimitCase{"Instruments128", [](XmSong& s) { s.instruments.resize(128, XmInstrument{}); }, true},
    LimitCase{"Instruments129", [](XmSong& s) { s.instrumentCount = 129; }, false},
    LimitCase{"PackedCellsBeyondTheFile",
              [](XmSong& s) {
                  s.patterns[0].rows = 256;
                  s.channels = 32;
                  s.patterns[0].rawPacked = std::vector<uint8_t>{0x80, 0x80};
                  s.instruments.clear();
              },
              false},
    LimitCase{"ZeroChannelsLoads", [](XmSong& s) { s.channels = 0; }, true},
    LimitCase{"ZeroRowsLoads", [](XmSong& s) { s.patterns[0].rows = 0; }, true},
    LimitCase{"HugeHeaderSizeLoadsEmpty", [](XmSong& s) { s.headerSize = 0xFFFFFFF0u; }, true},
};

class LimitTest : public LoaderTest {
protected:
    void Check(const LimitCase& c);
};

TEST_F(LimitTest, SongsBeyondThePlayersLimitsAreRefused) {
    for (const LimitCase& c : limitTestCases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        Check(c);
    }
}

void LimitTest::Check(const LimitCase& c) {
    XmSong xm = TinySong();
    c.shape(xm);
    if (c.loads)
        EXPECT_NE(Load(xm), nullptr);
    else
        EXPECT_EQ(Load(xm), nullptr);
}

TEST_F(LoaderTest, ShortOrEmptyFilesAndWrongSignaturesFail) {
    std::vector<uint8_t> full = BuildXm(TinySong());
    EXPECT_EQ(LoadBytes({}), nullptr);
    EXPECT_EQ(LoadBytes(std::vector<uint8_t>(full.begin(), full.begin() + 16)), nullptr);
    std::vector<uint8_t> wrong = full;
    wrong[16] = '!'; // the trailing blank of the signature
    EXPECT_EQ(LoadBytes(wrong), nullptr);
    HeadlessHideResource("MUSIC");
    EXPECT_EQ(LoadModule("MUSIC"), nullptr);
    // Just the signature: a song of nothing, which loads and stays silent.
    song = LoadBytes(std::vector<uint8_t>(full.begin(), full.begin() + 17));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patternCount, 0);
    EXPECT_EQ(song->defaultBpm, 32);
}

TEST_F(LoaderTest, FreeModuleOfNothingIsFalse) { EXPECT_FALSE(FreeModule(nullptr)); }

} // namespace
