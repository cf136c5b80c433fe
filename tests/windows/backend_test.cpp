// The Windows backend under Wine, on the virtual desktop of the test run:
// the window class and styles, the surfaces as the program asks for them,
// locks by the reported pitch, the flip chain, fills and keyed copies read
// back, the GDI path from the linked-in bitmaps (against the decoder the
// Linux backends use), the linked-in song, the C runtime's generator, and
// the waveform device when a sound server is there.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/bitmap_decoder.h"
#include "platform/crt_rand.h"
#include "platform/platform.h"

namespace {

std::vector<Message> received;

intptr_t RecordingProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    received.push_back(Message{window, message, wParam, lParam});
    return OsDefWindowProc(window, message, wParam, lParam);
}

IDirectDrawSurface7* Raw(Surface* s) { return reinterpret_cast<IDirectDrawSurface7*>(s); }

// One window, the exclusive 640x480x32 display and the flipping pair, as
// the program sets them up; made once for the whole suite (the class can be
// registered once per process).
class Display : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WindowClass wc{};
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
        wc.windowProc = RecordingProc;
        wc.instance = OsModuleHandle();
        wc.menuName = "QuillonTest";
        wc.className = "QuillonTest";
        ASSERT_TRUE(OsRegisterClass(wc));
        window = OsCreateWindow(WS_EX_TOPMOST, "QuillonTest", "QuillonTest", WS_POPUP | WS_VISIBLE, 0, 0,
                                OsScreenWidth(), OsScreenHeight(), OsModuleHandle());
        ASSERT_NE(window, nullptr) << "no window: is there a display?";
        OsShowWindow(window, SW_SHOWNORMAL);
        OsUpdateWindow(window);
        OsSetFocus(window);
        ASSERT_EQ(DdCreate(&dd), RESULT_OK);
        ASSERT_EQ(DdSetCooperativeLevel(dd, window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT), RESULT_OK);
        ASSERT_EQ(DdSetDisplayMode(dd, 640, 480, 32, 0, 0), RESULT_OK);
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.backBufferCount = 1;
        d.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        ASSERT_EQ(DdCreateSurface(dd, &d, &primary), RESULT_OK);
        ASSERT_EQ(SurfaceGetAttached(primary, DDSCAPS_BACKBUFFER, &backbuf), RESULT_OK);
    }

    static void TearDownTestSuite() {
        if (primary)
            SurfaceRelease(primary);
        if (dd)
            DdRelease(dd);
        if (window)
            OsDestroyWindow(window);
    }

    // An off-screen surface as the program makes one: video memory first,
    // system memory on refusal.
    static Surface* OffScreen(int w, int h, bool keyed) {
        SurfaceDesc d{};
        d.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | (keyed ? DDSD_CKSRCBLT : 0);
        d.width = static_cast<uint32_t>(w);
        d.height = static_cast<uint32_t>(h);
        d.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
        Surface* s = nullptr;
        if (DdCreateSurface(dd, &d, &s) == RESULT_OK)
            return s;
        d.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        return DdCreateSurface(dd, &d, &s) == RESULT_OK ? s : nullptr;
    }

    // Every pixel of a surface through a lock, row by row by the pitch, as
    // 0x00RRGGBB: the top byte of an X8R8G8B8 pixel is undefined (Wine's
    // fills and copies set it to 0xFF).
    static std::vector<uint32_t> ReadBack(Surface* s) {
        SurfaceDesc d{};
        std::vector<uint32_t> pixels;
        if (SurfaceLock(s, &d) != RESULT_OK)
            return pixels;
        for (uint32_t y = 0; y < d.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.surface) + y * d.pitch);
            for (uint32_t x = 0; x < d.width; ++x)
                pixels.push_back(row[x] & 0x00FFFFFFu);
        }
        SurfaceUnlock(s);
        return pixels;
    }

    static Window* window;
    static DirectDraw* dd;
    static Surface* primary;
    static Surface* backbuf;
};

