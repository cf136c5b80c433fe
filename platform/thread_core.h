// Threads and sleeping, shared by the backends.
#pragma once

#include "platform/platform.h"

// Starts proc(parameter) on a new thread at once; null when the system
// cannot start one.
Thread* CoreCreateThread(ThreadProc proc, void* parameter);
// Asks the scheduler for a real-time priority (SCHED_FIFO 20), which needs
// privileges on Linux; false when it is refused (the thread keeps running
// at its normal priority).
bool CoreSetTimeCritical(Thread* thread);
// Joins the thread and forgets it.
void CoreCloseThread(Thread* thread);
void CoreSleep(uint32_t milliseconds);
