// Resources, bitmaps, the clock and threads in the browser: the linked-in
// resource table and the shared GDI objects, a monotonic clock, and real
// threads (web workers sharing the program's memory).
#include <time.h>

#include "platform/gdi_core.h"
#include "platform/platform.h"
#include "platform/resource_table.h"
#include "platform/thread_core.h"
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

// Milliseconds of the browser's monotonic clock, truncated to 32 bits.
uint32_t OsTimeGetTime() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void OsSleep(uint32_t milliseconds) { CoreSleep(milliseconds); }

Thread* OsCreateThread(ThreadProc proc, void* parameter) { return CoreCreateThread(proc, parameter); }

// A browser gives a worker no priority to raise: refused, the thread runs on.
bool OsSetThreadPriorityTimeCritical(Thread*) { return false; }

void OsCloseThread(Thread* thread) { CoreCloseThread(thread); }
