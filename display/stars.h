// Border stars and the frames-per-second counter.
#pragma once

#include "display/scene.h"

// Four draws of the standard generator, in this order: x, y, speed, grey.
// A top star gets x -49..0, y 0..23; a bottom star x 640..689, y 456..479;
// both speed 1..5 and colour g * 0x010101 with g 10..254.
void RenewStar(Star& star, bool top);
// Moves and draws the 15 top stars (rightwards) and 15 bottom stars
// (leftwards) on BACKBUF, one pixel each; a star leaving the screen is
// renewed, or parked once quitRequested is set, which also speeds every
// drawn star up by one per frame. False after "STAR->BACK copy error!".
bool UpdateStars();
// Counts the frame; more than 1000 ms after the last measurement, sets fps
// to the frames per second since then (rounded down).
void MeasureFps();
// Draws fps as three digits at (1, 1) of BACKBUF while showFps is set,
// quitRequested is clear and fps is below 1000. False after
// "GFX->FPS copy error!" or "FPS->BACK copy error!".
bool DrawFpsCounter();
