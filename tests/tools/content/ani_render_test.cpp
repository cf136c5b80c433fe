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

// Seen edge on (elevation 0), a quarter of the way through the loop the
// leaning axis points sideways in the picture: the ring is the flat one of
// frame 0 of a ring that does not wobble, only turned by the wobble angle
// about the view. A turn keeps the area: under light that falls evenly
// (ambient 1, no highlight) a pixel's brightness is the part of it the
// ring covers, so both frames hold the same brightness in all. The scale
// is the same in both: the widest frame is frame 0, R + r wide either way,
// and the wobble's height R sin 22 + r = 20 leaves the width the limit.
// Two by two subsamples measure an outline pixel's cover to a quarter: over
// the ~280 pixels of outline against ~1,700 of ring, up to 4 % a frame.
TEST(AniRender, AQuarterLoopOfWobbleOnEdgeIsTheFlatRingTurnedInThePicture) {
    AniParams params = BuiltInParams();
    params.majorRadius = 40;
    params.minorRadius = 5;
    params.spinCellsPerLoop = 0;
    params.elevationDegrees = 0;
    params.ambient = 1;
    params.specular = 0;
    params.supersample = 2;
    auto brightness = [](const IndexedImage& ani, int frame) {
        long sum = 0;
        for (int y = 0; y < ANI_FRAME_HEIGHT; ++y)
            for (int x = 0; x < ANI_FRAME_WIDTH; ++x)
                if (const uint8_t index = At(ani, frame, x, y))
                    sum += (index - 1) % 85; // the step along the colour's ramp
        return sum;
    };
    params.wobbleDegrees = 0;
    const long flat = brightness(RenderAni(params), 0);
    params.wobbleDegrees = 22;
    const long turned = brightness(RenderAni(params), ANI_FRAMES / 4);
    ASSERT_GT(flat, 0);
    EXPECT_NEAR(static_cast<double>(turned) / flat, 1.0, 0.08) << turned << " against " << flat;
}

// Each ramp of the colour table runs from its shadow colour exactly to its
// highlight: entries 1 and 85 the first colour's, 171 and 255 the second's,
// 86 and 170 the half-and-half blends (colours picked so that half of each
// difference is whole).
TEST(AniRender, EachRampRunsFromItsShadowToItsHighlight) {
    AniParams params = BuiltInParams();
    params.supersample = 1;
    params.darkA = 0x102030, params.highlightA = 0xF0F0F0;
    params.darkB = 0x305070, params.highlightB = 0xD0B090;
    const IndexedImage ani = RenderAni(params);
    ASSERT_EQ(ani.palette.size(), 256u);
    const struct {
        int entry;
        uint32_t colour;
    } ends[] = {{0, 0x000000},   {1, 0x102030},   {85, 0xF0F0F0}, {86, 0x203850},
                {170, 0xE0D0C0}, {171, 0x305070}, {255, 0xD0B090}};
    for (const auto& e : ends)
        EXPECT_EQ(ani.palette[e.entry], e.colour) << "entry " << e.entry;
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
