// iconc SOURCE OUTPUT.ico OUTPUT.png: draws the program's icon (from its
// settings or a square PNG), as a Windows icon (32x32 and 48x48) and as a
// 48x48 PNG for the desktop entry.
#include <cstdio>

#include "tools/content/resource_check.h"
#include "tools/content/icon_art.h"
#include "tools/content/png_reader.h"
#include "tools/common/tool_options.h"

namespace {

const char USAGE[] =
    "usage: iconc SOURCE OUTPUT.ico OUTPUT.png\n"
    "Draws the program's icon from its settings (the form of resources/icon.txt), or\n"
    "takes it from a square PNG of at least 48x48: a Windows icon of 32x32 and 48x48\n"
    "and a 48x48 PNG for the desktop entry.\n"
    "Exit status: 0 drawn, 1 the settings are wrong (the message names what), 2 usage.\n";

} // namespace

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "iconc", USAGE, true); done >= 0)
        return done;
    if (argc != 4) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::vector<uint8_t> source;
    if (!ReadWholeFile(argv[1], source)) {
        std::fprintf(stderr, "iconc: %s: cannot read the source\n", argv[1]);
        return 1;
    }
    const std::string text(source.begin(), source.end());
    IconParams params;
    int side = 0;
    std::vector<uint32_t> picture;
    std::string error;
    if (IsPng(text) ? !IconFromPng(text, side, picture, error) : !ParseIconParams(text, params, error)) {
        std::fprintf(stderr, "iconc: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const IconPicture draw = [&](int size) {
        return side ? ShrinkSquare(picture, side, size) : RenderIcon(params, size);
    };
    const std::vector<int> sizes{32, 48};
    const std::vector<uint8_t> ico = EncodeIco(draw, sizes);
    const std::vector<uint8_t> png = EncodePng(draw(48), 48);
    error = CheckIco(ico, sizes);
    if (error.empty())
        error = CheckPng(png, 48);
    if (!error.empty()) {
        std::fprintf(stderr, "iconc: %s: the built output fails its check: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!WriteWholeFile(argv[2], ico) || !WriteWholeFile(argv[3], png)) {
        std::fprintf(stderr, "iconc: cannot write %s or %s\n", argv[2], argv[3]);
        return 1;
    }
    return 0;
}
