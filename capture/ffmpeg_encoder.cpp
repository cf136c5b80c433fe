#include "capture/ffmpeg_encoder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> Base()
{
    return {"-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
}

void Append(std::vector<std::string>& to, std::initializer_list<std::string> items)
{
    to.insert(to.end(), items.begin(), items.end());
}

// Starts ffmpeg with `stdinFd` as its standard input and `audioFd` as its
// descriptor 3 (-1: none). -1 when it could not start.
pid_t Spawn(const std::string& ffmpeg, const std::vector<std::string>& arguments, int stdinFd, int audioFd)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ffmpeg.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: only async-signal-safe calls until exec.
    if (stdinFd >= 0) {
        dup2(stdinFd, 0);
    } else {
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
    }
    if (audioFd >= 0) dup2(audioFd, 3);
    // dup2 onto itself keeps close-on-exec: clear it on the two kept ends.
    fcntl(0, F_SETFD, 0);
    if (audioFd >= 0) fcntl(3, F_SETFD, 0);
    const int keep = audioFd >= 0 ? 4 : 3;
    for (int fd = keep; fd < 1024; ++fd) close(fd);
    execv(argv[0], argv.data());
    _exit(127);
}

bool Wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::string FindFfmpeg()
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos) end = rest.size();
        std::string dir = rest.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/ffmpeg";
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

std::vector<std::string> EncodeArguments(const CaptureOptions& options, int width, int height,
                                         const std::string& path)
{
    std::vector<std::string> a = Base();
    const std::string size = std::to_string(width * options.scale) + "x" + std::to_string(height * options.scale);
    const std::string fps = std::to_string(options.fps);
    // Input order: the frames on stdin, the sound on descriptor 3. The
    // queues let one input run ahead of the other while the encoder buffers.
    Append(a, {"-thread_queue_size", "512", "-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt", "bgr0", "-video_size", size, "-framerate",
               fps, "-i", "pipe:0"});
    // The sound has no header to look into: ffmpeg must not wait for seconds
    // of it before it starts reading frames, which only come with the sound.
    Append(a, {"-thread_queue_size", "512", "-probesize", "32", "-analyzeduration", "0", "-f", "s16le", "-ar", std::to_string(CAPTURE_RATE), "-ac", "2", "-i",
               "pipe:3"});
    Append(a, {"-map", "0:v", "-map", "1:a"});
    const bool gifStage = options.format == VideoFormat::Gif;
    if (options.lossless || gifStage) {
        // Every pixel and every sample as they were: RGB in FFV1, FLAC.
        Append(a, {"-c:v", "ffv1", "-level", "3", "-g", "1", "-c:a", "flac", "-f", "matroska", path});
        return a;
    }
    // BT.709 limited range, chroma taken from whole enlarged pixels: at an
    // even scale every 2x2 chroma block lies inside one pixel, so colour
    // edges stay sharp (at scale 1 they bleed by a pixel).
    const std::string colour = "scale=out_color_matrix=bt709:out_range=tv:flags=neighbor,format=yuv420p";
    const std::initializer_list<std::string> tags = {"-colorspace", "bt709", "-color_primaries", "bt709",
                                                     "-color_trc", "bt709", "-color_range", "tv"};
    if (options.format == VideoFormat::Webm) {
        Append(a, {"-vf", colour, "-c:v", "libvpx-vp9", "-crf", "24", "-b:v", "0", "-deadline", "realtime",
                   "-cpu-used", "8", "-row-mt", "1", "-c:a", "libopus", "-b:a", "160k"});
        Append(a, tags);
        Append(a, {"-f", "webm", path});
        return a;
    }
    // H.264 for flat colours and sharp edges: the animation tuning (more
    // reference frames, deblocking turned down), a low CRF, veryfast so a
    // two-core machine stays ahead of the presentation.
    Append(a, {"-vf", colour, "-c:v", "libx264", "-preset", "veryfast", "-tune", "animation", "-crf", "16", "-c:a",
               "aac", "-b:a", "192k"});
    Append(a, tags);
    if (options.format == VideoFormat::Mp4) {
        Append(a, {"-movflags", "+faststart", "-f", "mp4", path});
    } else {
        Append(a, {"-f", "matroska", path});
    }
    return a;
}

std::vector<std::string> PaletteArguments(const std::string& source, const std::string& palette)
{
    std::vector<std::string> a = Base();
    Append(a, {"-i", source, "-vf", "palettegen=max_colors=256:stats_mode=full", "-f", "image2", "-update", "1",
               palette});
    return a;
}

std::vector<std::string> GifArguments(const std::string& source, const std::string& palette,
                                      const std::string& path)
{
    std::vector<std::string> a = Base();
    // No dithering: the picture has few colours and flat areas. Only the
    // rectangle that changed is stored per frame.
    Append(a, {"-i", source, "-i", palette, "-lavfi", "[0:v][1:v]paletteuse=dither=none:diff_mode=rectangle",
               "-an", "-loop", "0", "-f", "gif", path});
    return a;
}

