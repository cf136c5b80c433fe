// Bitmap resources into surfaces: BMP decoding at 1, 4 and 8 bits with
// colour tables, stretching, the GDI copy path and its bookkeeping, and the
// resource lookup.
#include <gtest/gtest.h>

#include "platform/bitmap_decoder.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "tools/writers/bmp_writer.h"
#include "tests/support/process_fixture.h"

namespace {

IndexedImage Checker(int bpp, int w, int h, std::vector<uint32_t> palette) {
    IndexedImage img;
    img.width = w;
    img.height = h;
    img.bitsPerPixel = bpp;
    img.palette = std::move(palette);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.pixels.push_back(static_cast<uint8_t>((x + 3 * y) % img.palette.size()));
    return img;
}

class BitmapTest : public ProcessTest {
protected:
    // LoadBitmapToSurface's path: load, memory DC, surface DC, BitBlt, and
    // everything given back.
    bool LoadInto(Surface* s, const char* name, int w, int h) {
        Bitmap* bmp = OsLoadBitmap(OsModuleHandle(), name, w, h);
        if (!bmp)
            return false;
        DeviceContext* mem = GdiCreateCompatibleDC();
        GdiSelectBitmap(mem, bmp);
        DeviceContext* sdc = nullptr;
        bool ok = SurfaceGetDC(s, &sdc) >= 0 && GdiBitBlt(sdc, 0, 0, w, h, mem, 0, 0) != 0;
        if (sdc)
            SurfaceReleaseDC(s, sdc);
        GdiDeleteDC(mem);
        GdiDeleteBitmap(bmp);
        return ok;
    }

    Surface* MakeSurface(int w, int h, const char* label = "IMG") {
        if (!dd) {
            EXPECT_EQ(DdCreate(&dd), RESULT_OK);
        }
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        d.width = static_cast<uint32_t>(w);
        d.height = static_cast<uint32_t>(h);
        d.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
        d.label = label;
        Surface* s = nullptr;
        EXPECT_EQ(DdCreateSurface(dd, &d, &s), RESULT_OK);
        return s;
    }

    // A square all of green as the bitmap resource "GREEN".
    static void AddGreenBitmap(int side) {
        IndexedImage img;
        img.width = side;
        img.height = side;
        img.bitsPerPixel = 8;
        img.palette = {0x000000, 0x00FF00};
        img.pixels.assign(static_cast<size_t>(side) * side, 1);
        HeadlessSetResource("GREEN", RT_BITMAP_TYPE, EncodeBmp(img));
    }
    DirectDraw* dd = nullptr;
};

TEST_F(BitmapTest, DecodesEachDepthWithItsColourTable) {
    const IndexedImage images[] = {
        Checker(1, 13, 5, {0x5D1759, 0x000000}),
        Checker(4, 7, 3, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFEDCBA}),
        Checker(8, 9, 4, {0x000000, 0x010203, 0x808080, 0xFFFFFF, 0x5D1759, 0x7F0010, 0x00A0FF}),
    };
    for (const IndexedImage& img : images) {
        SCOPED_TRACE(::testing::Message() << img.bitsPerPixel << " bits");
        HeadlessReset();
        dd = nullptr;
        HeadlessSetResource("PIC", RT_BITMAP_TYPE, EncodeBmp(img));
        HeadlessSetPitchPadding("IMG", 8);
        Surface* s = MakeSurface(img.width, img.height);
        ASSERT_TRUE(LoadInto(s, "PIC", img.width, img.height));
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                ASSERT_EQ(HeadlessPixel(s, x, y), img.palette[img.pixels[static_cast<size_t>(y) * img.width + x]])
                    << x << "," << y;
        for (int y = 0; y < img.height; ++y)
            EXPECT_EQ(HeadlessPaddingByte(s, 0, y), 0xA5u);
        EXPECT_EQ(HeadlessLiveBitmaps(), 0);
        EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
    }
}

