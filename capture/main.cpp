// quillon-capture OUT.(mp4|mkv|webm|gif) [options]: the presentation as a
// video file, every frame it shows and the sound it plays, from one command.
// Usage and exit codes: capture/capture_options.cpp (or --help).
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "capture/capture_options.h"
#include "capture/capture_run.h"
#include "capture/ffmpeg_encoder.h"
#include "quillon_version.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "quillon-capture: %s\n", message.c_str());
    return code;
}

// Counts the frames of a run without encoding them, so that the progress
// line can say "of how many" when the run ends by itself.
class CountingSink : public FrameSink {
public:
    bool Frame(int64_t, const uint32_t*, int, int, const int16_t*, int) override { return true; }
};

// The encoder with a progress line on a terminal.
class ProgressSink : public FrameSink {
public:
    ProgressSink(FfmpegSink& encoder, int fps, int64_t total, bool show)
        : encoder_(encoder), fps_(fps), total_(total), show_(show), start_(Now()) {}
    bool Frame(int64_t index, const uint32_t* pixels, int width, int height, const int16_t* samples,
               int sampleFrames) override {
        sceneSeconds += Now() - last_;
        const bool ok = encoder_.Frame(index, pixels, width, height, samples, sampleFrames);
        last_ = Now();
        if (show_ && (index % fps_ == 0 || index + 1 == total_))
            Report(index + 1);
        return ok;
    }
    void Done() {
        if (show_)
            std::fprintf(stderr, "\n");
    }
    double sceneSeconds = 0.0;

private:
    void Report(int64_t done) const {
        const double wall = Now() - start_;
        const double shown = static_cast<double>(done) / fps_;
        const double speed = wall > 0.0 ? shown / wall : 0.0;
        const double left = speed > 0.0 ? static_cast<double>(total_ - done) / fps_ / speed : 0.0;
        std::fprintf(stderr, "\rframe %lld of %lld  %6.2f s  %5.2fx real time  ETA %3.0f s ",
                     static_cast<long long>(done), static_cast<long long>(total_), shown, speed, left);
        std::fflush(stderr);
    }
    FfmpegSink& encoder_;
    int fps_;
    int64_t total_;
    bool show_;
    double start_;
    double last_ = Now();
};

// The temporary files of this run, removed at the end whatever happens, and
// by the handler of an interrupt (Ctrl-C, kill), which may only unlink.
constexpr int MAX_TEMP = 3;
char tempPaths[MAX_TEMP][4096];
volatile sig_atomic_t tempCount = 0;

void AddTemp(const std::string& path) {
    if (tempCount >= MAX_TEMP || path.size() >= sizeof tempPaths[0])
        return;
    std::memcpy(tempPaths[tempCount], path.c_str(), path.size() + 1);
    tempCount = tempCount + 1;
}

void RemoveTemps() {
    for (int i = 0; i < tempCount; ++i)
        unlink(tempPaths[i]);
}

void OnInterrupt(int signal) {
    RemoveTemps();
    _exit(128 + signal);
}

struct TempFiles {
    ~TempFiles() { RemoveTemps(); }
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CaptureOptions options;
    std::string error;
    switch (ParseCaptureArguments(args, options, error)) {
    case ParseResult::Help: std::fputs(CaptureHelp(), stdout); return 0;
    case ParseResult::Version: std::printf("quillon-capture (Quillon) %s\n", QUILLON_VERSION); return 0;
    case ParseResult::Error: std::fprintf(stderr, "%s\n%s\n", error.c_str(), CaptureUsageLine()); return 2;
    case ParseResult::Run: break;
    }

    // A caller that ignores SIGCHLD passes that on, and then the system
    // reaps ffmpeg itself: its exit status is lost and a good video would
    // be reported as failed. The capture waits for its children, so it
    // takes them back.
    std::signal(SIGCHLD, SIG_DFL);
    const std::string ffmpeg = FindFfmpeg();
    if (ffmpeg.empty())
        return Fail(2, "ffmpeg not found in PATH (on Debian: apt-get install ffmpeg)");

    // Everything is written under a temporary name beside the output and
    // renamed at the end, so a failed or interrupted run leaves no half file
    // under the name asked for. Trying that name first tells early whether
    // the place can be written at all.
    // A dead ffmpeg shows as a failed write, not as the end of this process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    TempFiles temp;
    const std::string part = options.output + ".part";
    {
        const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return Fail(2, "cannot write " + options.output + ": " + std::strerror(errno));
        close(fd);
        AddTemp(part);
    }
    const bool gif = options.format == VideoFormat::Gif;
    const std::string stage = gif ? options.output + ".frames.mkv" : part;
    const std::string palette = options.output + ".palette.png";
    if (gif) {
        AddTemp(stage);
        AddTemp(palette);
    }

    const bool show = !options.quiet && isatty(2);
    int64_t total = FrameLimit(options);
    if (show && options.seconds <= 0.0) {
        CountingSink counter;
        const CaptureRun dry = RunCapture(options, counter);
        if (dry.ok)
            total = dry.frames;
    }

    const double start = Now();
    FfmpegSink encoder(ffmpeg, options, stage);
    ProgressSink progress(encoder, options.fps, total, show);
    const CaptureRun result = RunCapture(options, progress);
    progress.Done();
    const bool encoded = encoder.Finish();
    const std::string ffmpegFailed = "ffmpeg failed to write " + options.output + " (its messages are above)";
    if (!result.ok && !result.sinkFailed)
        return Fail(1, result.error);
    if (!encoded)
        return Fail(1, ffmpegFailed);
    if (gif && (!RunFfmpeg(ffmpeg, PaletteArguments(stage, palette)) ||
                !RunFfmpeg(ffmpeg, GifArguments(stage, palette, part))))
        return Fail(1, ffmpegFailed);
    if (std::rename(part.c_str(), options.output.c_str()) != 0)
        return Fail(1, "cannot write " + options.output + ": " + std::strerror(errno));
    const double wall = Now() - start;
    const double shown = static_cast<double>(result.frames) / options.fps;
    // The closing line always (a script or a make log must see what was
    // written); the timing details only beside the progress line.
    if (!options.quiet) {
        struct stat written {};
        const double megabytes = stat(options.output.c_str(), &written) == 0 ? written.st_size / 1e6 : 0.0;
        std::fprintf(stderr, "quillon-capture: wrote %s: %.2f s, %lld frames, %.1f MB", options.output.c_str(), shown,
                     static_cast<long long>(result.frames), megabytes);
        if (show)
            std::fprintf(stderr, " in %.2f s (%.2fx real time; presentation %.2f s, waiting for ffmpeg %.2f s)", wall,
                         wall > 0 ? shown / wall : 0.0, progress.sceneSeconds, encoder.pipeSeconds);
        std::fputc('\n', stderr);
    }
    return 0;
}
