// Small helpers shared by the art builders' source readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SourceLine {
    int number; // 1-based line number in the source file
    std::string text;
};

// Splits a source into lines (LF or CRLF), dropping blank lines and lines
// whose first character is `comment`, and keeping the line numbers.
std::vector<SourceLine> MeaningfulLines(const std::string& source, char comment);

// "line N: " + message.
std::string AtLine(int number, const std::string& message);

// `name = value...` settings, one a line, `;` starting a comment anywhere.
// Each name may appear once. False with "line N: ..." in `error` otherwise.
struct Setting {
    int line;
    std::vector<std::string> values;
};
bool ParseSettings(const std::string& source, std::vector<std::pair<std::string, Setting>>& settings,
                   std::string& error);
std::vector<std::string> SplitWords(const std::string& text);

// The colour t of the way from a to b (0x00RRGGBB, each channel rounded).
uint32_t MixColour(uint32_t a, uint32_t b, double t);