TEST_F(BitmapTest, ResourceWithoutFileHeaderDecodesAlike) {
    const IndexedImage img = Checker(4, 5, 2, {0x000000, 0x112233, 0x445566});
    std::vector<uint8_t> bytes = EncodeBmp(img);
    bytes.erase(bytes.begin(), bytes.begin() + 14); // as RT_BITMAP stores it
    HeadlessSetResource("RAW", RT_BITMAP_TYPE, bytes);
    Surface* s = MakeSurface(5, 2);
    ASSERT_TRUE(LoadInto(s, "RAW", 5, 2));
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(HeadlessPixel(s, x, 1), img.palette[img.pixels[5 + static_cast<size_t>(x)]]);
}

// What the decoder refuses, each with its reason: one field of a good
// 8-bit 2x2 file (14-byte file header, 40-byte info header, two colours)
// changed at a time.
TEST_F(BitmapTest, RefusesEachKindOfBadFileWithItsReason) {
    const std::vector<uint8_t> good = EncodeBmp(Checker(8, 2, 2, {0x000000, 0xFFFFFF}));
    struct Case {
        const char* name;
        size_t offset; // of the little-endian field changed; SIZE_MAX: none
        uint32_t value;
        int bytes;      // the field's width
        size_t keep;    // bytes of the file kept (0: all)
        int askedWidth; // the size asked of the decoder
        const char* error;
    };
    const Case cases[] = {
        {"two planes", 26, 2, 2, 0, 0, "unsupported BMP (compressed or several planes)"},
        {"run-length compressed", 30, 1, 4, 0, 0, "unsupported BMP (compressed or several planes)"},
        {"16 bits a pixel", 28, 16, 2, 0, 0, "unsupported BMP depth"},
        {"no width", 18, 0, 4, 0, 0, "bitmap size out of range"},
        {"no height", 22, 0, 4, 0, 0, "bitmap size out of range"},
        {"a negative size asked", SIZE_MAX, 0, 0, 0, -1, "bitmap size out of range"},
        {"an old 12-byte header", 14, 12, 4, 0, 0, "not a BMP"},
        {"257 colours at 8 bits", 46, 257, 4, 0, 0, "colour table larger than the depth allows"},
        {"a colour table past the end", 46, 200, 4, 0, 0, "truncated colour table"},
        {"pixels said to lie past the end", 10, 4096, 4, 0, 0, "pixel data outside the file"},
        {"cut inside the info header", SIZE_MAX, 0, 0, 30, 0, "truncated BMP header"},
        {"cut inside the last row", SIZE_MAX, 0, 0, good.size() - 1, 0, "truncated pixel data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < c.bytes; ++i)
            bytes[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
        if (c.keep)
            bytes.resize(c.keep);
        DecodedBitmap out;
        std::string error;
        EXPECT_FALSE(DecodeBitmap(bytes.data(), static_cast<uint32_t>(bytes.size()), c.askedWidth, 0, out, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(out.pixels.empty());
    }
    // A colour count of 0 means the whole table the depth allows: at 1 bit,
    // the two colours stored.
    std::vector<uint8_t> wholeTable = EncodeBmp(Checker(1, 2, 2, {0x000000, 0xFFFFFF}));
    wholeTable[46] = 0;
    const std::vector<uint8_t>* const decodable[] = {&good, &wholeTable};
    for (const std::vector<uint8_t>* bytes : decodable) {
        DecodedBitmap out;
        std::string error;
        ASSERT_TRUE(DecodeBitmap(bytes->data(), static_cast<uint32_t>(bytes->size()), 0, 0, out, error)) << error;
        EXPECT_EQ(out.pixels, (std::vector<uint32_t>{0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}));
    }
}

// The direct-colour forms and the top-down row order of a BMP: the same 3x2
// picture stored as 24 and 32 bits, bottom-up and top-down, decodes alike;
// pixel data cut short is refused.
TEST_F(BitmapTest, DirectColourAndTopDownRowsDecodeAlike) {
    const uint32_t picture[2][3] = {{0x102030, 0x405060, 0x708090}, {0xA0B0C0, 0xD0E0F0, 0x000001}};
    auto encode = [&](int bits, bool topDown) {
        const int stride = ((3 * bits + 31) / 32) * 4;
        std::vector<uint8_t> b(54 + static_cast<size_t>(stride) * 2, 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        b[0] = 'B';
        b[1] = 'M';
        put32(2, static_cast<uint32_t>(b.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, 3);
        put32(22, topDown ? static_cast<uint32_t>(-2) : 2u);
        b[26] = 1;
        b[28] = static_cast<uint8_t>(bits);
        for (int row = 0; row < 2; ++row) {
            const int y = topDown ? row : 1 - row;
            for (int x = 0; x < 3; ++x) {
                const size_t at = 54 + static_cast<size_t>(row) * stride + static_cast<size_t>(x) * (bits / 8);
                for (int c = 0; c < 3; ++c)
                    b[at + c] = static_cast<uint8_t>(picture[y][x] >> (8 * c)); // B, G, R
                if (bits == 32)
                    b[at + 3] = 0xEE; // the unused byte is not colour
            }
        }
        return b;
    };
    for (const int bits : {24, 32})
        for (const bool topDown : {false, true}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, " << (topDown ? "top-down" : "bottom-up"));
            HeadlessReset();
            dd = nullptr;
            HeadlessSetResource("DIRECT", RT_BITMAP_TYPE, encode(bits, topDown));
            Surface* s = MakeSurface(3, 2);
            ASSERT_TRUE(LoadInto(s, "DIRECT", 3, 2));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(HeadlessPixel(s, x, y), picture[y][x]) << x << "," << y;
            std::vector<uint8_t> cut = encode(bits, topDown);
            cut.pop_back();
            HeadlessSetResource("CUT", RT_BITMAP_TYPE, cut);
            EXPECT_EQ(OsLoadBitmap(OsModuleHandle(), "CUT", 3, 2), nullptr);
        }
}

TEST_F(BitmapTest, StretchesToTheRequestedSizeByNearestNeighbour) {
    IndexedImage img;
    img.width = 2;
    img.height = 2;
    img.bitsPerPixel = 8;
    img.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    img.pixels = {0, 1, 2, 3};
    HeadlessSetResource("TINY", RT_BITMAP_TYPE, EncodeBmp(img));
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{4, 4}, Case{6, 2}, Case{3, 5}, Case{1, 1}}) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        Surface* s = MakeSurface(c.w, c.h);
        ASSERT_TRUE(LoadInto(s, "TINY", c.w, c.h));
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const int sx = x * 2 / c.w, sy = y * 2 / c.h;
                EXPECT_EQ(HeadlessPixel(s, x, y), img.palette[static_cast<size_t>(sy * 2 + sx)]) << x << "," << y;
            }
        SurfaceRelease(s);
    }
}

TEST_F(BitmapTest, FailuresLeaveNothingBehind) {
    HeadlessSetResource("GARBAGE", RT_BITMAP_TYPE, {'B', 'M', 1, 2, 3});
    HeadlessSetResource("DATA", RT_RCDATA_TYPE, {1, 2, 3});
    EXPECT_EQ(OsLoadBitmap(OsModuleHandle(), "GARBAGE", 4, 4), nullptr);
    EXPECT_EQ(OsLoadBitmap(OsModuleHandle(), "DATA", 4, 4), nullptr) << "a raw-data resource is no bitmap";
    EXPECT_EQ(OsLoadBitmap(OsModuleHandle(), "MISSING", 4, 4), nullptr);
    EXPECT_EQ(OsLoadBitmap(OsModuleHandle(), nullptr, 4, 4), nullptr);
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);

    // A bitmap still selected into a memory context is not deleted (GDI
    // refuses); deleting the context first frees both.
    HeadlessSetResource("PIC", RT_BITMAP_TYPE, EncodeBmp(Checker(1, 8, 1, {0, 0xFFFFFF})));
    Bitmap* bmp = OsLoadBitmap(OsModuleHandle(), "PIC", 8, 1);
    ASSERT_NE(bmp, nullptr);
    DeviceContext* mem = GdiCreateCompatibleDC();
    GdiSelectBitmap(mem, bmp);
    GdiDeleteBitmap(bmp);
    EXPECT_EQ(HeadlessLiveBitmaps(), 1);
    GdiDeleteDC(mem);
    GdiDeleteBitmap(bmp);
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
    EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);

    // A memory context with no bitmap has nothing to copy.
    Surface* s = MakeSurface(8, 1);
    DeviceContext* empty = GdiCreateCompatibleDC();
    DeviceContext* sdc = nullptr;
    ASSERT_EQ(SurfaceGetDC(s, &sdc), RESULT_OK);
    EXPECT_EQ(GdiBitBlt(sdc, 0, 0, 8, 1, empty, 0, 0), 0);
    DeviceContext* second = nullptr;
    EXPECT_NE(SurfaceGetDC(s, &second), RESULT_OK) << "one context per surface at a time";
    EXPECT_NE(SurfaceColorFill(s, nullptr, 0), RESULT_OK) << "the surface is busy while its context is out";
    SurfaceReleaseDC(s, sdc);
    GdiDeleteDC(empty);
    EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
}

