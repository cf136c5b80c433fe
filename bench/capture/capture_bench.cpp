// How fast quillon-capture makes a video, as seconds of presentation per
// second of wall time ("presentation_x", above 1 is faster than real time),
// at 60 fps, scale 2, for 5 seconds of page 1:
//   Scene      the program alone (frames and sound, handed to no one)
//   Lossless   FFV1 + FLAC in Matroska through ffmpeg
//   Mp4        the default: H.264 (superfast, yuv420p) + AAC
// For the encoders, "waiting_share" is the part of the wall time spent
// waiting for ffmpeg to take the frames, and "ffmpeg_cpu_x" the processor
// seconds ffmpeg used per presentation second (over both cores).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "capture/capture_options.h"
#include "capture/capture_run.h"
#include "capture/ffmpeg_encoder.h"

namespace {

constexpr double SECONDS = 5.0;

class NoSink : public FrameSink {
public:
    bool Frame(int64_t, const uint32_t* pixels, int, int, const int16_t*, int) override {
        benchmark::DoNotOptimize(pixels[0]);
        return true;
    }
};

CaptureOptions Options(VideoFormat format, bool lossless, const std::string& path) {
    CaptureOptions options;
    options.output = path;
    options.format = format;
    options.lossless = lossless;
    options.quiet = true;
    options.seconds = SECONDS;
    return options;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Scene(benchmark::State& state) {
    const CaptureOptions options = Options(VideoFormat::Mkv, true, "");
    NoSink sink;
    for (auto _ : state) {
        const CaptureRun run = RunCapture(options, sink);
        if (!run.ok)
            state.SkipWithError(run.error.c_str());
    }
    state.counters["presentation_x"] =
        benchmark::Counter(SECONDS * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void Encode(benchmark::State& state, VideoFormat format, bool lossless, const char* extension) {
    const std::string ffmpeg = FindFfmpeg();
    if (ffmpeg.empty()) {
        state.SkipWithError("no ffmpeg");
        return;
    }
    const std::string path = "/tmp/quillon-capture-bench-" + std::to_string(getpid()) + extension;
    const CaptureOptions options = Options(format, lossless, path);
    double waiting = 0.0;
    double wall = 0.0;
    const double cpuBefore = ChildCpuSeconds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        FfmpegSink sink(ffmpeg, options, path);
        const CaptureRun run = RunCapture(options, sink);
        if (!sink.Finish() || !run.ok)
            state.SkipWithError("capture failed");
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        waiting += sink.pipeSeconds;
    }
    unlink(path.c_str());
    const double presentation = SECONDS * static_cast<double>(state.iterations());
    state.counters["presentation_x"] = benchmark::Counter(presentation, benchmark::Counter::kIsRate);
    state.counters["waiting_share"] = wall > 0.0 ? waiting / wall : 0.0;
    state.counters["ffmpeg_cpu_x"] = (ChildCpuSeconds() - cpuBefore) / presentation;
}

void Lossless(benchmark::State& state) { Encode(state, VideoFormat::Mkv, true, ".mkv"); }
void Mp4(benchmark::State& state) { Encode(state, VideoFormat::Mp4, false, ".mp4"); }

BENCHMARK(Scene)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Lossless)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(Mp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

BENCHMARK_MAIN();
