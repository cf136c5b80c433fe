// The scripted input as a person writes it: an --at value and a script line
// name the same moment and the same input, whatever blanks stand around
// their parts. The ends of each documented range, taken and just passed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture_options.h"
#include "platform/platform.h"

namespace {

struct EventCase {
    const char* text;
    uint32_t ms;
    uint32_t message;
    uintptr_t wParam;
};

void ExpectOneEvent(const std::vector<std::string>& args, const EventCase& c) {
    CaptureOptions options;
    std::string error;
    ASSERT_EQ(ParseCaptureArguments(args, options, error), ParseResult::Run) << error;
    EXPECT_FALSE(options.tour) << "a script replaces the tour";
    ASSERT_EQ(options.events.size(), 1u);
    EXPECT_EQ(options.events[0].ms, c.ms);
    EXPECT_EQ(options.events[0].message, c.message);
    EXPECT_EQ(options.events[0].wParam, c.wParam);
}

TEST(CaptureOptions, AtValuesAndScriptLinesGiveTheirMomentAndInput) {
    const EventCase cases[] = {
        {"4.5:rmb", 4500, WM_RBUTTONDOWN, 0},
        {"4.5 lmb", 4500, WM_LBUTTONDOWN, 0},
        {"0.25:space", 250, WM_KEYDOWN, VK_SPACE},
        {"12 rmb", 12000, WM_RBUTTONDOWN, 0},
        {"600:lmb", 600000, WM_LBUTTONDOWN, 0},
        // Blanks before, between and after the parts, as a quoted value or
        // an indented line has them.
        {"\t0.25\tspace ", 250, WM_KEYDOWN, VK_SPACE},
        {" 1.5: rmb ", 1500, WM_RBUTTONDOWN, 0},
        {"  2  lmb\r", 2000, WM_LBUTTONDOWN, 0},
    };
    char dir[] = "/tmp/quillon-capture-options-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string script = std::string(dir) + "/one.script";
    for (const EventCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        ExpectOneEvent({"o.mkv", "--at", c.text}, c);
        std::ofstream(script) << "# one input\n\n" << c.text << " # then nothing\n";
        ExpectOneEvent({"o.mkv", "--script", script}, c);
    }
    unlink(script.c_str());
    rmdir(dir);
}

TEST(CaptureOptions, EachRangeTakesItsEndsAndNothingBeyond) {
    struct Case {
        const char* option;
        const char* value;
        bool taken;
    };
    const Case cases[] = {
        {"--seconds", "600", true},   {"--seconds", "600.001", false},
        {"--seconds", "0.001", true}, {"--seconds", "0", false},
        {"--fps", "1", true},         {"--fps", "250", true},
        {"--fps", "251", false},      {"--scale", "1", true},
        {"--scale", "8", true},       {"--scale", "0", false},
        {"--at", "600:rmb", true},    {"--at", "600.001:rmb", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.value);
        CaptureOptions options;
        std::string error;
        EXPECT_EQ(ParseCaptureArguments({"o.mkv", c.option, c.value}, options, error),
                  c.taken ? ParseResult::Run : ParseResult::Error)
            << error;
    }
}

} // namespace