TEST_F(BitmapTest, LinkedInBitmapsLoadAtTheirSizes) {
    struct Case {
        const char* name;
        int w, h;
    };
    for (const Case c : {Case{"ANI", 5120, 64}, Case{"FONT", 784, 12}, Case{"FPS", 170, 8}}) {
        SCOPED_TRACE(c.name);
        ResourceBytes bytes{};
        ASSERT_TRUE(OsFindResource(OsModuleHandle(), c.name, RT_BITMAP_TYPE, &bytes));
        EXPECT_NE(bytes.data, nullptr);
        EXPECT_GT(bytes.size, 0u);
        Surface* s = MakeSurface(c.w, c.h, c.name);
        EXPECT_TRUE(LoadInto(s, c.name, c.w, c.h));
    }
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
}

TEST_F(BitmapTest, ResourceLookupHonoursTypeOverridesAndHiding) {
    ResourceBytes out{reinterpret_cast<const uint8_t*>(1), 7};
    EXPECT_FALSE(OsFindResource(OsModuleHandle(), "ANI", RT_RCDATA_TYPE, &out));
    EXPECT_EQ(out.data, nullptr);
    EXPECT_EQ(out.size, 0u);
    EXPECT_FALSE(OsFindResource(OsModuleHandle(), "ani", RT_BITMAP_TYPE, &out)) << "names compare exactly";

    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, {9, 8, 7});
    ASSERT_TRUE(OsFindResource(OsModuleHandle(), "MUSIC", RT_RCDATA_TYPE, &out));
    EXPECT_EQ(out.size, 3u);
    EXPECT_EQ(out.data[2], 7);

    HeadlessHideResource("ANI");
    EXPECT_FALSE(OsFindResource(OsModuleHandle(), "ANI", RT_BITMAP_TYPE, &out));
    HeadlessHideResource("MUSIC");
    EXPECT_FALSE(OsFindResource(OsModuleHandle(), "MUSIC", RT_RCDATA_TYPE, &out));
    HeadlessReset();
    EXPECT_TRUE(OsFindResource(OsModuleHandle(), "ANI", RT_BITMAP_TYPE, &out));
}

