#include "platform/thread_core.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

struct Thread {
    std::thread thread;
};

Thread* CoreCreateThread(ThreadProc proc, void* parameter) {
    if (!proc)
        return nullptr;
    auto* t = new (std::nothrow) Thread;
    if (!t)
        return nullptr;
    try {
        t->thread = std::thread([proc, parameter] { proc(parameter); });
    } catch (const std::system_error&) {
        delete t;
        return nullptr;
    }
    return t;
}

bool CoreSetTimeCritical(Thread* thread) {
    if (!thread || !thread->thread.joinable())
        return false;
    // A real-time priority above every ordinary thread, but well below the
    // top, so a runaway thread cannot starve the system's own real-time work.
    sched_param param{};
    param.sched_priority = std::min(sched_get_priority_min(SCHED_FIFO) + 19, sched_get_priority_max(SCHED_FIFO));
    return pthread_setschedparam(thread->thread.native_handle(), SCHED_FIFO, &param) == 0;
}

void CoreCloseThread(Thread* thread) {
    if (!thread)
        return;
    if (thread->thread.joinable()) {
        if (thread->thread.get_id() == std::this_thread::get_id())
            thread->thread.detach(); // closing its own handle: nothing to wait for
        else
            thread->thread.join();
    }
    delete thread;
}

void CoreSleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
