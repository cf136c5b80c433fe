// Resources linked into the executable by resources/quillon.rc, and the GDI
// path that copies a bitmap resource into a surface.
#include "platform/win32/win32_internal.h"

bool OsFindResource(Instance* instance, const char* name, uint32_t type, ResourceBytes* out) {
    *out = ResourceBytes{nullptr, 0};
    const HMODULE module = ToHinstance(instance);
    HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(type));
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return false;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return false;
    *out = ResourceBytes{static_cast<const uint8_t*>(bytes), static_cast<uint32_t>(SizeofResource(module, found))};
    return true;
}

Bitmap* OsLoadBitmap(Instance* instance, const char* name, int width, int height) {
    return reinterpret_cast<Bitmap*>(
        LoadImageA(ToHinstance(instance), name, IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION));
}

void GdiDeleteBitmap(Bitmap* bitmap) { DeleteObject(ToHbitmap(bitmap)); }

DeviceContext* GdiCreateCompatibleDC() { return FromHdc(CreateCompatibleDC(nullptr)); }

void GdiSelectBitmap(DeviceContext* dc, Bitmap* bitmap) { SelectObject(ToHdc(dc), ToHbitmap(bitmap)); }

void GdiDeleteDC(DeviceContext* dc) { DeleteDC(ToHdc(dc)); }

int GdiBitBlt(DeviceContext* dest, int x, int y, int width, int height, DeviceContext* source, int sx, int sy) {
    return BitBlt(ToHdc(dest), x, y, width, height, ToHdc(source), sx, sy, SRCCOPY);
}
