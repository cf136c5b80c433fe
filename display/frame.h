// Composition of every frame: wipe, reveal, animation, counter, stars, flip.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t transitionInterval = 5; // ms between wipe and reveal steps
constexpr uint32_t aniInterval = 20;       // ms between animation steps
constexpr int REVEAL_STEPS = 98;

// Horizontal offset of a revealing line at each step: 632 at step 0, then
// down by 8 per step to 200 (step 54), by 7 to 130, 6 to 70, 5 to 40, 4 to
// 24, 3 to 12, 2 to 6 and 1 to 0 at step 97.
extern const std::array<uint16_t, REVEAL_STEPS> revealOffsets;

// Builds one picture in BACKBUF and flips it. False after a failure, which
// has gone through ErrorExit; the frame is then abandoned without a flip.
// Each tick (5 ms transition, 20 ms animation) is taken at most once per
// frame, when the unsigned 32-bit difference to its last clock reading is
// strictly greater than its interval; its new reference is a fresh reading.
bool ComposeFrame();