bool RunFfmpeg(const std::string& ffmpeg, const std::vector<std::string>& arguments)
{
    const pid_t pid = Spawn(ffmpeg, arguments, -1, -1);
    return pid > 0 && Wait(pid);
}

FfmpegSink::FfmpegSink(std::string ffmpeg, const CaptureOptions& options, std::string path)
    : ffmpeg_(std::move(ffmpeg)), options_(options), path_(std::move(path))
{
}

FfmpegSink::~FfmpegSink() { Kill(); }

void FfmpegSink::Kill()
{
    if (videoFd_ >= 0) close(videoFd_);
    if (audioFd_ >= 0) close(audioFd_);
    videoFd_ = audioFd_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        Wait(pid_);
        pid_ = -1;
    }
}

bool FfmpegSink::Start(int width, int height)
{
    int video[2];
    int audio[2];
    if (pipe2(video, O_CLOEXEC) != 0) return false;
    if (pipe2(audio, O_CLOEXEC) != 0) {
        close(video[0]);
        close(video[1]);
        return false;
    }
    // Larger pipes: fewer wake-ups per frame (a frame at scale 2 is 4.9 MB).
    fcntl(video[1], F_SETPIPE_SZ, 1 << 20);
    fcntl(audio[1], F_SETPIPE_SZ, 1 << 20);
    pid_ = Spawn(ffmpeg_, EncodeArguments(options_, width, height, path_), video[0], audio[0]);
    close(video[0]);
    close(audio[0]);
    videoFd_ = video[1];
    audioFd_ = audio[1];
    fcntl(videoFd_, F_SETFL, O_NONBLOCK);
    fcntl(audioFd_, F_SETFL, O_NONBLOCK);
    return pid_ > 0;
}

// Writes the frame, and as much of the pending sound as ffmpeg takes, without
// ever blocking on one pipe while ffmpeg waits for the other.
bool FfmpegSink::Pump(const uint8_t* video, size_t length)
{
    while (length > 0) {
        const bool audioWaiting = audioDone_ < audioPending_.size();
        pollfd fds[2] = {{videoFd_, POLLOUT, 0}, {audioWaiting ? audioFd_ : -1, POLLOUT, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
        if (fds[1].revents & (POLLERR | POLLHUP)) return false;
        if (fds[1].revents & POLLOUT) {
            const ssize_t n = write(audioFd_, audioPending_.data() + audioDone_, audioPending_.size() - audioDone_);
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (n > 0) audioDone_ += static_cast<size_t>(n);
        }
        if (fds[0].revents & POLLOUT) {
            const ssize_t n = write(videoFd_, video, length);
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (n > 0) {
                video += n;
                length -= static_cast<size_t>(n);
            }
        }
    }
    if (audioDone_ == audioPending_.size()) {
        audioPending_.clear();
        audioDone_ = 0;
    }
    return true;
}

bool FfmpegSink::Frame(int64_t /*index*/, const uint32_t* pixels, int width, int height, const int16_t* samples,
                       int sampleFrames)
{
    if (failed_) return false;
    if (pid_ < 0 && !Start(width, height)) {
        failed_ = true;
        return false;
    }
    const double t0 = Now();
    const int k = options_.scale;
    const uint32_t* frame = pixels;
    if (k > 1) {
        const size_t outWidth = static_cast<size_t>(width) * k;
        scaled_.resize(outWidth * height * k);
        for (int y = 0; y < height; ++y) {
            uint32_t* row = scaled_.data() + static_cast<size_t>(y) * k * outWidth;
            const uint32_t* in = pixels + static_cast<size_t>(y) * width;
            for (int x = 0; x < width; ++x)
                for (int i = 0; i < k; ++i) row[static_cast<size_t>(x) * k + i] = in[x];
            for (int i = 1; i < k; ++i) std::memcpy(row + i * outWidth, row, outWidth * 4);
        }
        frame = scaled_.data();
    }
    const double t1 = Now();
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
    audioPending_.insert(audioPending_.end(), bytes, bytes + static_cast<size_t>(sampleFrames) * 4);
    const size_t frameBytes = static_cast<size_t>(width) * k * height * k * 4;
    if (!Pump(reinterpret_cast<const uint8_t*>(frame), frameBytes)) failed_ = true;
    const double t2 = Now();
    scaleSeconds += t1 - t0;
    pipeSeconds += t2 - t1;
    return !failed_;
}

bool FfmpegSink::Finish()
{
    if (pid_ < 0) return false;
    close(videoFd_);
    videoFd_ = -1;
    // The rest of the sound, blocking now that no frame can be waited for.
    fcntl(audioFd_, F_SETFL, 0);
    bool ok = !failed_;
    while (ok && audioDone_ < audioPending_.size()) {
        const ssize_t n = write(audioFd_, audioPending_.data() + audioDone_, audioPending_.size() - audioDone_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else audioDone_ += static_cast<size_t>(n);
    }
    close(audioFd_);
    audioFd_ = -1;
    const bool exited = Wait(pid_);
    pid_ = -1;
    return ok && exited;
}
