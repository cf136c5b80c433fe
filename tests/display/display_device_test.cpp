// The display device: every set-up failure with its message, the silent
// second try in system memory, the bitmap loader's clean-up, the release
// order, and the answer to a lost primary.
#include "display/frame.h"
#include "display/pages.h"
#include "tools/writers/bmp_writer.h"
#include "platform/surface_core.h"
#include "tests/app/shell_fixture.h"

namespace {

// What was true while the error box was up.
bool displayHeldAtBox = true;
int surfacesAtBox = -1;
void RecordAtBox() {
    displayHeldAtBox = HeadlessDisplayHeld();
    surfacesAtBox = HeadlessLiveSurfaceCount();
}

enum class Progress { None, WipeUnderWay, ClosingUnderWay };

struct InitFailure {
    const char* operation;
    const char* target;
    FaultMode mode;
    int skip;
    Progress progress;
    const char* message;
};

// Each fault fails the one step it names; the set-up goes no further.
const InitFailure INIT_FAILURES[] = {
    {"DdCreate", "", FaultMode::Once, 0, Progress::None, "DirectDrawCreateEx failed!"},
    {"SetCooperativeLevel", "", FaultMode::Once, 0, Progress::None, "SetCooperativeLevel failed!"},
    {"SetDisplayMode", "", FaultMode::Once, 0, Progress::None, "SetDisplayMode failed! No 640x480x32bpp support!"},
    {"CreateSurface", "PRIMARY", FaultMode::Always, 0, Progress::None, "CreateSurface (PRIMARY) failed!"},
    {"ColorFill", "PRIMARY", FaultMode::Once, 0, Progress::None, "Could not clean the surface!"},
    {"GetAttached", "", FaultMode::Once, 0, Progress::None, "GetAttachedSurface failed!"},
    {"ColorFill", "BACKBUF", FaultMode::Once, 0, Progress::None, "Could not clean the surface!"},
    {"CreateSurface", "VIEWPAGE", FaultMode::Always, 0, Progress::None, "CreateSurface (VIEWPAGE) failed!"},
    {"CreateSurface", "ANI", FaultMode::Always, 0, Progress::None, "CreateSurface (ANI) failed!"},
    {"LoadBitmap", "ANI", FaultMode::Once, 0, Progress::None, "Could not load image (ANI) into the surface!"},
    {"GetDesc", "ANI", FaultMode::Once, 0, Progress::None, "Could not load image (ANI) into the surface!"},
    {"CreateSurface", "BACKGROUND", FaultMode::Always, 0, Progress::None, "CreateSurface (BACKGROUND) failed!"},
    {"ColorFill", "BACKGROUND", FaultMode::Once, 0, Progress::None, "Could not clean the surface!"},
    {"ColorFill", "BACKGROUND", FaultMode::Once, 1, Progress::None, "Could not create background image!"},
    {"ColorFill", "BACKGROUND", FaultMode::Once, 47, Progress::None, "Could not create background image!"},
    {"CreateSurface", "FPS", FaultMode::Always, 0, Progress::None, "CreateSurface (FPS) failed!"},
    {"LoadBitmap", "FPS", FaultMode::Once, 0, Progress::None, "Could not load image (FPS) into the surface!"},
    {"GetDC", "FPS", FaultMode::Once, 0, Progress::None, "Could not load image (FPS) into the surface!"},
    {"CreateCompatibleDC", "", FaultMode::Once, 1, Progress::None, "Could not load image (FPS) into the surface!"},
    {"CreateSurface", "FONT", FaultMode::Always, 0, Progress::None, "CreateSurface (FONT) failed!"},
    {"LoadBitmap", "FONT", FaultMode::Once, 0, Progress::None, "Could not load image (FONT) into the surface!"},
    {"BitBlt", "", FaultMode::Once, 2, Progress::None, "Could not load image (FONT) into the surface!"},
    {"CreateSurface", "PAGE", FaultMode::Always, 0, Progress::None, "CreateSurface (PAGE) failed!"},
    {"BltFast", "FONT>PAGE", FaultMode::Once, 5000, Progress::None, "Could not create pages!"},
    {"Lock", "PAGE", FaultMode::Once, 0, Progress::None, "Could not create pages!"},
    {"Unlock", "PAGE", FaultMode::Once, 0, Progress::None, "Could not create pages!"},
    {"BltFast", "PAGE>VIEWPAGE", FaultMode::Once, 0, Progress::None, "Could not copy viewpage!"},
    {"ColorFill", "VIEWPAGE", FaultMode::Once, 0, Progress::WipeUnderWay, "LINEONE->BACKBUF copy error!"},
    {"ColorFill", "VIEWPAGE", FaultMode::Once, 1, Progress::WipeUnderWay, "LINETWO->BACKBUF copy error!"},
    {"ColorFill", "VIEWPAGE", FaultMode::Once, 8, Progress::WipeUnderWay, "LINEONE->BACKBUF copy error!"},
    {"ColorFill", "ANI", FaultMode::Once, 0, Progress::ClosingUnderWay, "ANI clear error!"},
    {"ColorFill", "ANI", FaultMode::Once, 1, Progress::ClosingUnderWay, "ANI clear error!"},
};

void SetProgress(Progress progress) {
    if (progress == Progress::WipeUnderWay) {
        scene.slideLine = 10;
        scene.slideLineBottom = 373;
        scene.pageSliding = true;
    } else if (progress == Progress::ClosingUnderWay) {
        scene.aniBandTop = 4;
        scene.aniBandBottom = 59;
        scene.quitRequested = true;
    }
}

class DisplayDeviceTest : public ShellTest {};

TEST_F(DisplayDeviceTest, EverySetupFailureShowsItsMessageOnceAfterReleasingAndEndsWithZero) {
    for (const InitFailure& c : INIT_FAILURES) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.target + " skip " + std::to_string(c.skip));
        ResetProcessState();
        SetProgress(c.progress);
        HeadlessInjectFault(c.operation, c.target, c.mode, c.skip);
        displayHeldAtBox = true;
        surfacesAtBox = -1;
        HeadlessOnMessageBox(RecordAtBox);

