#include "display/display_device.h"

#include "display/error_exit.h"
#include "display/layout.h"
#include "display/pages.h"
#include "display/scene.h"

Display display;

namespace {

// An off-screen surface of the scene: its size, whether black is its source
// colour key, and the label its messages and diagnostics use.
struct OffscreenLayout {
    const char* label;
    uint32_t width;
    uint32_t height;
    bool blackIsTransparent;
};

constexpr OffscreenLayout VIEWPAGE_LAYOUT{"VIEWPAGE", PAGE_WIDTH, PAGE_HEIGHT, false};
constexpr OffscreenLayout ANI_LAYOUT{"ANI", ANI_STRIP_WIDTH, ANI_FRAME_HEIGHT, true};
constexpr OffscreenLayout BACKGROUND_LAYOUT{"BACKGROUND", SCREEN_WIDTH, SCREEN_HEIGHT, false};
constexpr OffscreenLayout FPS_LAYOUT{"FPS", FPS_WIDTH, FPS_HEIGHT, true};
constexpr OffscreenLayout FONT_LAYOUT{"FONT", FONT_WIDTH, GLYPH_HEIGHT, false};
constexpr OffscreenLayout PAGE_LAYOUT{"PAGE", PAGE_WIDTH, PAGES_HEIGHT, false};

// Video memory first; when that is refused, system memory, silently. Each
// surface chooses by itself, so some may end up in either. Null only when
// both tries failed.
Surface* CreateOffscreen(const OffscreenLayout& layout) {
    SurfaceDesc desc{};
    desc.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.width = layout.width;
    desc.height = layout.height;
    desc.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    desc.label = layout.label;
    if (layout.blackIsTransparent) {
        desc.flags |= DDSD_CKSRCBLT; // the zeroed key range: black alone
    }
    Surface* surface = nullptr;
    if (DdCreateSurface(display.dd, &desc, &surface) == RESULT_OK) {
        return surface;
    }
    desc.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    if (DdCreateSurface(display.dd, &desc, &surface) == RESULT_OK) {
        return surface;
    }
    return nullptr;
}

// Creates the surface into `slot` or reports `message`.
bool CreateOffscreenOrExit(const OffscreenLayout& layout, Surface** slot, const char* message) {
    *slot = CreateOffscreen(layout);
    if (*slot == nullptr) {
        return ErrorExit(message);
    }
    return true;
}

bool CreatePrimary() {
    SurfaceDesc desc{};
    desc.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.backBufferCount = 1;
    desc.label = "PRIMARY";
    Surface* surface = nullptr;
    if (DdCreateSurface(display.dd, &desc, &surface) != RESULT_OK) {
        return false;
    }
    display.primary = surface;
    return true;
}

// Paints again the VIEWPAGE rows that an interrupted wipe had already
// turned to the middle colour: the even rows from the top and the odd rows
// from the bottom, as far as slideLine had come.
bool ReapplyWipe() {
    for (int i = 0; i < scene.slideLine; i += 2) {
        const Rect top{0, i, PAGE_WIDTH, i + 1};
        if (SurfaceColorFill(display.viewpage, &top, MIDDLE_COLOUR) != RESULT_OK) {
            return ErrorExit("LINEONE->BACKBUF copy error!");
        }
        const Rect bottom{0, PAGE_HEIGHT - 1 - i, PAGE_WIDTH, PAGE_HEIGHT - i};
        if (SurfaceColorFill(display.viewpage, &bottom, MIDDLE_COLOUR) != RESULT_OK) {
            return ErrorExit("LINETWO->BACKBUF copy error!");
        }
    }
    return true;
}

// Clears again the ANI rows that the closing effect had already eaten away.
bool ReapplyClosing() {
    if (scene.aniBandTop <= 0) {
        return true;
    }
    const Rect top{0, 0, ANI_STRIP_WIDTH, scene.aniBandTop};
    if (SurfaceColorFill(display.ani, &top, 0) != RESULT_OK) {
        return ErrorExit("ANI clear error!");
    }
    const Rect bottom{0, scene.aniBandBottom + 1, ANI_STRIP_WIDTH, ANI_FRAME_HEIGHT};
    if (SurfaceColorFill(display.ani, &bottom, 0) != RESULT_OK) {
        return ErrorExit("ANI clear error!");
    }
    return true;
}

void ReleaseSurface(Surface*& surface) {
    if (surface != nullptr) {
        SurfaceRelease(surface);
        surface = nullptr;
    }
}

} // namespace

bool ClearSurface(Surface* surface) {
    if (SurfaceColorFill(surface, nullptr, 0) != RESULT_OK) {
        return ErrorExit("Could not clean the surface!");
    }
    return true;
}

