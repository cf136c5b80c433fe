// Lookup in the table of resources linked into the executable, and in the
// resources a backend is given at run time (the web page's own content),
// which come first.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The linked-in resource of that name (compared exactly) and type; false and
// {null, 0} when there is none.
bool FindEmbeddedResource(const char* name, uint32_t type, ResourceBytes* out);

// Gives the resource `name` at run time, replacing the linked-in one of that
// name (of any type) for every later lookup, and any given before. The bytes
// are not copied: they must stay as they are for as long as lookups run.
// False, and nothing changed, for a null or empty name or data, or when
// RUNTIME_RESOURCE_SLOTS different names are already given.
constexpr int RUNTIME_RESOURCE_SLOTS = 16;
bool SetRuntimeResource(const char* name, uint32_t type, const uint8_t* data, uint32_t size);
// Forgets every resource given at run time.
void ClearRuntimeResources();
// The resource given at run time under that name when there is one (found
// only with its own type), otherwise the linked-in one. False and {null, 0}
// when neither is there.
bool FindResourceGivenOrEmbedded(const char* name, uint32_t type, ResourceBytes* out);