        EXPECT_EQ(RunWinMain(), 0);

        ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
        EXPECT_EQ(HeadlessMessageBoxes()[0].text, std::string(c.message) + " Terminate application!");
        EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "ERROR");
        EXPECT_TRUE(HeadlessMessageBoxes()[0].hadOwner);
        EXPECT_FALSE(displayHeldAtBox);
        EXPECT_EQ(surfacesAtBox, 0);
        EXPECT_TRUE(HeadlessWindowDestroyed());
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 0);
        EXPECT_FALSE(HeadlessAudioOpen());
        EXPECT_EQ(HeadlessLiveBitmaps(), 0);
        EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
    }
}

TEST_F(DisplayDeviceTest, OfTwoMissingBitmapsOnlyTheFirstLoadedIsReported) {
    struct Case {
        const char* missing[2];
        const char* message;
    };
    const Case cases[] = {
        {{"ANI", "FPS"}, "Could not load image (ANI) into the surface!"},
        {{"FONT", "FPS"}, "Could not load image (FPS) into the surface!"},
        {{"FONT", "ANI"}, "Could not load image (ANI) into the surface!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ResetProcessState();
        HeadlessHideResource(c.missing[0]);
        HeadlessHideResource(c.missing[1]);
        EXPECT_EQ(RunWinMain(), 0);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{std::string(c.message) + " Terminate application!"});
    }
}

