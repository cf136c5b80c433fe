#include "tools/content/builder_main.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/common/tool_options.h"
#include "tools/content/resource_check.h"

int RunArtBuilder(const ArtBuilder& builder, int argc, char** argv) {
    const char* tool = builder.tool;
    if (const int done = StandardOptions(argc, argv, tool, builder.usage, false); done >= 0)
        return done;
    bool own = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--own") == 0 && builder.look) {
            own = true;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(stderr, "%s: unknown option %s\n", tool, argv[i]);
            files.clear();
            break;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        std::fputs(builder.usage, stderr);
        return 2;
    }
    const char* sourcePath = files[0];
    const char* outputPath = files[1];
    std::vector<uint8_t> source;
    if (!ReadWholeFile(sourcePath, source)) {
        std::fprintf(stderr, "%s: %s: cannot read the file (does it exist?)\n", tool, sourcePath);
        return 1;
    }
    std::vector<uint8_t> output;
    std::string error;
    try {
        if (!builder.build(std::string(source.begin(), source.end()), output, error)) {
            std::fprintf(stderr, "%s: %s: %s\n", tool, sourcePath, error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", tool, sourcePath, e.what());
        return 1;
    }
    error = builder.check(output);
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s: the built output fails its check: %s\n", tool, sourcePath, error.c_str());
        return 1;
    }
    if (builder.look) {
        error = builder.look(output);
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s: %s%s%s\n", tool, sourcePath, own ? "warning: " : "", error.c_str(),
                         own ? " (a rule of the built-in look, which your own need not follow)" : "");
            if (!own)
                return 1;
        }
    }
    if (!WriteWholeFile(outputPath, output)) {
        std::fprintf(stderr, "%s: %s: cannot write\n", tool, outputPath);
        return 1;
    }
    return 0;
}
