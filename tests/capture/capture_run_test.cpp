// The capture's driver in this process, with a sink that keeps what it is
// handed: the frame grid and the sound of each frame at rates where the
// rounding shows (frames that do not divide 1000 ms, sample counts that do
// not divide 44100), the sound against the song's own render, the tour as a
// person watching it sees it, and a sink that stops taking frames.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_options.h"
#include "capture/capture_run.h"
#include "display/scene.h"
#include "platform/headless/headless.h"
#include "tests/support/process_fixture.h"

namespace {

// What the sink was handed, frame by frame, and what the scene showed then.
struct Shown {
    int64_t index;
    int sampleFrames;
    int width;
    int height;
    uint8_t page; // the page in view or coming into view
    bool resting; // revealed, no wipe, no closing
    bool closing; // the left button has been taken
};

class RecordingSink : public FrameSink {
public:
    bool Frame(int64_t index, const uint32_t*, int width, int height, const int16_t* samples,
               int sampleFrames) override {
        frames.push_back({index, sampleFrames, width, height, scene.targetPage,
                          !scene.revealing && !scene.pageSliding && !scene.quitRequested, scene.quitRequested});
        sound.insert(sound.end(), samples, samples + 2 * static_cast<size_t>(sampleFrames));
        return index + 1 != refuseAfter;
    }
    int64_t refuseAfter = -1; // the sink refuses the frame of this count
    std::vector<Shown> frames;
    std::vector<int16_t> sound;
};

class CaptureRunTest : public ProcessTest {};

CaptureOptions Options(int fps, double seconds) {
    CaptureOptions options;
    options.output = "unused.mkv";
    options.fps = fps;
    options.seconds = seconds;
    options.tour = false;
    return options;
}

// The song that is linked in, rendered by xmrender from its first sample,
// `frames` stereo frames long.
std::vector<int16_t> SongRender(int64_t frames) {
    ResourceBytes song{};
    EXPECT_TRUE(OsFindResource(OsModuleHandle(), "MUSIC", RT_RCDATA_TYPE, &song));
    char dir[] = "/tmp/quillon-capture-run-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string xm = std::string(dir) + "/song.xm";
    const std::string wav = std::string(dir) + "/song.wav";
    std::ofstream(xm, std::ios::binary).write(reinterpret_cast<const char*>(song.data), song.size);
    char command[512];
    std::snprintf(command, sizeof command, "%s '%s' '%s' --seconds %.6f >/dev/null 2>&1", XMRENDER_BINARY, xm.c_str(),
                  wav.c_str(), static_cast<double>(frames) / CAPTURE_RATE + 0.01);
    EXPECT_EQ(std::system(command), 0);
    std::ifstream in(wav, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    std::vector<int16_t> samples;
    for (size_t at = 44; at + 1 < bytes.size() && samples.size() < 2 * static_cast<size_t>(frames); at += 2)
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) | bytes[at + 1] << 8));
    return samples;
}

TEST(CaptureFrameLimit, SecondsOnTheFrameGridRoundToTheNearestFrameAndAtLeastOne) {
    struct Case {
        const char* name;
        double seconds;
        int fps;
        int64_t frames;
    };
    const Case cases[] = {
        {"whole frames", 1.0, 48, 48},
        {"3.5 frames: the half goes up", 0.5, 7, 4},
        {"1.4 frames", 0.2, 7, 1},
        {"0.35 frames, yet one frame", 0.05, 7, 1},
        {"179.94 frames", 2.999, 60, 180},
        {"no limit given: the longest run, 600 s", 0.0, 60, 36000},
        {"the longest run at the top rate", 600.0, 250, 150000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FrameLimit(Options(c.fps, c.seconds)), c.frames);
    }
}

