// The background picture: black border strips, 23 bars mirrored above and
// below, the middle field around the page area.
#include "scene_fixture.h"

namespace {

// The bar colours as pixels, outermost (k = 0) first.
constexpr uint32_t BAR_PIXELS[BAR_COUNT] = {
    0x010004, 0x020109, 0x04020E, 0x050313, 0x060418, 0x08051D, 0x090621, 0x0A0726,
    0x0C082B, 0x0D0930, 0x0E0A35, 0x100B3A, 0x160C3C, 0x1C0D3F, 0x220E42, 0x280F45,
    0x2E1048, 0x34114B, 0x3A124E, 0x401351, 0x461454, 0x4C1557, 0x52165A,
};

using BackgroundTest = SceneTest;

void ExpectRow(int row, uint32_t colour) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
        ASSERT_EQ(HeadlessPixel(display.background, x, row), colour) << "row " << row << " x " << x;
    }
}

TEST_F(BackgroundTest, BarsAreMirroredAroundTheMiddleField) {
    for (int k = 0; k < BAR_COUNT; ++k) {
        SCOPED_TRACE(k);
        ExpectRow(24 + k, BAR_PIXELS[k]);
        ExpectRow(455 - k, BAR_PIXELS[k]);
    }
}

TEST_F(BackgroundTest, MiddleFieldAndBorderStrips) {
    for (int row = 47; row <= 432; ++row)
        ExpectRow(row, MIDDLE_COLOUR);
    for (int row = 0; row <= 23; ++row)
        ExpectRow(row, 0);
    for (int row = 456; row <= 479; ++row)
        ExpectRow(row, 0);
}

TEST_F(BackgroundTest, FailingFillIsReportedAsFalse) {
    // Each of the 47 fills can fail; the routine stops at the first.
    for (int skip : {0, 1, 45, 46}) {
        SCOPED_TRACE(skip);
        const int before = HeadlessCallCount("ColorFill", "BACKGROUND");
        HeadlessInjectFault("ColorFill", "BACKGROUND", FaultMode::Once, skip);
        EXPECT_FALSE(DrawBackground());
        EXPECT_EQ(HeadlessCallCount("ColorFill", "BACKGROUND") - before, skip + 1);
    }
    EXPECT_TRUE(DrawBackground());
}

} // namespace
