// The millisecond clock and the feeder's thread on the kernel and winmm.
#include <new>

#include "platform/win32/win32_internal.h"

namespace {

// What the new thread needs: CreateThread's routine has the Windows
// signature, the program's has the platform's.
struct Start {
    ThreadProc proc;
    void* parameter;
};

DWORD WINAPI ThreadStart(LPVOID raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    return start.proc(start.parameter);
}

} // namespace

uint32_t OsTimeGetTime() { return timeGetTime(); }

void OsSleep(uint32_t milliseconds) { Sleep(milliseconds); }

Thread* OsCreateThread(ThreadProc proc, void* parameter) {
    auto* start = new (std::nothrow) Start{proc, parameter};
    if (!start)
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, ThreadStart, start, 0, nullptr);
    if (!thread)
        delete start;
    return reinterpret_cast<Thread*>(thread);
}

bool OsSetThreadPriorityTimeCritical(Thread* thread) {
    return SetThreadPriority(reinterpret_cast<HANDLE>(thread), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

// CloseHandle alone does not wait. The interface joins, as the other
// backends must (a std::thread is joined or detached): a feeder created just
// before the stop may not yet have run its first line when the player sees
// `feederExited` still set from the last run, and the wait keeps it from
// running after the player has moved on.
void OsCloseThread(Thread* thread) {
    if (!thread)
        return;
    const HANDLE handle = reinterpret_cast<HANDLE>(thread);
    if (GetThreadId(handle) != GetCurrentThreadId())
        WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}
