// The resources the build linked in, read back from the build tree byte by
// byte: exact file sizes, BMP header fields, depths and colour tables, the
// text's exact size and range, and the icon files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/content/ani_generator.h"
#include "tools/content/resource_check.h"
#include "tools/content/icon_art.h"
#include "tools/content/release_text.h"

namespace {

std::vector<uint8_t> Built(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(std::string(ART_BUILT_DIR) + "/" + name, bytes)) << name;
    return bytes;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
// Pixel (x, y) of frame f of the animation strip.
uint8_t& At(IndexedImage& ani, int f, int x, int y) { return ani.pixels[static_cast<size_t>(y) * 5120 + f * 128 + x]; }

uint32_t Entry(const std::vector<uint8_t>& b, int i) { return Get32(b, 54 + 4 * i) & 0xFFFFFF; }

struct Expected {
    const char* file;
    size_t bytes; // 14 + 40 + 4 x entries + padded rows x height
    uint32_t width, height, bitsPerPixel, entries;
};

TEST(BuiltResources, BitmapHeadersHaveTheExactShape) {
    const Expected cases[] = {
        {"FONT.bmp", 14 + 40 + 2 * 4 + 100 * 12, 784, 12, 1, 2},
        {"ANI.bmp", 14 + 40 + 256 * 4 + 5120 * 64, 5120, 64, 8, 256},
        {"FPS.bmp", 14 + 40 + 16 * 4 + 88 * 8, 170, 8, 4, 16},
    };
    for (const Expected& e : cases) {
        const std::vector<uint8_t> b = Built(e.file);
        ASSERT_EQ(b.size(), e.bytes) << e.file;
        EXPECT_EQ(b[0], 'B') << e.file;
        EXPECT_EQ(b[1], 'M') << e.file;
        EXPECT_EQ(Get32(b, 2), e.bytes) << e.file;
        EXPECT_EQ(Get32(b, 10), 54 + 4 * e.entries) << e.file;
        EXPECT_EQ(Get32(b, 14), 40u) << e.file;
        EXPECT_EQ(Get32(b, 18), e.width) << e.file;
        EXPECT_EQ(Get32(b, 22), e.height) << e.file; // positive: bottom-up rows
        EXPECT_EQ(Get16(b, 26), 1u) << e.file;
        EXPECT_EQ(Get16(b, 28), e.bitsPerPixel) << e.file;
        EXPECT_EQ(Get32(b, 30), 0u) << e.file; // uncompressed
        EXPECT_EQ(Get32(b, 46), e.entries) << e.file;
    }
}

TEST(BuiltResources, ColourTables) {
    const std::vector<uint8_t> font = Built("FONT.bmp");
    ASSERT_GE(font.size(), 62u);
    EXPECT_EQ(Entry(font, 0), 0x5D1759u);
    EXPECT_EQ(Entry(font, 1), 0x000000u);

    const std::vector<uint8_t> ani = Built("ANI.bmp");
    ASSERT_GE(ani.size(), 54u + 1024);
    EXPECT_EQ(Entry(ani, 0), 0x000000u);
    for (int i = 1; i < 256; ++i)
        EXPECT_NE(Entry(ani, i), 0x000000u) << "entry " << i << " would be transparent";

    const std::vector<uint8_t> fps = Built("FPS.bmp");
    ASSERT_GE(fps.size(), 54u + 64);
    EXPECT_EQ(Entry(fps, 0), 0x000000u);
    EXPECT_EQ(Entry(fps, 1), 0x0A0A0Au);
    EXPECT_EQ(Entry(fps, 2), 0xFFFFFFu);
}

#ifndef OWN_TEXT
#define OWN_TEXT 0
#endif
#ifndef OWN_FONT
#define OWN_FONT 0
#endif
#ifndef OWN_ANI
#define OWN_ANI 0
#endif

TEST(BuiltResources, PassTheirBuildChecks) {
    EXPECT_EQ(CheckFontBmp(Built("FONT.bmp"), !OWN_FONT), "");
    EXPECT_EQ(CheckAniBmp(Built("ANI.bmp"), !OWN_ANI), "");
    EXPECT_EQ(CheckFpsBmp(Built("FPS.bmp")), "");
    EXPECT_EQ(OWN_TEXT ? CheckReleaseTextCodes(Built("release.bin")) : CheckReleaseText(Built("release.bin")), "");
    EXPECT_EQ(CheckIco(Built("quillon.ico"), {32, 48}), "");
    EXPECT_EQ(CheckPng(Built("quillon.png"), 48), "");
}

// The icon's directory as the .ico format has it: per image its width and
// height, no palette (0 colours), the reserved byte 0, one plane, 32 bits,
// and its bytes right where the entry says, one image after the other.
TEST(BuiltResources, IconDirectoryEntriesAreWhatTheFormatAsks) {
    const std::vector<uint8_t> ico = Built("quillon.ico");
    ASSERT_GE(ico.size(), 6u + 2 * 16);
    auto le16 = [&](size_t at) { return ico[at] | ico[at + 1] << 8; };
    auto le32 = [&](size_t at) { return static_cast<uint32_t>(le16(at) | le16(at + 2) << 16); };
    EXPECT_EQ(le16(0), 0);
    EXPECT_EQ(le16(2), 1);
    ASSERT_EQ(le16(4), 2);
    uint32_t next = 6 + 2 * 16;
    const int sides[] = {32, 48};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(sides[i]);
        const size_t entry = 6 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(ico[entry], sides[i]);
        EXPECT_EQ(ico[entry + 1], sides[i]);
        EXPECT_EQ(ico[entry + 2], 0) << "colour count";
        EXPECT_EQ(ico[entry + 3], 0) << "reserved";
        EXPECT_EQ(le16(entry + 4), 1) << "planes";
        EXPECT_EQ(le16(entry + 6), 32) << "bits per pixel";
        EXPECT_EQ(le32(entry + 12), next) << "offset";
        next += le32(entry + 8);
    }
    EXPECT_EQ(next, ico.size());
}

