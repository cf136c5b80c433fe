#include "platform/resource_table.h"

#include <cstring>

#include "platform/embedded_resources.h"

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
