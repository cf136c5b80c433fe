// Fault injection of the headless backend: operation names, targets by
// label (and "SRC>DEST" for BltFast), once or always, after skipped calls,
// and the call counts.
#include <gtest/gtest.h>

#include <functional>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "tests/support/process_fixture.h"

namespace {

class FaultTest : public ProcessTest {
protected:
    void SetUp() override {
        ProcessTest::SetUp();
        ASSERT_EQ(DdCreate(&dd), RESULT_OK);
    }

    Result Create(const char* label, uint32_t memory, Surface** out) {
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        d.width = 8;
        d.height = 8;
        d.caps = DDSCAPS_OFFSCREENPLAIN | memory;
        d.label = label;
        return DdCreateSurface(dd, &d, out);
    }

    DirectDraw* dd = nullptr;
};

TEST_F(FaultTest, OnceAlwaysAndSkip) {
    struct Case {
        const char* name;
        FaultMode mode;
        int skip;
        std::vector<bool> succeeds; // the outcome of six fills in a row
    };
    const Case cases[] = {
        {"once", FaultMode::Once, 0, {false, true, true, true, true, true}},
        {"always", FaultMode::Always, 0, {false, false, false, false, false, false}},
        {"once after two", FaultMode::Once, 2, {true, true, false, true, true, true}},
        {"always after three", FaultMode::Always, 3, {true, true, true, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessClearFaults();
        Surface* s = nullptr;
        ASSERT_EQ(Create("PAGE", DDSCAPS_SYSTEMMEMORY, &s), RESULT_OK);
        HeadlessInjectFault("ColorFill", "PAGE", c.mode, c.skip);
        for (size_t i = 0; i < c.succeeds.size(); ++i)
            EXPECT_EQ(SurfaceColorFill(s, nullptr, 0) == RESULT_OK, c.succeeds[i]) << "call " << i;
        SurfaceRelease(s);
    }
}

TEST_F(FaultTest, TargetsNarrowByLabel) {
    Surface* page = nullptr;
    Surface* ani = nullptr;
    Surface* back = nullptr;
    ASSERT_EQ(Create("PAGE", 0, &page), RESULT_OK);
    ASSERT_EQ(Create("ANI", 0, &ani), RESULT_OK);
    ASSERT_EQ(Create("BACKBUF", 0, &back), RESULT_OK);
    HeadlessInjectFault("ColorFill", "ANI", FaultMode::Always);
    EXPECT_EQ(SurfaceColorFill(page, nullptr, 0), RESULT_OK);
    EXPECT_NE(SurfaceColorFill(ani, nullptr, 0), RESULT_OK);

    // BltFast: a plain target is the destination; "SRC>DEST" one pairing.
    HeadlessInjectFault("BltFast", "PAGE>BACKBUF", FaultMode::Always);
    EXPECT_NE(SurfaceBltFast(back, 0, 0, page, nullptr, 0), RESULT_OK);
    EXPECT_EQ(SurfaceBltFast(back, 0, 0, ani, nullptr, 0), RESULT_OK);
    EXPECT_EQ(SurfaceBltFast(page, 0, 0, back, nullptr, 0), RESULT_OK);
    HeadlessInjectFault("BltFast", "PAGE", FaultMode::Always);
    EXPECT_NE(SurfaceBltFast(page, 0, 0, ani, nullptr, 0), RESULT_OK);

    EXPECT_EQ(HeadlessCallCount("ColorFill"), 2);
    EXPECT_EQ(HeadlessCallCount("ColorFill", "ANI"), 1);
    EXPECT_EQ(HeadlessCallCount("BltFast"), 4);
    EXPECT_EQ(HeadlessCallCount("BltFast", "BACKBUF"), 2);
    EXPECT_EQ(HeadlessCallCount("BltFast", "ANI>BACKBUF"), 1);
    HeadlessClearFaults();
    EXPECT_EQ(SurfaceBltFast(page, 0, 0, ani, nullptr, 0), RESULT_OK);
}

TEST_F(FaultTest, VideoMemoryCanFailWhileSystemMemoryWorks) {
    HeadlessInjectFault("CreateSurfaceVideo", "", FaultMode::Always);
    Surface* s = nullptr;
    EXPECT_NE(Create("ANI", DDSCAPS_VIDEOMEMORY, &s), RESULT_OK);
    EXPECT_EQ(s, nullptr);
    ASSERT_EQ(Create("ANI", DDSCAPS_SYSTEMMEMORY, &s), RESULT_OK);
    EXPECT_FALSE(HeadlessInVideoMemory(s));
    EXPECT_EQ(HeadlessCallCount("CreateSurface", "ANI"), 2);
    EXPECT_EQ(HeadlessCallCount("CreateSurfaceVideo", "ANI"), 1);

    HeadlessInjectFault("CreateSurface", "PAGE", FaultMode::Always);
    EXPECT_NE(Create("PAGE", DDSCAPS_VIDEOMEMORY, &s), RESULT_OK);
    EXPECT_NE(Create("PAGE", DDSCAPS_SYSTEMMEMORY, &s), RESULT_OK);
}

// Each named operation can be made to fail through the interface.
TEST_F(FaultTest, EveryNamedOperationFails) {
    const WindowClass wc{0,
                         [](Window* w, uint32_t m, uintptr_t wp, intptr_t lp) { return OsDefWindowProc(w, m, wp, lp); },
                         nullptr, nullptr, "Quillon"};
    HeadlessInjectFault("RegisterClass");
    EXPECT_FALSE(OsRegisterClass(wc));
    ASSERT_TRUE(OsRegisterClass(wc));
    HeadlessInjectFault("CreateWindow");
    EXPECT_EQ(OsCreateWindow(0, "Quillon", "Quillon", 0, 0, 0, 640, 480, nullptr), nullptr);
    Window* w = OsCreateWindow(0, "Quillon", "Quillon", 0, 0, 0, 640, 480, nullptr);
    ASSERT_NE(w, nullptr);
    HeadlessInjectFault("PostMessage");
    EXPECT_FALSE(OsPostMessage(w, WM_SIZE, 0, 0));

    DirectDraw* second = nullptr;
    HeadlessInjectFault("DdCreate");
    EXPECT_NE(DdCreate(&second), RESULT_OK);
    HeadlessInjectFault("SetCooperativeLevel");
    EXPECT_NE(DdSetCooperativeLevel(dd, w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT), RESULT_OK);
    EXPECT_EQ(DdSetCooperativeLevel(dd, w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT), RESULT_OK);
    HeadlessInjectFault("SetDisplayMode");
    EXPECT_NE(DdSetDisplayMode(dd, 640, 480, 32, 0, 0), RESULT_OK);
    EXPECT_NE(DdSetDisplayMode(dd, 640, 480, 16, 0, 0), RESULT_OK) << "only 32 bits per pixel";
    ASSERT_EQ(DdSetDisplayMode(dd, 640, 480, 32, 0, 0), RESULT_OK);

    SurfaceDesc pd{};
    pd.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    pd.backBufferCount = 1;
    pd.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    Surface* primary = nullptr;
    HeadlessInjectFault("CreateSurface", "PRIMARY");
    EXPECT_NE(DdCreateSurface(dd, &pd, &primary), RESULT_OK);
    ASSERT_EQ(DdCreateSurface(dd, &pd, &primary), RESULT_OK);
    Surface* back = nullptr;
    HeadlessInjectFault("GetAttached");
    EXPECT_NE(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back), RESULT_OK);
    ASSERT_EQ(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &back), RESULT_OK);

    struct Op {
        const char* name;
        std::function<bool()> succeeds;
    };
    SurfaceDesc d{};
    const std::vector<Op> ops = {
        {"Flip", [&] { return SurfaceFlip(primary) == RESULT_OK; }},
        {"Lock", [&] { return SurfaceLock(back, &d) == RESULT_OK && SurfaceUnlock(back) == RESULT_OK; }},
        {"GetDesc", [&] { return SurfaceGetDesc(back, &d) >= 0; }},
        {"Restore", [&] { return SurfaceRestore(primary) == RESULT_OK; }},
        {"GetDC",
         [&] {
             DeviceContext* dc = nullptr;
             const bool ok = SurfaceGetDC(back, &dc) >= 0;
             if (dc)
                 SurfaceReleaseDC(back, dc);
             return ok;
         }},
        {"CreateCompatibleDC",
         [&] {
             DeviceContext* dc = GdiCreateCompatibleDC();
             GdiDeleteDC(dc);
             return dc != nullptr;
         }},
        {"LoadBitmap",
         [&] {
             Bitmap* b = OsLoadBitmap(nullptr, "FPS", 170, 8);
             GdiDeleteBitmap(b);
             return b != nullptr;
         }},
        {"CreateThread",
         [&] {
             Thread* t = OsCreateThread([](void*) -> uint32_t { return 0; }, nullptr);
             OsCloseThread(t);
             return t != nullptr;
         }},
    };
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        HeadlessInjectFault(op.name);
        EXPECT_FALSE(op.succeeds());
        EXPECT_TRUE(op.succeeds());
    }
    // Unlock: fails once, the next one unlocks.
    ASSERT_EQ(SurfaceLock(back, &d), RESULT_OK);
    HeadlessInjectFault("Unlock");
    EXPECT_NE(SurfaceUnlock(back), RESULT_OK);
    EXPECT_EQ(SurfaceUnlock(back), RESULT_OK);
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
    EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
}

