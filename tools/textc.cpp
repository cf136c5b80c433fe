// textc SOURCE OUTPUT.bin: builds the 10240 bytes of the release text.
#include "tools/art_main.h"
#include "tools/release_text.h"

int main(int argc, char** argv)
{
    return RunArtBuilder("textc", argc, argv, BuildReleaseText, CheckReleaseText);
}
