// quillon-capture as a user runs it: lossless captures decoded again by
// ffmpeg and compared with the program's own pictures (the moments the
// snapshot tool shows, reached the same way on the capture's clock grid), its
// own song rendered by xmrender, the scene's 5 ms transition tick, and the
// messages of bad invocations.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <map>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_run.h"
#include "capture/ffmpeg_encoder.h"
#include "display/frame.h"
#include "tests/display/scene_fixture.h"

namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;
constexpr size_t FRAME_BYTES = size_t{WIDTH} * HEIGHT * 4;

struct Ran {
    int code;
    std::string output; // stdout and stderr
};

Ran Shell(const std::string& command) {
    Ran r{-1, ""};
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/quillon-capture-test-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempDir() { Shell("rm -rf '" + path + "'"); }
    std::string path;
};

std::string Capture(const std::string& args) { return std::string(CAPTURE_BINARY) + " " + args; }

// The chosen frames of a capture (by index), as the program's 0x00RRGGBB
// pixels; an index past the end gives an empty picture.
std::map<int64_t, std::vector<uint32_t>> DecodeFrames(const std::string& video, const std::string& dir,
                                                      const std::vector<int64_t>& chosen) {
    std::string select;
    for (int64_t n : chosen)
        select += (select.empty() ? "eq(n\\," : "+eq(n\\,") + std::to_string(n) + ")";
    const std::string raw = dir + "/frames.raw";
    EXPECT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -i '" + video + "' -map 0:v -vf \"select=" + select +
                    "\" -vsync passthrough -f rawvideo -pix_fmt bgr0 '" + raw + "'")
                  .code,
              0);
    const std::string bytes = ReadFile(raw);
    std::map<int64_t, std::vector<uint32_t>> frames;
    std::vector<int64_t> sorted = chosen;
    std::sort(sorted.begin(), sorted.end());
    for (size_t f = 0; f < sorted.size(); ++f) {
        std::vector<uint32_t>& pixels = frames[sorted[f]];
        if ((f + 1) * FRAME_BYTES > bytes.size())
            continue;
        pixels.resize(FRAME_BYTES / 4);
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + f * FRAME_BYTES;
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = (uint32_t{p[4 * i + 2]} << 16) | (uint32_t{p[4 * i + 1]} << 8) | p[4 * i];
    }
    return frames;
}

std::string DecodeSound(const std::string& video, const std::string& dir) {
    const std::string raw = dir + "/sound.raw";
    EXPECT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -i '" + video + "' -map 0:a -f s16le '" + raw + "'").code, 0);
    return ReadFile(raw);
}

std::string At(int64_t frameAfter, int fps, const char* action) {
    char text[64];
    std::snprintf(text, sizeof text, " --at %.3f:%s", FrameTimeMs(frameAfter, fps) / 1000.0, action);
    return text;
}

std::string Seconds(int64_t frames, int fps) {
    char text[64];
    std::snprintf(text, sizeof text, " --seconds %.3f", static_cast<double>(frames) / fps);
    return text;
}

// ---- The reference: the program's own frames in this process ----------------

// The program as WinMain starts it (window, display, stars seeded from the
// clock, the start-up messages taken by the pre-roll), then frames on the
// capture's clock grid; input is handed over between two frames.
class Reference {
public:
    explicit Reference(int fps) : fps_(fps) {
        ResetProcessState();
        HeadlessSetTime(CAPTURE_START_MS);
        EXPECT_TRUE(StartUp(OsModuleHandle(), SW_SHOWNORMAL));
        int exitCode = 0;
        while (!HeadlessQueuedMessages().empty())
            MessageStep(&exitCode);
    }
    ~Reference() { ResetProcessState(); }

    // As one pass of WinMain's frame loop: one message step, then frame
    // `frames`, and the clock moves on to the next one.
    void Frame() {
        int exitCode = 0;
        MessageStep(&exitCode);
        ASSERT_TRUE(ComposeFrame());
        ++frames;
        HeadlessSetTime(CAPTURE_START_MS + FrameTimeMs(frames, fps_));
    }
    void FramesWhile(bool (*condition)()) {
        for (int i = 0; i < 5000 && condition(); ++i)
            Frame();
        ASSERT_FALSE(condition());
    }
    // The input arrives before the next frame, and the frame loop takes one
    // message per frame; the capture gets the same input as a script entry
    // at that frame's time.
    void Input(uint32_t message, uintptr_t wParam, const char* action) {
        HeadlessPostInput(message, wParam);
        script += At(frames, fps_, action);
    }
    std::vector<uint32_t> Shown() { return Pixels(HeadlessSurface("PRIMARY")); }

