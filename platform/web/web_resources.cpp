// Resources and bitmaps in the browser: the pieces the page hands over
// before main runs (its own font, animation, counter digits, song, release
// text), then the linked-in resource table; and the shared GDI objects.
#include <emscripten.h>

#include "platform/gdi_core.h"
#include "platform/platform.h"
#include "platform/resource_table.h"
#include "platform/web/web_internal.h"

// The page's own piece replaces the built-in resource of that name. The
// page allocated the bytes in the program's memory and keeps them for the
// program's whole run.
extern "C" EMSCRIPTEN_KEEPALIVE void quillon_web_set_resource(const char* name, uint32_t type, const uint8_t* data,
                                                              uint32_t size) {
    if (!SetRuntimeResource(name, type, data, size))
        EM_ASM({ console.error('quillon: resource ' + UTF8ToString($0) + ' refused'); }, name ? name : "");
}

bool OsFindResource(Instance*, const char* name, uint32_t type, ResourceBytes* out) {
    return FindResourceGivenOrEmbedded(name, type, out);
}

Bitmap* OsLoadBitmap(Instance*, const char* name, int width, int height) {
    ResourceBytes bytes{};
    if (!FindResourceGivenOrEmbedded(name, RT_BITMAP_TYPE, &bytes)) {
        WebKeepReason("no such bitmap resource");
        return nullptr;
    }
    DecodedBitmap image;
    std::string error;
    if (!DecodeBitmap(bytes.data, bytes.size, width, height, image, error)) {
        WebKeepReason(error.c_str());
        return nullptr;
    }
    return CoreNewBitmap(std::move(image));
}