Window* Display::window = nullptr;
DirectDraw* Display::dd = nullptr;
Surface* Display::primary = nullptr;
Surface* Display::backbuf = nullptr;

TEST_F(Display, WindowHasTheClassAndStylesAsked) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCL_STYLE), static_cast<ULONG_PTR>(CS_VREDRAW | CS_HREDRAW | CS_OWNDC));
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HICON), 0u) << "the module has no IDI_APPLICATION icon";
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HCURSOR), reinterpret_cast<ULONG_PTR>(LoadCursorA(nullptr, IDC_ARROW)));
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND), 0u);
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    char title[32] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "QuillonTest");
    EXPECT_EQ(GetMenu(hwnd), nullptr) << "no menu resource of that name";
}

TEST_F(Display, MessagesArePeekedTakenAndDispatchedInOrder) {
    received.clear();
    Message m{};
    while (OsPeekMessage(&m)) { // whatever the desktop sent first
        ASSERT_GT(OsGetMessage(&m), 0);
        OsDispatchMessage(&m);
    }
    received.clear();
    ASSERT_TRUE(OsPostMessage(window, WM_KEYDOWN, VK_SPACE, 1));
    ASSERT_TRUE(OsPostMessage(window, WM_RBUTTONDOWN, 2, 0));
    ASSERT_TRUE(OsPeekMessage(&m));
    EXPECT_EQ(m.message, static_cast<uint32_t>(WM_KEYDOWN));
    ASSERT_TRUE(OsPeekMessage(&m)) << "a peek leaves the message queued";
    ASSERT_GT(OsGetMessage(&m), 0);
    EXPECT_EQ(m.window, window);
    EXPECT_EQ(m.wParam, static_cast<uintptr_t>(VK_SPACE));
    // TranslateMessage posts the space bar's WM_CHAR: behind the messages
    // already posted.
    OsTranslateMessage(&m);
    OsDispatchMessage(&m);
    for (int i = 0; i < 2; ++i) {
        ASSERT_GT(OsGetMessage(&m), 0);
        OsDispatchMessage(&m);
    }
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, static_cast<uint32_t>(WM_KEYDOWN));
    EXPECT_EQ(received[1].message, static_cast<uint32_t>(WM_RBUTTONDOWN));
    EXPECT_EQ(received[2].message, static_cast<uint32_t>(WM_CHAR));
    EXPECT_EQ(received[2].wParam, static_cast<uintptr_t>(' '));
    // DestroyWindow sends WM_DESTROY before it returns; a second time it
    // fails and sends nothing.
    Window* other = OsCreateWindow(0, "QuillonTest", "other", WS_POPUP, 0, 0, 8, 8, OsModuleHandle());
    ASSERT_NE(other, nullptr);
    received.clear();
    EXPECT_TRUE(OsDestroyWindow(other));
    bool destroyed = false;
    for (const Message& r : received)
        destroyed |= r.window == other && r.message == WM_DESTROY;
    EXPECT_TRUE(destroyed);
    received.clear();
    EXPECT_FALSE(OsDestroyWindow(other));
    EXPECT_TRUE(received.empty());
}

