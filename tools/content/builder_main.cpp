#include "tools/content/builder_main.h"

#include <cstdio>
#include <exception>

#include "tools/content/resource_check.h"

int RunArtBuilder(const char* tool, int argc, char** argv,
                  const std::function<bool(const std::string&, std::vector<uint8_t>&, std::string&)>& build,
                  const std::function<std::string(const std::vector<uint8_t>&)>& check)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE OUTPUT\n", tool);
        return 2;
    }
    std::vector<uint8_t> source;
    if (!ReadWholeFile(argv[1], source)) {
        std::fprintf(stderr, "%s: %s: cannot read the source\n", tool, argv[1]);
        return 1;
    }
    std::vector<uint8_t> output;
    std::string error;
    try {
        if (!build(std::string(source.begin(), source.end()), output, error)) {
            std::fprintf(stderr, "%s: %s: %s\n", tool, argv[1], error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", tool, argv[1], e.what());
        return 1;
    }
    error = check(output);
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s: the built output fails its check: %s\n", tool, argv[1], error.c_str());
        return 1;
    }
    if (!WriteWholeFile(argv[2], output)) {
        std::fprintf(stderr, "%s: %s: cannot write\n", tool, argv[2]);
        return 1;
    }
    return 0;
}