// DeleteObject refuses a bitmap while a memory context holds it, as GDI
// does; selecting another one into that context lets the first go.
TEST_F(BitmapTest, ABitmapIsHeldOnlyWhileItIsSelected) {
    AddGreenBitmap(2);
    Bitmap* first = OsLoadBitmap(OsModuleHandle(), "GREEN", 2, 2);
    Bitmap* second = OsLoadBitmap(OsModuleHandle(), "GREEN", 2, 2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    DeviceContext* mem = GdiCreateCompatibleDC();
    GdiSelectBitmap(mem, first);
    GdiDeleteBitmap(first);
    EXPECT_EQ(HeadlessLiveBitmaps(), 2) << "selected: refused";
    GdiSelectBitmap(mem, second);
    GdiDeleteBitmap(first);
    EXPECT_EQ(HeadlessLiveBitmaps(), 1) << "no longer selected: deleted";
    GdiDeleteBitmap(second);
    EXPECT_EQ(HeadlessLiveBitmaps(), 1) << "the second is selected now";
    GdiDeleteDC(mem);
    GdiDeleteBitmap(second);
    EXPECT_EQ(HeadlessLiveBitmaps(), 0);
}

// BitBlt clips its rectangle to both pixel areas, as GDI does, instead of
// failing or reaching outside either.
TEST_F(BitmapTest, BitBltClipsToBothAreas) {
    // A 4x4 source whose every pixel differs, copied onto a 6x6 surface of
    // one colour. Clipping only cuts the rectangle: each pixel that is
    // copied comes from the source point at the same offset as asked, so a
    // pixel (X, Y) of the surface shows source (X - x + sx, Y - y + sy) when
    // that lies in both the asked rectangle and the source.
    IndexedImage img;
    img.width = img.height = 4;
    img.bitsPerPixel = 8;
    for (uint32_t i = 0; i < 16; ++i) {
        img.palette.push_back(0x010101u * (16 * i + 8));
        img.pixels.push_back(static_cast<uint8_t>(i));
    }
    HeadlessSetResource("PATTERN", RT_BITMAP_TYPE, EncodeBmp(img));
    struct Case {
        const char* name;
        int x, y, w, h, sx, sy;
    };
    const Case cases[] = {
        {"inside both", 1, 1, 2, 2, 1, 1},
        {"past the surface's far edges", 3, 3, 8, 8, 1, 0},
        {"starting left of and above the surface", -2, -1, 4, 4, 0, 0},
        {"starting left of and above the source", 1, 2, 4, 4, -1, -2},
        {"past the source's far edges", 0, 0, 3, 3, 3, 2},
        {"entirely outside the surface", 100, 100, 8, 8, 0, 0},
        {"an empty width", 0, 0, 0, 2, 0, 0},
        {"an empty height", 0, 0, 2, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface* s = MakeSurface(6, 6);
        ASSERT_EQ(SurfaceColorFill(s, nullptr, 0x111111), RESULT_OK);
        Bitmap* bmp = OsLoadBitmap(OsModuleHandle(), "PATTERN", 4, 4);
        ASSERT_NE(bmp, nullptr);
        DeviceContext* mem = GdiCreateCompatibleDC();
        GdiSelectBitmap(mem, bmp);
        DeviceContext* sdc = nullptr;
        ASSERT_EQ(SurfaceGetDC(s, &sdc), RESULT_OK);
        EXPECT_NE(GdiBitBlt(sdc, c.x, c.y, c.w, c.h, mem, c.sx, c.sy), 0) << "clipping is no error";
        SurfaceReleaseDC(s, sdc);
        GdiDeleteDC(mem);
        GdiDeleteBitmap(bmp);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                const int u = x - c.x + c.sx, v = y - c.y + c.sy;
                const bool copied =
                    x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h && u >= 0 && u < 4 && v >= 0 && v < 4;
                EXPECT_EQ(HeadlessPixel(s, x, y), copied ? img.palette[img.pixels[4 * v + u]] : 0x111111u)
                    << x << "," << y;
            }
        SurfaceRelease(s);
    }
    // A negative size is an error.
    Surface* s = MakeSurface(2, 2);
    AddGreenBitmap(2);
    Bitmap* bmp = OsLoadBitmap(OsModuleHandle(), "GREEN", 2, 2);
    DeviceContext* mem = GdiCreateCompatibleDC();
    GdiSelectBitmap(mem, bmp);
    DeviceContext* sdc = nullptr;
    ASSERT_EQ(SurfaceGetDC(s, &sdc), RESULT_OK);
    EXPECT_EQ(GdiBitBlt(sdc, 0, 0, -1, 2, mem, 0, 0), 0);
    EXPECT_EQ(GdiBitBlt(sdc, 0, 0, 2, -1, mem, 0, 0), 0);
    SurfaceReleaseDC(s, sdc);
    // A memory context can be the destination as well: here the green
    // bitmap is copied onto the patterned one.
    Bitmap* pattern = OsLoadBitmap(OsModuleHandle(), "PATTERN", 4, 4);
    DeviceContext* target = GdiCreateCompatibleDC();
    GdiSelectBitmap(target, pattern);
    EXPECT_NE(GdiBitBlt(target, 1, 1, 2, 2, mem, 0, 0), 0);
    GdiDeleteDC(target);
    GdiDeleteBitmap(pattern);
    GdiDeleteDC(mem);
    GdiDeleteBitmap(bmp);
}

} // namespace