TEST_F(Display, SurfacesHaveTheSizesCapsFormatAndKeysAsked) {
    SurfaceDesc d{};
    ASSERT_GE(SurfaceGetDesc(primary, &d), 0);
    EXPECT_EQ(d.width, 640u);
    EXPECT_EQ(d.height, 480u);
    EXPECT_EQ(d.caps & (DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX),
              static_cast<uint32_t>(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX));
    ASSERT_GE(SurfaceGetDesc(backbuf, &d), 0);
    EXPECT_EQ(d.width, 640u);
    EXPECT_TRUE(d.caps & DDSCAPS_BACKBUFFER);

    struct Case {
        const char* label;
        int w, h;
        bool keyed;
    };
    const Case cases[] = {{"VIEWPAGE", 640, 384, false}, {"ANI", 5120, 64, true},  {"BACKGROUND", 640, 480, false},
                          {"FPS", 170, 8, true},         {"FONT", 784, 12, false}, {"PAGE", 640, 1536, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Surface* s = OffScreen(c.w, c.h, c.keyed);
        ASSERT_NE(s, nullptr);
        DDSURFACEDESC2 raw{};
        raw.dwSize = sizeof raw;
        ASSERT_EQ(Raw(s)->GetSurfaceDesc(&raw), DD_OK);
        EXPECT_EQ(raw.dwWidth, static_cast<DWORD>(c.w));
        EXPECT_EQ(raw.dwHeight, static_cast<DWORD>(c.h));
        EXPECT_TRUE(raw.ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN);
        EXPECT_TRUE(raw.ddsCaps.dwCaps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY));
        EXPECT_EQ(raw.ddpfPixelFormat.dwRGBBitCount, 32u) << "the display's format";
        EXPECT_EQ(raw.ddpfPixelFormat.dwRBitMask, 0xFF0000u);
        EXPECT_EQ(raw.ddpfPixelFormat.dwGBitMask, 0xFF00u);
        EXPECT_EQ(raw.ddpfPixelFormat.dwBBitMask, 0xFFu);
        EXPECT_GE(raw.lPitch, c.w * 4);
        DDCOLORKEY key{1, 1};
        const HRESULT hr = Raw(s)->GetColorKey(DDCKEY_SRCBLT, &key);
        if (c.keyed) {
            EXPECT_EQ(hr, DD_OK);
            EXPECT_EQ(key.dwColorSpaceLowValue, 0u);
            EXPECT_EQ(key.dwColorSpaceHighValue, 0u);
        } else {
            EXPECT_EQ(hr, DDERR_NOCOLORKEY);
        }
        SurfaceRelease(s);
    }
}

TEST_F(Display, LockFillAndKeyedCopyReadBackByThePitch) {
    Surface* source = OffScreen(13, 5, true);
    Surface* dest = OffScreen(13, 5, false);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(dest, nullptr);
    // A pattern written through the lock, by the reported pitch, with
    // black (the key) in every third pixel.
    SurfaceDesc d{};
    ASSERT_EQ(SurfaceLock(source, &d), RESULT_OK);
    ASSERT_GE(d.pitch, 13 * 4);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] =
                (x + y) % 3 == 0 ? 0 : 0x010203u * static_cast<uint32_t>(x + 16 * y + 1);
    ASSERT_EQ(SurfaceUnlock(source), RESULT_OK);

    const Rect band{0, 1, 13, 3};
    ASSERT_EQ(SurfaceColorFill(dest, nullptr, 0x5D1759), RESULT_OK);
    ASSERT_EQ(SurfaceColorFill(dest, &band, 0x000102), RESULT_OK);
    const std::vector<uint32_t> filled = ReadBack(dest);
    ASSERT_EQ(filled.size(), 65u);
    for (int i = 0; i < 65; ++i)
        EXPECT_EQ(filled[i], (i / 13 == 1 || i / 13 == 2) ? 0x000102u : 0x5D1759u) << i;

    ASSERT_EQ(SurfaceBltFast(dest, 0, 0, source, nullptr, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY), RESULT_OK);
    const std::vector<uint32_t> keyed = ReadBack(dest);
    const std::vector<uint32_t> src = ReadBack(source);
    for (int i = 0; i < 65; ++i)
        EXPECT_EQ(keyed[i], src[i] == 0 ? filled[i] : src[i]) << i;

    ASSERT_EQ(SurfaceBltFast(dest, 0, 0, source, nullptr, DDBLTFAST_WAIT | DDBLTFAST_NOCOLORKEY), RESULT_OK);
    EXPECT_EQ(ReadBack(dest), src);
    SurfaceRelease(source);
    SurfaceRelease(dest);
}

