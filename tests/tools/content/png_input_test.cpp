// Pictures from a paint program: a PNG strip becomes the font or the
// animation pixel for pixel, and a PNG of the wrong kind is refused with
// what is wrong. The PNGs are written here with the project's own writer
// and read back with libpng.
#include <gtest/gtest.h>
#include <zlib.h>

#include <iterator>
#include <string>
#include <vector>

#include "tools/content/ani_generator.h"
#include "tools/content/font_source.h"
#include "tools/content/png_reader.h"
#include "tools/content/resource_check.h"
#include "tools/writers/png_writer.h"

namespace {

std::string Source(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(std::string(ART_SOURCE_DIR) + "/" + name, bytes)) << name;
    return std::string(bytes.begin(), bytes.end());
}

std::string Png(int width, int height, const std::vector<uint32_t>& pixels, bool withAlpha = true) {
    const std::vector<uint8_t> png = EncodePng(width, height, pixels, withAlpha);
    return std::string(png.begin(), png.end());
}

// The PNG with the size in its header changed (and the header's checksum
// made right): what libpng reads before any pixel.
std::string WithSize(std::string png, uint32_t width, uint32_t height) {
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    return png;
}

// The image's colours as a person's picture would hold them (opaque).
std::vector<uint32_t> Colours(const IndexedImage& image) {
    std::vector<uint32_t> pixels;
    for (uint8_t index : image.pixels)
        pixels.push_back(0xFF000000 | image.palette[index]);
    return pixels;
}

} // namespace

TEST(PngInput, FontStripBecomesTheSameFont) {
    IndexedImage font;
    std::string error;
    ASSERT_TRUE(ParseFontSource(Source("font.txt"), font, error)) << error;
    std::vector<uint32_t> pixels = Colours(font);
    // A paint program's background may be any colour but black, or
    // transparent: a light one, the font's purple, or a dark pure red,
    // green or blue (one channel of 128 is no black).
    const uint32_t backgrounds[] = {0x00000000, 0xFFF0F0E0, 0xFF5D1759, 0xFF800000, 0xFF008000, 0xFF000080};
    for (size_t i = 0; i < pixels.size(); ++i)
        if (font.pixels[i] == 0)
            pixels[i] = backgrounds[i % std::size(backgrounds)];
    IndexedImage read;
    ASSERT_TRUE(FontFromPng(Png(font.width, font.height, pixels), read, error)) << error;
    EXPECT_EQ(read.pixels, font.pixels);
    EXPECT_EQ(CheckFontBmp(EncodeBmp(read)), "");
}

TEST(PngInput, AnimationStripKeepsEveryColour) {
    AniParams params;
    std::string error;
    ASSERT_TRUE(ParseAniParams(Source("ani.txt"), params, error)) << error;
    const IndexedImage ani = RenderAni(params);
    IndexedImage read;
    ASSERT_TRUE(AniFromPng(Png(ani.width, ani.height, Colours(ani), false), read, error)) << error;
    EXPECT_EQ(Colours(read), Colours(ani));
    EXPECT_EQ(CheckAniBmp(EncodeBmp(read)), "");
}

TEST(PngInput, TransparentPixelsOfTheAnimationShowThrough) {
    std::vector<uint32_t> pixels(5120 * 64, 0x7FFF0000); // half-transparent red: not drawn
    pixels[5] = 0xFF00FF00;
    IndexedImage read;
    std::string error;
    ASSERT_TRUE(AniFromPng(Png(5120, 64, pixels), read, error)) << error;
    EXPECT_EQ(read.pixels[0], 0);
    EXPECT_EQ(read.palette[read.pixels[5]], 0x00FF00u);
    EXPECT_EQ(read.palette.size(), 256u);
    EXPECT_EQ(CheckAniBmp(EncodeBmp(read), false), "");
}

