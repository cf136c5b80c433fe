// Once the closing is over nothing is drawn any more: each frame only posts
// WM_DESTROY and flips, so the screen alternates between the last two
// composed pictures.
#include "scene_fixture.h"

namespace {

using FlipChainTest = SceneTest;

TEST_F(FlipChainTest, AfterTheEndTheLastTwoPicturesAlternate) {
    FinishReveal();
    Input(WM_LBUTTONDOWN);
    std::vector<uint32_t> previous, last;
    for (int frame = 0; frame < 400 && !scene.exitNow; ++frame) {
        ASSERT_TRUE(Frame());
        if (scene.slideLine < 380 && !scene.exitNow)
            continue; // only the last pictures matter
        previous.swap(last);
        last = Pixels(display.primary);
    }
    ASSERT_TRUE(scene.exitNow);
    ASSERT_NE(previous, last); // the last wipe step differs between them

    for (int frame = 0; frame < 4; ++frame) {
        const int flips = HeadlessFlipCount();
        ASSERT_TRUE(Frame());
        EXPECT_EQ(HeadlessFlipCount(), flips + 1);
        EXPECT_EQ(Pixels(display.primary), frame % 2 == 0 ? previous : last) << "frame " << frame;
    }
    EXPECT_EQ(HeadlessQueuedMessages().size(), 4u);
}

} // namespace
