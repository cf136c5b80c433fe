// xmrender with --seconds: exactly N seconds of the song from its first
// frame, rounded to the nearest whole frame at 44100 Hz, however that falls
// against the player's blocks of 20 ms (882 frames), and a WAV header that
// announces what was written.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/writers/xm_writer.h"

namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("xmrender_test_" + name)).string();
}

// One channel holding a looped wave from the first row on: every frame
// of the render is sound.
std::string WriteSong() {
    XmSong song;
    song.channels = 1;
    song.defaultSpeed = 6;
    song.orders = {0};
    XmPattern pattern;
    pattern.rows = 16;
    pattern.cells.resize(16);
    XmCellAt(pattern, 1, 0, 0) = XmCell{49, 1, 0, 0, 0};
    song.patterns.push_back(pattern);
    XmInstrument instrument;
    XmSample sample;
    sample.values = {0, 50, 100, 50, 0, -50, -100, -50};
    sample.loopBits = 1;
    sample.loopLength = 8;
    instrument.samples.push_back(sample);
    song.instruments.push_back(instrument);
    const std::string path = TempPath("song.xm");
    EXPECT_TRUE(WriteXmFile(path, BuildXm(song)));
    return path;
}

std::vector<uint8_t> Render(const std::string& song, const std::string& seconds) {
    const std::string wav = TempPath(seconds + ".wav");
    const std::string command =
        std::string(QUILLON_XMRENDER) + " '" + song + "' '" + wav + "' --seconds " + seconds + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::ifstream in(wav, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(Xmrender, SecondsRenderTheNearestWholeFrameCountFromTheStart) {
    const std::string song = WriteSong();
    // The longest case, to which every shorter render must be the start.
    const std::vector<uint8_t> longest = Render(song, "0.05");
    ASSERT_EQ(longest.size(), 44u + 2205 * 4);
    const struct {
        const char* seconds;
        uint32_t frames; // seconds x 44100, worked by hand and rounded
    } cases[] = {
        {"0.00001", 0}, // 0.441 frames: nothing of the song
        {"0.0005", 22}, // 22.05: a part of the first block
        {"0.01", 441},  // half a block
        {"0.02", 882},  // exactly one block
        {"0.03", 1323}, // a block and a half
        {"0.05", 2205}, // two blocks and a half
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        const std::vector<uint8_t> wav = Render(song, c.seconds);
        const uint32_t bytes = c.frames * 4;
        ASSERT_EQ(wav.size(), 44u + bytes);
        EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
        EXPECT_EQ(Le32(wav, 4), 36 + bytes);
        EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
        EXPECT_EQ(Le32(wav, 40), bytes);
        EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), longest.begin() + 44));
    }
    // The wave is heard from the first frame: not a render of silence.
    EXPECT_NE(std::vector<uint8_t>(longest.begin() + 44, longest.end()), std::vector<uint8_t>(2205 * 4, 0));
}

} // namespace