TEST(PngInput, IconIsShrunkByItsCoverage) {
    // 96x96: the left half opaque red, the right half transparent, one
    // column of opaque blue at x = 48..49 (one target pixel at size 48).
    std::vector<uint32_t> pixels(96 * 96);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            pixels[y * 96 + x] = x < 48 ? 0xFFFF0000 : x < 50 ? 0xFF0000FF : 0;
    int side = 0;
    std::vector<uint32_t> read;
    std::string error;
    ASSERT_TRUE(IconFromPng(Png(96, 96, pixels), side, read, error)) << error;
    ASSERT_EQ(side, 96);
    const std::vector<uint32_t> at48 = ShrinkSquare(read, 96, 48);
    EXPECT_EQ(at48[5 * 48 + 0], 0xFFFF0000u);
    EXPECT_EQ(at48[5 * 48 + 24], 0xFF0000FFu);
    EXPECT_EQ(at48[5 * 48 + 40], 0u);
    // At 32 a target pixel covers 3 source columns: x = 15 covers 45..47 red
    // and 16 covers 48, 49 blue and 50 transparent: 2/3 opaque, pure blue.
    const std::vector<uint32_t> at32 = ShrinkSquare(read, 96, 32);
    EXPECT_EQ(at32[3 * 32 + 15], 0xFFFF0000u);
    EXPECT_EQ(at32[3 * 32 + 16], 0xAA0000FFu);
}

TEST(PngInput, RefusesPicturesThatDoNotFit) {
    std::vector<uint32_t> manyColours(5120 * 64);
    for (size_t i = 0; i < manyColours.size(); ++i)
        manyColours[i] = 0xFF000000 | static_cast<uint32_t>(i % 300 + 1);
    const std::string png = Png(8, 8, std::vector<uint32_t>(64, 0xFFFFFFFF));
    struct Case {
        const char* what;
        bool font;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"font of the animation's size", true, Png(5120, 64, manyColours),
         "the picture is 5120x64 pixels; a font strip (98 cells of 8x12, codes 32 to 129) must be 784x12"},
        {"animation of one frame", false, Png(128, 64, std::vector<uint32_t>(128 * 64)),
         "the picture is 128x64 pixels; an animation strip (40 frames of 128x64 side by side) must be 5120x64"},
        {"300 colours", false, Png(5120, 64, manyColours), "more than 255 colours besides black"},
        {"cut short", false, png.substr(0, png.size() / 2), "not a readable PNG"},
        {"not a PNG", true, "P6 8 8 255", "not a readable PNG"},
        // Too large to decode, whatever the file's size: refused at once.
        {"16000x16000", true, WithSize(png, 16000, 16000), "the picture is 16000x16000 pixels, far too large"},
        {"5792x5792, within the bound", false, WithSize(png, 5792, 5792), "not a readable PNG"},
        {"5793x5793", false, WithSize(png, 5793, 5793), "the picture is 5793x5793 pixels, far too large"},
        {"70000x2", false, WithSize(png, 70000, 2), "the picture is 70000x2 pixels, far too large"},
    };
    for (const Case& c : cases) {
        IndexedImage image;
        std::string error;
        EXPECT_FALSE(c.font ? FontFromPng(c.bytes, image, error) : AniFromPng(c.bytes, image, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
    // An icon: square, and 48x48 is the smallest that is taken.
    const struct {
        int width, height;
        bool taken;
    } icons[] = {{48, 48, true}, {47, 47, false}, {48, 32, false}, {32, 32, false}};
    for (const auto& c : icons) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        int side = 0;
        std::vector<uint32_t> pixels;
        std::string error;
        EXPECT_EQ(IconFromPng(Png(c.width, c.height, std::vector<uint32_t>(c.width * c.height)), side, pixels, error),
                  c.taken);
        if (c.taken)
            EXPECT_EQ(side, c.width);
        else
            EXPECT_NE(error.find("an icon must be square and at least 48x48"), std::string::npos) << error;
    }
}