TEST_F(FaultTest, BitBltAndLoadBitmapTargets) {
    Surface* fps = nullptr;
    ASSERT_EQ(Create("FPS", 0, &fps), RESULT_OK);
    HeadlessInjectFault("LoadBitmap", "ANI", FaultMode::Always);
    EXPECT_EQ(OsLoadBitmap(nullptr, "ANI", 5120, 64), nullptr);
    Bitmap* b = OsLoadBitmap(nullptr, "FPS", 8, 8);
    ASSERT_NE(b, nullptr);
    DeviceContext* mem = GdiCreateCompatibleDC();
    GdiSelectBitmap(mem, b);
    DeviceContext* sdc = nullptr;
    ASSERT_EQ(SurfaceGetDC(fps, &sdc), RESULT_OK);
    HeadlessInjectFault("BitBlt", "FONT", FaultMode::Always);
    EXPECT_NE(GdiBitBlt(sdc, 0, 0, 8, 8, mem, 0, 0), 0);
    HeadlessInjectFault("BitBlt", "FPS");
    EXPECT_EQ(GdiBitBlt(sdc, 0, 0, 8, 8, mem, 0, 0), 0);
    SurfaceReleaseDC(fps, sdc);
    GdiDeleteDC(mem);
    GdiDeleteBitmap(b);
    EXPECT_EQ(HeadlessCallCount("BitBlt", "FPS"), 2);
}