// The release text must be there, as raw data of exactly 10240 bytes: a
// short or long block would be read past its end or cut off. Each fault is
// one set-up failure with its message, after everything is released.
TEST_F(DisplayDeviceTest, AMissingOrMisshapenTextResourceEndsTheSetUp) {
    struct Case {
        const char* what;
        bool hidden;
        uint32_t type;
        size_t size;
    };
    const Case cases[] = {
        {"missing", true, RT_RCDATA_TYPE, 0},
        {"one byte short", false, RT_RCDATA_TYPE, RELEASE_TEXT_SIZE - 1},
        {"one byte long", false, RT_RCDATA_TYPE, RELEASE_TEXT_SIZE + 1},
        {"a page only", false, RT_RCDATA_TYPE, RELEASE_TEXT_SIZE / 4},
        {"a bitmap, not raw data", false, RT_BITMAP_TYPE, RELEASE_TEXT_SIZE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProcessState();
        if (c.hidden)
            HeadlessHideResource("TEXT");
        else
            HeadlessSetResource("TEXT", c.type, std::vector<uint8_t>(c.size, 'A'));
        displayHeldAtBox = true;
        surfacesAtBox = -1;
        HeadlessOnMessageBox(RecordAtBox);
        EXPECT_EQ(RunWinMain(), 0);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"TEXT resource error! Terminate application!"});
        EXPECT_FALSE(displayHeldAtBox);
        EXPECT_EQ(surfacesAtBox, 0);
        EXPECT_TRUE(HeadlessWindowDestroyed());
        EXPECT_EQ(HeadlessCallCount("WaveOutOpen"), 0);
        EXPECT_EQ(display.text, nullptr);
    }
}

TEST_F(DisplayDeviceTest, TheScreenIsTakenExclusivelyFullScreenAt640x480) {
    StartWindowAndDisplay();
    ASSERT_NE(display.dd, nullptr);
    EXPECT_EQ(display.dd->cooperativeWindow, mainWindow);
    EXPECT_EQ(display.dd->cooperativeFlags, 0x13u); // exclusive, full screen, reboot allowed
    EXPECT_EQ(display.dd->modeWidth, 640);
    EXPECT_EQ(display.dd->modeHeight, 480);
    EXPECT_EQ(display.dd->modeRefreshRate, 0); // whatever rate the monitor runs 640x480 at
}

TEST_F(DisplayDeviceTest, EverySetupFailureOfARebuildIsFollowedByTheRestoreMessage) {
    // The same steps failing when a lost display is rebuilt inside a frame:
    // the step's own message, then the frame's, and no picture.
    for (const InitFailure& c : INIT_FAILURES) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.target + " skip " + std::to_string(c.skip));
        ResetProcessState();
        StartWindowAndDisplay();
        SetProgress(c.progress);
        HeadlessSetPrimaryLost(true);
        HeadlessInjectFault("Restore");
        HeadlessInjectFault(c.operation, c.target, c.mode, c.skip);
        const int flips = HeadlessFlipCount();

        EXPECT_FALSE(ComposeFrame());

        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{std::string(c.message) + " Terminate application!",
                                                        "Could not restore all objects! Terminate application!"}));
        EXPECT_EQ(HeadlessFlipCount(), flips);
        EXPECT_FALSE(HeadlessDisplayHeld());
        EXPECT_TRUE(HeadlessWindowDestroyed());
    }
}

TEST_F(DisplayDeviceTest, AFailureReleasesWhatExistsSoFarInOrder) {
    app.instance = OsModuleHandle();
    ASSERT_TRUE(CreateMainWindow());
    HeadlessInjectFault("CreateSurface", "FONT", FaultMode::Always);
    EXPECT_FALSE(InitDisplay(mainWindow));
    EXPECT_EQ(HeadlessReleaseLog(),
              (std::vector<std::string>{"PRIMARY", "BACKGROUND", "VIEWPAGE", "ANI", "FPS", "DirectDraw"}));
}

const char* const OFFSCREEN[] = {"VIEWPAGE", "ANI", "BACKGROUND", "FPS", "FONT", "PAGE"};

