// ComposeFrame: one picture in BACKBUF per call, then the flip. The only
// place where time moves the scene: the page wipe, the line reveal, the
// animation with its opening and closing, then the counter and the stars.
#include "display/frame.h"

#include "display/display_device.h"
#include "display/pages.h"
#include "display/scene.h"
#include "display/error_exit.h"
#include "display/layout.h"
#include "display/stars.h"
#include "platform/platform.h"

namespace {

constexpr std::array<uint16_t, REVEAL_STEPS> MakeRevealOffsets() {
    // Decrement for each entry, by the index where it starts to apply.
    struct Piece {
        int firstIndex;
        int decrement;
    };
    constexpr Piece pieces[] = {{1, 8}, {55, 7}, {65, 6}, {75, 5}, {81, 4}, {85, 3}, {89, 2}, {92, 1}};
    std::array<uint16_t, REVEAL_STEPS> offsets{};
    int value = 632;
    offsets[0] = static_cast<uint16_t>(value);
    for (int i = 1; i < REVEAL_STEPS; ++i) {
        int decrement = 0;
        for (const Piece& piece : pieces) {
            if (i >= piece.firstIndex)
                decrement = piece.decrement;
        }
        value -= decrement;
        offsets[i] = static_cast<uint16_t>(value);
    }
    return offsets;
}

} // namespace

const std::array<uint16_t, REVEAL_STEPS> revealOffsets = MakeRevealOffsets();

namespace {

constexpr auto offsetsCheck = MakeRevealOffsets();
static_assert(offsetsCheck[54] == 200 && offsetsCheck[64] == 130 && offsetsCheck[74] == 70 && offsetsCheck[80] == 40 &&
              offsetsCheck[84] == 24 && offsetsCheck[88] == 12 && offsetsCheck[91] == 6 && offsetsCheck[97] == 0);

constexpr uint32_t BLT_OPAQUE = DDBLTFAST_WAIT | DDBLTFAST_NOCOLORKEY;
constexpr uint32_t BLT_KEYED = DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY;

bool Copy(Surface* dest, int x, int y, Surface* source, const Rect& rect) {
    return SurfaceBltFast(dest, x, y, source, &rect, BLT_OPAQUE) == RESULT_OK;
}

// True when more than `interval` ms have passed since `reference`; the
// reference then becomes a fresh clock reading.
bool TickDue(uint32_t& reference, uint32_t interval) {
    if (OsTimeGetTime() - reference <= interval)
        return false;
    reference = OsTimeGetTime();
    return true;
}

bool DrawBackgroundStrips() {
    if (scene.backgroundFrames < 2) {
        if (!Copy(display.backbuf, 0, 0, display.background, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}))
            return ErrorExit("BACKGROUND->BACKBUF copy error!");
        ++scene.backgroundFrames;
        return true;
    }
    if (!Copy(display.backbuf, 0, 0, display.background, Rect{0, 0, SCREEN_WIDTH, STRIP_HEIGHT}))
        return ErrorExit("BACKGROUND(top)->BACKBUF copy error!");
    if (!Copy(display.backbuf, 0, BOTTOM_STRIP_Y, display.background,
              Rect{0, BOTTOM_STRIP_Y, SCREEN_WIDTH, SCREEN_HEIGHT}))
        return ErrorExit("BACKGROUND(bottom)->BACKBUF copy error!");
    const Rect box{ANI_BOX_X, ANI_BOX_Y, ANI_BOX_X + ANI_FRAME_WIDTH, BOTTOM_STRIP_Y};
    if (!Copy(display.backbuf, ANI_BOX_X, ANI_BOX_Y, display.background, box))
        return ErrorExit("BACKGROUND(middle)->BACKBUF copy error!");
    return true;
}

bool PaintWipeRows() {
    const Rect row{0, WIPE_SOURCE_ROW, PAGE_WIDTH, WIPE_SOURCE_ROW + 1};
    if (!Copy(display.viewpage, 0, scene.slideLine, display.background, row) ||
        !Copy(display.viewpage, 0, scene.slideLineBottom, display.background, row))
        return ErrorExit("BACKGROUND->VIEWPAGE copy error!");
    return true;
}

