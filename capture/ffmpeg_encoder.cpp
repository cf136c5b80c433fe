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

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::vector<std::string> Base() { return {"-hide_banner", "-loglevel", "error", "-nostdin", "-y"}; }

void Append(std::vector<std::string>& to, std::initializer_list<std::string> items) {
    to.insert(to.end(), items.begin(), items.end());
}

// Starts ffmpeg with `stdinFd` as its standard input and `audioFd` as its
// descriptor 3 (-1: none). -1 when it could not start.
pid_t Spawn(const std::string& ffmpeg, const std::vector<std::string>& arguments, int stdinFd, int audioFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ffmpeg.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // The child: only async-signal-safe calls until exec.
    if (stdinFd >= 0) {
        dup2(stdinFd, 0);
    } else {
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, 0);
    }
    if (audioFd >= 0)
        dup2(audioFd, 3);
    // dup2 onto itself keeps close-on-exec: clear it on the two kept ends.
    fcntl(0, F_SETFD, 0);
    if (audioFd >= 0)
        fcntl(3, F_SETFD, 0);
    const int keep = audioFd >= 0 ? 4 : 3;
    for (int fd = keep; fd < 1024; ++fd)
        close(fd);
    execv(argv[0], argv.data());
    _exit(127);
}

bool Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::string FindFfmpeg() {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string dir = rest.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/ffmpeg";
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

std::vector<std::string> EncodeArguments(const CaptureOptions& options, int width, int height,
                                         const std::string& path) {
    std::vector<std::string> a = Base();
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    // Whole-pixel enlargement (swscale's neighbour filter copies each pixel
    // into a K x K block exactly at whole factors), in the same pass as the
    // colour conversion where there is one.
    const std::string k = std::to_string(options.scale);
    const std::string enlarge = "scale=iw*" + k + ":ih*" + k + ":flags=neighbor";
    const std::string fps = std::to_string(options.fps);
    // Input order: the frames on stdin, the sound on descriptor 3. The
    // queues let one input run ahead of the other while the encoder buffers.
    Append(a, {"-thread_queue_size", "64", "-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt",
               "bgr0", "-video_size", size, "-framerate", fps, "-i", "pipe:0"});
    // The sound has no header to look into: ffmpeg must not wait for seconds
    // of it before it starts reading frames, which only come with the sound.
    Append(a, {"-thread_queue_size", "512", "-probesize", "32", "-analyzeduration", "0", "-f", "s16le", "-ar",
               std::to_string(CAPTURE_RATE), "-ac", "2", "-i", "pipe:3"});
    Append(a, {"-map", "0:v", "-map", "1:a"});
    const bool gifStage = options.format == VideoFormat::Gif;
    if (options.lossless || gifStage) {
        // Every pixel and every sample as they were: RGB in FFV1, FLAC.
        Append(a, {"-vf", enlarge, "-c:v", "ffv1", "-level", "3", "-g", "1", "-c:a", "flac", "-f", "matroska", path});
        return a;
    }
    // BT.709 limited range, chroma taken from whole enlarged pixels: at an
    // even scale every 2x2 chroma block lies inside one pixel, so colour
    // edges stay sharp (at scale 1 they bleed by a pixel).
    const std::string colour = enlarge + ":out_color_matrix=bt709:out_range=tv,format=yuv420p";
    const std::initializer_list<std::string> tags = {"-colorspace", "bt709", "-color_primaries", "bt709",
                                                     "-color_trc",  "bt709", "-color_range",     "tv"};
    if (options.format == VideoFormat::Webm) {
        Append(a, {"-vf", colour, "-c:v", "libvpx-vp9", "-crf", "24", "-b:v", "0", "-deadline", "realtime", "-cpu-used",
                   "8", "-row-mt", "1", "-c:a", "libopus", "-b:a", "160k"});
        Append(a, tags);
        Append(a, {"-f", "webm", path});
        return a;
    }
    // H.264 for flat colours and sharp edges: the animation tuning (more
    // reference frames, deblocking turned down) and a low CRF. superfast
    // keeps a busy two-core machine ahead of the presentation (about 0.5
    // processor seconds per second of video at scale 2, against 0.7 for
    // veryfast) for files about twice as large (2.6 Mbit/s).
    Append(a, {"-vf", colour, "-c:v", "libx264", "-preset", "superfast", "-tune", "animation", "-crf", "16", "-c:a",
               "aac", "-b:a", "192k"});
    Append(a, tags);
    if (options.format == VideoFormat::Mp4) {
        Append(a, {"-movflags", "+faststart", "-f", "mp4", path});
    } else {
        Append(a, {"-f", "matroska", path});
    }
    return a;
}

std::vector<std::string> PaletteArguments(const std::string& source, const std::string& palette) {
    std::vector<std::string> a = Base();
    Append(a,
           {"-i", source, "-vf", "palettegen=max_colors=256:stats_mode=full", "-f", "image2", "-update", "1", palette});
    return a;
}

std::vector<std::string> GifArguments(const std::string& source, const std::string& palette, const std::string& path) {
    std::vector<std::string> a = Base();
    // No dithering: the picture has few colours and flat areas. Only the
    // rectangle that changed is stored per frame.
    Append(a, {"-i", source, "-i", palette, "-lavfi", "[0:v][1:v]paletteuse=dither=none:diff_mode=rectangle", "-an",
               "-loop", "0", "-f", "gif", path});
    return a;
}

bool RunFfmpeg(const std::string& ffmpeg, const std::vector<std::string>& arguments) {
    const pid_t pid = Spawn(ffmpeg, arguments, -1, -1);
    return pid > 0 && Wait(pid);
}

FfmpegSink::FfmpegSink(std::string ffmpeg, const CaptureOptions& options, std::string path)
    : ffmpeg_(std::move(ffmpeg)), options_(options), path_(std::move(path)) {}

// What Finish did not end (a capture cut short): the pipes close and
// ffmpeg is stopped, so no half-written file is left growing.
FfmpegSink::~FfmpegSink() {
    if (videoFd_ >= 0)
        close(videoFd_);
    if (audioFd_ >= 0)
        close(audioFd_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        Wait(pid_);
    }
}

bool FfmpegSink::Start(int width, int height) {
    int video[2];
    int audio[2];
    if (pipe2(video, O_CLOEXEC) != 0)
        return false;
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

namespace {

// Writes what ffmpeg takes of `pending` without blocking; false when the
// pipe is broken.
bool WriteSome(int fd, Pending& pending) {
    const ssize_t n = write(fd, pending.bytes.data() + pending.done, pending.Left());
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    pending.done += static_cast<size_t>(n);
    if (pending.done == pending.bytes.size()) {
        pending.bytes.clear();
        pending.done = 0;
    } else if (pending.done > pending.bytes.size() / 2) {
        pending.bytes.erase(pending.bytes.begin(), pending.bytes.begin() + static_cast<ptrdiff_t>(pending.done));
        pending.done = 0;
    }
    return true;
}

} // namespace

// Feeds both pipes as ffmpeg takes them until no more than `videoLeft` bytes
// of frames wait. Frames may wait here because ffmpeg, while it opens its
// inputs, reads a whole packet of sound (4096 bytes) before it takes more
// than the first frame, and that much sound comes only with further frames
// (six at 250 fps).
bool FfmpegSink::Pump(size_t videoLeft) {
    while (video_.Left() > videoLeft) {
        pollfd fds[2] = {{videoFd_, POLLOUT, 0}, {audio_.Left() > 0 ? audioFd_ : -1, POLLOUT, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if ((fds[0].revents | fds[1].revents) & (POLLERR | POLLHUP | POLLNVAL))
            return false;
        if ((fds[1].revents & POLLOUT) && !WriteSome(audioFd_, audio_))
            return false;
        if ((fds[0].revents & POLLOUT) && !WriteSome(videoFd_, video_))
            return false;
    }
    // Sound that fits goes now; the rest with the next frame.
    return audio_.Left() == 0 || WriteSome(audioFd_, audio_);
}

bool FfmpegSink::Frame(int64_t /*index*/, const uint32_t* pixels, int width, int height, const int16_t* samples,
                       int sampleFrames) {
    if (failed_)
        return false;
    if (pid_ < 0 && !Start(width, height)) {
        failed_ = true;
        return false;
    }
    const double t1 = Now();
    const auto* sound = reinterpret_cast<const uint8_t*>(samples);
    audio_.bytes.insert(audio_.bytes.end(), sound, sound + static_cast<size_t>(sampleFrames) * 4);
    const auto* picture = reinterpret_cast<const uint8_t*>(pixels);
    const size_t frameBytes = static_cast<size_t>(width) * height * 4;
    video_.bytes.insert(video_.bytes.end(), picture, picture + frameBytes);
    if (!Pump(MAX_WAITING_FRAMES * frameBytes))
        failed_ = true;
    pipeSeconds += Now() - t1;
    return !failed_;
}

bool FfmpegSink::Finish() {
    if (pid_ < 0)
        return false;
    // The sound ends first: ffmpeg takes the last, partial packet of sound
    // only at its end of file, and may hold frames back until it has it.
    bool ok = !failed_;
    while (ok && audio_.Left() > 0)
        ok = Pump(video_.Left() > 0 ? video_.Left() - 1 : 0);
    close(audioFd_);
    audioFd_ = -1;
    ok = ok && Pump(0);
    close(videoFd_);
    videoFd_ = -1;
    const bool exited = Wait(pid_);
    pid_ = -1;
    return ok && exited;
}