TEST_F(Display, FlipSwapsTheFrontAndBackBuffers) {
    ASSERT_EQ(SurfaceColorFill(backbuf, nullptr, 0x112233), RESULT_OK);
    ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);
    ASSERT_EQ(SurfaceColorFill(backbuf, nullptr, 0x445566), RESULT_OK);
    EXPECT_EQ(ReadBack(primary).at(640 * 240 + 320), 0x112233u) << "the first picture is shown";
    ASSERT_EQ(SurfaceFlip(primary), RESULT_OK);
    EXPECT_EQ(ReadBack(primary).at(0), 0x445566u);
    EXPECT_EQ(ReadBack(backbuf).at(640 * 479 + 639), 0x112233u) << "the back buffer holds the picture of two flips ago";
    EXPECT_EQ(SurfaceIsLost(primary), RESULT_OK);
}

// LoadImageA, a memory context and BitBlt into the surface's context: the
// picture must be the one the shared decoder makes of the same resource,
// black included as 0 (the page's colour pass looks for exactly 0).
TEST_F(Display, LinkedInBitmapsReachTheSurfacesAsTheDecoderReadsThem) {
    struct Case {
        const char* name;
        int w, h;
        bool keyed;
    };
    for (const Case c : {Case{"FONT", 784, 12, false}, Case{"FPS", 170, 8, true}, Case{"ANI", 5120, 64, true}}) {
        SCOPED_TRACE(c.name);
        Surface* s = OffScreen(c.w, c.h, c.keyed);
        ASSERT_NE(s, nullptr);
        Bitmap* bmp = OsLoadBitmap(OsModuleHandle(), c.name, c.w, c.h);
        ASSERT_NE(bmp, nullptr);
        DeviceContext* mem = GdiCreateCompatibleDC();
        ASSERT_NE(mem, nullptr);
        GdiSelectBitmap(mem, bmp);
        DeviceContext* sdc = nullptr;
        ASSERT_GE(SurfaceGetDC(s, &sdc), 0);
        EXPECT_NE(GdiBitBlt(sdc, 0, 0, c.w, c.h, mem, 0, 0), 0);
        SurfaceReleaseDC(s, sdc);
        GdiDeleteDC(mem);
        GdiDeleteBitmap(bmp);

        ResourceBytes bytes{};
        ASSERT_TRUE(OsFindResource(OsModuleHandle(), c.name, RT_BITMAP_TYPE, &bytes));
        DecodedBitmap decoded;
        std::string error;
        ASSERT_TRUE(DecodeBitmap(bytes.data, bytes.size, c.w, c.h, decoded, error)) << error;
        const std::vector<uint32_t> shown = ReadBack(s);
        ASSERT_EQ(shown.size(), decoded.pixels.size());
        int differing = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            if (shown[i] != decoded.pixels[i] && differing++ < 5)
                ADD_FAILURE() << "pixel " << i % c.w << "," << i / c.w << ": 0x" << std::hex << shown[i]
                              << " on the surface, 0x" << decoded.pixels[i] << " decoded";
        EXPECT_EQ(differing, 0);
        SurfaceRelease(s);
    }
}

