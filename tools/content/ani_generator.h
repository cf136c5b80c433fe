// The corner animation: a shaded, checkered ring that turns about its own
// axis while that axis wobbles round like a spinning plate, drawn into 40
// frames of 128x64 that loop without a jump. Everything that shapes it comes
// from a parameter file of `name = value` lines (`;` starts a comment).
#pragma once

#include <string>

#include "tools/writers/bmp_writer.h"

constexpr int ANI_FRAMES = 40;
constexpr int ANI_FRAME_WIDTH = 128;
constexpr int ANI_FRAME_HEIGHT = 64;

struct AniParams {
    double majorRadius = 0;      // ring radius, model units
    double minorRadius = 0;      // tube radius, model units (below majorRadius)
    int ringCells = 0;           // checker cells around the ring (even)
    int tubeCells = 0;           // checker cells around the tube (even)
    int spinCellsPerLoop = 0;    // ring cells the ring turns by in one loop (even, so the checker repeats)
    double wobbleDegrees = 0;    // tilt of the ring's axis, which circles once per loop
    double elevationDegrees = 0; // how far the viewer looks down on the ring
    double light[3] = {0, 0, 0}; // direction towards the light, view space (x right, y up, z to the viewer)
    double ambient = 0;          // light in the shadow, 0..1
    double specular = 0;         // weight of the highlight, 0..1
    double shininess = 0;        // highlight exponent
    uint32_t darkA = 0, baseA = 0, highlightA = 0; // first checker colour: shadow, lit, highlight
    uint32_t darkB = 0, baseB = 0, highlightB = 0; // second checker colour
    int supersample = 0;                           // subsamples per pixel side (1..8)
    double margin = 0;                             // pixels kept free around the widest frame
};

// Reads the parameter file. False with "line N: ..." (or the missing name)
// in `error` for an unknown name, a bad value, a value out of range, or a
// dark colour that is pure black (black is the transparent colour).
bool ParseAniParams(const std::string& source, AniParams& params, std::string& error);

// Renders the 5120x64 eight-bit strip: entry 0 black (transparent), then
// three ramps of 85 entries from shadow to highlight: 1 to 85 the first
// checker colour, 86 to 170 the blend of both (where two checks meet inside
// one pixel), 171 to 255 the second. Frame f shows the ring at phase f/40 of its loop, so frame 39
// leads into frame 0 like any frame into the next.
IndexedImage RenderAni(const AniParams& params);

// The rules of the frames: every frame drawn, rows 31 and 32 (all that
// shows when the box starts to open) drawn in every frame, the picture
// inside the 128x64 box away from its edges, no two neighbouring frames the
// same, and the ring's outline moving from frame 39 to frame 0 by no more
// than twice a typical step (no jump at the loop). "" when they hold.
std::string CheckAniFrames(const IndexedImage& ani);