TEST_F(DisplayDeviceTest, ASurfaceRefusedInVideoMemoryIsMadeInSystemMemorySilently) {
    for (const char* label : OFFSCREEN) {
        SCOPED_TRACE(label);
        ResetProcessState();
        HeadlessInjectFault("CreateSurfaceVideo", label, FaultMode::Always);
        StartWindowAndDisplay();
        EXPECT_TRUE(HeadlessMessageBoxes().empty());
        for (const char* other : OFFSCREEN) {
            Surface* surface = HeadlessSurface(other);
            ASSERT_NE(surface, nullptr) << other;
            EXPECT_EQ(HeadlessInVideoMemory(surface), std::string(other) != label) << other;
        }
        ReleaseDisplay();
    }

    ResetProcessState();
    HeadlessInjectFault("CreateSurfaceVideo", "", FaultMode::Always);
    StartWindowAndDisplay();
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    for (const char* label : OFFSCREEN)
        EXPECT_FALSE(HeadlessInVideoMemory(HeadlessSurface(label))) << label;
    // The content is the same wherever the surface lives.
    EXPECT_EQ(HeadlessPixel(display.background, 0, 24), 0x010004u);
    EXPECT_EQ(HeadlessPixel(display.background, 639, 46), 0x52165Au);
}

TEST_F(DisplayDeviceTest, SetupLeavesTheSurfacesFilledAndTheCursorHidden) {
    StartWindowAndDisplay();
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 8);
    EXPECT_EQ(HeadlessCursorCount(), -1);
    EXPECT_EQ(HeadlessPixel(display.primary, 320, 240), 0u);
    EXPECT_EQ(HeadlessPixel(display.backbuf, 639, 479), 0u);
    // Page 1 in view, its reveal prepared.
    for (int y : {0, 100, 383})
        for (int x : {0, 333, 639})
            EXPECT_EQ(HeadlessPixel(display.viewpage, x, y), HeadlessPixel(display.page, x, y)) << x << "," << y;
    EXPECT_EQ(scene.slideLine, 0);
    EXPECT_EQ(scene.slideLineBottom, 383);
    EXPECT_EQ(scene.revealLines[31].delay, 62);
    // The background: black border strips, bars, middle field.
    EXPECT_EQ(HeadlessPixel(display.background, 5, 23), 0u);
    EXPECT_EQ(HeadlessPixel(display.background, 5, 455), 0x010004u);
    EXPECT_EQ(HeadlessPixel(display.background, 5, 200), MIDDLE_COLOUR);
}

TEST_F(DisplayDeviceTest, BlackIsTransparentInAniAndFpsOnly) {
    StartWindowAndDisplay();
    const struct {
        Surface* source;
        bool blackIsTransparent;
    } cases[] = {{display.ani, true},   {display.fps, true},         {display.viewpage, false},
                 {display.font, false}, {display.background, false}, {display.page, false}};
    for (const auto& c : cases) {
        SurfaceDesc desc{};
        ASSERT_GE(SurfaceGetDesc(c.source, &desc), 0);
        EXPECT_EQ((desc.flags & DDSD_CKSRCBLT) != 0, c.blackIsTransparent);
        if (!c.blackIsTransparent)
            continue;
        EXPECT_EQ(desc.colorKeyLow, 0u);
        EXPECT_EQ(desc.colorKeyHigh, 0u);
        // A keyed copy leaves the destination where the source is black.
        ASSERT_EQ(SurfaceColorFill(display.backbuf, nullptr, 0x123456), RESULT_OK);
        HeadlessSetPixel(c.source, 0, 0, 0x000000);
        HeadlessSetPixel(c.source, 1, 0, 0xFFFFFF);
        const Rect two{0, 0, 2, 1};
        ASSERT_EQ(SurfaceBltFast(display.backbuf, 0, 0, c.source, &two, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT),
                  RESULT_OK);
        EXPECT_EQ(HeadlessPixel(display.backbuf, 0, 0), 0x123456u);
        EXPECT_EQ(HeadlessPixel(display.backbuf, 1, 0), 0xFFFFFFu);
    }
}