TEST(BuiltResources, TextIsTenThousandBytesOfPrintableCodes) {
    const std::vector<uint8_t> text = Built("release.bin");
    ASSERT_EQ(text.size(), 10240u);
    for (size_t i = 0; i < text.size(); ++i) {
        ASSERT_GE(text[i], 32) << "byte " << i;
        ASSERT_LE(text[i], 127) << "byte " << i;
    }
    // The navigation boxes of pages 1 to 3 read as the user sees them.
    for (int page = 0; page < (OWN_TEXT ? 0 : 3); ++page) {
        const std::string middle(text.begin() + (page * 32 + 30) * 80, text.begin() + (page * 32 + 31) * 80);
        EXPECT_EQ(middle.substr(0, 10), "| LMB=Quit") << "page " << page + 1;
        EXPECT_EQ(middle.substr(65), "RMB=Next page |") << "page " << page + 1;
        EXPECT_EQ(text[(page * 32 + 29) * 80], 127);
        EXPECT_EQ(text[(page * 32 + 31) * 80 + 79], 127);
    }
}

// The checks of the built files see a fault that slipped past a builder.
TEST(BuiltResources, ChecksCatchABrokenAnimation) {
    if (OWN_ANI)
        GTEST_SKIP() << "breaks the built-in animation; an own one need not pass the frame rules";
    IndexedImage ani;
    std::string error;
    ASSERT_TRUE(DecodeBmp(Built("ANI.bmp"), ani, error)) << error;
    struct Case {
        const char* what;
        void (*breakIt)(IndexedImage&);
        const char* message;
    };
    const Case cases[] = {
        {"empty frame",
         [](IndexedImage& a) {
             for (int y = 0; y < 64; ++y)
                 for (int x = 0; x < 128; ++x)
                     At(a, 7, x, y) = 0;
         },
         "ANI: frame 7 is empty"},
        {"middle rows empty",
         [](IndexedImage& a) {
             for (int x = 0; x < 128; ++x)
                 At(a, 12, x, 31) = At(a, 12, x, 32) = 0;
         },
         "ANI: rows 31 and 32 of frame 12 are empty"},
        {"touching the box", [](IndexedImage& a) { At(a, 3, 0, 20) = 9; },
         "ANI: frame 3 touches the edge of its 128x64 box"},
        {"jump at the loop",
         [](IndexedImage& a) {
             for (int y = 0; y < 64; ++y)
                 for (int x = 0; x < 128; ++x)
                     At(a, 0, x, y) = At(a, 20, x, y);
         },
         "the step from frame 39 back to frame 0"},
        {"standing still",
         [](IndexedImage& a) {
             for (int y = 0; y < 64; ++y)
                 for (int x = 0; x < 128; ++x)
                     At(a, 6, x, y) = At(a, 5, x, y);
         },
         "ANI: frames 5 and 6 are the same"},
    };
    for (const Case& c : cases) {
        IndexedImage broken = ani;
        c.breakIt(broken);
        const std::string fault = CheckAniFrames(broken);
        EXPECT_NE(fault.find(c.message), std::string::npos) << c.what << ": " << fault;
    }
}

} // namespace
