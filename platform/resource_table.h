// Lookup in the table of resources linked into the executable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The linked-in resource of that name (compared exactly) and type; false and
// {null, 0} when there is none.
bool FindEmbeddedResource(const char* name, uint32_t type, ResourceBytes* out);
