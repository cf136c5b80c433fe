// xmrender with --seconds: exactly N seconds of the song from its first
// frame, rounded to the nearest whole frame at 44100 Hz, however that falls
// against the player's blocks of 20 ms (882 frames), and a WAV header that
// announces what was written.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
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
    song.defaultBpm = 126;
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

struct Rendered {
    std::vector<uint8_t> wav;
    std::string output;
};

// xmrender on the song with the options; the WAV it wrote and what it printed.
Rendered Render(const std::string& song, const std::string& options, const std::string& name) {
    const std::string wav = TempPath(name + ".wav");
    const std::string command = std::string(QUILLON_XMRENDER) + " '" + song + "' '" + wav + "' " + options + " 2>&1";
    Rendered r;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << r.output;
    std::ifstream in(wav, std::ios::binary);
    r.wav.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

// The header of a 44100 Hz 16-bit stereo PCM WAV holding `frames` frames.
void ExpectWavHeader(const std::vector<uint8_t>& wav, uint32_t frames) {
    const uint32_t bytes = frames * 4;
    ASSERT_EQ(wav.size(), 44u + bytes);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(wav, 4), 36 + bytes);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(wav, 16), 16u);     // the format chunk's size
    EXPECT_EQ(Le16(wav, 20), 1u);      // PCM
    EXPECT_EQ(Le16(wav, 22), 2u);      // stereo
    EXPECT_EQ(Le32(wav, 24), 44100u);  // frames a second
    EXPECT_EQ(Le32(wav, 28), 176400u); // bytes a second
    EXPECT_EQ(Le16(wav, 32), 4u);      // bytes a frame
    EXPECT_EQ(Le16(wav, 34), 16u);     // bits a sample
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(Le32(wav, 40), bytes);
}

TEST(Xmrender, SecondsRenderTheNearestWholeFrameCountFromTheStart) {
    const std::string song = WriteSong();
    // The longest case, to which every shorter render must be the start.
    const std::vector<uint8_t> longest = Render(song, "--seconds 0.05", "longest").wav;
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
        const std::vector<uint8_t> wav = Render(song, std::string("--seconds ") + c.seconds, c.seconds).wav;
        ExpectWavHeader(wav, c.frames);
        EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), longest.begin() + 44));
    }
    // The wave is heard from the first frame: not a render of silence.
    EXPECT_NE(std::vector<uint8_t>(longest.begin() + 44, longest.end()), std::vector<uint8_t>(2205 * 4, 0));
}

// Without --seconds: the whole first pass, longer than the 1.92 s its 16
// rows of 6 ticks at 126 BPM take, in a WAV that announces what it holds
// and starts as the timed renders do; xmrender says where it looped.
TEST(Xmrender, WithoutSecondsRendersTheFirstPass) {
    const std::string song = WriteSong();
    const Rendered r = Render(song, "", "pass");
    ASSERT_GT(r.wav.size(), 44u + 84000 * 4);
    ASSERT_EQ((r.wav.size() - 44) % 4, 0u);
    ExpectWavHeader(r.wav, static_cast<uint32_t>((r.wav.size() - 44) / 4));
    const std::vector<uint8_t> start = Render(song, "--seconds 0.05", "start").wav;
    EXPECT_TRUE(std::equal(start.begin() + 44, start.end(), r.wav.begin() + 44));
    EXPECT_NE(r.output.find("loop after "), std::string::npos) << r.output;
}

} // namespace
