// The table of resources linked into the executable, generated at build
// time by tools/resembed from the built files in the build tree's resources/.
// The backends' OsFindResource reads it; the program never does.
#pragma once

#include <cstdint>

struct EmbeddedResource {
    const char* name;
    uint32_t type; // RT_BITMAP_TYPE or RT_RCDATA_TYPE
    const uint8_t* data;
    uint32_t size;
};

extern const EmbeddedResource embeddedResources[];
extern const uint32_t embeddedResourceCount;