bool DrawPage() {
    if (!scene.revealing) {
        if (!Copy(display.backbuf, 0, PAGE_AREA_Y, display.viewpage, Rect{0, 0, PAGE_WIDTH, PAGE_HEIGHT}))
            return ErrorExit("PAGE->BACKBUF copy error!");
        return true;
    }
    int lastOffset = -1;
    for (int i = 0; i < PAGE_LINES; ++i) {
        const RevealLine& line = scene.revealLines[i];
        if (line.delay != 0)
            break;
        const int d = revealOffsets[line.step];
        const Rect rect{0, GLYPH_HEIGHT * i, PAGE_WIDTH - d, GLYPH_HEIGHT * i + GLYPH_HEIGHT};
        if (!Copy(display.backbuf, d, PAGE_AREA_Y + GLYPH_HEIGHT * i, display.viewpage, rect))
            return ErrorExit("PAGE->BACKBUF copy error!");
        lastOffset = d;
    }
    if (lastOffset == 0)
        scene.revealing = false;
    return true;
}

bool TransitionTick() {
    if (scene.pageSliding) {
        scene.slideLine += 2;
        scene.slideLineBottom -= 2;
        if (scene.slideLine == PAGE_HEIGHT) {
            scene.pageSliding = false;
            if (scene.nextPageAfterSlide) {
                scene.revealing = true;
                if (!CopyPage(scene.targetPage))
                    return ErrorExit("Could not copy viewpage!");
            } else {
                scene.exitNow = true;
            }
        }
    }
    for (RevealLine& line : scene.revealLines) {
        if (line.delay != 0)
            --line.delay;
        else if (line.step < REVEAL_STEPS - 1)
            ++line.step;
    }
    return true;
}

bool DrawAnimation() {
    const int inset = scene.aniInset;
    const Rect rect{scene.aniFrameX, inset, scene.aniFrameX + ANI_FRAME_WIDTH, ANI_FRAME_HEIGHT - inset};
    if (SurfaceBltFast(display.backbuf, ANI_BOX_X, ANI_BOX_Y + inset, display.ani, &rect, BLT_KEYED) != RESULT_OK)
        return ErrorExit("ANI->BACKBUF copy error!");
    return true;
}

bool AnimationTick() {
    if (scene.aniInset > 0)
        --scene.aniInset;
    scene.aniFrameX = scene.aniFrameX == ANI_LAST_FRAME_X ? 0 : scene.aniFrameX + ANI_FRAME_WIDTH;
    if (scene.quitRequested && scene.aniBandTop < ANI_FRAME_HEIGHT / 2) {
        scene.pageSliding = true;
        scene.nextPageAfterSlide = false;
        const Rect top{0, scene.aniBandTop, ANI_STRIP_WIDTH, scene.aniBandTop + 1};
        const Rect bottom{0, scene.aniBandBottom, ANI_STRIP_WIDTH, scene.aniBandBottom + 1};
        if (SurfaceColorFill(display.ani, &top, 0) != RESULT_OK ||
            SurfaceColorFill(display.ani, &bottom, 0) != RESULT_OK)
            return ErrorExit("ANI clear error!");
        ++scene.aniBandTop;
        --scene.aniBandBottom;
    }
    return true;
}

} // namespace

bool ComposeFrame() {
    MeasureFps();

    if (SurfaceIsLost(display.primary) != RESULT_OK) {
        if (!RestoreDisplay())
            return ErrorExit("Could not restore all objects!");
        // The rebuild delivers window messages; should one of them have
        // destroyed the window, the display is gone and there is nothing
        // left to draw into.
        if (display.primary == nullptr)
            return false;
        // A restored or rebuilt flip chain holds no picture: both buffers
        // need the whole background again, or the bars would stay black
        // until the window happened to be activated anew.
        scene.backgroundFrames = 0;
    }

    if (scene.exitNow) {
        OsPostMessage(display.window, WM_DESTROY, 0, 0);
    } else {
        if (!DrawBackgroundStrips())
            return false;
        if (scene.pageSliding && !PaintWipeRows())
            return false;
        if (!DrawPage())
            return false;
        if (TickDue(scene.transitionTime, transitionInterval) && !TransitionTick())
            return false;
        if (!DrawAnimation())
            return false;
        if (TickDue(scene.aniTime, aniInterval) && !AnimationTick())
            return false;
        if (!DrawFpsCounter())
            return false;
        if (!UpdateStars())
            return false;
    }

    if (SurfaceFlip(display.primary) != RESULT_OK)
        return ErrorExit("Could not flip to primary surface!");
    return true;
}
