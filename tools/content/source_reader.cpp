#include "tools/content/source_reader.h"

#include <cmath>

std::vector<SourceLine> MeaningfulLines(const std::string& source, char comment) {
    std::vector<SourceLine> lines;
    int number = 0;
    size_t at = 0;
    while (at < source.size()) {
        size_t end = source.find('\n', at);
        if (end == std::string::npos)
            end = source.size();
        std::string text = source.substr(at, end - at);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        ++number;
        if (!text.empty() && text[0] != comment && text.find_first_not_of(" \t") != std::string::npos)
            lines.push_back({number, text});
        at = end + 1;
    }
    return lines;
}

std::string AtLine(int number, const std::string& message) { return "line " + std::to_string(number) + ": " + message; }

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        const size_t end = text.find_first_of(" \t", at);
        words.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return words;
}

bool ParseSettings(const std::string& source, std::vector<std::pair<std::string, Setting>>& settings,
                   std::string& error) {
    settings.clear();
    for (const SourceLine& line : MeaningfulLines(source, ';')) {
        const std::string text = line.text.substr(0, line.text.find(';'));
        const size_t equals = text.find('=');
        const std::vector<std::string> name = SplitWords(text.substr(0, equals));
        if (equals == std::string::npos || name.size() != 1) {
            error = AtLine(line.number, "expected `name = value`, found `" + line.text + "`");
            return false;
        }
        for (const auto& s : settings)
            if (s.first == name[0]) {
                error = AtLine(line.number, "`" + name[0] + "` is given twice");
                return false;
            }
        settings.push_back({name[0], {line.number, SplitWords(text.substr(equals + 1))}});
    }
    return true;
}

uint32_t MixColour(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}
