// The animation as its parameters describe it: a ring that neither spins
// nor wobbles stands still in all 40 frames, and each checker colour is drawn
// from its own ramp of the colour table, the blend only where two checks meet
// inside one pixel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/content/ani_generator.h"
#include "tools/content/resource_check.h"

namespace {

AniParams BuiltInParams() {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(std::string(ART_SOURCE_DIR) + "/ani.txt", bytes));
    AniParams params;
    std::string error;
    EXPECT_TRUE(ParseAniParams(std::string(bytes.begin(), bytes.end()), params, error)) << error;
    return params;
}

uint8_t At(const IndexedImage& ani, int frame, int x, int y) {
    return ani.pixels[static_cast<size_t>(y) * ani.width + frame * ANI_FRAME_WIDTH + x];
}

TEST(AniRender, ARingThatNeitherSpinsNorWobblesStandsStill) {
    AniParams params = BuiltInParams();
    params.spinCellsPerLoop = 0;
    params.wobbleDegrees = 0;
    params.supersample = 1;
    const IndexedImage ani = RenderAni(params);
    int drawn = 0;
    int moved = 0;
    for (int f = 0; f < ANI_FRAMES; ++f)
        for (int y = 0; y < ANI_FRAME_HEIGHT; ++y)
            for (int x = 0; x < ANI_FRAME_WIDTH; ++x) {
                drawn += f == 0 && At(ani, 0, x, y) != 0;
                moved += At(ani, f, x, y) != At(ani, 0, x, y);
            }
    // Frame to frame the same orientation is worked out through a turn and
    // its inverse, so the odd pixel on a subsample's edge may differ.
    EXPECT_GT(drawn, 1000);
    EXPECT_LT(moved, ANI_FRAMES * drawn / 200) << "of " << drawn << " drawn in each frame";
}

TEST(AniRender, EachCheckerColourHasItsOwnRampAndTheBlendIsOnlyWhereChecksMeet) {
    // Entries 1..85 the first colour, 86..170 the blend, 171..255 the second.
    AniParams params = BuiltInParams();
    params.supersample = 2; // enough subsamples for pixels that show both checks
    const IndexedImage ani = RenderAni(params);
    long count[3] = {0, 0, 0};
    for (uint8_t index : ani.pixels)
        if (index != 0)
            ++count[(index - 1) / 85];
    const long drawn = count[0] + count[1] + count[2];
    ASSERT_GT(drawn, 0);
    // Equal checks: each colour covers about as much of the ring as the
    // other; the blend only the pixels on the borders between checks.
    EXPECT_GT(count[0] * 10, drawn * 3) << count[0] << " of " << drawn;
    EXPECT_GT(count[2] * 10, drawn * 3) << count[2] << " of " << drawn;
    EXPECT_LT(count[1], count[0]);
    EXPECT_LT(count[1], count[2]);
}

} // namespace
