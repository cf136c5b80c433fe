// fpsgen SOURCE OUTPUT.bmp: builds the FPS counter bitmap from its text grid.
#include "tools/content/resource_check.h"
#include "tools/content/builder_main.h"
#include "tools/content/fps_source.h"

int main(int argc, char** argv)
{
    return RunArtBuilder(
        "fpsgen", argc, argv,
        [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
            IndexedImage fps;
            if (!ParseFpsSource(source, fps, error)) return false;
            out = EncodeBmp(fps);
            return true;
        },
        CheckFpsBmp);
}
