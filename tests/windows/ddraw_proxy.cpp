// A ddraw.dll to put beside quillon.exe under Wine (WINEDLLOVERRIDES
// ddraw=n,b): it hands every call to the system's DirectDraw and fails the
// calls that QUILLON_DDRAW_FAIL names, so the program's own set-up and
// recovery take their real error paths.
//
// QUILLON_DDRAW_FAIL is a comma-separated list of rules CALL[:SURFACE][@N]:
//   CALL     DirectDrawCreateEx, SetCooperativeLevel, SetDisplayMode,
//            CreateSurface, GetAttachedSurface, Blt, BltFast, GetDC,
//            GetSurfaceDesc, IsLost, Restore, Flip or Lock;
//   SURFACE  the surface it concerns: PRIMARY, BACKBUF, VIEWPAGE, ANI,
//            BACKGROUND, FPS, FONT or PAGE (known by its caps and size), or
//            VIDEOMEMORY for a CreateSurface that asks for video memory;
//   @N       only the N-th call that matches (counted from 1), otherwise
//            every one.
// A failed call returns DDERR_SURFACELOST for IsLost, DDERR_OUTOFVIDEOMEMORY
// for CreateSurface, DDERR_GENERIC otherwise, and does not reach DirectDraw.
//
// QUILLON_DDRAW_LOG names a file that gets one line per surface created
// ("CreateSurface ANI video ok"), per failure made ("fail Blt PRIMARY"),
// for the first Flip of each DirectDraw object ("Flip") and for every 500th
// flip of the run, with the millisecond clock ("flips 1500 at 81234 ms").
//
// The calls are caught in the system DirectDraw's own method tables, so the
// objects the program holds are DirectDraw's and pass unchanged from one
// call to another (a source surface of BltFast, for one).
#define WIN32_LEAN_AND_MEAN
#define CINTERFACE
#include <windows.h>
#include <ddraw.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int MAX_RULES = 8;
constexpr int MAX_SURFACES = 64;

struct Rule {
    char call[32];
    char surface[16];
    int nth;   // 0: every matching call
    int count; // matching calls so far
};

struct Known {
    IDirectDrawSurface7* surface;
    const char* label;
};

Rule rules[MAX_RULES];
int ruleCount = 0;
Known known[MAX_SURFACES];
char logPath[MAX_PATH];
bool flipLogged = false;
unsigned flips = 0;
// Above 0 while a call of the program is inside DirectDraw: DirectDraw
// calls its own methods through the same tables (releasing the device
// resets the cooperative level), and those calls are neither counted nor
// failed.
int inside = 0;

// Marks the program's call as under way for as long as it lives.
struct Inside {
    Inside() { ++inside; }
    ~Inside() { --inside; }
};

using CreateExFn = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);
CreateExFn realCreateEx = nullptr;

// The system DirectDraw's methods, taken from its tables before they are
// patched.
HRESULT(WINAPI* realSetCooperativeLevel)(IDirectDraw7*, HWND, DWORD);
HRESULT(WINAPI* realSetDisplayMode)(IDirectDraw7*, DWORD, DWORD, DWORD, DWORD, DWORD);
HRESULT(WINAPI* realCreateSurface)(IDirectDraw7*, DDSURFACEDESC2*, IDirectDrawSurface7**, IUnknown*);
HRESULT(WINAPI* realBlt)(IDirectDrawSurface7*, RECT*, IDirectDrawSurface7*, RECT*, DWORD, DDBLTFX*);
HRESULT(WINAPI* realBltFast)(IDirectDrawSurface7*, DWORD, DWORD, IDirectDrawSurface7*, RECT*, DWORD);
HRESULT(WINAPI* realGetAttachedSurface)(IDirectDrawSurface7*, DDSCAPS2*, IDirectDrawSurface7**);
HRESULT(WINAPI* realGetDC)(IDirectDrawSurface7*, HDC*);
HRESULT(WINAPI* realGetSurfaceDesc)(IDirectDrawSurface7*, DDSURFACEDESC2*);
HRESULT(WINAPI* realIsLost)(IDirectDrawSurface7*);
HRESULT(WINAPI* realRestore)(IDirectDrawSurface7*);
HRESULT(WINAPI* realFlip)(IDirectDrawSurface7*, IDirectDrawSurface7*, DWORD);
HRESULT(WINAPI* realLock)(IDirectDrawSurface7*, RECT*, DDSURFACEDESC2*, DWORD, HANDLE);
ULONG(WINAPI* realRelease)(IDirectDraw7*);
ULONG(WINAPI* realSurfaceRelease)(IDirectDrawSurface7*);

