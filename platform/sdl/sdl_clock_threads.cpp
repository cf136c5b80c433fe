// The millisecond clock and threads on Linux.
#include <time.h>

#include "platform/platform.h"
#include "platform/thread_core.h"

// Monotonic milliseconds truncated to 32 bits: wraps like timeGetTime.
uint32_t OsTimeGetTime() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void OsSleep(uint32_t milliseconds) { CoreSleep(milliseconds); }

Thread* OsCreateThread(ThreadProc proc, void* parameter) { return CoreCreateThread(proc, parameter); }

bool OsSetThreadPriorityTimeCritical(Thread* thread) { return CoreSetTimeCritical(thread); }

void OsCloseThread(Thread* thread) { CoreCloseThread(thread); }