struct LoadCase {
    const char* operation; // fault injected, or "" for none
    bool loaded;
};

TEST_F(DisplayDeviceTest, LoadingABitmapLeaksNothingOnAnyPath) {
    StartWindowAndDisplay();
    const LoadCase cases[] = {
        {"", true},       {"GetDesc", false}, {"LoadBitmap", false}, {"CreateCompatibleDC", false},
        {"GetDC", false}, {"BitBlt", false},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.operation);
        HeadlessClearFaults();
        if (*c.operation)
            HeadlessInjectFault(c.operation);
        HeadlessSetPixel(display.fps, 100, 4, 0x123456);
        EXPECT_EQ(LoadBitmapToSurface(display.fps, "FPS"), c.loaded);
        EXPECT_EQ(HeadlessLiveBitmaps(), 0);
        EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
        EXPECT_EQ(HeadlessPixel(display.fps, 100, 4) != 0x123456u, c.loaded);
    }
    HeadlessClearFaults();
    HeadlessHideResource("FONT");
    EXPECT_FALSE(LoadBitmapToSurface(display.font, "FONT"));
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
    EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
    EXPECT_TRUE(HeadlessMessageBoxes().empty()); // the loader reports nothing itself
}

TEST_F(DisplayDeviceTest, ALoadedBitmapLandsPixelForPixel) {
    // 16 colours on diagonals: a copy shifted by a pixel either way, or cut
    // short by one, shows at once.
    IndexedImage image;
    image.width = 170;
    image.height = 8;
    image.bitsPerPixel = 4;
    for (uint32_t i = 0; i < 16; ++i)
        image.palette.push_back(0x101010 * i + 0x000301);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 170; ++x)
            image.pixels.push_back(static_cast<uint8_t>((x + y) % 16));
    HeadlessSetResource("FPS", RT_BITMAP_TYPE, EncodeBmp(image));
    StartWindowAndDisplay();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 170; ++x)
            ASSERT_EQ(HeadlessPixel(display.fps, x, y), image.palette[(x + y) % 16]) << x << "," << y;
}

TEST_F(DisplayDeviceTest, ReleaseFollowsItsOrderAndASecondCallDoesNothing) {
    StartWindowAndDisplay();
    HeadlessClearReleaseLog();
    ReleaseDisplay();
    EXPECT_EQ(HeadlessReleaseLog(), (std::vector<std::string>{"PRIMARY", "FONT", "BACKGROUND", "PAGE", "VIEWPAGE",
                                                              "ANI", "FPS", "DirectDraw"}));
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    EXPECT_EQ(display.dd, nullptr);
    EXPECT_EQ(display.primary, nullptr);
    EXPECT_EQ(display.backbuf, nullptr);
    EXPECT_EQ(display.page, nullptr);

    HeadlessClearReleaseLog();
    ReleaseDisplay();
    EXPECT_TRUE(HeadlessReleaseLog().empty());
}

TEST_F(DisplayDeviceTest, ARestoredPrimaryLeavesTheOffscreenSurfacesAlone) {
    StartWindowAndDisplay();
    const Display before = display;
    const int creates = HeadlessCallCount("CreateSurface");
    const int locks = HeadlessCallCount("Lock");
    const int copies = HeadlessCallCount("BltFast");
    HeadlessSetPixel(display.viewpage, 7, 7, 0xABCDEF);
    HeadlessClearReleaseLog();
    HeadlessSetPrimaryLost(true);

    EXPECT_TRUE(RestoreDisplay());
    EXPECT_EQ(SurfaceIsLost(display.primary), RESULT_OK);
    EXPECT_TRUE(HeadlessReleaseLog().empty());
    EXPECT_EQ(HeadlessCallCount("CreateSurface"), creates);
    EXPECT_EQ(HeadlessCallCount("Lock"), locks);
    EXPECT_EQ(HeadlessCallCount("BltFast"), copies);
    EXPECT_EQ(display.viewpage, before.viewpage);
    EXPECT_EQ(display.page, before.page);
    EXPECT_EQ(display.ani, before.ani);
    EXPECT_EQ(HeadlessPixel(display.viewpage, 7, 7), 0xABCDEFu);
}

