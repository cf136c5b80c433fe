// The Linux entry point. The presentation takes no arguments and ignores
// any it is given, except that --help and --version answer on stdout and
// exit 0 without opening a window: a person who finds `quillon` on the PATH
// must be able to ask what it is before it takes the whole screen. The exit
// code is otherwise WinMain's result.
#include <cstdio>
#include <cstring>

#include "app/win_main.h"
#include "quillon_version.h"

namespace {

const char HELP[] =
    "usage: quillon [--help | --version]\n"
    "\n"
    "Quillon: a full-screen presentation of a release. Four pages of text over\n"
    "colour bars, revealed line by line, a corner animation, drifting stars and a\n"
    "song played by its own Extended Module player. Everything it shows and plays\n"
    "is linked into the program; it reads no files and takes no other arguments.\n"
    "\n"
    "keys:\n"
    "  right mouse button  wipe to the next page (4 wraps to 1) and reveal it\n"
    "  left mouse button   eat the animation away, wipe the page, end\n"
    "  space bar           show or hide the frames-per-second counter\n"
    "\n"
    "exit status: 1 after the ordinary end (left button); 0 when the window\n"
    "cannot be opened or a display step fails (the reason goes to stderr).\n"
    "Without a sound device the presentation runs silent.\n"
    "\n"
    "tools: quillon-capture (a video of it), quillon-xmcheck and quillon-xmrender\n"
    "(a song: will it play, and how it sounds), quillon-snapshot (pictures of the\n"
    "pages); in a build tree they are build/quillon-capture and build/tools/.\n"
    "A presentation of your own is built from the sources: see the README.\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(HELP, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillon (Quillon) %s\n", QUILLON_VERSION);
            return 0;
        }
    }
    return WinMain(OsModuleHandle(), nullptr, "", SW_SHOWNORMAL);
}
