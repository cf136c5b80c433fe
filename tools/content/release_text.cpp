#include "tools/content/release_text.h"

#include <cstdio>

namespace {

// "line 61 (page 2, line 29)": the source's line and where it shows, both
// counted from 1 as an editor counts them.
std::string Where(int line) {
    return "line " + std::to_string(line + 1) + " (page " + std::to_string(line / TEXT_PAGE_LINES + 1) + ", line " +
           std::to_string(line % TEXT_PAGE_LINES + 1) + ")";
}

// What a byte the font has no cell for is, in words a person can act on.
std::string NotInFont(const std::string& source, size_t at) {
    const uint8_t code = static_cast<uint8_t>(source[at]);
    if (code == '\t')
        return "a tab, which the font does not have; use spaces";
    if (code >= 0x80) {
        char hex[8];
        std::string bytes;
        for (size_t i = at; i < source.size() && i < at + 4 && static_cast<uint8_t>(source[i]) >= 0x80; ++i) {
            std::snprintf(hex, sizeof hex, "%s%02X", bytes.empty() ? "" : " ", static_cast<uint8_t>(source[i]));
            bytes += hex;
        }
        return "a character outside ASCII (bytes " + bytes +
               "), which the font does not have; the font has the printable ASCII characters from space to ~";
    }
    return "control code " + std::to_string(code) + ", which the font does not have";
}

std::string Line(const std::vector<uint8_t>& text, int line) {
    return std::string(text.begin() + line * TEXT_COLUMNS, text.begin() + (line + 1) * TEXT_COLUMNS);
}

bool IsEdge(char c) { return c == '-' || c == '=' || static_cast<uint8_t>(c) == TEXT_CORNER; }

// The LMB/RMB box on the last three lines of a page; "" when it is right.
std::string CheckNavigationBox(const std::vector<uint8_t>& text, int page) {
    const int top = page * TEXT_PAGE_LINES + 29;
    const std::string rows[3] = {Line(text, top), Line(text, top + 1), Line(text, top + 2)};
    const size_t left = rows[0].find_first_not_of(' ');
    const size_t right = rows[0].find_last_not_of(' ');
    if (left == std::string::npos || left == right || static_cast<uint8_t>(rows[0][left]) != TEXT_CORNER ||
        static_cast<uint8_t>(rows[0][right]) != TEXT_CORNER)
        return Where(top) + ": the navigation box must start here with a corner mark (`) at each end";
    for (int r = 0; r < 3; ++r) {
        const std::string& row = rows[r];
        if (row.find_first_not_of(' ') != left || row.find_last_not_of(' ') != right)
            return Where(top + r) + ": the navigation box must span columns " + std::to_string(left) + " to " +
                   std::to_string(right) + " like its top edge";
    }
    for (int r : {0, 2}) {
        if (static_cast<uint8_t>(rows[r][left]) != TEXT_CORNER || static_cast<uint8_t>(rows[r][right]) != TEXT_CORNER)
            return Where(top + r) + ": the navigation box needs a corner mark (`) at both ends";
        for (size_t c = left; c <= right; ++c)
            if (!IsEdge(rows[r][c]))
                return Where(top + r) + ": the navigation box's edge may hold only '-', '=' and corner marks";
    }
    const std::string& middle = rows[1];
    if (middle[left] != '|' || middle[right] != '|')
        return Where(top + 1) + ": the navigation box needs '|' at columns " + std::to_string(left) + " and " +
               std::to_string(right);
    const std::string inner = middle.substr(left + 1, right - left - 1);
    const size_t first = inner.find_first_not_of(' ');
    const size_t last = inner.find_last_not_of(' ');
    const std::string quit = "LMB=Quit", next = "RMB=Next page";
    if (first == std::string::npos || inner.compare(first, quit.size(), quit) != 0)
        return Where(top + 1) + ": the navigation box must show \"LMB=Quit\" at its left edge";
    if (last + 1 < next.size() || inner.compare(last + 1 - next.size(), next.size(), next) != 0)
        return Where(top + 1) + ": the navigation box must show \"RMB=Next page\" at its right edge";
    return "";
}

} // namespace

std::string CheckReleaseTextCodes(const std::vector<uint8_t>& text) {
    if (text.size() != TEXT_BYTES)
        return "the text is " + std::to_string(text.size()) + " bytes, expected 10240 (128 lines of 80)";
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] < 32 || text[i] > 127)
            return Where(static_cast<int>(i / TEXT_COLUMNS)) + ", column " + std::to_string(i % TEXT_COLUMNS + 1) +
                   ": code " + std::to_string(text[i]) + " is outside 32..127";
    return "";
}

std::string CheckReleaseTextLook(const std::vector<uint8_t>& text) {
    for (int page = 0; page < 3; ++page) {
        const std::string fault = CheckNavigationBox(text, page);
        if (!fault.empty())
            return fault;
    }
    for (int line = 3 * TEXT_PAGE_LINES + 29; line < TEXT_LINES; ++line) {
        const std::string row = Line(text, line);
        if (row.find("LMB=") != std::string::npos || row.find("RMB=") != std::string::npos)
            return Where(line) + ": page 4 is the last stop and shows no navigation box";
    }
    return "";
}

std::string CheckReleaseText(const std::vector<uint8_t>& text) {
    const std::string fault = CheckReleaseTextCodes(text);
    return fault.empty() ? CheckReleaseTextLook(text) : fault;
}

bool BuildReleaseText(const std::string& source, std::vector<uint8_t>& text, std::string& error, bool withLook) {
    text.clear();
    int line = 0;
    size_t at = 0;
    while (at < source.size()) {
        size_t end = source.find('\n', at);
        if (end == std::string::npos)
            end = source.size();
        size_t length = end - at;
        if (length > 0 && source[end - 1] == '\r')
            --length;
        if (line == TEXT_LINES) {
            error = "line " + std::to_string(line + 1) + ": the text has more than 128 lines (four pages of 32)";
            return false;
        }
        // Characters first: a character outside ASCII takes more than one
        // byte, so its line would otherwise be reported as too long.
        for (size_t c = 0; c < length; ++c) {
            const uint8_t code = static_cast<uint8_t>(source[at + c]);
            const uint8_t mapped = code == static_cast<uint8_t>(TEXT_CORNER_STANDIN) ? TEXT_CORNER : code;
            if (mapped < 32 || mapped > 127) {
                error = Where(line) + ", column " + std::to_string(c + 1) + ": " + NotInFont(source, at + c);
                return false;
            }
            text.push_back(mapped);
        }
        if (length != TEXT_COLUMNS) {
            error = Where(line) + ": " + std::to_string(length) + " characters; every line must have exactly 80 " +
                    (length < TEXT_COLUMNS ? "(fill it up with spaces)" : "(shorten it)");
            return false;
        }
        ++line;
        at = end + 1;
    }
    if (line != TEXT_LINES) {
        error = "the text ends after line " + std::to_string(line) +
                "; it must have exactly 128 lines (four pages of 32; fill a page up with lines of spaces)";
        return false;
    }
    error = withLook ? CheckReleaseText(text) : CheckReleaseTextCodes(text);
    return error.empty();
}
