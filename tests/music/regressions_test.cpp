// Malformed songs kept from fuzzing, each with the result it must give.
// Every file in regressions/ is listed in regressions/EXPECTED as
//   <file> <loads|refused> <digest of 2 s of output, or ->
// and must load (or be refused) and render exactly that.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/music/music_fixture.h"

namespace {

// FNV-1a over the rendered 16-bit output.
uint64_t Digest(const std::vector<int16_t>& pcm) {
    uint64_t hash = 1469598103934665603ull;
    for (int16_t v : pcm) {
        for (int b = 0; b < 2; ++b) {
            hash ^= static_cast<uint8_t>(static_cast<uint16_t>(v) >> (8 * b));
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

class RegressionTest : public MusicTest {};

TEST_F(RegressionTest, EveryKeptFileGivesItsResult) {
    const std::filesystem::path dir = QUILLON_MUSIC_REGRESSIONS_DIR;
    std::ifstream expected(dir / "EXPECTED");
    ASSERT_TRUE(expected.good()) << "missing " << (dir / "EXPECTED");
    std::string line;
    int checked = 0;
    while (std::getline(expected, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string name, result, digest;
        fields >> name >> result >> digest;
        SCOPED_TRACE(name);
        std::ifstream file(dir / name, std::ios::binary);
        ASSERT_TRUE(file.good());
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ResetMusicState();
        song = LoadBytes(bytes);
        if (result == "refused") {
            EXPECT_EQ(song, nullptr);
            continue;
        }
        ASSERT_NE(song, nullptr);
        StartSmallPlayer(song);
        std::vector<int16_t> pcm = Render(song, 2 * 44100);
        std::ostringstream got;
        got << std::hex << Digest(pcm);
        EXPECT_EQ(got.str(), digest);
        FreeModule(song);
        song = nullptr;
        ++checked;
    }
    SUCCEED() << checked << " rendered";
}

} // namespace
