// The art builders refuse wrong sources with a message that names the line
// and the fault. Each case starts from the real source in resources/ and
// breaks one thing, so the tests follow the sources as they are edited.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/content/ani_generator.h"
#include "tools/content/resource_check.h"
#include "tools/content/font_source.h"
#include "tools/content/fps_source.h"
#include "tools/content/icon_art.h"
#include "tools/content/release_text.h"

namespace {

std::string Source(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(std::string(ART_SOURCE_DIR) + "/" + name, bytes)) << name;
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += lines[i] + (i + 1 < lines.size() ? "\n" : "");
    return out;
}

// Index (0-based) of the line that is exactly `text`.
size_t Find(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == text)
            return i;
    ADD_FAILURE() << "no line `" << text << "`";
    return 0;
}

struct BadSource {
    const char* what;
    std::string source;
    std::string message; // must appear in the error
};

// ------------------------------------------------------------------ line ends

// A source saved with Windows line ends (CRLF) builds exactly what the same
// source with LF builds: the carriage return is no part of any line. (The
// animation's parameters are read as the icon's are.)
TEST(Sources, CrlfLineEndsBuildWhatLfBuilds) {
    using Build = std::function<std::vector<uint8_t>(const std::string&)>;
    auto checked = [](bool built, const std::string& error) {
        EXPECT_TRUE(built) << error;
        return built;
    };
    const std::pair<const char*, Build> cases[] = {
        {"font.txt",
         [&](const std::string& source) {
             IndexedImage font;
             std::string error;
             return checked(ParseFontSource(source, font, error), error) ? EncodeBmp(font) : std::vector<uint8_t>{};
         }},
        {"fps.txt",
         [&](const std::string& source) {
             IndexedImage fps;
             std::string error;
             return checked(ParseFpsSource(source, fps, error), error) ? EncodeBmp(fps) : std::vector<uint8_t>{};
         }},
        {"icon.txt",
         [&](const std::string& source) {
             IconParams params;
             std::string error;
             return checked(ParseIconParams(source, params, error), error) ? EncodeIco(params, {16})
                                                                           : std::vector<uint8_t>{};
         }},
        {"release.txt",
         [&](const std::string& source) {
             std::vector<uint8_t> text;
             std::string error;
             checked(BuildReleaseText(source, text, error), error);
             return text;
         }},
    };
    for (const auto& [name, build] : cases) {
        SCOPED_TRACE(name);
        const std::string lf = Source(name);
        std::string crlf;
        for (char c : lf)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        ASSERT_NE(crlf, lf);
        const std::vector<uint8_t> built = build(lf);
        EXPECT_FALSE(built.empty());
        EXPECT_EQ(build(crlf), built);
    }
}

// ------------------------------------------------------------------ font

TEST(FontSource, RealSourceBuildsACheckedFont) {
    IndexedImage font;
    std::string error;
    ASSERT_TRUE(ParseFontSource(Source("font.txt"), font, error)) << error;
    EXPECT_EQ(CheckFontBmp(EncodeBmp(font)), "");
}

