#include "music/stream.h"

#include <cstdlib>

FileCallbacks fileCallbacks;

void InstallFileCallbacks(StreamOpenFn open, StreamCloseFn close, StreamReadFn read, StreamSeekFn seek,
                          StreamTellFn tell) {
    if (open && close && read && seek && tell)
        fileCallbacks = {open, close, read, seek, tell};
    else
        fileCallbacks = {};
}

bool FileCallbacksInstalled() {
    return fileCallbacks.open && fileCallbacks.close && fileCallbacks.read && fileCallbacks.seek && fileCallbacks.tell;
}

StreamFile* StreamOpen(const char* name) {
    if (!FileCallbacksInstalled())
        return nullptr;
    auto* file = static_cast<StreamFile*>(std::calloc(1, sizeof(StreamFile)));
    if (!file)
        return nullptr;
    file->handle = fileCallbacks.open(name);
    if (!file->handle) {
        std::free(file);
        return nullptr;
    }
    return file;
}

void StreamClose(StreamFile* file) {
    if (!file)
        return;
    if (fileCallbacks.close)
        fileCallbacks.close(file->handle);
    std::free(file);
}

void StreamRead(void* destination, int32_t count, StreamFile* file) {
    if (file && fileCallbacks.read)
        fileCallbacks.read(destination, count, file->handle);
}

void StreamSeek(StreamFile* file, int32_t offset, uint8_t origin) {
    if (file && fileCallbacks.seek)
        fileCallbacks.seek(file->handle, offset, origin);
}

int32_t StreamTell(StreamFile* file) {
    if (!file || !fileCallbacks.tell)
        return 0;
    return fileCallbacks.tell(file->handle);
}

void ResetStream() { fileCallbacks = {}; }
