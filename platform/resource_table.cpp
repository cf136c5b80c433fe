#include "platform/resource_table.h"

#include <cstring>
#include <string>

#include "platform/embedded_resources.h"

namespace {

struct RuntimeResource {
    std::string name; // empty: a free slot
    uint32_t type;
    const uint8_t* data;
    uint32_t size;
};

RuntimeResource runtimeResources[RUNTIME_RESOURCE_SLOTS];

RuntimeResource* FindRuntime(const char* name) {
    for (RuntimeResource& r : runtimeResources)
        if (!r.name.empty() && r.name == name)
            return &r;
    return nullptr;
}

} // namespace

bool FindEmbeddedResource(const char* name, uint32_t type, ResourceBytes* out) {
    if (out)
        *out = ResourceBytes{nullptr, 0};
    if (!name || !out)
        return false;
    for (uint32_t i = 0; i < embeddedResourceCount; ++i) {
        const EmbeddedResource& r = embeddedResources[i];
        if (r.type == type && std::strcmp(r.name, name) == 0) {
            *out = ResourceBytes{r.data, r.size};
            return true;
        }
    }
    return false;
}

bool SetRuntimeResource(const char* name, uint32_t type, const uint8_t* data, uint32_t size) {
    if (!name || !*name || !data || size == 0)
        return false;
    RuntimeResource* slot = FindRuntime(name);
    for (int i = 0; !slot && i < RUNTIME_RESOURCE_SLOTS; ++i)
        if (runtimeResources[i].name.empty())
            slot = &runtimeResources[i];
    if (!slot)
        return false;
    *slot = RuntimeResource{name, type, data, size};
    return true;
}

void ClearRuntimeResources() {
    for (RuntimeResource& r : runtimeResources)
        r = RuntimeResource{};
}

bool FindResourceGivenOrEmbedded(const char* name, uint32_t type, ResourceBytes* out) {
    if (out)
        *out = ResourceBytes{nullptr, 0};
    if (!name || !out)
        return false;
    if (const RuntimeResource* given = FindRuntime(name)) {
        if (given->type != type)
            return false;
        *out = ResourceBytes{given->data, given->size};
        return true;
    }
    return FindEmbeddedResource(name, type, out);
}
