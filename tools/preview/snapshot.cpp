// snapshot: renders the presentation offline on the headless backend and
// writes pictures of chosen moments, for looking at the scene (and the
// artwork in it) without a screen.
//
//   snapshot [--ppm] [--surface LABEL] [--seed N] OUTDIR [MOMENT...]
//
// Each moment is played from a fresh start: the window, InitDisplay, the
// stars seeded with N (default 1), then frames 21 ms apart on the scripted
// clock (so every frame takes one wipe/reveal step and one animation step),
// with the mouse buttons and the space bar posted to the window procedure
// as the program receives them. The picture is the surface LABEL (default
// PRIMARY, the screen as shown after the moment's last flip; any surface
// label works: BACKBUF, VIEWPAGE, PAGE, ANI, FONT, FPS, BACKGROUND), written
// as OUTDIR/<moment>.png (OUTDIR is created), or .ppm with --ppm. Without
// moments, all of them:
//   page1 .. page4   the page fully revealed (pages 2..4 after right clicks)
//   reveal-half      page 1 halfway through its reveal (80 steps)
//   wipe             the wipe from page 1 to page 2 halfway (96 steps)
//   counter          the counter on (space) after its first real measurement
//   closing          16 animation steps after the left button
//   ani0 ani10 ani20 ani30   the open box showing that animation frame
// Exit code 0 when every picture was written, 1 otherwise, 2 on bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/win_main.h"
#include "display/display_device.h"
#include "display/frame.h"
#include "display/scene.h"
#include "display/stars.h"
#include "platform/crt_rand.h"
#include "platform/headless/headless.h"
#include "tools/common/tool_options.h"
#include "tools/writers/png_writer.h"

