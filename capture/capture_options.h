// The command line of quillon-capture: the output, its encoding, the frame
// grid and the input script that plays the presentation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class VideoFormat { Mp4, Mkv, Webm, Gif };

// One scripted input: the message the window receives once the presentation
// clock reaches `ms` (milliseconds after the first frame).
struct ScriptEvent {
    uint32_t ms;
    uint32_t message;
    uintptr_t wParam;
};

struct CaptureOptions {
    std::string output;
    VideoFormat format = VideoFormat::Mp4;
    bool lossless = false;
    bool quiet = false;
    int fps = 60;
    int scale = 2;
    // Presentation seconds to capture; 0: until the program ends by itself
    // (at most LONGEST_SECONDS).
    double seconds = 0.0;
    // No --at or --script: the built-in tour plays the presentation.
    bool tour = true;
    std::vector<ScriptEvent> events; // sorted by time, stable
};

constexpr double LONGEST_SECONDS = 600.0;
constexpr int MAX_FPS = 250; // enough for any screen; the pipe pacing is tested up to it
constexpr int MAX_SCALE = 8;

enum class ParseResult { Run, Help, Version, Error };

// Reads the arguments (without the program name). On Error, `error` holds
// the message for stderr (one line, no trailing newline).
ParseResult ParseCaptureArguments(const std::vector<std::string>& args, CaptureOptions& options, std::string& error);

// "TIME:ACTION" or "TIME ACTION": seconds (decimal), then rmb, lmb or space.
bool ParseScriptEvent(const std::string& text, ScriptEvent& event);

const char* CaptureUsageLine();
const char* CaptureHelp();
