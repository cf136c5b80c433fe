// Resources and bitmaps in the browser: the linked-in resource table and
// the shared GDI objects.
#include "platform/gdi_core.h"
#include "platform/platform.h"
#include "platform/resource_table.h"
#include "platform/web/web_internal.h"

bool OsFindResource(Instance*, const char* name, uint32_t type, ResourceBytes* out) {
    return FindEmbeddedResource(name, type, out);
}

Bitmap* OsLoadBitmap(Instance*, const char* name, int width, int height) {
    ResourceBytes bytes{};
    if (!FindEmbeddedResource(name, RT_BITMAP_TYPE, &bytes)) {
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
