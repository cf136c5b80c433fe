// Whole songs through the full player under AddressSanitizer and
// UndefinedBehaviorSanitizer: the song the build links in, the songs of
// ../shared/xm where they sit beside the checkout, and every
// .xm in $QUILLON_REAL_SONGS when it is set (the folder real-songs.sh fills
// from Debian's game packages). Each plays until it turns back to an
// earlier position, at most ten minutes, through the block filler's loop;
// the output must not be silence.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music/full/full_engine.h"
#include "tests/music/music_fixture.h"

namespace {

std::vector<std::string> SongPaths() {
    std::vector<std::string> paths = {QUILLON_BUILT_SONG};
    std::vector<std::string> folders = {QUILLON_SHARED_XM_DIR};
    if (const char* extra = std::getenv("QUILLON_REAL_SONGS"))
        folders.emplace_back(extra);
    for (const std::string& folder : folders) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().extension() == ".xm")
                paths.push_back(entry.path().string());
    }
    return paths;
}

class FullSongsTest : public MusicTest {};

TEST_F(FullSongsTest, EverySongPlaysToItsLoopCleanly) {
    std::vector<std::string> paths = SongPaths();
    ASSERT_FALSE(paths.empty());
    constexpr int32_t BLOCK = 884;
    std::vector<float> mix(2 * BLOCK);
    std::vector<int16_t> pcm(2 * BLOCK);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        song = LoadBytes(bytes);
        ASSERT_NE(song, nullptr);
        StartFullPlayer(song);
        int64_t last = 0, loud = 0, blocks = 0;
        for (; blocks < 10 * 60 * 44100 / BLOCK; ++blocks) {
            MixBlock(song, mix.data(), pcm.data(), BLOCK);
            for (int16_t v : pcm)
                loud += v > 1000 || v < -1000;
            int64_t position = int64_t{song->orderPosition} * 256 + song->row;
            if (position < last)
                break;
            last = position;
        }
        EXPECT_GT(loud, blocks * BLOCK / 50);
        FreeModule(song);
        song = nullptr;
        ResetMusicState();
    }
}

} // namespace
