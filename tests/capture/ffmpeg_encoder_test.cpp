// The encoder in this process: frames and sound handed to it come back out
// of the file ffmpeg wrote, each pixel an exact K x K block at an odd size,
// each sample as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_options.h"
#include "capture/capture_run.h"
#include "capture/ffmpeg_encoder.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A pixel of frame f that differs from its neighbours in every channel.
uint32_t Source(int f, int x, int y) {
    const uint32_t r = (x * 40 + f * 7) & 0xFF;
    const uint32_t g = (y * 50 + 3) & 0xFF;
    const uint32_t b = (x * y * 11 + f * 30) & 0xFF;
    return r << 16 | g << 8 | b;
}

TEST(FfmpegSink, LosslessFramesAndSoundComeBackExactlyEnlargedInWholeBlocks) {
    const std::string ffmpeg = FindFfmpeg();
    ASSERT_FALSE(ffmpeg.empty());
    constexpr int W = 7;
    constexpr int H = 5;
    constexpr int K = 3;
    constexpr int FRAMES = 3;
    constexpr int FPS = 60;
    char dir[] = "/tmp/quillon-ffmpeg-sink-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/o.mkv";
    CaptureOptions options;
    options.output = out;
    options.format = VideoFormat::Mkv;
    options.lossless = true;
    options.fps = FPS;
    options.scale = K;

    std::vector<int16_t> sound;
    {
        FfmpegSink sink(ffmpeg, options, out);
        for (int f = 0; f < FRAMES; ++f) {
            std::vector<uint32_t> pixels;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    pixels.push_back(Source(f, x, y));
            const int share = static_cast<int>(FrameSamples(f + 1, FPS) - FrameSamples(f, FPS));
            std::vector<int16_t> samples;
            for (int i = 0; i < 2 * share; ++i)
                samples.push_back(static_cast<int16_t>((sound.size() + i) * 977 - 30000));
            ASSERT_TRUE(sink.Frame(f, pixels.data(), W, H, samples.data(), share));
            sound.insert(sound.end(), samples.begin(), samples.end());
        }
        ASSERT_TRUE(sink.Finish());
    }

    const std::string raw = std::string(dir) + "/frames.raw";
    const std::string pcm = std::string(dir) + "/sound.raw";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -i '" + out + "' -map 0:v -f rawvideo -pix_fmt bgr0 '" +
                           raw + "' -map 0:a -f s16le '" + pcm + "'")
                              .c_str()),
              0);
    const std::string frames = ReadAll(raw);
    ASSERT_EQ(frames.size(), size_t{FRAMES} * W * K * H * K * 4);
    int wrong = 0;
    for (int f = 0; f < FRAMES; ++f)
        for (int y = 0; y < H * K; ++y)
            for (int x = 0; x < W * K; ++x) {
                const auto* p = reinterpret_cast<const uint8_t*>(frames.data()) +
                                ((static_cast<size_t>(f) * H * K + y) * W * K + x) * 4;
                const uint32_t shown = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
                if (shown != Source(f, x / K, y / K) && wrong++ < 5)
                    ADD_FAILURE() << "frame " << f << " x " << x << " y " << y;
            }
    EXPECT_EQ(wrong, 0);
    const std::string samples = ReadAll(pcm);
    ASSERT_EQ(samples.size(), sound.size() * 2);
    EXPECT_EQ(samples, std::string(reinterpret_cast<const char*>(sound.data()), sound.size() * 2));
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

} // namespace
