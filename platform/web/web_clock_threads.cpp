// The clock and threads in the browser: a monotonic clock, and real threads
// (web workers sharing the program's memory).
#include <time.h>

#include "platform/platform.h"
#include "platform/thread_core.h"

// Milliseconds of the browser's monotonic clock, truncated to 32 bits.
uint32_t OsTimeGetTime() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void OsSleep(uint32_t milliseconds) { CoreSleep(milliseconds); }

Thread* OsCreateThread(ThreadProc proc, void* parameter) { return CoreCreateThread(proc, parameter); }

// A browser gives a worker no priority to raise: refused, the thread runs on.
bool OsSetThreadPriorityTimeCritical(Thread*) { return false; }

void OsCloseThread(Thread* thread) { CoreCloseThread(thread); }
