// The stream layer the song loader reads through: five process-wide
// operations (open, close, read, seek, tell), installed all together or not
// at all, and a thin record per open stream.
#pragma once

#include <cstdint>

using StreamOpenFn = void* (*)(const char* name);
using StreamCloseFn = void (*)(void* handle);
using StreamReadFn = void (*)(void* destination, int32_t count, void* handle);
using StreamSeekFn = void (*)(void* handle, int32_t offset, uint8_t origin);
using StreamTellFn = int32_t (*)(void* handle);

// Seek origins.
constexpr uint8_t STREAM_SEEK_SET = 0;
constexpr uint8_t STREAM_SEEK_CUR = 1;
constexpr uint8_t STREAM_SEEK_END = 2;

// All five set or all five null.
struct FileCallbacks {
    StreamOpenFn open;
    StreamCloseFn close;
    StreamReadFn read;
    StreamSeekFn seek;
    StreamTellFn tell;
};

extern FileCallbacks fileCallbacks;

// One open stream: the handle its open operation returned.
struct StreamFile {
    void* handle;
};

// Stores the five operations when all are given; empties all five when any
// one is missing.
void InstallFileCallbacks(StreamOpenFn open, StreamCloseFn close, StreamReadFn read, StreamSeekFn seek,
                          StreamTellFn tell);
// True when the five operations are installed (what OpenOutput checks).
bool FileCallbacksInstalled();

// Null when no operations are installed, the record cannot be allocated or
// open gives no handle.
StreamFile* StreamOpen(const char* name);
// Closes the handle and releases the record; null does nothing.
void StreamClose(StreamFile* file);
// Reads up to count bytes; the caller cannot tell how many arrived (bytes not
// delivered are left as they were). Null file does nothing.
void StreamRead(void* destination, int32_t count, StreamFile* file);
// Null file does nothing.
void StreamSeek(StreamFile* file, int32_t offset, uint8_t origin);
// 0 for a null file.
int32_t StreamTell(StreamFile* file);

// Back to a fresh process: no operations installed (tests).
void ResetStream();
