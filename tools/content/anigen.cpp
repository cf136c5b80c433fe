// anigen [--own] SOURCE OUTPUT.bmp: renders the ANI strip from its
// parameters, or takes it from a PNG strip of the 40 frames.
#include "tools/content/ani_generator.h"
#include "tools/content/builder_main.h"
#include "tools/content/png_reader.h"
#include "tools/content/resource_check.h"

int main(int argc, char** argv) {
    return RunArtBuilder({"anigen",
                          "usage: anigen [--own] SOURCE OUTPUT.bmp\n"
                          "Builds the corner animation (ANI) from SOURCE: the parameters of the turning ring\n"
                          "(the form of resources/ani.txt) or a PNG strip of 5120x64 pixels holding the 40\n"
                          "frames of 128x64 from left to right; black and transparent pixels show through.\n"
                          "  --own   the rules of the built-in animation's look are warnings, not errors\n"
                          "Exit status: 0 built, 1 the source is wrong (the message names what), 2 usage.\n",
                          [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
                              if (IsPng(source)) {
                                  IndexedImage ani;
                                  if (!AniFromPng(source, ani, error))
                                      return false;
                                  out = EncodeBmp(ani);
                                  return true;
                              }
                              AniParams params;
                              if (!ParseAniParams(source, params, error))
                                  return false;
                              out = EncodeBmp(RenderAni(params));
                              return true;
                          },
                          [](const std::vector<uint8_t>& bytes) { return CheckAniBmp(bytes, false); }, CheckAniBmpLook},
                         argc, argv);
}
