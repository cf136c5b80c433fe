// Frames allocate nothing: every operator new of the process is counted
// while frames run through the reveal, a wipe, the counter and the closing.
#include "scene_fixture.h"

#include <cstdlib>
#include <new>

namespace {
bool counting = false;
long allocations = 0;
} // namespace

// The replacements pair malloc with free themselves; GCC cannot see that
// through the replaced operators and warns about a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

class FrameAllocationTest : public SceneTest {
protected:
    // Runs `frames` frames (or until the end of the closing and three more),
    // counting allocations when `counted`; false on a failed frame.
    static bool Frames(int frames, bool counted) {
        bool ok = true;
        int afterEnd = 0;
        counting = counted;
        for (int i = 0; i < frames && ok && afterEnd < 3; ++i) {
            HeadlessAdvanceTime(i % 3 == 0 ? 21 : 4);
            ok = ComposeFrame();
            if (scene.exitNow)
                ++afterEnd;
        }
        counting = false;
        return ok;
    }

    // Reveal with counter and stars, a wipe and the next reveal, the
    // closing and the frames after its end.
    static void Run(bool counted) {
        scene.showFps = true;
        CrtSrand(5);
        for (int i = 0; i < STAR_COUNT; ++i) {
            RenewStar(scene.topStars[i], true);
            RenewStar(scene.bottomStars[i], false);
        }
        ASSERT_TRUE(Frames(500, counted));
        ASSERT_FALSE(scene.revealing);
        Input(WM_RBUTTONDOWN);
        ASSERT_TRUE(Frames(300, counted));
        FinishReveal();
        Input(WM_LBUTTONDOWN);
        ASSERT_TRUE(Frames(500, counted));
        ASSERT_TRUE(scene.exitNow);
    }
};

TEST_F(FrameAllocationTest, NoAllocationInAnyKindOfFrame) {
    // The headless backend keeps books (call counts by operation and
    // surface, the message queue) that grow the first time it meets a new
    // kind of call; a first run lets them grow, the second run is counted.
    Run(false);
    Message msg{};
    while (OsPeekMessage(&msg))
        OsGetMessage(&msg); // the WM_DESTROYs, undelivered
    ReleaseDisplay();
    ResetScene();
    HeadlessSetTime(START_TIME);
    ASSERT_TRUE(InitDisplay(mainWindow));

    allocations = 0;
    Run(true);
    EXPECT_EQ(allocations, 0);

    // The counter itself works: a vector allocates.
    counting = true;
    std::vector<int> grow(3);
    counting = false;
    EXPECT_GT(allocations, 0);
}

} // namespace
