// textc SOURCE OUTPUT.bin: builds the 10240 bytes of the release text.
#include "tools/content/builder_main.h"
#include "tools/content/release_text.h"

int main(int argc, char** argv)
{
    return RunArtBuilder("textc", argc, argv, BuildReleaseText, CheckReleaseText);
}