// Frame n is shown from n * 1000 / fps ms on; while it is shown the device
// plays the samples from n * 44100 / fps to (n + 1) * 44100 / fps (rounded
// down), so the frames' shares add up to the length of the capture with no
// sample lost or played twice, and the sound is the song from its start.
TEST_F(CaptureRunTest, EachFrameCarriesTheSoundPlayedWhileItIsShown) {
    struct Case {
        int fps;
        double seconds;
    };
    // 48: 918.75 samples and 20.8 ms a frame; 7: 142.9 ms; 250: 176.4 samples.
    const Case cases[] = {{48, 1.0}, {7, 2.0}, {250, 0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fps) + " fps");
        RecordingSink sink;
        const CaptureRun run = RunCapture(Options(c.fps, c.seconds), sink);
        ASSERT_TRUE(run.ok) << run.error;
        const int64_t frames = std::llround(c.seconds * c.fps);
        ASSERT_EQ(run.frames, frames);
        ASSERT_EQ(static_cast<int64_t>(sink.frames.size()), frames);
        int64_t played = 0;
        for (int64_t n = 0; n < frames; ++n) {
            const Shown& f = sink.frames[static_cast<size_t>(n)];
            EXPECT_EQ(f.index, n);
            EXPECT_EQ(f.width, 640);
            EXPECT_EQ(f.height, 480);
            // The share of frame n: whole samples up to the end of its time.
            const int64_t end = (n + 1) * 44100 / c.fps;
            EXPECT_EQ(f.sampleFrames, end - played) << "frame " << n;
            played = end;
        }
        EXPECT_EQ(played, static_cast<int64_t>(c.seconds * 44100 + 0.5));
        const std::vector<int16_t> song = SongRender(played);
        ASSERT_EQ(sink.sound.size(), song.size());
        size_t first = 0;
        while (first < song.size() && sink.sound[first] == song[first])
            ++first;
        EXPECT_EQ(first, song.size()) << "first different sample frame " << first / 2;
        ResetProcessState();
    }
}

// The tour: each page, once it has come to rest, stays in view for 3 s on
// the frame grid (the first frame that shows the next page's wipe is the
// first one 3000 ms or more after the page came to rest), pages 1, 2, 3, 4
// in that order, then the closing, and the presentation ends by itself.
TEST_F(CaptureRunTest, TheTourHoldsEachPageThreeSecondsThenCloses) {
    for (int fps : {7, 60}) {
        SCOPED_TRACE(std::to_string(fps) + " fps");
        CaptureOptions options = Options(fps, 0.0);
        options.tour = true;
        RecordingSink sink;
        const CaptureRun run = RunCapture(options, sink);
        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_LT(run.frames, FrameLimit(options)) << "the presentation did not end by itself";
        std::vector<uint8_t> pagesHeld;
        bool closed = false;
        for (size_t n = 0; n < sink.frames.size(); ++n) {
            if (!sink.frames[n].resting || (n > 0 && sink.frames[n - 1].resting))
                continue;
            // Frame n is the first at rest; m the first after it that is not.
            size_t m = n;
            while (m < sink.frames.size() && sink.frames[m].resting)
                ++m;
            ASSERT_LT(m, sink.frames.size()) << "the tour stopped on page " << int{sink.frames[n].page};
            const uint32_t rest = FrameTimeMs(static_cast<int64_t>(n), fps);
            EXPECT_GE(FrameTimeMs(static_cast<int64_t>(m), fps) - rest, 3000u) << "page " << int{sink.frames[n].page};
            EXPECT_LT(FrameTimeMs(static_cast<int64_t>(m) - 1, fps) - rest, 3000u)
                << "page " << int{sink.frames[n].page};
            pagesHeld.push_back(sink.frames[n].page);
            closed = sink.frames[m].closing;
            EXPECT_EQ(closed, pagesHeld.size() == 4) << "after page " << int{sink.frames[n].page};
        }
        EXPECT_EQ(pagesHeld, (std::vector<uint8_t>{1, 2, 3, 4}));
        EXPECT_TRUE(closed);
        ResetProcessState();
    }
}

TEST_F(CaptureRunTest, ASinkThatStopsTakingFramesEndsTheRun) {
    RecordingSink sink;
    sink.refuseAfter = 5;
    const CaptureRun run = RunCapture(Options(60, 2.0), sink);
    EXPECT_FALSE(run.ok);
    EXPECT_TRUE(run.sinkFailed);
    EXPECT_EQ(run.error, "the encoder stopped taking frames");
    EXPECT_EQ(sink.frames.size(), 5u);
    EXPECT_EQ(run.frames, 4);
}

} // namespace