TEST(FontSource, RefusesMalformedCells) {
    const std::vector<std::string> real = Lines(Source("font.txt"));
    const size_t a = Find(real, "= 65 A");
    auto edit = [&](auto change) {
        std::vector<std::string> lines = real;
        change(lines);
        return Join(lines);
    };
    const std::string aLine = std::to_string(a + 1);
    const BadSource cases[] = {
        {"row of 7", edit([&](auto& l) { l[a + 3] = "..###.."; }),
         ": row 2 of code 65 must be 8 characters of `#` and `.`, found `..###..`"},
        {"row of 9", edit([&](auto& l) { l[a + 3] = "..###...."; }), "row 2 of code 65 must be 8 characters"},
        {"foreign character", edit([&](auto& l) { l[a + 1] = "...x...."; }), "row 0 of code 65 must be 8 characters"},
        {"cell missing", edit([&](auto& l) { l.erase(l.begin() + a, l.begin() + a + 13); }),
         "expected the header `= 65` of the next cell, found `= 66 B`"},
        {"header of another code", edit([&](auto& l) { l[a] = "= 66 A"; }), "expected the header `= 65`"},
        {"cell one row short", edit([&](auto& l) { l.erase(l.begin() + a + 12); }),
         "row 11 of code 65 must be 8 characters of `#` and `.`, found `= 66 B`"},
        {"touches top and bottom", edit([&](auto& l) {
             l[a + 1] = "#.......";
             l[a + 12] = "#.......";
         }),
         "line " + aLine + ": code 65 touches both the top and the bottom row of its cell"},
        {"capital below the baseline", edit([&](auto& l) { l[a + 10] = "##...##."; }),
         "line " + aLine + ": code 65 (A) spans rows 1 to 9; it must span rows 1 to 8 like the other capitals"},
        {"x-height letter too tall", edit([&](auto& l) { l[Find(l, "= 120 x") + 3] = "##...##."; }),
         "code 120 (x) spans rows 2 to 8; it must span rows 3 to 8 like the other letters of its kind"},
        {"digit short of the cap height", edit([&](auto& l) { l[Find(l, "= 55 7") + 2] = "........"; }),
         "code 55 (7) spans rows 2 to 8; it must span rows 1 to 8 like the other digits"},
        {"space drawn", edit([&](auto& l) { l[Find(l, "= 32 space") + 5] = "...#...."; }),
         "code 32 (space) must be blank"},
        {"space drawn in its top row", edit([&](auto& l) { l[Find(l, "= 32 space") + 1] = "...#...."; }),
         "code 32 (space) must be blank"},
        {"letter blank", edit([&](auto& l) {
             for (int r = 1; r <= 12; ++r)
                 l[a + r] = "........";
         }),
         "code 65 is blank; only code 32 may be"},
        {"font cut short", edit([&](auto& l) { l.resize(Find(l, "= 129 star ornament")); }),
         "the font ends before code 129"},
        {"text after 129", edit([&](auto& l) { l.push_back("= 130"); }),
         "text after the last cell (code 129): `= 130`"},
    };
    for (const BadSource& c : cases) {
        IndexedImage font;
        std::string error;
        EXPECT_FALSE(ParseFontSource(c.source, font, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

// ------------------------------------------------------------------ bitmap shapes

TEST(BitmapCheck, NamesTheFirstFaultOfEachShape) {
    IndexedImage font;
    std::string error;
    ASSERT_TRUE(ParseFontSource(Source("font.txt"), font, error)) << error;
    IndexedImage fps;
    ASSERT_TRUE(ParseFpsSource(Source("fps.txt"), fps, error)) << error;
    IndexedImage ani{5120, 64, 8, std::vector<uint32_t>(256, 0x102030), std::vector<uint8_t>(5120 * 64, 0)};
    ani.palette[0] = 0;

    struct Case {
        const char* what;
        IndexedImage image;
        const BitmapShape& shape;
        const char* message;
    };
    IndexedImage narrowFont = font;
    narrowFont.width = 783;
    narrowFont.pixels.resize(783 * 12);
    IndexedImage deepFont = font;
    deepFont.bitsPerPixel = 4;
    IndexedImage wrongBackground = font;
    wrongBackground.palette[0] = 0x5D1758;
    IndexedImage swappedFont = font;
    std::swap(swappedFont.palette[0], swappedFont.palette[1]);
    IndexedImage shortAni = ani;
    shortAni.palette.resize(255);
    IndexedImage blackAni = ani;
    blackAni.palette[200] = 0;
    IndexedImage tallFps = fps;
    tallFps.height = 9;
    tallFps.pixels.resize(170 * 9);
    IndexedImage redFps = fps;
    redFps.palette[5] = 0xFF0000;
    redFps.pixels[3 * 170 + 45] = 5;
    const Case cases[] = {
        {"font 783 wide", narrowFont, FontShape(), "FONT: 783x12 pixels, expected 784x12"},
        {"font 4 bpp", deepFont, FontShape(), "FONT: 4 bits per pixel, expected 1"},
        {"font background", wrongBackground, FontShape(), "FONT: colour-table entry 0 is 0x5D1758, expected 0x5D1759"},
        {"font colours swapped", swappedFont, FontShape(), "FONT: colour-table entry 0 is 0x000000, expected 0x5D1759"},
        {"ani 255 entries", shortAni, AniShape(), "ANI: 255 colour-table entries, expected 256"},
        {"ani second black", blackAni, AniShape(), "ANI: colour-table entry 200 is black"},
        {"fps 9 rows", tallFps, FpsShape(), "FPS: 170x9 pixels, expected 170x8"},
        {"fps red pixel", redFps, FpsShape(), "FPS: pixel (45,3) has colour 0xFF0000"},
    };
    for (const Case& c : cases)
        EXPECT_NE(CheckBitmap(c.image, c.shape).find(c.message), std::string::npos)
            << c.what << ": " << CheckBitmap(c.image, c.shape);
    EXPECT_EQ(CheckBitmap(font, FontShape()), "");
    EXPECT_EQ(CheckBitmap(fps, FpsShape()), "");
}

TEST(BitmapCheck, RefusesFilesThatAreNotBitmaps) {
    IndexedImage font;
    std::string error;
    ASSERT_TRUE(ParseFontSource(Source("font.txt"), font, error)) << error;
    const std::vector<uint8_t> good = EncodeBmp(font);
    std::vector<uint8_t> cut(good.begin(), good.end() - 10);
    std::vector<uint8_t> png(good);
    png[0] = 0x89;
    std::vector<uint8_t> deep(good);
    deep[28] = 24;
    EXPECT_NE(CheckFontBmp(cut).find("FONT: file too short"), std::string::npos) << CheckFontBmp(cut);
    EXPECT_NE(CheckFontBmp(png).find("FONT: not a BMP file"), std::string::npos);
    EXPECT_NE(CheckFontBmp(deep).find("24 bits per pixel"), std::string::npos);
    EXPECT_EQ(CheckFontBmp(good), "");
}

// ------------------------------------------------------------------ counter

TEST(FpsSource, OutlinesEveryWhitePixel) {
    IndexedImage fps;
    std::string error;
    ASSERT_TRUE(ParseFpsSource(Source("fps.txt"), fps, error)) << error;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 170; ++x) {
            if (fps.palette[fps.pixels[y * 170 + x]] != 0xFFFFFF)
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const uint32_t c = fps.palette[fps.pixels[(y + dy) * 170 + x + dx]];
                    EXPECT_TRUE(c == 0xFFFFFF || c == FPS_OUTLINE) << x + dx << "," << y + dy;
                }
        }
}

TEST(FpsSource, RefusesMalformedCells) {
    const std::vector<std::string> real = Lines(Source("fps.txt"));
    const size_t f = Find(real, "= F");
    const size_t seven = Find(real, "= 7");
    auto edit = [&](auto change) {
        std::vector<std::string> lines = real;
        change(lines);
        return Join(lines);
    };
    const BadSource cases[] = {
        {"row of 9", edit([&](auto& l) { l[f + 2] = "..######."; }), "row 1 of `F` must be 10 characters"},
        {"white on the left edge", edit([&](auto& l) { l[f + 2] = "#.######.."; }),
         "white pixel at column 0 of `F` leaves no room for its outline"},
        {"white on the top row", edit([&](auto& l) { l[seven + 1] = "....#....."; }),
         "white pixel at column 4 of `7` leaves no room"},
        {"empty cell", edit([&](auto& l) {
             for (int r = 1; r <= 8; ++r)
                 l[seven + r] = "..........";
         }),
         "cell `7` is empty"},
        {"cells out of order", edit([&](auto& l) { l[f] = "= P"; }), "expected the header `= F`, found `= P`"},
        {"digit missing", edit([&](auto& l) { l.resize(Find(l, "= 9")); }), "ends before the cell `9`"},
    };
    for (const BadSource& c : cases) {
        IndexedImage fps;
        std::string error;
        EXPECT_FALSE(ParseFpsSource(c.source, fps, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

// ------------------------------------------------------------------ release text

TEST(ReleaseText, RealSourceBuildsTheLinkedInBlock) {
    const std::string source = Source("release.txt");
    std::vector<uint8_t> text;
    std::string error;
    ASSERT_TRUE(BuildReleaseText(source, text, error)) << error;
    ASSERT_EQ(text.size(), 10240u);
    // The backtick stand-in became the corner mark; no backtick is left.
    EXPECT_EQ(text[29 * 80 + 0], 127);
    EXPECT_EQ(text[29 * 80 + 79], 127);
    for (uint8_t b : text)
        EXPECT_NE(b, '`');

    // CRLF line ends and a missing final line end give the same bytes.
    std::string crlf;
    for (char c : source)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::vector<uint8_t> fromCrlf, fromUnended;
    ASSERT_TRUE(BuildReleaseText(crlf, fromCrlf, error)) << error;
    ASSERT_TRUE(BuildReleaseText(source.substr(0, source.size() - 1), fromUnended, error)) << error;
    EXPECT_EQ(fromCrlf, text);
    EXPECT_EQ(fromUnended, text);
}

TEST(ReleaseText, RefusesTextOfAnyOtherShape) {
    std::vector<std::string> real = Lines(Source("release.txt"));
    ASSERT_EQ(real.back(), "");
    real.pop_back(); // the final line end
    ASSERT_EQ(real.size(), 128u);
    auto edit = [&](auto change) {
        std::vector<std::string> lines = real;
        change(lines);
        return Join(lines) + "\n";
    };
    const BadSource cases[] = {
        {"79 characters", edit([](auto& l) { l[4].pop_back(); }),
         "line 5 (page 1, line 5): 79 characters; every line must have exactly 80 (fill it up with spaces)"},
        {"81 characters", edit([](auto& l) { l[100] += " "; }),
         "line 101 (page 4, line 5): 81 characters; every line must have exactly 80 (shorten it)"},
        {"empty line", edit([](auto& l) { l[40] = ""; }),
         "line 41 (page 2, line 9): 0 characters; every line must have exactly 80"},
        {"tab", edit([](auto& l) { l[7][3] = '\t'; }),
         "line 8 (page 1, line 8), column 4: a tab, which the font does not have; use spaces"},
        {"byte above 127", edit([](auto& l) { l[70][10] = static_cast<char>(0xE9); }),
         "line 71 (page 3, line 7), column 11: a character outside ASCII (bytes E9), which the font does not have"},
        {"a letter in UTF-8", edit([](auto& l) { l[2].replace(5, 2, "\xC3\xA9"); }),
         "line 3 (page 1, line 3), column 6: a character outside ASCII (bytes C3 A9)"},
        {"127 lines", edit([](auto& l) { l.pop_back(); }),
         "the text ends after line 127; it must have exactly 128 lines (four pages of 32"},
        {"129 lines", edit([](auto& l) { l.push_back(std::string(80, ' ')); }),
         "line 129: the text has more than 128 lines (four pages of 32)"},
        {"no quit in the box", edit([](auto& l) { l[62].replace(2, 8, "LMB=Exit"); }),
         "line 63 (page 2, line 31): the navigation box must show \"LMB=Quit\" at its left edge"},
        {"next page not at the right edge", edit([](auto& l) { l[94].replace(65, 13, "RMB=Next     "); }),
         "line 95 (page 3, line 31): the navigation box must show \"RMB=Next page\" at its right edge"},
        {"corner mark missing", edit([](auto& l) { l[29][0] = '+'; }),
         "line 30 (page 1, line 30): the navigation box must start here with a corner mark"},
        {"bottom edge broken", edit([](auto& l) { l[31][40] = ' '; }),
         "line 32 (page 1, line 32): the navigation box's edge may hold only"},
        {"side missing", edit([](auto& l) { l[30][79] = ' '; }),
         "line 31 (page 1, line 31): the navigation box must span"},
        {"box on page 4", edit([&](auto& l) {
             for (int i = 0; i < 3; ++i)
                 l[125 + i] = real[29 + i];
         }),
         "line 127 (page 4, line 31): page 4 is the last stop and shows no navigation box"},
        {"mouse hint on page 4's line 30", edit([](auto& l) { l[125].replace(2, 8, "LMB=Quit"); }),
         "line 126 (page 4, line 30): page 4 is the last stop and shows no navigation box"},
    };
    for (const BadSource& c : cases) {
        std::vector<uint8_t> text;
        std::string error;
        EXPECT_FALSE(BuildReleaseText(c.source, text, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

// ------------------------------------------------------------------ animation and icon parameters

TEST(AniParams, RefusesWrongParameters) {
    const std::string real = Source("ani.txt");
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = real;
        const size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    auto light = [&](const std::string& value) { return replaced("light     = -0.55 0.7 0.65", "light = " + value); };
    AniParams good;
    std::string error;
    ASSERT_TRUE(ParseAniParams(real, good, error)) << error;
    const BadSource cases[] = {
        {"unknown", real + "glitter = 1\n", "unknown parameter `glitter`"},
        {"twice", real + "margin = 3\n", "`margin` is given twice"},
        {"missing", replaced("supersample", "; supersample"), "parameter `supersample` is missing"},
        {"odd cells", replaced("ring_cells          = 16", "ring_cells          = 15"),
         "`ring_cells` must be even, so that the checker repeats"},
        {"fraction", replaced("tube_cells          = 6", "tube_cells          = 6.5"),
         "`tube_cells` must be a whole number from 2 to 32"},
        {"tube wider than ring", replaced("minor_radius        = 13", "minor_radius        = 45"),
         "`minor_radius` must be smaller than `major_radius`"},
        {"black shade", replaced("dark_b      = 1C0620", "dark_b      = 000000"),
         "`dark_b` is pure black, the transparent colour of the animation"},
        {"bad colour", replaced("base_a      = F7A000", "base_a      = orange"), "`base_a` must be a colour RRGGBB"},
        {"light of two numbers", light("1 2"), "`light` must be three numbers x y z"},
        {"light x not a number", light("left 0.7 0.65"), "`light` must be three numbers x y z"},
        {"light y not a number", light("-0.55 up 0.65"), "`light` must be three numbers x y z"},
        {"light z not a number", light("-0.55 0.7 near"), "`light` must be three numbers x y z"},
        {"light from nowhere", light("0 0 0"), "not all 0"},
        {"no equals sign", real + "margin 3\n", "expected `name = value`"},
    };
    for (const BadSource& c : cases) {
        AniParams params;
        std::string e;
        EXPECT_FALSE(ParseAniParams(c.source, params, e)) << c.what;
        EXPECT_NE(e.find(c.message), std::string::npos) << c.what << ": " << e;
    }
    // Only a light of all three 0 has no direction: one or two 0 are taken.
    for (const char* value : {"0 0.7 0.65", "-0.55 0 0", "0 0 1", "0 1 0"}) {
        AniParams params;
        std::string e;
        EXPECT_TRUE(ParseAniParams(light(value), params, e)) << value << ": " << e;
    }
}

// Every number's range as anigen(1) gives it: a value just past either end
// is refused naming the range, and the ends themselves are taken (the
// radii's within the rule that the tube is thinner than the ring).
TEST(AniParams, EveryNumberHoldsItsDocumentedRange) {
    const std::string real = Source("ani.txt");
    auto with = [&](const std::string& key, const std::string& value) {
        std::string s = real;
        const size_t line = s.find("\n" + key + " ");
        EXPECT_NE(line, std::string::npos) << key;
        const size_t from = s.find('=', line) + 1;
        const size_t to = s.find_first_of(";\n", from);
        return s.replace(from, to - from, " " + value + " ");
    };
    struct Range {
        const char* key;
        const char* low;
        const char* high;
        const char* below;
        const char* above;
        const char* message;
    };
    const Range ranges[] = {
        {"major_radius", "14", "1000", "0.99", "1000.01", "`major_radius` must be a number from 1 to 1000"},
        {"minor_radius", "0.1", "39", "0.09", "1000.5", "`minor_radius` must be a number from 0.1 to 1000"},
        {"ring_cells", "2", "64", "0", "66", "`ring_cells` must be a whole number from 2 to 64"},
        {"tube_cells", "2", "32", "0", "34", "`tube_cells` must be a whole number from 2 to 32"},
        {"spin_cells_per_loop", "0", "64", "-2", "66", "`spin_cells_per_loop` must be a whole number from 0 to 64"},
        {"wobble_degrees", "0", "60", "-0.01", "60.01", "`wobble_degrees` must be a number from 0 to 60"},
        {"elevation_degrees", "-89", "89", "-89.01", "89.01", "`elevation_degrees` must be a number from -89 to 89"},
        {"ambient", "0", "1", "-0.01", "1.01", "`ambient` must be a number from 0 to 1"},
        {"specular", "0", "1", "-0.01", "1.01", "`specular` must be a number from 0 to 1"},
        {"shininess", "1", "512", "0.99", "512.01", "`shininess` must be a number from 1 to 512"},
        {"supersample", "1", "8", "0", "9", "`supersample` must be a whole number from 1 to 8"},
        {"margin", "0", "16", "-0.01", "16.01", "`margin` must be a number from 0 to 16"},
    };
    for (const Range& r : ranges) {
        SCOPED_TRACE(r.key);
        AniParams params;
        std::string error;
        EXPECT_TRUE(ParseAniParams(with(r.key, r.low), params, error)) << error;
        EXPECT_TRUE(ParseAniParams(with(r.key, r.high), params, error)) << error;
        for (const char* wrong : {r.below, r.above}) {
            EXPECT_FALSE(ParseAniParams(with(r.key, wrong), params, error)) << wrong;
            EXPECT_NE(error.find(r.message), std::string::npos) << wrong << ": " << error;
        }
    }
}

TEST(IconParams, RefusesWrongSettings) {
    const std::string real = Source("icon.txt");
    IconParams good;
    std::string error;
    ASSERT_TRUE(ParseIconParams(real, good, error)) << error;
    const BadSource cases[] = {
        {"unknown", real + "sparkle = 1\n", "unknown setting `sparkle`"},
        {"outside the tile",
         real.substr(0, real.find("ring_x")) + "ring_x = 1.5\n" + real.substr(real.find('\n', real.find("ring_x")) + 1),
         "`ring_x` must be a number from 0 to 1"},
        {"missing", real.substr(0, real.find("outline")), "setting `outline` is missing"},
        {"ring without a hole",
         real.substr(0, real.find("ring_inner")) + "ring_inner = 0.33\n" +
             real.substr(real.find('\n', real.find("ring_inner")) + 1),
         "`ring_inner` must be smaller than `ring_outer`"},
    };
    for (const BadSource& c : cases) {
        IconParams params;
        std::string e;
        EXPECT_FALSE(ParseIconParams(c.source, params, e)) << c.what;
        EXPECT_NE(e.find(c.message), std::string::npos) << c.what << ": " << e;
    }
}

} // namespace

// The icon's pixels average the colours of their subsamples: with one colour
// for tile, ring, stroke and outline alike, every pixel the tile covers at
// all is exactly that colour, opaque inside and partly covered at the
// rounded corners, and the corners themselves are clear.
TEST(IconArt, OneColourEverywhereGivesThatColourInEveryCoveredPixel) {
    IconParams params;
    std::string error;
    ASSERT_TRUE(ParseIconParams(Source("icon.txt"), params, error)) << error;
    constexpr uint32_t COLOUR = 0x9A5B3C;
    params.tileEdge = params.tileCentre = params.ringTop = params.ringBottom = params.outline = COLOUR;
    for (int size : {32, 37, 48}) {
        SCOPED_TRACE(size);
        const std::vector<uint32_t> icon = RenderIcon(params, size);
        ASSERT_EQ(icon.size(), static_cast<size_t>(size) * size);
        int wrong = 0;
        for (uint32_t p : icon)
            wrong += (p >> 24) != 0 && (p & 0xFFFFFF) != COLOUR;
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(icon[static_cast<size_t>(size / 2) * size + size / 2], 0xFF000000 | COLOUR);
        EXPECT_EQ(icon[0] >> 24, 0u);
        EXPECT_EQ(icon.back() >> 24, 0u);
    }
}

// The stroke widens evenly from `tail_width_from` at its start to
// `tail_width_to` at its end. A level stroke from (0.2, 0.5) to (0.8, 0.5),
// 0.04 wide at its start and 0.36 at its end, the ring small and out of the
// way at the top: at u = 0.755 the stroke is 0.04 + 0.32 x 0.925 = 0.336
// wide, so a pixel 0.125 below its middle is stroke; at u = 0.255 it is
// 0.058 wide, so the same pixel is tile (the outline is 0.012 wide).
TEST(IconArt, TheStrokeWidensFromItsStartToItsEnd) {
    IconParams params;
    std::string error;
    ASSERT_TRUE(ParseIconParams(Source("icon.txt"), params, error)) << error;
    constexpr uint32_t TILE = 0x203040, STROKE = 0xE0C010, OUTLINE = 0x101010;
    params.tileEdge = params.tileCentre = TILE;
    params.ringTop = params.ringBottom = STROKE;
    params.outline = OUTLINE;
    params.ringX = 0.5, params.ringY = 0.1, params.ringOuter = 0.05, params.ringInner = 0.04;
    params.tailFromX = 0.2, params.tailFromY = 0.5, params.tailToX = 0.8, params.tailToY = 0.5;
    params.tailWidthFrom = 0.04, params.tailWidthTo = 0.36;
    constexpr int SIZE = 100;
    const std::vector<uint32_t> icon = RenderIcon(params, SIZE);
    const struct {
        int x, y;
        uint32_t colour;
    } pixels[] = {
        {25, 49, STROKE}, // on the middle line near the start
        {75, 62, STROKE}, // 0.125 below the middle, near the wide end
        {75, 37, STROKE}, // and above it
        {25, 62, TILE},   // as far below, near the narrow start
        {75, 80, TILE},   // 0.305 below the middle: beyond even the wide end
    };
    for (const auto& p : pixels)
        EXPECT_EQ(icon[static_cast<size_t>(p.y) * SIZE + p.x], 0xFF000000 | p.colour) << p.x << "," << p.y;
}

// Beside its 32-bit colours each image of an .ico has the format's AND
// mask: one bit a pixel, 1 where the pixel is clear, rows bottom up, each
// row a whole number of 32-bit words (48 pixels: 6 bytes and 2 of padding).
// A 48x48 picture clear in its first 8 columns, its last column and its
// top row.
TEST(IconArt, TheAndMaskMarksEveryClearPixel) {
    constexpr int SIZE = 48;
    const std::vector<uint8_t> ico = EncodeIco(
        [](int size) {
            std::vector<uint32_t> argb(static_cast<size_t>(size) * size, 0xFF5D1759);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    if (x < 8 || x == size - 1 || y == 0)
                        argb[static_cast<size_t>(y) * size + x] = 0;
            return argb;
        },
        {SIZE});
    const size_t image = ico[18] | ico[19] << 8 | ico[20] << 16 | static_cast<size_t>(ico[21]) << 24;
    const size_t mask = image + 40 + SIZE * SIZE * 4;
    ASSERT_EQ(ico.size(), mask + SIZE * 8);
    const std::vector<uint8_t> clearEdges{0xFF, 0, 0, 0, 0, 0x01, 0, 0};
    const std::vector<uint8_t> clearRow{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    for (int row = 0; row < SIZE; ++row) {
        const auto at = ico.begin() + static_cast<std::ptrdiff_t>(mask + row * 8);
        // The last row in the file is the picture's top row.
        EXPECT_EQ(std::vector<uint8_t>(at, at + 8), row == SIZE - 1 ? clearRow : clearEdges) << "mask row " << row;
    }
}

// The icon check reads the file from its six-byte header on, and says what
// is wrong with the first thing that is.
TEST(IconArt, CheckIcoNamesWhatIsWrong) {
    const std::vector<uint8_t> good = EncodeIco(IconParams{}, {32, 48});
    ASSERT_EQ(CheckIco(good, {32, 48}), "");
    auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };
    struct Case {
        const char* name;
        std::vector<uint8_t> ico;
        std::string message;
    };
    const Case cases[] = {
        {"five bytes", cut(5), "icon: not an .ico file"},
        {"the header alone", cut(6), "icon: directory cut short"},
        {"half the first entry", cut(6 + 8), "icon: directory cut short"},
        {"a cursor, not an icon",
         [&] {
             auto b = good;
             b[2] = 2;
             return b;
         }(),
         "icon: not an .ico file"},
        {"one image",
         [&] {
             auto b = good;
             b[4] = 1;
             return b;
         }(),
         "icon: 1 images, expected 2"},
        {"images cut off", cut(good.size() - 1), "icon: image 1 has a bad bitmap header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckIco(c.ico, {32, 48}), c.message);
    }
}