TEST_F(DisplayDeviceTest, AnUnrestorablePrimaryRebuildsEverythingWithTheProgressReapplied) {
    // An animation strip with a colour of its own on every row, so that
    // each cleared row shows.
    IndexedImage strip;
    strip.width = 5120;
    strip.height = 64;
    strip.palette.push_back(0);
    for (uint32_t y = 0; y < 64; ++y)
        strip.palette.push_back(0x400000 + 0x000300 * y + 1);
    for (int y = 0; y < 64; ++y)
        strip.pixels.insert(strip.pixels.end(), 5120, static_cast<uint8_t>(1 + y));
    HeadlessSetResource("ANI", RT_BITMAP_TYPE, EncodeBmp(strip));
    StartWindowAndDisplay();

    // Halfway through a wipe to page 2 during the closing.
    scene.targetPage = 2;
    scene.pageSliding = true;
    scene.slideLine = 100;
    scene.slideLineBottom = 283;
    scene.quitRequested = true;
    scene.aniBandTop = 3;
    scene.aniBandBottom = 60;
    HeadlessClearReleaseLog();
    HeadlessSetPrimaryLost(true);
    HeadlessInjectFault("Restore");
    const int creates = HeadlessCallCount("CreateSurface");

    EXPECT_TRUE(RestoreDisplay());
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_EQ(HeadlessReleaseLog(), (std::vector<std::string>{"PRIMARY", "FONT", "BACKGROUND", "PAGE", "VIEWPAGE",
                                                              "ANI", "FPS", "DirectDraw"}));
    EXPECT_EQ(HeadlessCallCount("CreateSurface"), creates + 7);
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 8);
    EXPECT_EQ(SurfaceIsLost(display.primary), RESULT_OK);
    // The wipe's own state is left for the frame to continue.
    EXPECT_EQ(scene.slideLine, 100);
    EXPECT_EQ(scene.slideLineBottom, 283);

    // VIEWPAGE: page 2, with rows 0, 2, ..., 98 and 383, 381, ..., 285 in
    // the middle colour.
    for (int y = 0; y < 384; ++y) {
        const bool wiped = (y < 100 && y % 2 == 0) || (y > 283 && y % 2 == 1);
        for (int x : {0, 17, 320, 639}) {
            const uint32_t expected = wiped ? MIDDLE_COLOUR : HeadlessPixel(display.page, x, 384 + y);
            ASSERT_EQ(HeadlessPixel(display.viewpage, x, y), expected) << x << "," << y;
        }
    }
    // ANI: reloaded, rows 0..2 and 61..63 cleared again.
    for (int y = 0; y < 64; ++y) {
        const bool cleared = y < 3 || y > 60;
        for (int x = 0; x < 5120; x += 7)
            ASSERT_EQ(HeadlessPixel(display.ani, x, y), cleared ? 0u : strip.palette[1 + y]) << x << "," << y;
    }
}

TEST_F(DisplayDeviceTest, AFailedRebuildIsReportedAndLeavesNothingHeld) {
    StartWindowAndDisplay();
    HeadlessSetPrimaryLost(true);
    HeadlessInjectFault("Restore");
    HeadlessInjectFault("CreateSurface", "PAGE", FaultMode::Always);

    EXPECT_FALSE(RestoreDisplay());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"CreateSurface (PAGE) failed! Terminate application!"});
    EXPECT_FALSE(HeadlessDisplayHeld());
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    EXPECT_FALSE(app.running);
}

} // namespace