void Log(const char* a, const char* b = "", const char* c = "") {
    if (logPath[0] == '\0')
        return;
    HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%s%s%s%s%s\n", a, *b ? " " : "", b, *c ? " " : "", c);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
}

void ReadRules() {
    const DWORD m = GetEnvironmentVariableA("QUILLON_DDRAW_LOG", logPath, sizeof logPath);
    if (m >= sizeof logPath)
        logPath[0] = '\0';
    char text[512];
    const DWORD n = GetEnvironmentVariableA("QUILLON_DDRAW_FAIL", text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return;
    for (char* item = std::strtok(text, ","); item && ruleCount < MAX_RULES; item = std::strtok(nullptr, ",")) {
        Rule& r = rules[ruleCount++];
        r = Rule{};
        if (char* at = std::strchr(item, '@')) {
            *at = '\0';
            r.nth = std::atoi(at + 1);
        }
        if (char* colon = std::strchr(item, ':')) {
            *colon = '\0';
            std::snprintf(r.surface, sizeof r.surface, "%s", colon + 1);
        }
        std::snprintf(r.call, sizeof r.call, "%s", item);
    }
}

// Whether this call is one to fail; every rule that matches counts it.
// DirectDraw's calls to itself never fail.
bool ShouldFail(const char* call, const char* surface, bool videoMemory = false) {
    if (inside > 1)
        return false;
    bool fail = false;
    for (int i = 0; i < ruleCount; ++i) {
        Rule& r = rules[i];
        if (std::strcmp(r.call, call) != 0)
            continue;
        if (r.surface[0] != '\0') {
            const bool byMemory = std::strcmp(r.surface, "VIDEOMEMORY") == 0 && videoMemory;
            if (!byMemory && std::strcmp(r.surface, surface) != 0)
                continue;
        }
        ++r.count;
        if (r.nth == 0 || r.count == r.nth)
            fail = true;
    }
    if (fail)
        Log("fail", call, surface);
    return fail;
}

const char* LabelOf(IDirectDrawSurface7* surface) {
    for (const Known& k : known)
        if (k.surface == surface)
            return k.label;
    return "";
}

void Remember(IDirectDrawSurface7* surface, const char* label) {
    for (Known& k : known)
        if (k.surface == surface || k.surface == nullptr) {
            k = Known{surface, label};
            return;
        }
}

// The surface a description asks for, by the caps and sizes the program
// uses.
const char* LabelFor(const DDSURFACEDESC2* desc) {
    if (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE)
        return "PRIMARY";
    struct Size {
        DWORD width, height;
        const char* label;
    };
    static const Size sizes[] = {{640, 384, "VIEWPAGE"}, {5120, 64, "ANI"}, {640, 480, "BACKGROUND"},
                                 {170, 8, "FPS"},        {784, 12, "FONT"}, {640, 1536, "PAGE"}};
    for (const Size& s : sizes)
        if (desc->dwWidth == s.width && desc->dwHeight == s.height)
            return s.label;
    return "OTHER";
}

HRESULT WINAPI SetCooperativeLevelHook(IDirectDraw7* dd, HWND window, DWORD flags) {
    const Inside guard;
    if (ShouldFail("SetCooperativeLevel", ""))
        return DDERR_GENERIC;
    return realSetCooperativeLevel(dd, window, flags);
}

HRESULT WINAPI SetDisplayModeHook(IDirectDraw7* dd, DWORD w, DWORD h, DWORD bpp, DWORD rate, DWORD flags) {
    const Inside guard;
    if (ShouldFail("SetDisplayMode", ""))
        return DDERR_GENERIC;
    return realSetDisplayMode(dd, w, h, bpp, rate, flags);
}

// Surfaces

HRESULT WINAPI BltHook(IDirectDrawSurface7* s, RECT* d, IDirectDrawSurface7* src, RECT* r, DWORD f, DDBLTFX* fx) {
    const Inside guard;
    if (ShouldFail("Blt", LabelOf(s)))
        return DDERR_GENERIC;
    return realBlt(s, d, src, r, f, fx);
}

HRESULT WINAPI BltFastHook(IDirectDrawSurface7* s, DWORD x, DWORD y, IDirectDrawSurface7* src, RECT* r, DWORD f) {
    const Inside guard;
    if (ShouldFail("BltFast", LabelOf(s)))
        return DDERR_GENERIC;
    return realBltFast(s, x, y, src, r, f);
}

HRESULT WINAPI GetAttachedSurfaceHook(IDirectDrawSurface7* s, DDSCAPS2* caps, IDirectDrawSurface7** out) {
    const Inside guard;
    if (ShouldFail("GetAttachedSurface", LabelOf(s))) {
        *out = nullptr;
        return DDERR_GENERIC;
    }
    const HRESULT hr = realGetAttachedSurface(s, caps, out);
    if (SUCCEEDED(hr) && (caps->dwCaps & DDSCAPS_BACKBUFFER))
        Remember(*out, "BACKBUF");
    return hr;
}

HRESULT WINAPI GetDCHook(IDirectDrawSurface7* s, HDC* dc) {
    const Inside guard;
    if (ShouldFail("GetDC", LabelOf(s)))
        return DDERR_GENERIC;
    return realGetDC(s, dc);
}

HRESULT WINAPI GetSurfaceDescHook(IDirectDrawSurface7* s, DDSURFACEDESC2* desc) {
    const Inside guard;
    if (ShouldFail("GetSurfaceDesc", LabelOf(s)))
        return DDERR_GENERIC;
    return realGetSurfaceDesc(s, desc);
}

HRESULT WINAPI IsLostHook(IDirectDrawSurface7* s) {
    const Inside guard;
    if (ShouldFail("IsLost", LabelOf(s)))
        return DDERR_SURFACELOST;
    return realIsLost(s);
}

HRESULT WINAPI RestoreHook(IDirectDrawSurface7* s) {
    const Inside guard;
    if (ShouldFail("Restore", LabelOf(s)))
        return DDERR_GENERIC;
    return realRestore(s);
}

HRESULT WINAPI FlipHook(IDirectDrawSurface7* s, IDirectDrawSurface7* target, DWORD flags) {
    const Inside guard;
    if (ShouldFail("Flip", LabelOf(s)))
        return DDERR_GENERIC;
    const HRESULT hr = realFlip(s, target, flags);
    if (!flipLogged && SUCCEEDED(hr)) {
        flipLogged = true;
        Log("Flip");
    }
    // Every 500th flip with the clock, from which a frame rate follows.
    if (++flips % 500 == 0) {
        char count[48];
        std::snprintf(count, sizeof count, "%u at %lu ms", flips, static_cast<unsigned long>(GetTickCount()));
        Log("flips", count);
    }
    return hr;
}

HRESULT WINAPI LockHook(IDirectDrawSurface7* s, RECT* r, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) {
    const Inside guard;
    if (ShouldFail("Lock", LabelOf(s)))
        return DDERR_GENERIC;
    return realLock(s, r, desc, flags, event);
}

ULONG WINAPI ReleaseHook(IDirectDraw7* dd) {
    const Inside guard;
    return realRelease(dd);
}

ULONG WINAPI SurfaceReleaseHook(IDirectDrawSurface7* s) {
    const Inside guard;
    return realSurfaceRelease(s);
}

// Replaces one entry of a method table that lives in read-only memory.
template <typename Fn>
void Patch(Fn* entry, Fn hook, Fn* original) {
    if (*entry == hook)
        return;
    *original = *entry;
    DWORD old = 0;
    VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old);
    *entry = hook;
    VirtualProtect(entry, sizeof *entry, old, &old);
}

