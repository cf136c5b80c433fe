// The scene's state: the flags the window procedure sets and the frame
// reads, the transition and animation state of the frame composition, the
// reveal table, the border stars and the frame counter. One instance, on the
// main thread only.
#pragma once

#include <cstdint>

#include "display/layout.h"

constexpr int STAR_COUNT = 15; // in each strip

struct RevealLine {
    uint32_t step; // index into revealOffsets, 0..97
    uint8_t delay; // ticks the line still waits before it moves
};

struct Star {
    int32_t x;
    int32_t y;
    int32_t speed;
    int32_t colour; // 0x00gggggg
};

struct Scene {
    // Set by the window procedure, read by the frame.
    bool showFps = false;
    bool quitRequested = false;
    bool pageSliding = false;
    uint8_t targetPage = 1; // 1..4
    bool revealing = true;
    bool exitNow = false;
    uint8_t backgroundFrames = 0;

    // Frame composition.
    bool nextPageAfterSlide = true;
    int slideLine = PAGE_HEIGHT;              // next VIEWPAGE row of the downward sweep; 384: no wipe
    int slideLineBottom = 0;                  // next VIEWPAGE row of the upward sweep
    int aniFrameX = 0;                        // 0, 128, ..., 4992
    int aniInset = ANI_FRAME_HEIGHT / 2 - 1;  // rows hidden at top and bottom while the box opens
    int aniBandTop = 0;                       // ANI rows cleared from the top, 0..32
    int aniBandBottom = ANI_FRAME_HEIGHT - 1; // next ANI row to clear from the bottom
    uint32_t transitionTime = 0;
    uint32_t aniTime = 0;
    RevealLine revealLines[PAGE_LINES] = {};

    // Border stars and frame counter.
    Star topStars[STAR_COUNT] = {};
    Star bottomStars[STAR_COUNT] = {};
    uint32_t frameCount = 0;
    uint32_t fpsTime = 0;
    uint32_t fps = 0;
};

extern Scene scene;

// Back to the values at program start (tests).
void ResetScene();
