// The options every Quillon tool answers alike, checked before its own:
//   --help       the usage on stdout, exit 0
//   --version    "NAME (Quillon) VERSION" on stdout, exit 0
// A tool that takes no options of its own passes `noOtherOptions`, so that
// any other argument starting with "--" prints the usage on stderr and exits
// 2 instead of being taken for a file name. Tools with options reject the
// unknown ones in their own parser, the same way.
#pragma once

#include <cstdio>
#include <cstring>

#include "quillon_version.h"

// The exit code when the tool is done (0 or 2), or -1 when it should go on.
inline int StandardOptions(int argc, char** argv, const char* name, const char* usage, bool noOtherOptions) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s (Quillon) %s\n", name, QUILLON_VERSION);
            return 0;
        }
        if (noOtherOptions && std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(stderr, "%s: unknown option %s\n", name, argv[i]);
            std::fputs(usage, stderr);
            return 2;
        }
    }
    return -1;
}