// Everything a test can leave behind is gone after HeadlessReset.
TEST(HeadlessReset, RestoresAFreshProcess) {
    HeadlessReset();
    const WindowClass wc{0,
                         [](Window* w, uint32_t m, uintptr_t wp, intptr_t lp) { return OsDefWindowProc(w, m, wp, lp); },
                         nullptr, nullptr, "Quillon"};
    ASSERT_TRUE(OsRegisterClass(wc));
    ASSERT_NE(OsCreateWindow(0, "Quillon", "Quillon", 0, 0, 0, 640, 480, nullptr), nullptr);
    HeadlessPostInput(WM_LBUTTONDOWN);
    OsShowCursor(false);
    OsMessageBox(nullptr, "x", "ERROR");
    DirectDraw* dd = nullptr;
    ASSERT_EQ(DdCreate(&dd), RESULT_OK);
    SurfaceDesc d{DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 4, 4, 0, 0, DDSCAPS_OFFSCREENPLAIN, 0, 0, nullptr, "PAGE"};
    Surface* s = nullptr;
    ASSERT_EQ(DdCreateSurface(dd, &d, &s), RESULT_OK);
    SurfaceRelease(s);
    ASSERT_NE(OsLoadBitmap(nullptr, "FPS", 170, 8), nullptr);
    HeadlessInjectFault("Flip", "", FaultMode::Always);
    HeadlessSetTime(1234);
    HeadlessSetAutoAdvance(3);
    HeadlessHideResource("ANI");
    WaveOutHandle h = NO_WAVEOUT;
    const WaveFormat f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ASSERT_EQ(WaveOutOpen(&h, &f), RESULT_OK);

    HeadlessReset();
    EXPECT_EQ(HeadlessWindow(), nullptr);
    EXPECT_FALSE(HeadlessWindowDestroyed());
    EXPECT_TRUE(HeadlessQueuedMessages().empty());
    EXPECT_EQ(HeadlessCursorCount(), 0);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    EXPECT_TRUE(HeadlessReleaseLog().empty());
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
    EXPECT_EQ(HeadlessCallCount("CreateSurface"), 0);
    EXPECT_EQ(OsTimeGetTime(), 0u);
    EXPECT_EQ(OsTimeGetTime(), 0u);
    ResourceBytes out{};
    EXPECT_TRUE(OsFindResource(nullptr, "ANI", RT_BITMAP_TYPE, &out));
    EXPECT_FALSE(HeadlessAudioOpen());
    EXPECT_TRUE(OsRegisterClass(wc)) << "the class is forgotten too";
    ASSERT_EQ(DdCreate(&dd), RESULT_OK);
    SurfaceDesc p{DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                  0,
                  0,
                  0,
                  1,
                  DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX,
                  0,
                  0,
                  nullptr,
                  nullptr};
    ASSERT_EQ(DdCreateSurface(dd, &p, &s), RESULT_OK);
    EXPECT_EQ(SurfaceFlip(s), RESULT_OK) << "faults are cleared";
    HeadlessReset();
}

} // namespace
