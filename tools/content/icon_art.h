// The program's icon: a golden ring with a quill stroke for a tail (a "Q"),
// on a rounded purple tile shaded like the screen's bars. Drawn at any size
// from a settings file; written as a Windows .ico (32x32 and 48x48, 32-bit)
// and as PNG pictures for the Linux desktop entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct IconParams {
    uint32_t tileEdge = 0, tileCentre = 0; // tile colour at its top/bottom edge and across its middle
    uint32_t ringTop = 0, ringBottom = 0;  // ring and stroke colour, top to bottom
    uint32_t outline = 0;                  // thin dark line around ring and stroke
    double corner = 0;                     // tile corner radius, fraction of the side
    double ringX = 0, ringY = 0;           // ring centre, fractions of the side
    double ringOuter = 0, ringInner = 0;   // ring radii, fractions of the side
    double tailFromX = 0, tailFromY = 0, tailToX = 0, tailToY = 0; // the stroke
    double tailWidthFrom = 0, tailWidthTo = 0;                     // its width at both ends
};

// False with "line N: ..." in `error` on an unknown, missing or bad setting.
bool ParseIconParams(const std::string& source, IconParams& params, std::string& error);

// size x size pixels, 0xAARRGGBB, top row first, edges antialiased.
std::vector<uint32_t> RenderIcon(const IconParams& params, int size);

// An .ico holding one 32-bit image (BITMAPINFOHEADER, AND mask) per size,
// each drawn by `picture` (size x size pixels as RenderIcon gives them).
using IconPicture = std::function<std::vector<uint32_t>(int size)>;
std::vector<uint8_t> EncodeIco(const IconPicture& picture, const std::vector<int>& sizes);
std::vector<uint8_t> EncodeIco(const IconParams& params, const std::vector<int>& sizes);
// A PNG (RGBA, stored deflate blocks) of one size.
std::vector<uint8_t> EncodePng(const std::vector<uint32_t>& argb, int size);

// Structural checks of the written files: "" when the .ico holds exactly
// `sizes` as 32-bit images, or the PNG is a size x size RGBA picture.
std::string CheckIco(const std::vector<uint8_t>& ico, const std::vector<int>& sizes);
std::string CheckPng(const std::vector<uint8_t>& png, int size);
