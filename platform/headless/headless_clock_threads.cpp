// The scripted clock and real threads. The clock is atomic: the feeder
// thread sleeps (and, with virtual sleep, advances it) while the test's
// thread reads and sets it.
#include <atomic>

#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"
#include "platform/thread_core.h"

namespace {

std::atomic<uint32_t> clockNow{0};
std::atomic<uint32_t> autoAdvance{0};
std::atomic<bool> virtualSleep{false};
std::atomic<bool> feederThread{true};

} // namespace

uint32_t OsTimeGetTime() {
    const uint32_t step = autoAdvance.load(std::memory_order_relaxed);
    if (step == 0)
        return clockNow.load(std::memory_order_relaxed);
    return clockNow.fetch_add(step, std::memory_order_relaxed) + step;
}

void OsSleep(uint32_t milliseconds) {
    if (virtualSleep.load(std::memory_order_relaxed))
        clockNow.fetch_add(milliseconds, std::memory_order_relaxed);
    else
        CoreSleep(milliseconds);
}

Thread* OsCreateThread(ThreadProc proc, void* parameter) {
    // Counted either way; without feeder threads the call is declined, not failed.
    if (HeadlessFaultHit("CreateThread") || !feederThread.load(std::memory_order_relaxed))
        return nullptr;
    return CoreCreateThread(proc, parameter);
}

// Granted without touching the scheduler: a test run must not hand a real-time
// priority to a thread on a shared machine.
bool OsSetThreadPriorityTimeCritical(Thread* thread) { return thread != nullptr; }

void OsCloseThread(Thread* thread) { CoreCloseThread(thread); }

void HeadlessSetTime(uint32_t milliseconds) { clockNow.store(milliseconds, std::memory_order_relaxed); }

void HeadlessAdvanceTime(uint32_t milliseconds) { clockNow.fetch_add(milliseconds, std::memory_order_relaxed); }

void HeadlessSetAutoAdvance(uint32_t millisecondsPerRead) {
    autoAdvance.store(millisecondsPerRead, std::memory_order_relaxed);
}

void HeadlessSetVirtualSleep(bool virtualSleepOn) { virtualSleep.store(virtualSleepOn, std::memory_order_relaxed); }

void HeadlessSetFeederThread(bool started) { feederThread.store(started, std::memory_order_relaxed); }

void HeadlessResetClock() {
    clockNow.store(0, std::memory_order_relaxed);
    autoAdvance.store(0, std::memory_order_relaxed);
    virtualSleep.store(false, std::memory_order_relaxed);
    feederThread.store(true, std::memory_order_relaxed);
}
