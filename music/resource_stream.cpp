#include "music/resource_stream.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

void* ResourceOpen(const char* name) {
    auto* stream = static_cast<ResourceStream*>(std::calloc(1, sizeof(ResourceStream)));
    if (!stream)
        return nullptr;
    ResourceBytes bytes{};
    if (OsFindResource(OsModuleHandle(), name, RT_RCDATA_TYPE, &bytes) && bytes.data) {
        stream->data = bytes.data;
        // A resource beyond 2 GiB cannot be addressed by the stream's 32-bit
        // positions; only its first part is seen.
        stream->size = bytes.size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(bytes.size);
    }
    stream->position = 0;
    return stream;
}

void ResourceClose(void* stream) { std::free(stream); }

void ResourceRead(void* destination, int32_t count, void* handle) {
    auto* stream = static_cast<ResourceStream*>(handle);
    if (!stream || count <= 0)
        return;
    int32_t left = stream->size - stream->position;
    if (count >= left)
        count = left;
    if (count <= 0)
        return;
    std::memcpy(destination, stream->data + stream->position, static_cast<size_t>(count));
    stream->position += count;
}

void ResourceSeek(void* handle, int32_t offset, uint8_t origin) {
    auto* stream = static_cast<ResourceStream*>(handle);
    if (!stream)
        return;
    // Computed wide so that no offset can overflow; a position before the
    // start is held at 0, one past the end at the end.
    int64_t position = stream->position;
    switch (origin) {
    case 0: position = offset; break;
    case 1: position += offset; break;
    case 2: position = static_cast<int64_t>(stream->size) + offset; break;
    default: break;
    }
    if (position > stream->size)
        position = stream->size;
    if (position < 0)
        position = 0;
    stream->position = static_cast<int32_t>(position);
}

int32_t ResourceTell(void* handle) {
    auto* stream = static_cast<ResourceStream*>(handle);
    return stream ? stream->position : 0;
}
