// iconc SETTINGS OUTPUT.ico OUTPUT.png: draws the program's icon, as a
// Windows icon (32x32 and 48x48) and as a 48x48 PNG for the desktop entry.
#include <cstdio>

#include "tools/content/resource_check.h"
#include "tools/content/icon_art.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: iconc SETTINGS OUTPUT.ico OUTPUT.png\n");
        return 2;
    }
    std::vector<uint8_t> source;
    if (!ReadWholeFile(argv[1], source)) {
        std::fprintf(stderr, "iconc: %s: cannot read the source\n", argv[1]);
        return 1;
    }
    IconParams params;
    std::string error;
    if (!ParseIconParams(std::string(source.begin(), source.end()), params, error)) {
        std::fprintf(stderr, "iconc: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::vector<int> sizes{32, 48};
    const std::vector<uint8_t> ico = EncodeIco(params, sizes);
    const std::vector<uint8_t> png = EncodePng(RenderIcon(params, 48), 48);
    error = CheckIco(ico, sizes);
    if (error.empty()) error = CheckPng(png, 48);
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
