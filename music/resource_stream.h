// A read-only stream over a raw-data resource linked into the executable:
// the way the song "MUSIC" is read. Its five operations are the ones
// MusicStart installs with InstallFileCallbacks.
#pragma once

#include <cstdint>

struct ResourceStream {
    int32_t size;        // the resource's length in bytes
    int32_t position;    // next byte to read, always 0..size
    const uint8_t* data; // the image's bytes; never copied or released here
};

// Always returns a new stream (null only when the record cannot be
// allocated). A resource that does not exist gives size 0 and no data, so
// every read delivers nothing and the load, not the open, fails.
void* ResourceOpen(const char* name);
void ResourceClose(void* stream);
// Copies at most the bytes left; the rest of the destination is untouched.
void ResourceRead(void* destination, int32_t count, void* stream);
// Origin 0 from the start, 1 from the current position, 2 from the end; any
// other origin leaves the position. The result is clamped into 0..size: a
// seek past the end stays at the end, one before the start stays at 0.
void ResourceSeek(void* stream, int32_t offset, uint8_t origin);
int32_t ResourceTell(void* stream);
