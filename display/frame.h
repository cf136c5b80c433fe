// Composition of every frame: wipe, reveal, animation, counter, stars, flip.
#pragma once

#include <cstdint>

constexpr uint32_t transitionInterval = 5;
constexpr uint32_t aniInterval = 20;

extern const uint16_t revealOffsets[98];

// Builds one picture in BACKBUF and flips it. False after a failure, which
// has gone through ErrorExit; the frame is then abandoned without a flip.
bool ComposeFrame();
