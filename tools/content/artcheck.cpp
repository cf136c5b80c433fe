// artcheck KIND FILE: checks a built resource as the program will link it.
// KIND is font, ani, fps or text. Prints the first fault and exits with 1.
#include <cstdio>
#include <string>

#include "tools/content/resource_check.h"
#include "tools/content/release_text.h"
#include "tools/common/tool_options.h"

namespace {

const char USAGE[] =
    "usage: artcheck font|ani|fps|text FILE\n"
    "Checks a built resource as the program will link it.\n"
    "Exit status: 0 good, 1 the first fault is printed, 2 usage.\n";

} // namespace

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "artcheck", USAGE, true); done >= 0)
        return done;
    if (argc != 3) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const std::string kind = argv[1];
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(argv[2], bytes)) {
        std::fprintf(stderr, "artcheck: %s: cannot read\n", argv[2]);
        return 1;
    }
    std::string error;
    if (kind == "font")
        error = CheckFontBmp(bytes);
    else if (kind == "ani")
        error = CheckAniBmp(bytes);
    else if (kind == "fps")
        error = CheckFpsBmp(bytes);
    else if (kind == "text")
        error = CheckReleaseText(bytes);
    else {
        std::fprintf(stderr, "artcheck: unknown kind '%s'\n", argv[1]);
        return 2;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "artcheck: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
