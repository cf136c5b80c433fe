// Every failing operation of a frame: the frame is abandoned without a
// flip and the error box says exactly its message.
#include "scene_fixture.h"

#include <string>

namespace {

struct FailureCase {
    const char* state;     // what the frame is doing when the fault hits
    const char* operation; // the failing platform operation
    const char* target;
    int skip; // matching calls that still succeed
    const char* message;
};

void Prepare(const std::string& state) {
    if (state == "steady") {
        scene.backgroundFrames = 2;
        scene.revealing = false;
    } else if (state == "wiping") {
        scene.pageSliding = true;
    } else if (state == "wipe end") {
        scene.pageSliding = true;
        scene.slideLine = 382;
        scene.slideLineBottom = 1;
    } else if (state == "closing") {
        scene.quitRequested = true;
    } else if (state == "counter") {
        scene.showFps = true;
    } else if (state == "star") {
        scene.topStars[4] = Star{5, 3, 1, 0x808080};
    } else if (state == "bottom star") {
        // The only star on screen is in the bottom strip.
        for (Star& star : scene.topStars)
            star.x = -100;
        scene.bottomStars[4] = Star{5, BOTTOM_STRIP_Y + 3, 1, 0x808080};
    } else if (state == "lost") {
        HeadlessSetPrimaryLost(true);
        HeadlessInjectFault("Restore"); // so the display is rebuilt
    }
}

const FailureCase CASES[] = {
    {"lost", "DdCreate", "", 0, "Could not restore all objects!"},
    {"first", "BltFast", "BACKGROUND>BACKBUF", 0, "BACKGROUND->BACKBUF copy error!"},
    {"steady", "BltFast", "BACKGROUND>BACKBUF", 0, "BACKGROUND(top)->BACKBUF copy error!"},
    {"steady", "BltFast", "BACKGROUND>BACKBUF", 1, "BACKGROUND(bottom)->BACKBUF copy error!"},
    {"steady", "BltFast", "BACKGROUND>BACKBUF", 2, "BACKGROUND(middle)->BACKBUF copy error!"},
    {"wiping", "BltFast", "BACKGROUND>VIEWPAGE", 0, "BACKGROUND->VIEWPAGE copy error!"},
    {"wiping", "BltFast", "BACKGROUND>VIEWPAGE", 1, "BACKGROUND->VIEWPAGE copy error!"},
    {"first", "BltFast", "VIEWPAGE>BACKBUF", 0, "PAGE->BACKBUF copy error!"},
    {"steady", "BltFast", "VIEWPAGE>BACKBUF", 0, "PAGE->BACKBUF copy error!"},
    {"wipe end", "BltFast", "PAGE>VIEWPAGE", 0, "Could not copy viewpage!"},
    {"first", "BltFast", "ANI>BACKBUF", 0, "ANI->BACKBUF copy error!"},
    {"closing", "ColorFill", "ANI", 0, "ANI clear error!"},
    {"closing", "ColorFill", "ANI", 1, "ANI clear error!"},
    {"counter", "BltFast", "FPS>FPS", 0, "GFX->FPS copy error!"},
    {"counter", "BltFast", "FPS>FPS", 2, "GFX->FPS copy error!"},
    {"counter", "BltFast", "FPS>BACKBUF", 0, "FPS->BACK copy error!"},
    {"star", "ColorFill", "BACKBUF", 0, "STAR->BACK copy error!"},
    {"bottom star", "ColorFill", "BACKBUF", 0, "STAR->BACK copy error!"},
    {"first", "Flip", "", 0, "Could not flip to primary surface!"},
};

class FrameFailureTest : public SceneTest {};

TEST_F(FrameFailureTest, EveryStepAbandonsTheFrameWithItsMessage) {
    for (const FailureCase& c : CASES) {
        SCOPED_TRACE(std::string(c.state) + ": " + c.operation + " " + c.target + " after " + std::to_string(c.skip));
        ResetProcessState();
        StartScene();
        Prepare(c.state);
        HeadlessInjectFault(c.operation, c.target, FaultMode::Once, c.skip);
        const int flips = HeadlessFlipCount();
        const int digitCopies = HeadlessCallCount("BltFast", "FPS>FPS");

        EXPECT_FALSE(ComposeFrame());

        EXPECT_EQ(HeadlessFlipCount(), flips);
        ASSERT_FALSE(HeadlessMessageBoxes().empty());
        EXPECT_EQ(HeadlessMessageBoxes().back().text, std::string(c.message) + " Terminate application!");
        EXPECT_EQ(HeadlessMessageBoxes().back().caption, "ERROR");
        EXPECT_FALSE(app.running);
        EXPECT_FALSE(HeadlessDisplayHeld());
        if (std::string(c.message) == "GFX->FPS copy error!") {
            // All three digit copies are attempted before the failure is told.
            EXPECT_EQ(HeadlessCallCount("BltFast", "FPS>FPS") - digitCopies, 3);
        }
    }
}

} // namespace