bool LoadBitmapToSurface(Surface* surface, const char* name) {
    SurfaceDesc desc{};
    if (SurfaceGetDesc(surface, &desc) < 0) {
        return false;
    }
    const int width = static_cast<int>(desc.width);
    const int height = static_cast<int>(desc.height);

    // Whatever was obtained is given back on every path, success or not.
    bool copied = false;
    Bitmap* bitmap = OsLoadBitmap(OsModuleHandle(), name, width, height);
    DeviceContext* memoryDc = nullptr;
    DeviceContext* surfaceDc = nullptr;
    if (bitmap != nullptr) {
        memoryDc = GdiCreateCompatibleDC();
    }
    if (memoryDc != nullptr) {
        GdiSelectBitmap(memoryDc, bitmap);
        if (SurfaceGetDC(surface, &surfaceDc) < 0) {
            surfaceDc = nullptr;
        }
    }
    if (surfaceDc != nullptr) {
        copied = GdiBitBlt(surfaceDc, 0, 0, width, height, memoryDc, 0, 0) != 0;
    }

    if (surfaceDc != nullptr) {
        SurfaceReleaseDC(surface, surfaceDc);
    }
    if (memoryDc != nullptr) {
        GdiDeleteDC(memoryDc);
    }
    if (bitmap != nullptr) {
        GdiDeleteBitmap(bitmap);
    }
    return copied;
}

bool InitDisplay(Window* window) {
    display.window = window;
    DirectDraw* dd = nullptr;
    if (DdCreate(&dd) != RESULT_OK) {
        return ErrorExit("DirectDrawCreateEx failed!");
    }
    display.dd = dd;
    if (DdSetCooperativeLevel(display.dd, display.window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT) !=
        RESULT_OK) {
        return ErrorExit("SetCooperativeLevel failed!");
    }
    if (DdSetDisplayMode(display.dd, SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_BITS_PER_PIXEL, 0, 0) != RESULT_OK) {
        return ErrorExit("SetDisplayMode failed! No 640x480x32bpp support!");
    }

    if (!CreatePrimary()) {
        return ErrorExit("CreateSurface (PRIMARY) failed!");
    }
    if (!ClearSurface(display.primary)) {
        return false;
    }
    Surface* backbuf = nullptr;
    if (SurfaceGetAttached(display.primary, DDSCAPS_BACKBUFFER, &backbuf) != RESULT_OK) {
        return ErrorExit("GetAttachedSurface failed!");
    }
    display.backbuf = backbuf;
    if (!ClearSurface(display.backbuf)) {
        return false;
    }

    if (!CreateOffscreenOrExit(VIEWPAGE_LAYOUT, &display.viewpage, "CreateSurface (VIEWPAGE) failed!")) {
        return false;
    }

    if (!CreateOffscreenOrExit(ANI_LAYOUT, &display.ani, "CreateSurface (ANI) failed!")) {
        return false;
    }
    if (!LoadBitmapToSurface(display.ani, "ANI")) {
        return ErrorExit("Could not load image (ANI) into the surface!");
    }

    if (!CreateOffscreenOrExit(BACKGROUND_LAYOUT, &display.background, "CreateSurface (BACKGROUND) failed!")) {
        return false;
    }
    if (!ClearSurface(display.background)) {
        return false;
    }
    if (!DrawBackground()) {
        return ErrorExit("Could not create background image!");
    }

    if (!CreateOffscreenOrExit(FPS_LAYOUT, &display.fps, "CreateSurface (FPS) failed!")) {
        return false;
    }
    if (!LoadBitmapToSurface(display.fps, "FPS")) {
        return ErrorExit("Could not load image (FPS) into the surface!");
    }

    if (!CreateOffscreenOrExit(FONT_LAYOUT, &display.font, "CreateSurface (FONT) failed!")) {
        return false;
    }
    if (!LoadBitmapToSurface(display.font, "FONT")) {
        return ErrorExit("Could not load image (FONT) into the surface!");
    }

    if (!CreateOffscreenOrExit(PAGE_LAYOUT, &display.page, "CreateSurface (PAGE) failed!")) {
        return false;
    }
    if (!FindReleaseText()) {
        return ErrorExit("TEXT resource error!");
    }
    if (!RenderPages()) {
        return ErrorExit("Could not create pages!");
    }

    // On the first run slideLine is 384 here, so this copy also starts the
    // reveal of the page; in a rebuild during a wipe it leaves the wipe be.
    if (!CopyPage(scene.targetPage)) {
        return ErrorExit("Could not copy viewpage!");
    }
    // A rebuild continues the picture where it stood.
    if (!ReapplyWipe() || !ReapplyClosing()) {
        return false;
    }

    OsShowCursor(false);
    return true;
}

void ReleaseDisplay() {
    if (display.dd == nullptr) {
        return;
    }
    // The back buffer belongs to the primary's flip chain and goes with it;
    // its reference is dropped so nothing can reach the released surface.
    ReleaseSurface(display.primary);
    display.backbuf = nullptr;
    ReleaseSurface(display.font);
    ReleaseSurface(display.background);
    ReleaseSurface(display.page);
    ReleaseSurface(display.viewpage);
    ReleaseSurface(display.ani);
    ReleaseSurface(display.fps);
    // Gives the desktop its display mode back.
    DdRelease(display.dd);
    display.dd = nullptr;
}

bool RestoreDisplay() {
    if (display.primary != nullptr && SurfaceRestore(display.primary) == RESULT_OK) {
        return true;
    }
    ReleaseDisplay();
    return InitDisplay(display.window);
}

void ResetDisplay() { display = Display{}; }
