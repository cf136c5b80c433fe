// The two real songs in the shared folder (test data only, never linked
// in): their layout as loaded must agree with what libxmp reads, and
// rendering them must run clean under the sanitizers.
#include <xmp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/music/music_fixture.h"

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

const char* const realSongTestCases[] = {
    "finalman-quickie.xm",
    "pk2-intro.xm",
};

class RealSongTest : public MusicTest {
protected:
    void Check(const char* c);
};

TEST_F(RealSongTest, LayoutAgreesWithLibxmpAndRendersClean) {
    for (const char* c : realSongTestCases) {
        SCOPED_TRACE(c);
        ResetCase();
        Check(c);
    }
}

void RealSongTest::Check(const char* c) {
    const std::filesystem::path path = std::filesystem::path(QUILLON_SHARED_XM_DIR) / c;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << path << " is not there";
    std::vector<uint8_t> bytes = ReadFile(path);
    ASSERT_FALSE(bytes.empty());

    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info{};
    xmp_get_module_info(context, &info);
    const xmp_module* peer = info.mod;

    song = LoadBytes(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->songLength, peer->len);
    EXPECT_EQ(song->restartPosition, peer->rst);
    EXPECT_EQ(song->channelCount, peer->chn);
    EXPECT_EQ(song->instrumentCount, peer->ins);
    EXPECT_EQ(song->defaultSpeed, peer->spd);
    EXPECT_EQ(song->defaultBpm, peer->bpm);
    // libxmp appends a blank pattern of its own, so the count is checked
    // against the file's header and the rows of the file's patterns against libxmp.
    int filePatterns = bytes[70] | (bytes[71] << 8);
    EXPECT_EQ(song->patternCount, std::max(filePatterns, song->orderedPatternCount));
    ASSERT_GE(peer->pat, filePatterns);
    for (int i = 0; i < song->songLength; ++i)
        EXPECT_EQ(song->orders[i], peer->xxo[i]) << "order " << i;
    for (int p = 0; p < filePatterns; ++p)
        EXPECT_EQ(song->patterns[p].rows, peer->xxp[p]->rows) << "pattern " << p;

    int sampleIndex = 0;
    int totalSamples = 0;
    for (int i = 0; i < song->instrumentCount; ++i) {
        const Instrument& in = song->instruments[i];
        SCOPED_TRACE("instrument " + std::to_string(i + 1));
        EXPECT_EQ(in.sampleCount, peer->xxi[i].nsm);
        for (int s = 0; s < in.sampleCount && s < peer->xxi[i].nsm; ++s) {
            const Sample* ours = in.samples[s];
            const xmp_sample& theirs = peer->xxs[peer->xxi[i].sub[s].sid];
            EXPECT_EQ(ours->length, static_cast<uint32_t>(theirs.len)) << "sample " << s;
            bool loops = theirs.flg & XMP_SAMPLE_LOOP;
            EXPECT_EQ(ours->loopType != LOOP_NONE, loops) << "sample " << s;
            if (loops && ours->loopType != LOOP_NONE) {
                EXPECT_EQ(ours->loopStart, static_cast<uint32_t>(theirs.lps)) << "sample " << s;
                EXPECT_EQ(ours->loopStart + ours->loopLength, static_cast<uint32_t>(theirs.lpe)) << "sample " << s;
                EXPECT_EQ(ours->loopType == LOOP_PINGPONG, (theirs.flg & XMP_SAMPLE_LOOP_BIDIR) != 0);
            }
            EXPECT_EQ(ours->volume, peer->xxi[i].sub[s].vol);
            ++sampleIndex;
        }
        totalSamples += in.sampleCount;
    }
    EXPECT_EQ(totalSamples, sampleIndex);
    xmp_release_module(context);
    xmp_free_context(context);

    // Twenty seconds through the engine and the mixer, with every sanitizer
    // check on; the output must not be silence.
    StartSmallPlayer(song);
    std::vector<int16_t> pcm = Render(song, 20 * 44100);
    size_t loud = 0;
    for (int16_t v : pcm)
        loud += (v > 1000 || v < -1000);
    EXPECT_GT(loud, pcm.size() / 100);
}

} // namespace
