// The stream layer and the resource stream: seek, tell and read limits.
#include <cstring>
#include <string>

#include "tests/music/music_fixture.h"

namespace {

constexpr int32_t SIZE = 26135;

class StreamTest : public ProcessTest {
protected:
    void SetUp() override {
        ResetMusicState();
        std::vector<uint8_t> bytes(SIZE);
        for (int32_t i = 0; i < SIZE; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7);
        HeadlessSetResource("DATA", RT_RCDATA_TYPE, bytes);
        file = StreamOpen("DATA");
        ASSERT_NE(file, nullptr);
    }
    void TearDown() override {
        StreamClose(file);
        ProcessTest::TearDown();
    }
    StreamFile* file = nullptr;
};

struct SeekCase {
    const char* name;
    int32_t start; // position set first (origin 0)
    int32_t offset;
    uint8_t origin;
    int32_t expected;
};

const SeekCase streamSeekTestCases[] = {
    SeekCase{"EndPlusZeroIsTheSize", 0, 0, 2, SIZE},
    SeekCase{"EndMinusFourCountsBack", 0, -4, 2, SIZE - 4},
    SeekCase{"CurrentPastTheEndIsCut", 26120, 23, 1, SIZE},
    SeekCase{"StartPastTheEndIsCut", 0, SIZE + 100, 0, SIZE},
    SeekCase{"EndPlusPositiveIsCut", 0, 5, 2, SIZE},
    SeekCase{"UnknownOriginKeepsPosition", 1000, 77, 3, 1000},
    SeekCase{"BeforeTheStartClampsToZero", 10, -20, 1, 0},
    SeekCase{"NegativeAbsoluteClampsToZero", 10, -5, 0, 0},
    SeekCase{"FarBeforeTheEndClampsToZero", 0, -SIZE - 1, 2, 0},
    SeekCase{"HugeOffsetsDoNotOverflow", 20000, 0x7FFFFFFF, 1, SIZE},
};

class StreamSeekTest : public StreamTest {
protected:
    void Check(const SeekCase& c);
};

TEST_F(StreamSeekTest, LandsWithinTheResource) {
    for (const SeekCase& c : streamSeekTestCases) {
        SCOPED_TRACE(c.name);
        Check(c);
    }
}

void StreamSeekTest::Check(const SeekCase& c) {
    StreamSeek(file, c.start, STREAM_SEEK_SET);
    StreamSeek(file, c.offset, c.origin);
    EXPECT_EQ(StreamTell(file), c.expected);
}

TEST_F(StreamTest, UnknownOriginStillCutsAPositionAboveTheSize) {
    auto* stream = static_cast<ResourceStream*>(file->handle);
    stream->position = SIZE + 50; // as a position could stand before the cut existed
    StreamSeek(file, 0, 3);
    EXPECT_EQ(StreamTell(file), SIZE);
}

TEST_F(StreamTest, ReadPastTheEndCopiesWhatIsLeftAndNoMore) {
    StreamSeek(file, SIZE - 10, STREAM_SEEK_SET);
    uint8_t buffer[17];
    std::memset(buffer, 0xEE, sizeof buffer);
    StreamRead(buffer, 17, file);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buffer[i], static_cast<uint8_t>((SIZE - 10 + i) * 7)) << i;
    for (int i = 10; i < 17; ++i)
        EXPECT_EQ(buffer[i], 0xEE) << "untouched " << i;
    EXPECT_EQ(StreamTell(file), SIZE);
    std::memset(buffer, 0xEE, sizeof buffer);
    StreamRead(buffer, 4, file); // nothing left
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(StreamTell(file), SIZE);
}

TEST_F(StreamTest, ReadEndingExactlyAtTheEndCopiesTheFullCount) {
    StreamSeek(file, SIZE - 8, STREAM_SEEK_SET);
    uint8_t buffer[8] = {};
    StreamRead(buffer, 8, file);
    EXPECT_EQ(buffer[7], static_cast<uint8_t>((SIZE - 1) * 7));
    EXPECT_EQ(StreamTell(file), SIZE);
}

TEST_F(StreamTest, NegativeReadCountReadsNothing) {
    StreamSeek(file, 100, STREAM_SEEK_SET);
    uint8_t buffer[4] = {1, 2, 3, 4};
    StreamRead(buffer, -5, file);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(StreamTell(file), 100);
}

TEST(StreamLayer, NoFileDoesNothing) {
    ResetMusicState();
    uint8_t buffer[2] = {9, 9};
    StreamRead(buffer, 2, nullptr);
    StreamSeek(nullptr, 5, 0);
    StreamClose(nullptr);
    EXPECT_EQ(StreamTell(nullptr), 0);
    EXPECT_EQ(buffer[0], 9);
}

TEST(StreamLayer, OneMissingOperationEmptiesAllFive) {
    ResetMusicState();
    ASSERT_TRUE(FileCallbacksInstalled());
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, nullptr, ResourceTell);
    EXPECT_FALSE(FileCallbacksInstalled());
    EXPECT_EQ(fileCallbacks.open, nullptr);
    EXPECT_EQ(fileCallbacks.tell, nullptr);
    EXPECT_EQ(StreamOpen("MUSIC"), nullptr);
    EXPECT_FALSE(OpenOutput(44100)); // the output refuses to open without a stream
}

TEST(StreamLayer, MissingResourceStillOpensAnEmptyStream) {
    ResetMusicState();
    StreamFile* file = StreamOpen("NO-SUCH-RESOURCE");
    ASSERT_NE(file, nullptr);
    uint8_t byte = 0x5A;
    StreamRead(&byte, 1, file);
    EXPECT_EQ(byte, 0x5A);
    StreamSeek(file, 0, STREAM_SEEK_END);
    EXPECT_EQ(StreamTell(file), 0);
    StreamClose(file);
}

} // namespace
