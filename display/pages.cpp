// Background bars, the rendered text pages, the page copy into view and the
// reset of the line reveal. Run at display set-up (and again after a display
// rebuild); CopyPage also when a page wipe ends.
#include "display/pages.h"

#include <cstddef>

#include "display/display_device.h"
#include "display/scene.h"
#include "platform/platform.h"

const uint8_t barColours[BAR_COUNT][3] = {
    {1, 0, 4},    {2, 1, 9},    {4, 2, 14},   {5, 3, 19},   {6, 4, 24},   {8, 5, 29},   {9, 6, 33},   {10, 7, 38},
    {12, 8, 43},  {13, 9, 48},  {14, 10, 53}, {16, 11, 58}, {22, 12, 60}, {28, 13, 63}, {34, 14, 66}, {40, 15, 69},
    {46, 16, 72}, {52, 17, 75}, {58, 18, 78}, {64, 19, 81}, {70, 20, 84}, {76, 21, 87}, {82, 22, 90},
};

namespace {

constexpr std::array<std::array<uint8_t, 3>, PAGE_HEIGHT> MakeTextGradient() {
    std::array<std::array<uint8_t, 3>, PAGE_HEIGHT> table{};
    for (int r = 0; r < PAGE_HEIGHT; ++r) {
        int red, green;
        if (r <= 190) {
            red = 247 + (r + 1) / 64;
            green = 89 + 3 * (r + 1) / 8;
        } else {
            red = 250 + (r - 191) / 48;
            green = 161 + 73 * (r - 191) / 192;
        }
        table[r] = {static_cast<uint8_t>(red), static_cast<uint8_t>(green), 0};
    }
    return table;
}

} // namespace

const std::array<std::array<uint8_t, 3>, PAGE_HEIGHT> textGradient = MakeTextGradient();

namespace {

// The gradient as ready pixels, for the colour pass.
constexpr std::array<uint32_t, PAGE_HEIGHT> MakeGradientPixels() {
    constexpr auto gradient = MakeTextGradient();
    std::array<uint32_t, PAGE_HEIGHT> pixels{};
    for (int r = 0; r < PAGE_HEIGHT; ++r)
        pixels[r] = RgbPixel(gradient[r]);
    return pixels;
}
constexpr std::array<uint32_t, PAGE_HEIGHT> gradientPixels = MakeGradientPixels();

static_assert(gradientPixels[0] == 0xF75900);
static_assert(gradientPixels[191] == 0xFAA100);
static_assert(gradientPixels[383] == 0xFEEA00);

bool FillRow(Surface* surface, int row, uint32_t colour) {
    const Rect rect{0, row, PAGE_WIDTH, row + 1};
    return SurfaceColorFill(surface, &rect, colour) == RESULT_OK;
}

} // namespace

bool DrawBackground() {
    for (int k = 0; k < BAR_COUNT; ++k) {
        const uint32_t colour = RgbPixel(barColours[k]);
        if (!FillRow(display.background, BAR_TOP_ROW + k, colour))
            return false;
        if (!FillRow(display.background, SCREEN_HEIGHT - 1 - BAR_TOP_ROW - k, colour))
            return false;
    }
    const Rect middle{0, MIDDLE_TOP_ROW, PAGE_WIDTH, MIDDLE_BOTTOM_ROW + 1};
    return SurfaceColorFill(display.background, &middle, MIDDLE_COLOUR) == RESULT_OK;
}

bool FindReleaseText() {
    display.text = nullptr;
    ResourceBytes text{};
    if (!OsFindResource(OsModuleHandle(), RELEASE_TEXT_RESOURCE, RT_RCDATA_TYPE, &text) || text.data == nullptr ||
        text.size != RELEASE_TEXT_SIZE)
        return false;
    display.text = text.data;
    return true;
}

bool RenderPages() {
    constexpr int linesPerPage = PAGE_HEIGHT / GLYPH_HEIGHT;
    const uint8_t* releaseText = display.text;
    if (releaseText == nullptr)
        return false;
    int t = 0;
    for (int p = 0; p < PAGE_COUNT; ++p) {
        for (int l = 0; l < linesPerPage; ++l) {
            for (int c = 0; c < TEXT_COLUMNS; ++c, ++t) {
                const int sourceX = GlyphSourceX(releaseText[t]);
                const Rect cell{sourceX, 0, sourceX + GLYPH_WIDTH, GLYPH_HEIGHT};
                if (SurfaceBltFast(display.page, GLYPH_WIDTH * c, PAGE_HEIGHT * p + GLYPH_HEIGHT * l, display.font,
                                   &cell, DDBLTFAST_WAIT | DDBLTFAST_NOCOLORKEY) != RESULT_OK)
                    return false;
            }
        }
    }

    SurfaceDesc desc{};
    if (SurfaceLock(display.page, &desc) != RESULT_OK)
        return false;
    // A lock that reports less than one row of pixels per pitch (or no
    // memory) cannot be walked without writing outside the surface: give the
    // lock back and fail like any other surface operation.
    if (desc.surface == nullptr || desc.pitch < PAGE_WIDTH * 4) {
        SurfaceUnlock(display.page);
        return false;
    }
    // Rows are addressed by the pitch in bytes, so padding beyond column 639
    // is skipped and never written.
    auto* base = static_cast<uint8_t*>(desc.surface);
    for (int row = 0; row < PAGE_COUNT * PAGE_HEIGHT; ++row) {
        auto* pixel = reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(row) * desc.pitch);
        const uint32_t tint = gradientPixels[row % PAGE_HEIGHT];
        // A select rather than a branch, so the row loop vectorises. The
        // top byte of a 32-bit DirectDraw pixel is undefined (X8R8G8B8):
        // some drivers copy and fill with 0xFF there, so only the colour
        // bits say whether a glyph pixel is black.
        for (int x = 0; x < PAGE_WIDTH; ++x)
            pixel[x] = (pixel[x] & 0x00FFFFFFu) == 0 ? tint : pixel[x];
    }
    return SurfaceUnlock(display.page) == RESULT_OK;
}

bool CopyPage(int page) {
    const Rect rect{0, PAGE_HEIGHT * (page - 1), PAGE_WIDTH, PAGE_HEIGHT * page};
    if (SurfaceBltFast(display.viewpage, 0, 0, display.page, &rect, DDBLTFAST_WAIT | DDBLTFAST_NOCOLORKEY) != RESULT_OK)
        return false;
    if (scene.slideLine == PAGE_HEIGHT) {
        scene.slideLine = 0;
        scene.slideLineBottom = PAGE_HEIGHT - 1;
        ResetReveal();
    }
    return true;
}

void ResetReveal() {
    for (int i = 0; i < PAGE_LINES; ++i) {
        scene.revealLines[i].step = 0;
        scene.revealLines[i].delay = static_cast<uint8_t>(2 * i);
    }
}
