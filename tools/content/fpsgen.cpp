// fpsgen SOURCE OUTPUT.bmp: builds the FPS counter bitmap from its text grid.
#include "tools/content/builder_main.h"
#include "tools/content/fps_source.h"
#include "tools/content/resource_check.h"

int main(int argc, char** argv) {
    return RunArtBuilder({"fpsgen",
                          "usage: fpsgen SOURCE OUTPUT.bmp\n"
                          "Builds the frames-per-second counter's digits (FPS) from their text grid (the\n"
                          "form of resources/fps.txt).\n"
                          "Exit status: 0 built, 1 the source is wrong (the message names the line), 2 usage.\n",
                          [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
                              IndexedImage fps;
                              if (!ParseFpsSource(source, fps, error))
                                  return false;
                              out = EncodeBmp(fps);
                              return true;
                          },
                          CheckFpsBmp, nullptr},
                         argc, argv);
}