void PatchSurface(IDirectDrawSurface7* surface) {
    IDirectDrawSurface7Vtbl* v = surface->lpVtbl;
    Patch(&v->Blt, BltHook, &realBlt);
    Patch(&v->BltFast, BltFastHook, &realBltFast);
    Patch(&v->GetAttachedSurface, GetAttachedSurfaceHook, &realGetAttachedSurface);
    Patch(&v->GetDC, GetDCHook, &realGetDC);
    Patch(&v->GetSurfaceDesc, GetSurfaceDescHook, &realGetSurfaceDesc);
    Patch(&v->IsLost, IsLostHook, &realIsLost);
    Patch(&v->Restore, RestoreHook, &realRestore);
    Patch(&v->Flip, FlipHook, &realFlip);
    Patch(&v->Lock, LockHook, &realLock);
    Patch(&v->Release, SurfaceReleaseHook, &realSurfaceRelease);
}

HRESULT WINAPI CreateSurfaceHook(IDirectDraw7* dd, DDSURFACEDESC2* desc, IDirectDrawSurface7** out, IUnknown* outer) {
    const Inside guard;
    const char* label = LabelFor(desc);
    const bool video = (desc->ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0;
    const char* memory = video ? "video" : (desc->ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) ? "system" : "any";
    if (ShouldFail("CreateSurface", label, video)) {
        *out = nullptr;
        Log("CreateSurface", label, memory);
        return DDERR_OUTOFVIDEOMEMORY;
    }
    const HRESULT hr = realCreateSurface(dd, desc, out, outer);
    if (SUCCEEDED(hr)) {
        PatchSurface(*out);
        Remember(*out, label);
    }
    char what[48];
    std::snprintf(what, sizeof what, "%s %s", memory, SUCCEEDED(hr) ? "ok" : "refused");
    Log("CreateSurface", label, what);
    return hr;
}

void PatchDirectDraw(IDirectDraw7* dd) {
    IDirectDraw7Vtbl* v = dd->lpVtbl;
    Patch(&v->SetCooperativeLevel, SetCooperativeLevelHook, &realSetCooperativeLevel);
    Patch(&v->SetDisplayMode, SetDisplayModeHook, &realSetDisplayMode);
    Patch(&v->CreateSurface, CreateSurfaceHook, &realCreateSurface);
    Patch(&v->Release, ReleaseHook, &realRelease);
}

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DirectDrawCreateEx(GUID* guid, LPVOID* out, REFIID iid, IUnknown* outer) {
    const Inside guard;
    if (!realCreateEx) {
        ReadRules();
        // The system's DirectDraw by its full path: by name alone the loader
        // would hand back this very DLL.
        char path[MAX_PATH];
        const UINT n = GetSystemDirectoryA(path, MAX_PATH);
        if (n == 0 || n + sizeof "\\ddraw.dll" > MAX_PATH)
            return DDERR_GENERIC;
        std::strcat(path, "\\ddraw.dll");
        HMODULE system = LoadLibraryA(path);
        if (!system)
            return DDERR_GENERIC;
        realCreateEx =
            reinterpret_cast<CreateExFn>(reinterpret_cast<void*>(GetProcAddress(system, "DirectDrawCreateEx")));
        if (!realCreateEx)
            return DDERR_GENERIC;
    }
    if (ShouldFail("DirectDrawCreateEx", "")) {
        *out = nullptr;
        return DDERR_GENERIC;
    }
    const HRESULT hr = realCreateEx(guid, out, iid, outer);
    if (SUCCEEDED(hr)) {
        PatchDirectDraw(static_cast<IDirectDraw7*>(*out));
        flipLogged = false;
    }
    return hr;
}
