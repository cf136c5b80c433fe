// Resources and bitmaps on SDL2: the linked-in resource table and the
// shared GDI objects.
#include "platform/gdi_core.h"
#include "platform/platform.h"
#include "platform/resource_table.h"
#include "platform/sdl/sdl_internal.h"

bool OsFindResource(Instance*, const char* name, uint32_t type, ResourceBytes* out) {
    return FindEmbeddedResource(name, type, out);
}

Bitmap* OsLoadBitmap(Instance*, const char* name, int width, int height) {
    ResourceBytes bytes{};
    if (!FindEmbeddedResource(name, RT_BITMAP_TYPE, &bytes)) {
        Video().reason = std::string("no bitmap resource ") + (name ? name : "(null)");
        return nullptr;
    }
    DecodedBitmap image;
    std::string error;
    if (!DecodeBitmap(bytes.data, bytes.size, width, height, image, error)) {
        Video().reason = std::string("bitmap ") + name + ": " + error;
        return nullptr;
    }
    return CoreNewBitmap(std::move(image));
}