// The song and the release text are raw data of the module, found by name,
// byte for byte the files the native tree built.
TEST(Resources, TheSongAndTheTextAreLinkedInAsRawData) {
    struct Case {
        const char* name;
        const char* file;
    };
    const Case cases[] = {{"MUSIC", QUILLON_SONG_FILE}, {"TEXT", QUILLON_TEXT_FILE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResourceBytes found{};
        ASSERT_TRUE(OsFindResource(OsModuleHandle(), c.name, RT_RCDATA_TYPE, &found));
        std::FILE* f = std::fopen(c.file, "rb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> file(found.size + 1);
        const size_t read = std::fread(file.data(), 1, file.size(), f);
        std::fclose(f);
        ASSERT_EQ(read, found.size);
        EXPECT_TRUE(std::equal(found.data, found.data + found.size, file.begin()));
        ResourceBytes none{};
        EXPECT_FALSE(OsFindResource(OsModuleHandle(), c.name, RT_BITMAP_TYPE, &none));
        EXPECT_EQ(none.data, nullptr);
    }
}

// The records the backend hands to Windows carry their own size (dwSize,
// waveOutPrepareHeader's length): those of the Windows this tree builds for,
// 32-bit (the exe that ships) or 64-bit.
TEST(Structures, HaveTheSizesOfTheWindowsBuiltFor) {
    struct Sizes {
        const char* arch;
        size_t pointer;
        size_t surfaceDesc;
        size_t bltFx;
        size_t waveHeader;
    };
    const Sizes table[] = {
        {"x86", 4, 124, 100, 32},
        {"x64", 8, 136, 128, 48},
    };
    const Sizes* expected = nullptr;
    for (const Sizes& s : table)
        if (std::string(s.arch) == QUILLON_WINDOWS_ARCH)
            expected = &s;
    ASSERT_NE(expected, nullptr) << "no sizes for " << QUILLON_WINDOWS_ARCH;
    EXPECT_EQ(sizeof(void*), expected->pointer);
    EXPECT_EQ(sizeof(DDSURFACEDESC2), expected->surfaceDesc);
    EXPECT_EQ(sizeof(DDBLTFX), expected->bltFx);
    EXPECT_EQ(sizeof(WAVEHDR), expected->waveHeader);
}

// The program's own generator against the runtime it imitates.
TEST(CRuntime, RandMatchesTheWindowsRuntime) {
    for (const unsigned seed : {1u, 0u, 12345u, 0xFFFFFFFFu}) {
        CrtSrand(seed);
        std::srand(seed);
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(CrtRand(), std::rand()) << "seed " << seed << " draw " << i;
    }
}

// Needs a sound server (the sound test runs this case with one); skipped
// where waveOutOpen finds no device.
TEST(WaveOut, LoopsOneBufferAtTheProgramsFormatAndCountsBytes) {
    WaveFormat format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    WaveOutHandle device = NO_WAVEOUT;
    const Result opened = WaveOutOpen(&device, &format);
    if (opened != RESULT_OK)
        GTEST_SKIP() << "no waveform output device (" << opened << ")";
    std::vector<uint8_t> ring(88400 * 4);
    WaveHeader header{ring.data(), static_cast<uint32_t>(ring.size()), 0,
                      0,           WHDR_BEGINLOOP | WHDR_ENDLOOP,      0xFFFFFFFFu};
    ASSERT_EQ(WaveOutPrepareHeader(device, &header), RESULT_OK);
    EXPECT_TRUE(header.flags & WHDR_PREPARED);
    ASSERT_EQ(WaveOutWrite(device, &header), RESULT_OK);
    // The count grows past the end of the ring: the buffer loops. 2.0045 s
    // of ring; wait up to 10 s.
    uint32_t bytes = 0, last = 0;
    const DWORD start = timeGetTime();
    while (bytes <= ring.size() && timeGetTime() - start < 10000) {
        ASSERT_EQ(WaveOutGetPositionBytes(device, &bytes), RESULT_OK);
        EXPECT_GE(bytes, last);
        last = bytes;
        OsSleep(20);
    }
    EXPECT_GT(bytes, ring.size()) << "the position stopped at the end of the buffer";
    EXPECT_EQ(bytes % 4, 0u);
    EXPECT_EQ(WaveOutReset(device), RESULT_OK);
    EXPECT_EQ(WaveOutUnprepareHeader(device, &header), RESULT_OK);
    EXPECT_EQ(WaveOutClose(device), RESULT_OK);
    EXPECT_EQ(WaveOutGetPositionBytes(device, &bytes), RESULT_INVALIDHANDLE) << "a closed handle is stale";
}

} // namespace
