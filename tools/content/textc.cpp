// textc [--own] SOURCE OUTPUT.bin: builds the 10240 bytes of the release text.
#include "tools/content/builder_main.h"
#include "tools/content/release_text.h"

int main(int argc, char** argv) {
    return RunArtBuilder({"textc",
                          "usage: textc [--own] SOURCE OUTPUT.bin\n"
                          "Builds the release text from SOURCE: 128 lines of exactly 80 characters, four\n"
                          "pages of 32, printable ASCII only, ` for a box corner.\n"
                          "  --own   the navigation box of the built-in pages 1 to 3 is a warning, not an error\n"
                          "Exit status: 0 built, 1 the text is wrong (the message names the line), 2 usage.\n",
                          [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
                              return BuildReleaseText(source, out, error, false);
                          },
                          CheckReleaseTextCodes, CheckReleaseTextLook},
                         argc, argv);
}
