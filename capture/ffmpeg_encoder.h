// The encoder: Debian's ffmpeg in a process of its own, fed raw frames on
// its standard input and 16-bit PCM on a second pipe (its descriptor 3).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "capture/capture_options.h"
#include "capture/capture_run.h"

// The ffmpeg found through PATH, or empty.
std::string FindFfmpeg();

// The arguments after "ffmpeg" for one stage. Lossless and GIF captures
// first go to an FFV1 file (`path`), which GifArguments then turns into the
// picture through a palette made for it.
std::vector<std::string> EncodeArguments(const CaptureOptions& options, int width, int height, const std::string& path);
std::vector<std::string> PaletteArguments(const std::string& source, const std::string& palette);
std::vector<std::string> GifArguments(const std::string& source, const std::string& palette, const std::string& path);

// Runs ffmpeg with the arguments and waits; true when it exited with 0.
bool RunFfmpeg(const std::string& ffmpeg, const std::vector<std::string>& arguments);

// Bytes on their way into a pipe.
struct Pending {
    std::vector<uint8_t> bytes;
    size_t done = 0;
    size_t Left() const { return bytes.size() - done; }
};

class FfmpegSink : public FrameSink {
public:
    // Starts nothing yet: ffmpeg is started with the first frame, whose size
    // it needs. `path` is where this stage writes.
    FfmpegSink(std::string ffmpeg, const CaptureOptions& options, std::string path);
    ~FfmpegSink() override;
    bool Frame(int64_t index, const uint32_t* pixels, int width, int height, const int16_t* samples,
               int sampleFrames) override;
    // Ends both streams and waits for ffmpeg; true when it wrote the file.
    bool Finish();
    // Seconds of wall time spent writing into the pipes (waiting for ffmpeg
    // to take them included), for the speed report.
    double pipeSeconds = 0.0;

private:
    bool Start(int width, int height);
    // Frames that may wait here for ffmpeg (see Pump): 48 at 640x480 are 59 MB.
    static constexpr size_t MAX_WAITING_FRAMES = 48;
    bool Pump(size_t videoLeft);

    std::string ffmpeg_;
    const CaptureOptions& options_;
    std::string path_;
    pid_t pid_ = -1;
    int videoFd_ = -1;
    int audioFd_ = -1;
    bool failed_ = false;
    Pending video_;
    Pending audio_;
};