namespace {

constexpr uint32_t FRAME_MS = 21;

bool WritePng(Surface* surface, const std::string& path) {
    SurfaceDesc desc{};
    if (SurfaceGetDesc(surface, &desc) < 0)
        return false;
    const int width = static_cast<int>(desc.width);
    const int height = static_cast<int>(desc.height);
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(HeadlessPixel(surface, x, y));
    const std::vector<uint8_t> png = EncodePng(width, height, pixels, false);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

// ---- The scripted run ---------------------------------------------------------

struct Options {
    bool ppm = false;
    std::string surface = "PRIMARY";
    uint32_t seed = 1;
    std::string outDir;
};

bool Frame() {
    HeadlessAdvanceTime(FRAME_MS);
    return ComposeFrame();
}

// Posts an input message and lets the window procedure have it.
void Input(uint32_t message, uintptr_t wParam = 0) {
    HeadlessPostInput(message, wParam);
    int exitCode = 0;
    while (!HeadlessQueuedMessages().empty())
        MessageStep(&exitCode);
}

bool FramesWhile(const std::function<bool()>& condition, int limit = 2000) {
    for (int i = 0; i < limit && condition(); ++i)
        if (!Frame())
            return false;
    return !condition();
}

bool Frames(int count) {
    for (int i = 0; i < count; ++i)
        if (!Frame())
            return false;
    return true;
}

bool PageShown() {
    return FramesWhile([] { return scene.revealing || scene.pageSliding; }) && Frames(2);
}

bool ToPage(int page) {
    if (!PageShown())
        return false;
    for (int p = 1; p < page; ++p) {
        Input(WM_RBUTTONDOWN);
        if (!PageShown())
            return false;
    }
    return true;
}

bool AnimationFrame(int frame) {
    // Draw the frame in which the open box shows `frame`.
    if (!FramesWhile([frame] { return scene.aniInset > 0 || scene.aniFrameX != 128 * frame; }))
        return false;
    return Frame();
}

struct Moment {
    const char* name;
    std::function<bool()> play;
};

const std::vector<Moment>& Moments() {
    static const std::vector<Moment> moments = {
        {"page1", [] { return ToPage(1); }},
        {"page2", [] { return ToPage(2); }},
        {"page3", [] { return ToPage(3); }},
        {"page4", [] { return ToPage(4); }},
        {"reveal-half", [] { return Frames(80); }},
        {"wipe",
         [] {
             if (!PageShown())
                 return false;
             Input(WM_RBUTTONDOWN);
             return Frames(96);
         }},
        {"counter",
         [] {
             Input(WM_KEYDOWN, VK_SPACE);
             return FramesWhile([] { return scene.fps == 0; }) && Frames(1);
         }},
        {"closing",
         [] {
             if (!PageShown())
                 return false;
             Input(WM_LBUTTONDOWN);
             return Frames(16);
         }},
        {"ani0", [] { return AnimationFrame(0); }},
        {"ani10", [] { return AnimationFrame(10); }},
        {"ani20", [] { return AnimationFrame(20); }},
        {"ani30", [] { return AnimationFrame(30); }},
    };
    return moments;
}

void Restart() {
    ReleaseDisplay();
    display = Display{};
    HeadlessReset();
    ResetScene();
    ResetApp();
}

bool Shoot(const Moment& moment, const Options& options) {
    Restart();
    HeadlessSetTime(100000);
    app.instance = OsModuleHandle();
    if (!CreateMainWindow() || !InitDisplay(mainWindow))
        return false;
    CrtSrand(options.seed);
    for (int i = 0; i < STAR_COUNT; ++i) {
        RenewStar(scene.topStars[i], true);
        RenewStar(scene.bottomStars[i], false);
    }
    if (!moment.play()) {
        std::fprintf(stderr, "snapshot: %s: the scene did not get there\n", moment.name);
        return false;
    }
    Surface* surface = HeadlessSurface(options.surface);
    if (surface == nullptr) {
        std::fprintf(stderr, "snapshot: no surface labelled %s\n", options.surface.c_str());
        return false;
    }
    const std::string path = options.outDir + "/" + moment.name + (options.ppm ? ".ppm" : ".png");
    const bool written = options.ppm ? HeadlessWritePpm(surface, path) : WritePng(surface, path);
    if (!written) {
        std::fprintf(stderr, "snapshot: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

std::string UsageText() {
    std::string text =
        "usage: snapshot [--ppm] [--surface LABEL] [--seed N] OUTDIR [MOMENT...]\n"
        "Writes pictures of moments of the presentation (as built) to OUTDIR/MOMENT.png.\n"
        "  --ppm             write PPM instead of PNG\n"
        "  --surface LABEL   picture this surface instead of the screen (PRIMARY)\n"
        "  --seed N          seed of the stars (default 1)\n"
        "moments (default: all):";
    for (const Moment& m : Moments())
        text += std::string(" ") + m.name;
    return text + "\nExit status: 0 every picture written, 1 otherwise, 2 usage.\n";
}

int Usage() {
    std::fputs(UsageText().c_str(), stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "snapshot", UsageText().c_str(), false); done >= 0)
        return done;
    Options options;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ppm") {
            options.ppm = true;
        } else if (arg == "--surface" && i + 1 < argc) {
            options.surface = argv[++i];
        } else if (arg == "--seed" && i + 1 < argc) {
            options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else if (options.outDir.empty()) {
            options.outDir = arg;
        } else {
            names.push_back(arg);
        }
    }
    if (options.outDir.empty())
        return Usage();
    std::error_code error;
    std::filesystem::create_directories(options.outDir, error);

    std::vector<const Moment*> chosen;
    for (const Moment& m : Moments())
        if (names.empty())
            chosen.push_back(&m);
    for (const std::string& name : names) {
        const Moment* found = nullptr;
        for (const Moment& m : Moments())
            if (name == m.name)
                found = &m;
        if (!found)
            return Usage();
        chosen.push_back(found);
    }

    bool ok = true;
    for (const Moment* m : chosen)
        ok = Shoot(*m, options) && ok;
    Restart();
    return ok ? 0 : 1;
}
