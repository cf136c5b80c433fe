// The tools read only the files they are given: the module carries none of
// the program's built-in content. Defining the table here keeps the
// generated one (quillon_resources, some 460 KB) out of the link.
#include "platform/embedded_resources.h"

const EmbeddedResource embeddedResources[] = {{"", 0, nullptr, 0}};
const uint32_t embeddedResourceCount = 0;
