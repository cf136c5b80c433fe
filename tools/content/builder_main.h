// The shared frame of the art builders' command lines: read the source,
// build, check the result as the program will see it, write it. Every
// failure prints "TOOL: SOURCE: message" and makes the tool exit with 1,
// which stops the build.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ArtBuilder {
    const char* tool;
    const char* usage; // the whole --help text
    // Turns the source bytes into the output bytes or returns false with a message.
    std::function<bool(const std::string&, std::vector<uint8_t>&, std::string&)> build;
    // What the program needs of the output: "" when it holds.
    std::function<std::string(const std::vector<uint8_t>&)> check;
    // The rules that only keep the built-in look (may be empty). Errors for
    // the built-in sources; with --own (a person's own content) warnings
    // printed as "TOOL: SOURCE: warning: message", and the output is written.
    std::function<std::string(const std::vector<uint8_t>&)> look;
};

// Runs `TOOL [--own] SOURCE OUTPUT`. Returns the exit code.
int RunArtBuilder(const ArtBuilder& builder, int argc, char** argv);