    int64_t frames = 0; // frames composed so far
    std::string script;

private:
    int fps_;
};

bool Revealing() { return scene.revealing || scene.pageSliding; }
bool NoCount() { return scene.fps == 0; }

struct Moment {
    std::string name;
    int64_t frame;
    std::vector<uint32_t> picture;
};

void ExpectSamePicture(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& expected,
                       const std::string& what) {
    ASSERT_EQ(shown.size(), expected.size()) << what;
    size_t differing = 0;
    size_t first = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        if ((shown[i] & 0xFFFFFF) != (expected[i] & 0xFFFFFF) && differing++ == 0)
            first = i;
    EXPECT_EQ(differing, 0u) << what << ": first at x " << first % WIDTH << " y " << first / WIDTH;
}

// ---- Frames and sound ------------------------------------------------------------

TEST(Capture, LosslessFramesAreTheProgramsFramesAndTheSoundIsItsSong) {
    // The snapshot tool's moments in one run: the reveal halfway, page 1
    // revealed, the counter after its first measurement, the closing.
    constexpr int FPS = 60;
    std::vector<Moment> moments;
    std::string script;
    {
        Reference ref(FPS);
        for (int i = 0; i < 80; ++i)
            ref.Frame();
        moments.push_back({"reveal-half", ref.frames - 1, ref.Shown()});
        ref.FramesWhile(Revealing);
        ref.Frame();
        ref.Frame();
        moments.push_back({"page1", ref.frames - 1, ref.Shown()});
        ref.Input(WM_KEYDOWN, VK_SPACE, "space");
        ref.FramesWhile(NoCount);
        ref.Frame();
        moments.push_back({"counter", ref.frames - 1, ref.Shown()});
        ref.Input(WM_LBUTTONDOWN, 0, "lmb");
        for (int i = 0; i < 16; ++i)
            ref.Frame();
        moments.push_back({"closing", ref.frames - 1, ref.Shown()});
        script = ref.script + Seconds(ref.frames + 1, FPS);
    }

    TempDir dir;
    const std::string a = dir.path + "/a.mkv";
    const std::string b = dir.path + "/b.mkv";
    for (const std::string& out : {a, b}) {
        const Ran r = Shell(Capture("'" + out + "' --lossless --scale 1 --quiet" + script));
        ASSERT_EQ(r.code, 0) << r.output;
    }
    EXPECT_FALSE(Exists(a + ".part"));

    // Two runs of one script: the same frames and samples, decoded.
    const Ran md5a = Shell("ffmpeg -nostdin -loglevel error -i '" + a + "' -f framemd5 -");
    const Ran md5b = Shell("ffmpeg -nostdin -loglevel error -i '" + b + "' -f framemd5 -");
    ASSERT_EQ(md5a.code, 0) << md5a.output;
    EXPECT_NE(md5a.output.find("\n1,"), std::string::npos) << "no sound stream in the framemd5";
    EXPECT_EQ(md5a.output, md5b.output);

    std::vector<int64_t> chosen = {moments.back().frame + 1, moments.back().frame + 2};
    for (const Moment& m : moments)
        chosen.push_back(m.frame);
    auto frames = DecodeFrames(a, dir.path, chosen);
    EXPECT_FALSE(frames[moments.back().frame + 1].empty()) << "the last frame is missing";
    EXPECT_TRUE(frames[moments.back().frame + 2].empty()) << "a frame past the end";
    for (const Moment& m : moments)
        ExpectSamePicture(frames[m.frame], m.picture, m.name + " (frame " + std::to_string(m.frame) + ")");

    // The sound: the song that is linked in, rendered by xmrender from its
    // first sample, as long as the capture.
    ResourceBytes song{};
    ASSERT_TRUE(OsFindResource(OsModuleHandle(), "MUSIC", RT_RCDATA_TYPE, &song));
    const std::string xm = dir.path + "/song.xm";
    std::ofstream(xm, std::ios::binary).write(reinterpret_cast<const char*>(song.data), song.size);
    const std::string sound = DecodeSound(a, dir.path);
    ASSERT_EQ(sound.size(), static_cast<size_t>(FrameSamples(moments.back().frame + 2, FPS)) * 4);
    const std::string wav = dir.path + "/song.wav";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", static_cast<double>(sound.size() / 4) / CAPTURE_RATE);
    ASSERT_EQ(Shell(std::string(XMRENDER_BINARY) + " '" + xm + "' '" + wav + "' --seconds " + seconds).code, 0);
    const std::string rendered = ReadFile(wav).substr(44);
    ASSERT_EQ(rendered.size(), sound.size());
    size_t firstDifference = 0;
    while (firstDifference < sound.size() && sound[firstDifference] == rendered[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, sound.size()) << "first different sample frame: " << firstDifference / 4;
}

// An encoder that takes its two inputs in turn, each frame and then its
// sound, as one reading a single interleaved stream would, and writes what
// it got. At 1 fps a frame's sound is 176400 bytes, so the sound pipe fills
// with the sound of a few frames: the capture must keep feeding both pipes
// as they drain, never wait on one alone. (A capture that waits on one
// alone never ends; `timeout` turns that into a failure.)
TEST(Capture, AnEncoderTakingEachFrameThenItsSoundGetsEveryByte) {
    TempDir dir;
    Shell("mkdir '" + dir.path + "/turns'");
    std::ofstream(dir.path + "/turns/ffmpeg") << "#!/bin/sh\n"
                                                 "for a; do out=$a; done\n"
                                                 "video=0; sound=0\n"
                                                 "while :; do\n"
                                                 "    got=$(head -c 1228800 | wc -c)\n"
                                                 "    [ \"$got\" -eq 0 ] && break\n"
                                                 "    video=$((video + got))\n"
                                                 "    sound=$((sound + $(head -c 176400 <&3 | wc -c)))\n"
                                                 "done\n"
                                                 "sound=$((sound + $(wc -c <&3)))\n"
                                                 "echo \"$video $sound\" > \"$out\"\n";
    Shell("chmod +x '" + dir.path + "/turns/ffmpeg'");
    const std::string out = dir.path + "/o.mkv";
    // 52 frames: more than wait in the capture before it feeds the frame
    // pipe at all; an input after the end keeps the tour away.
    const Ran r = Shell("PATH='" + dir.path + "/turns':\"$PATH\" timeout 60 " +
                        Capture("'" + out + "' --lossless --fps 1 --seconds 52 --at 60:space --quiet"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ReadFile(out), std::to_string(52 * FRAME_BYTES) + " " + std::to_string(52 * 44100 * 4) + "\n");
}

// ffmpeg is handed its standard descriptors and, while it encodes, the
// sound on descriptor 3: nothing else the capture was started with (here a
// descriptor 3 of the caller's, as a pipe someone waits on to close would
// be) lives on in it. A wrapper notes what each ffmpeg run has open.
TEST(Capture, FfmpegGetsOnlyTheDescriptorsItReads) {
    TempDir dir;
    const std::string ffmpeg = FindFfmpeg();
    ASSERT_FALSE(ffmpeg.empty());
    Shell("mkdir '" + dir.path + "/wrap'");
    std::ofstream(dir.path + "/wrap/ffmpeg") << "#!/bin/sh\n"
                                                "case \"$*\" in *pipe:3*) stage=encode ;; *) stage=other ;; esac\n"
                                                "[ -e /proc/$$/fd/3 ] && open=3 || open=none\n"
                                                "echo \"$stage $open\" >> '"
                                             << dir.path << "/runs'\nexec '" << ffmpeg << "' \"$@\"\n";
    Shell("chmod +x '" + dir.path + "/wrap/ffmpeg'");
    const Ran r = Shell("PATH='" + dir.path + "/wrap':\"$PATH\" " +
                        Capture("'" + dir.path + "/o.gif' --seconds 0.2 --quiet 3</dev/null"));
    ASSERT_EQ(r.code, 0) << r.output;
    // The frames, then the GIF's palette and the GIF itself.
    EXPECT_EQ(ReadFile(dir.path + "/runs"), "encode 3\nother none\nother none\n");
}

// A capture started with SIGCHLD ignored (a disposition exec keeps) would
// have the system reap ffmpeg for it, and waiting for ffmpeg would fail: the
// capture takes its children back, so it ends and writes its video as usual.
TEST(Capture, ARunStartedWithChildrenIgnoredStillWritesItsVideo) {
    TempDir dir;
    const std::string out = dir.path + "/o.mkv";
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGCHLD, SIG_IGN);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(CAPTURE_BINARY, CAPTURE_BINARY, out.c_str(), "--lossless", "--scale", "1", "--seconds", "0.2", "--quiet",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // A guard against a run that never ends, not a measure of time: the run
    // takes about a second.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0)
            usleep(100000);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the capture was still running after 60 s";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "ffmpeg's status is its own even so";
    EXPECT_TRUE(Exists(out));
    EXPECT_FALSE(Exists(out + ".part"));
}

// ---- The wipe's timing ----------------------------------------------------------------

// Transition ticks the frame clock gives in frames first .. last: a tick falls
// in every frame that comes more than 5 ms after the frame of the last tick
// (the first frame ticks: the scene's reference time starts at 0).
int TicksIn(int64_t first, int64_t last, int fps) {
    int ticks = 0;
    uint32_t reference = 0;
    for (int64_t n = 0; n <= last; ++n) {
        const uint32_t now = CAPTURE_START_MS + FrameTimeMs(n, fps);
        if (now - reference > transitionInterval) {
            reference = now;
            if (n >= first)
                ++ticks;
        }
    }
    return ticks;
}

struct WipeCase {
    const char* name;
    int fps;
    int clickMs;
};

// The right click at a scripted time reaches the window before the first
// frame composed at or after it (frame k). From frame k on, row pair c of the
// page (rows 2c from the top and 383 - 2c from the bottom) shows the
// background's wipe row once c transition ticks have passed since frame k.
void ExpectWipeRowsAtTheirTicks(const WipeCase& c) {
    int64_t k = 0;
    while (FrameTimeMs(k, c.fps) < static_cast<uint32_t>(c.clickMs))
        ++k;
    constexpr int LOOK = 14; // frames after k looked at
    std::vector<uint32_t> wipeRow;
    {
        Reference ref(c.fps);
        Surface* background = HeadlessSurface("BACKGROUND");
        for (int x = 0; x < WIDTH; ++x)
            wipeRow.push_back(HeadlessPixel(background, x, WIPE_SOURCE_ROW));
    }
    TempDir dir;
    const std::string out = dir.path + "/wipe.mkv";
    char at[64];
    std::snprintf(at, sizeof at, " --at %.3f:rmb", c.clickMs / 1000.0);
    const Ran r = Shell(Capture("'" + out + "' --lossless --scale 1 --quiet --fps " + std::to_string(c.fps) + at +
                                Seconds(k + LOOK + 1, c.fps)));
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<int64_t> chosen;
    for (int64_t f = k - 1; f <= k + LOOK; ++f)
        chosen.push_back(f);
    auto frames = DecodeFrames(out, dir.path, chosen);
    const std::vector<uint32_t> rest = frames[k - 1];
    ASSERT_FALSE(rest.empty());

    bool anyVisible = false;
    for (int64_t f = k - 1; f <= k + LOOK; ++f) {
        const int pairs = f < k ? 0 : 1 + TicksIn(k, f - 1, c.fps);
        std::vector<uint32_t> expected = rest;
        for (int p = 0; p < pairs; ++p)
            for (int y : {2 * p, PAGE_HEIGHT - 1 - 2 * p})
                for (int x = 0; x < ANI_BOX_X; ++x)
                    expected[size_t{WIDTH} * (PAGE_AREA_Y + y) + x] = wipeRow[x];
        // The page area left of the animation box (the box and the border
        // stars move on their own).
        const std::vector<uint32_t>& shown = frames[f];
        ASSERT_FALSE(shown.empty());
        int wrong = 0;
        int firstWrong = -1;
        for (int y = PAGE_AREA_Y; y < PAGE_AREA_Y + PAGE_HEIGHT; ++y)
            for (int x = 0; x < ANI_BOX_X; ++x) {
                const size_t i = size_t{WIDTH} * y + x;
                if ((shown[i] & 0xFFFFFF) != (expected[i] & 0xFFFFFF) && wrong++ == 0)
                    firstWrong = y;
                if ((expected[i] & 0xFFFFFF) != (rest[i] & 0xFFFFFF))
                    anyVisible = true;
            }
        EXPECT_EQ(wrong, 0) << "frame " << f << " (k = " << k << ", " << pairs << " row pairs): first wrong row "
                            << firstWrong;
    }
#ifndef OWN_TEXT
    // The built-in page 1 has text in the rows the wipe reaches first.
    EXPECT_TRUE(anyVisible) << "the wipe never reached a row that looks different";
#else
    (void)anyVisible;
#endif
}

TEST(Capture, WipedRowsAppearInTheFramesTheTransitionTickGives) {
    // 60 fps: a tick in every frame. 250 fps (4 ms frames): a tick every
    // other frame, so the click's frame k with or without its own tick.
    const WipeCase cases[] = {
        {"60 fps, click at 3000 ms", 60, 3000},
        {"250 fps, click at 1602 ms", 250, 1602},
        {"250 fps, click at 1606 ms", 250, 1606},
    };
    for (const WipeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectWipeRowsAtTheirTicks(c);
    }
}

// ---- Bad invocations ----------------------------------------------------------------------

struct BadCase {
    const char* name;
    std::string args;   // after the program; %D is a scratch folder
    std::string prefix; // the environment (e.g. PATH=...)
    int code;
    std::string message; // the first line of stderr; %D as above
};

std::string Fill(std::string s, const std::string& dir) {
    for (size_t at; (at = s.find("%D")) != std::string::npos;)
        s.replace(at, 2, dir);
    return s;
}

// The delay of a GIF's first frame, in hundredths of a second: the first
// graphic control extension (block 0x21 0xF9) after the global colour
// table; -1 when there is none.
int FirstGifDelay(const std::string& gif) {
    const auto byte = [&gif](size_t at) { return at < gif.size() ? static_cast<uint8_t>(gif[at]) : 0; };
    size_t at = 13;
    if (byte(10) & 0x80)
        at += 3u << ((byte(10) & 7) + 1);
    while (byte(at) == 0x21) {
        const uint8_t label = byte(at + 1);
        if (label == 0xF9)
            return byte(at + 4) | byte(at + 5) << 8;
        at += 2;
        while (at < gif.size() && byte(at) != 0)
            at += 1 + byte(at);
        ++at;
    }
    return -1;
}

// What a script or a make log sees of a capture (stderr a pipe): one closing
// line naming the file, its length and size, and nothing with --quiet; a
// person at a terminal (script(1) gives one) sees the progress and where the
// time went besides, its parts within the whole. A GIF's size, which
// decides its file size, and its frame delay, which decides how fast it
// plays. Nothing is left beside the video. A run with no standard input at
// all (a service, cron) still hands ffmpeg its frames.
TEST(Capture, ClosingLineAndGifSize) {
    TempDir dir;
    struct Case {
        const char* args;
        const char* file;
        bool terminal;      // stderr a terminal
        const char* length; // in the closing line; nullptr: no closing line
        int width;          // of the written picture, read from the file; 0: not read
        int delay;          // of its first frame, in hundredths of a second
    };
    const Case cases[] = {
        {"--lossless --scale 1 --seconds 0.5", "o.mkv", false, ": 0.50 s, 30 frames, ", 0, 0},
        {"--lossless --scale 1 --seconds 0.5 --quiet", "o.mkv", false, nullptr, 0, 0},
        {"--lossless --scale 1 --seconds 0.5", "o.mkv", true, ": 0.50 s, 30 frames, ", 0, 0},
        {"--lossless --scale 1 --seconds 0.2 --quiet <&-", "o.mkv", false, nullptr, 0, 0},
        {"--seconds 0.2", "o.gif", false, ": 0.20 s, 10 frames, ", WIDTH, 2},
        {"--seconds 0.2 --scale 2 --quiet", "o.gif", false, nullptr, 2 * WIDTH, 2},
        // A rate given is kept: 25 frames a second, 4 hundredths each.
        {"--seconds 0.4 --fps 25", "o.gif", false, ": 0.40 s, 10 frames, ", WIDTH, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.args) + (c.terminal ? " (terminal)" : ""));
        const std::string out = dir.path + "/" + c.file;
        const std::string command = Capture("'" + out + "' " + c.args);
        const Ran r = Shell(c.terminal ? "script -qec \"" + command + "\" /dev/null" : command);
        ASSERT_EQ(r.code, 0) << r.output;
        const std::string closing = "quillon-capture: wrote " + out + ": ";
        const size_t at = r.output.find(closing);
        EXPECT_EQ(at != std::string::npos, c.length != nullptr) << r.output;
        if (c.length) {
            EXPECT_NE(r.output.find(closing + (c.length + 2)), std::string::npos) << r.output;
            EXPECT_NE(r.output.find(c.terminal ? " MB in " : " MB\n"), std::string::npos) << r.output;
        } else {
            EXPECT_EQ(r.output, "");
        }
        if (c.terminal && at != std::string::npos) {
            EXPECT_NE(r.output.find("\rframe 30 of 30 "), std::string::npos) << r.output;
            double wall = -1, speed = -1, presentation = -1, waiting = -1;
            ASSERT_EQ(std::sscanf(r.output.c_str() + r.output.find(" MB in ", at),
                                  " MB in %lf s (%lfx real time; presentation %lf s, waiting for ffmpeg %lf s)", &wall,
                                  &speed, &presentation, &waiting),
                      4)
                << r.output;
            EXPECT_GE(presentation, 0.0);
            EXPECT_GE(waiting, 0.0);
            // Each printed to the hundredth.
            EXPECT_LE(presentation + waiting, wall + 0.015) << r.output;
        }
        if (c.width) {
            // A GIF's logical screen width: bytes 6 and 7, little-endian.
            const std::string gif = ReadFile(out);
            ASSERT_GE(gif.size(), 8u);
            EXPECT_EQ(static_cast<uint8_t>(gif[6]) | static_cast<uint8_t>(gif[7]) << 8, c.width);
            EXPECT_EQ(FirstGifDelay(gif), c.delay);
        }
        // The stages' files (a GIF's frames and palette) are gone: the
        // folder holds the video alone.
        EXPECT_EQ(Shell("ls -A '" + dir.path + "'").output, std::string(c.file) + "\n");
        std::remove(out.c_str());
    }
}

// A lossy file stores its picture as BT.709 limited-range YUV and must say
// so: a player turns it back into the presentation's colours only with
// these tags (without them most take BT.601 for a picture of this size).
TEST(Capture, LossyFilesNameTheirColourSpace) {
    TempDir dir;
    for (const char* file : {"o.mp4", "o.mkv", "o.webm"}) {
        SCOPED_TRACE(file);
        const std::string out = dir.path + "/" + file;
        const Ran r = Shell(Capture("'" + out + "' --scale 1 --seconds 0.1 --quiet"));
        ASSERT_EQ(r.code, 0) << r.output;
        const Ran probe = Shell(
            "ffprobe -v error -select_streams v:0 -show_entries "
            "stream=color_space,color_transfer,color_primaries,color_range -of default=nw=1 '" +
            out + "'");
        ASSERT_EQ(probe.code, 0) << probe.output;
        for (const char* tag :
             {"color_space=bt709\n", "color_transfer=bt709\n", "color_primaries=bt709\n", "color_range=tv\n"})
            EXPECT_NE(probe.output.find(tag), std::string::npos) << tag << " missing in\n" << probe.output;
        std::remove(out.c_str());
    }
}

TEST(Capture, BadInvocationsSayWhatIsWrong) {
    TempDir dir;
    std::ofstream(dir.path + "/bad.script") << "# the tour, by hand\n1.5 rmb\n2.0:jump\n";
    // An ffmpeg that fails at once: the capture must fail and leave no file.
    std::ofstream(dir.path + "/ffmpeg") << "#!/bin/sh\nexit 1\n";
    Shell("chmod +x '" + dir.path + "/ffmpeg'");
    const std::string q = "quillon-capture: ";
    const BadCase cases[] = {
        {"no output", "", "", 2, q + "name the output file (OUT.mp4, OUT.mkv, OUT.webm or OUT.gif)"},
        {"unknown format", "%D/o.avi", "", 2, q + "the output must end in .mp4, .mkv, .webm or .gif: %D/o.avi"},
        {"two outputs", "%D/a.mp4 %D/b.mp4", "", 2, q + "one output file only: %D/b.mp4"},
        {"unknown option", "%D/o.mp4 --fast", "", 2, q + "unknown option: --fast"},
        {"missing value", "%D/o.mp4 --fps", "", 2, q + "--fps needs a value"},
        {"fps zero", "%D/o.mp4 --fps 0", "", 2, q + "--fps wants a whole number from 1 to 250: 0"},
        {"fps word", "%D/o.mp4 --fps sixty", "", 2, q + "--fps wants a whole number from 1 to 250: sixty"},
        {"scale too big", "%D/o.mp4 --scale 9", "", 2, q + "--scale wants a whole number from 1 to 8: 9"},
        {"negative seconds", "%D/o.mp4 --seconds -1", "", 2,
         q + "--seconds wants a number of seconds above 0, at most 600: -1"},
        {"unknown action", "%D/o.mp4 --at 2:jump", "", 2,
         q + "--at wants TIME:ACTION (seconds, then rmb, lmb or space): 2:jump"},
        {"bad time", "%D/o.mp4 --at soon:rmb", "", 2,
         q + "--at wants TIME:ACTION (seconds, then rmb, lmb or space): soon:rmb"},
        {"no script", "%D/o.mp4 --script %D/none", "", 2, q + "cannot read script %D/none"},
        {"bad script line", "%D/o.mp4 --script %D/bad.script", "", 2,
         q + "%D/bad.script:3: wants TIME ACTION (seconds, then rmb, lmb or space): 2.0:jump"},
        {"lossless mp4", "%D/o.mp4 --lossless", "", 2,
         q + "--lossless writes FFV1 and FLAC in Matroska: name the output .mkv"},
        {"no ffmpeg", "%D/o.mp4", "PATH=/nonexistent", 2,
         q + "ffmpeg not found in PATH (on Debian: apt-get install ffmpeg)"},
        {"unwritable", "%D/no/such/folder/o.mp4", "", 2,
         q + "cannot write %D/no/such/folder/o.mp4: No such file or directory"},
        {"ffmpeg fails", "%D/o.mp4 --seconds 0.5", "PATH=%D", 1,
         q + "ffmpeg failed to write %D/o.mp4 (its messages are above)"},
        // Frames that cannot reach ffmpeg: a shorter video is no success.
        {"waiting for ffmpeg fails", "%D/o.mp4 --scale 1 --seconds 1", "LD_PRELOAD=" POLL_FAULT_LIBRARY, 1,
         q + "ffmpeg failed to write %D/o.mp4 (its messages are above)"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string command = Fill(c.prefix, dir.path) + " " + Capture(Fill(c.args, dir.path));
        const Ran r = Shell(command);
        EXPECT_EQ(r.code, c.code) << r.output;
        // The tool's first line (ffmpeg's own messages may come before it).
        const size_t own = r.output.find(q);
        ASSERT_NE(own, std::string::npos) << r.output;
        EXPECT_EQ(r.output.substr(own, r.output.find('\n', own) - own), Fill(c.message, dir.path));
        // A wrong command line is answered with the usage line too.
        const bool commandLine = c.code == 2 && c.prefix.empty() && c.message.find(q + "cannot write") != 0;
        EXPECT_EQ(r.output.find("\nusage: quillon-capture") != std::string::npos, commandLine) << r.output;
        EXPECT_FALSE(Exists(dir.path + "/o.mp4"));
        EXPECT_FALSE(Exists(dir.path + "/o.mp4.part"));
    }

    const Ran help = Shell(Capture("--help") + " 2>/dev/null");
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.output.rfind("usage: quillon-capture OUT.(mp4|mkv|webm|gif) [options]\n", 0), 0u);
    const Ran version = Shell(Capture("--version"));
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.output.rfind("quillon-capture (Quillon) ", 0), 0u) << version.output;
}

} // namespace
