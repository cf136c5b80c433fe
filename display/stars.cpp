// The border stars and the frames-per-second counter, drawn by every frame
// after the animation; the stars are first placed at start-up.
#include "display/stars.h"

#include "display/display_device.h"
#include "display/error_exit.h"
#include "display/layout.h"
#include "platform/crt_rand.h"
#include "platform/platform.h"

namespace {

bool DrawStar(const Star& star) {
    const Rect pixel{star.x, star.y, star.x + 1, star.y + 1};
    if (SurfaceColorFill(display.backbuf, &pixel, static_cast<uint32_t>(star.colour)) != RESULT_OK)
        return ErrorExit("STAR->BACK copy error!");
    return true;
}

bool UpdateTopStar(Star& star) {
    if (star.x < 0) {
        star.x += star.speed;
    } else if (star.x < SCREEN_WIDTH) {
        if (!DrawStar(star))
            return false;
        if (scene.quitRequested)
            ++star.speed;
        star.x += star.speed;
    } else if (!scene.quitRequested) {
        RenewStar(star, true);
    }
    return true;
}

bool UpdateBottomStar(Star& star) {
    if (star.x >= SCREEN_WIDTH) {
        star.x -= star.speed;
    } else if (star.x >= 0) {
        if (!DrawStar(star))
            return false;
        if (scene.quitRequested)
            ++star.speed;
        star.x -= star.speed;
    } else if (!scene.quitRequested) {
        RenewStar(star, false);
    }
    return true;
}

} // namespace

void RenewStar(Star& star, bool top) {
    const int r1 = CrtRand();
    const int r2 = CrtRand();
    const int r3 = CrtRand();
    const int r4 = CrtRand();
    star.x = top ? -(r1 % 50) : r1 % 50 + SCREEN_WIDTH;
    star.y = top ? r2 % STRIP_HEIGHT : r2 % STRIP_HEIGHT + BOTTOM_STRIP_Y;
    star.speed = r3 % 5 + 1;
    star.colour = (r4 % 245 + 10) * 0x010101;
}

bool UpdateStars() {
    for (int i = 0; i < STAR_COUNT; ++i) {
        if (!UpdateTopStar(scene.topStars[i]))
            return false;
        if (!UpdateBottomStar(scene.bottomStars[i]))
            return false;
    }
    return true;
}

void MeasureFps() {
    ++scene.frameCount;
    const uint32_t elapsed = OsTimeGetTime() - scene.fpsTime;
    if (elapsed > 1000) {
        // 64-bit product: frameCount * 1000 would wrap in 32 bits after
        // about 4.3 million frames without a measurement.
        scene.fps = static_cast<uint32_t>(uint64_t{scene.frameCount} * 1000 / elapsed);
        scene.fpsTime = OsTimeGetTime();
        scene.frameCount = 0;
    }
}

bool DrawFpsCounter() {
    if (!scene.showFps || scene.quitRequested || scene.fps >= 1000)
        return true;

    const uint32_t digits[3] = {scene.fps / 100, scene.fps % 100 / 10, scene.fps % 10};
    bool copied = true;
    for (int slot = 0; slot < 3; ++slot) {
        const int sourceX = FPS_DIGITS_X + FPS_DIGIT_WIDTH * static_cast<int>(digits[slot]);
        const Rect digit{sourceX, 0, sourceX + FPS_DIGIT_WIDTH, FPS_HEIGHT};
        // All three copies are attempted even after one has failed.
        if (SurfaceBltFast(display.fps, FPS_SLOTS_X + FPS_DIGIT_WIDTH * slot, 0, display.fps, &digit,
                           DDBLTFAST_WAIT | DDBLTFAST_NOCOLORKEY) != RESULT_OK)
            copied = false;
    }
    if (!copied)
        return ErrorExit("GFX->FPS copy error!");

    const Rect label{0, 0, FPS_LABEL_WIDTH, FPS_HEIGHT};
    if (SurfaceBltFast(display.backbuf, FPS_SCREEN_X, FPS_SCREEN_Y, display.fps, &label,
                       DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY) != RESULT_OK)
        return ErrorExit("FPS->BACK copy error!");
    return true;
}
