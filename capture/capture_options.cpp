#include "capture/capture_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "platform/platform.h"

namespace {

const char* const HELP =
    "usage: quillon-capture OUT.(mp4|mkv|webm|gif) [options]\n"
    "\n"
    "Plays the presentation on a scripted clock, frame by frame, and writes\n"
    "every frame it shows and the sound it plays as a video (through ffmpeg).\n"
    "\n"
    "Without a script it takes the tour: page 1 is revealed and held for 3\n"
    "seconds, a right click for each following page, each held likewise, then\n"
    "the left click and the closing, until the presentation ends by itself.\n"
    "\n"
    "options:\n"
    "  --at TIME:ACTION  at TIME seconds (e.g. 4.5) give ACTION: rmb (right\n"
    "                    button: next page), lmb (left button: closing) or\n"
    "                    space (frame counter on/off); repeatable; replaces\n"
    "                    the tour\n"
    "  --script FILE     the same, one TIME ACTION per line (# comments)\n"
    "  --seconds N       stop after N seconds of presentation (default: when\n"
    "                    the presentation ends, at most 600)\n"
    "  --fps N           frames per second, 1..250 (default 60; 50 for .gif,\n"
    "                    whose frame delays count hundredths); the clock steps\n"
    "                    so that frames fall exactly on that grid (16, 17, 17 ms\n"
    "                    for 60)\n"
    "  --scale K         enlarge K times, nearest neighbour, 1..8 (default 2;\n"
    "                    1 for .gif, whose size grows with every pixel: a\n"
    "                    6-second GIF is about 1.6 MB at 1, 2.8 MB at 2)\n"
    "  --lossless        FFV1 and FLAC in Matroska (OUT.mkv)\n"
    "  --quiet           no progress line and no closing line (the closing\n"
    "                    line, always printed otherwise, names the file, its\n"
    "                    length and size)\n"
    "  --help, --version\n"
    "\n"
    "encodings: .mp4 H.264 (yuv420p) and AAC; .mkv the same in Matroska, or\n"
    "lossless; .webm VP9 and Opus; .gif one optimised palette, no sound.\n"
    "Exit code 0 when written, 1 when the presentation or ffmpeg failed, 2 on\n"
    "a wrong option, a missing ffmpeg or an output that cannot be written.\n";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool ParseWhole(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Plain decimal seconds: digits with an optional fraction, nothing else.
bool ParseSeconds(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".")
        return false;
    errno = 0;
    value = std::strtod(text.c_str(), nullptr);
    return errno == 0 && std::isfinite(value);
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return "";
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

} // namespace

const char* CaptureUsageLine() { return "usage: quillon-capture OUT.(mp4|mkv|webm|gif) [options] (--help tells more)"; }

const char* CaptureHelp() { return HELP; }

bool ParseScriptEvent(const std::string& text, ScriptEvent& event) {
    const std::string t = Trim(text);
    const size_t split = t.find_first_of(": \t");
    if (split == std::string::npos)
        return false;
    const std::string time = t.substr(0, split);
    const std::string action = Trim(t.substr(split + 1));
    double seconds = 0.0;
    if (!ParseSeconds(time, seconds) || seconds > LONGEST_SECONDS)
        return false;
    event.ms = static_cast<uint32_t>(std::llround(seconds * 1000.0));
    if (action == "rmb") {
        event.message = WM_RBUTTONDOWN;
        event.wParam = 0;
    } else if (action == "lmb") {
        event.message = WM_LBUTTONDOWN;
        event.wParam = 0;
    } else if (action == "space") {
        event.message = WM_KEYDOWN;
        event.wParam = VK_SPACE;
    } else {
        return false;
    }
    return true;
}

ParseResult ParseCaptureArguments(const std::vector<std::string>& args, CaptureOptions& options, std::string& error) {
    const std::string me = "quillon-capture: ";
    bool fpsGiven = false;
    bool scaleGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h")
            return ParseResult::Help;
        if (arg == "--version")
            return ParseResult::Version;
        if (arg == "--lossless") {
            options.lossless = true;
            continue;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        const bool takesValue =
            arg == "--at" || arg == "--script" || arg == "--seconds" || arg == "--fps" || arg == "--scale";
        if (takesValue) {
            if (i + 1 >= args.size()) {
                error = me + arg + " needs a value";
                return ParseResult::Error;
            }
            const std::string& value = args[++i];
            if (arg == "--fps") {
                if (!ParseWhole(value, 1, MAX_FPS, options.fps)) {
                    error = me + "--fps wants a whole number from 1 to " + std::to_string(MAX_FPS) + ": " + value;
                    return ParseResult::Error;
                }
                fpsGiven = true;
            } else if (arg == "--scale") {
                if (!ParseWhole(value, 1, MAX_SCALE, options.scale)) {
                    error = me + "--scale wants a whole number from 1 to " + std::to_string(MAX_SCALE) + ": " + value;
                    return ParseResult::Error;
                }
                scaleGiven = true;
            } else if (arg == "--seconds") {
                if (!ParseSeconds(value, options.seconds) || options.seconds <= 0.0 ||
                    options.seconds > LONGEST_SECONDS) {
                    error = me + "--seconds wants a number of seconds above 0, at most 600: " + value;
                    return ParseResult::Error;
                }
            } else if (arg == "--at") {
                ScriptEvent event{};
                if (!ParseScriptEvent(value, event)) {
                    error = me + "--at wants TIME:ACTION (seconds, then rmb, lmb or space): " + value;
                    return ParseResult::Error;
                }
                options.events.push_back(event);
                options.tour = false;
            } else { // --script
                std::ifstream in(value);
                if (!in) {
                    error = me + "cannot read script " + value;
                    return ParseResult::Error;
                }
                std::string line;
                for (int number = 1; std::getline(in, line); ++number) {
                    const std::string content = Trim(line.substr(0, line.find('#')));
                    if (content.empty())
                        continue;
                    ScriptEvent event{};
                    if (!ParseScriptEvent(content, event)) {
                        error = me + value + ":" + std::to_string(number) +
                                ": wants TIME ACTION (seconds, then rmb, lmb or space): " + content;
                        return ParseResult::Error;
                    }
                    options.events.push_back(event);
                }
                options.tour = false;
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            error = me + "unknown option: " + arg;
            return ParseResult::Error;
        }
        if (!options.output.empty()) {
            error = me + "one output file only: " + arg;
            return ParseResult::Error;
        }
        options.output = arg;
    }
    if (options.output.empty()) {
        error = me + "name the output file (OUT.mp4, OUT.mkv, OUT.webm or OUT.gif)";
        return ParseResult::Error;
    }
    if (EndsWith(options.output, ".mp4")) {
        options.format = VideoFormat::Mp4;
    } else if (EndsWith(options.output, ".mkv")) {
        options.format = VideoFormat::Mkv;
    } else if (EndsWith(options.output, ".webm")) {
        options.format = VideoFormat::Webm;
    } else if (EndsWith(options.output, ".gif")) {
        options.format = VideoFormat::Gif;
    } else {
        error = me + "the output must end in .mp4, .mkv, .webm or .gif: " + options.output;
        return ParseResult::Error;
    }
    if (options.lossless && options.format != VideoFormat::Mkv) {
        error = me + "--lossless writes FFV1 and FLAC in Matroska: name the output .mkv";
        return ParseResult::Error;
    }
    if (options.format == VideoFormat::Gif && !fpsGiven)
        options.fps = 50;
    // A GIF has no video compression: twice the width is four times the file.
    if (options.format == VideoFormat::Gif && !scaleGiven)
        options.scale = 1;
    std::stable_sort(options.events.begin(), options.events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.ms < b.ms; });
    return ParseResult::Run;
}
