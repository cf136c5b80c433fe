// The shared frame of the art builders' command lines: read the source,
// build, check the result as the program will see it, write it. Every
// failure prints "TOOL: SOURCE: message" and makes the tool exit with 1,
// which stops the build.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// `build` turns the source text into the output bytes or returns false with
// a message; `check` returns "" for good output bytes. Returns the exit code.
int RunArtBuilder(const char* tool, int argc, char** argv,
                  const std::function<bool(const std::string&, std::vector<uint8_t>&, std::string&)>& build,
                  const std::function<std::string(const std::vector<uint8_t>&)>& check);
