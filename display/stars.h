// Border stars and the frames-per-second counter.
#pragma once

#include "display/scene.h"

// Four draws of the standard generator: x, y, speed, grey.
void RenewStar(Star& star, bool top);
bool UpdateStars();
void MeasureFps();
bool DrawFpsCounter();
