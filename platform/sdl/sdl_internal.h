// State shared by the SDL backend's files: the SDL window behind the one
// Window, the renderer and streaming texture that present the primary, and
// the reason of the last failing window or display operation, which the
// message box prints on its second line.
#pragma once

#include <SDL.h>

#include <string>

struct SdlVideo {
    bool initialised = false;
    SDL_Window* window = nullptr;     // the SDL window of the one Window
    bool destroyPending = false;      // destroyed while the renderer still lived
    SDL_Renderer* renderer = nullptr; // from SetCooperativeLevel to DdRelease
    SDL_Texture* texture = nullptr;   // display-mode sized, from SetDisplayMode
    SDL_Texture* enlarged = nullptr;  // the picture at a whole factor, for a fractional screen scale
    int enlargedFactor = 0;
    bool deviceReset = false; // SDL_RENDER_DEVICE_RESET seen: renderer must be rebuilt
    std::string reason;       // last failure, "" when none
};

SdlVideo& Video();

// Initialises SDL's video subsystem once; false (reason kept) when there is
// no display.
bool SdlEnsureVideo();
// Keeps `what: SDL_GetError()` as the reason of the current failure.
void SdlKeepReason(const char* what);
// Marks every primary surface lost (a render device or target reset).
void SdlMarkPrimaryLost();
// Destroys the renderer and texture (and a window whose destruction waited).
void SdlReleaseRenderer();

// Holds the process's stderr on /dev/null while it lives. The sound and
// display libraries under SDL (ALSA, PulseAudio, Wayland) print their own
// lines when they find no device; the backend reports such a failure once,
// in its own words, so their noise is kept out of the user's terminal.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

// Back to the state of a fresh process, for tests: the window, renderer and
// SDL's video subsystem are closed, the queue and every surface, bitmap and
// context forgotten. Audio devices are not touched.
void SdlBackendReset();
void SdlResetDisplay(); // the display part of it
