// The DirectDraw device and the eight surfaces of the scene.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct Display {
    // The window the display serves; set by InitDisplay and kept by
    // ReleaseDisplay, as a rebuild and the error exit still need it.
    Window* window = nullptr;
    DirectDraw* dd = nullptr;
    Surface* primary = nullptr;
    Surface* backbuf = nullptr;    // belongs to primary's flip chain
    Surface* viewpage = nullptr;   // 640x384, the page in view
    Surface* ani = nullptr;        // 5120x64, black transparent
    Surface* background = nullptr; // 640x480
    Surface* fps = nullptr;        // 170x8, black transparent
    Surface* font = nullptr;       // 784x12
    Surface* page = nullptr;       // 640x1536, the four pages
    // The release text the pages are rendered from (the TEXT resource,
    // RELEASE_TEXT_SIZE bytes), found at set-up; not owned.
    const uint8_t* text = nullptr;
};

extern Display display;

// Takes the screen for `window`, creates and fills every surface, puts page
// targetPage into view and re-applies a wipe or closing in progress. On
// failure it has gone through ErrorExit (display released, window
// destroyed): false.
bool InitDisplay(Window* window);
// Releases every surface, then the device. Does nothing when nothing is held.
void ReleaseDisplay();
// Answer to a lost primary: restore it, or release and rebuild everything
// for the same window.
bool RestoreDisplay();
// Fills the whole surface with 0; "Could not clean the surface!" on failure.
bool ClearSurface(Surface* surface);
// Copies the bitmap resource `name` into the surface at the surface's size.
// Reports nothing; leaks nothing on any path.
bool LoadBitmapToSurface(Surface* surface, const char* name);
// Forgets every reference, the window's too, without releasing anything,
// for tests that have just reset the platform backend (which freed the
// objects).
void ResetDisplay();
