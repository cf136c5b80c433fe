// fontc [--own] SOURCE OUTPUT.bmp: builds the FONT bitmap from its text grid
// or from a PNG strip of the cells.
#include "tools/content/builder_main.h"
#include "tools/content/font_source.h"
#include "tools/content/png_reader.h"
#include "tools/content/resource_check.h"

int main(int argc, char** argv) {
    return RunArtBuilder(
        {"fontc",
         "usage: fontc [--own] SOURCE OUTPUT.bmp\n"
         "Builds the screen font (FONT) from SOURCE: a text grid of cells (the form of\n"
         "resources/font.txt) or a PNG strip of 784x12 pixels holding the 98 cells of 8x12\n"
         "for codes 32 to 129 from left to right, black pixels drawing the letters.\n"
         "  --own   the rules of the built-in font's look are warnings, not errors\n"
         "Exit status: 0 built, 1 the source is wrong (the message names what), 2 usage.\n",
         [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
             IndexedImage font;
             if (IsPng(source) ? !FontFromPng(source, font, error) : !ParseFontSource(source, font, error))
                 return false;
             out = EncodeBmp(font);
             return true;
         },
         [](const std::vector<uint8_t>& bytes) { return CheckFontBmp(bytes, false); }, CheckFontBmpLook},
        argc, argv);
}
