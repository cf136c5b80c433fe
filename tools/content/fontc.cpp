// fontc SOURCE OUTPUT.bmp: builds the FONT bitmap from its text grid.
#include "tools/content/resource_check.h"
#include "tools/content/builder_main.h"
#include "tools/content/font_source.h"

int main(int argc, char** argv)
{
    return RunArtBuilder(
        "fontc", argc, argv,
        [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
            IndexedImage font;
            if (!ParseFontSource(source, font, error)) return false;
            out = EncodeBmp(font);
            return true;
        },
        CheckFontBmp);
}
