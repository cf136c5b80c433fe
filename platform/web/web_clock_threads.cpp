// The clock and threads in the browser, on one thread. A thread is a fiber
// with stacks of its own; it runs only while the main context waits (in a
// Flip, a hidden page's peek, OsSleep), and its OsSleep hands control back
// to the main context, marking when it wants to run again. A sleep is a
// minimum, as everywhere: a fiber runs at the first wait after its time
// has come. The waits themselves go to the page (Asyncify), which resolves
// them at a timeout, an animation frame or a wake-up of its own.
//
// The program's clock (timeGetTime) follows the browser's, or, while the
// page asks for fast-forward, stands still but for a fixed step at each
// Flip, so the presentation runs as fast as frames can be made and comes
// to the same pictures as at its own pace.
#include <emscripten.h>
#include <emscripten/fiber.h>

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/web/web_internal.h"

struct Thread {
    emscripten_fiber_t fiber;
    ThreadProc proc;
    void* parameter;
    double dueAt; // the fiber wants to run from this time on
    bool ended;   // proc has returned; the fiber never runs again
    void* cStack;
    void* asyncifyStack;
};

namespace {

constexpr size_t FIBER_C_STACK_BYTES = 256 * 1024;
// Asyncify keeps the locals of every frame being unwound here.
constexpr size_t ASYNCIFY_STACK_BYTES = 64 * 1024;
// The feeder is the program's only thread; one spare place.
constexpr int MAX_THREADS = 2;

struct Fibers {
    emscripten_fiber_t main;
    bool mainReady;
    Thread* current; // null: the main context runs
    double lastTurn; // when the main context's last wait ended
    Thread* threads[MAX_THREADS];
};

Fibers fibers;
alignas(16) unsigned char mainAsyncifyStack[ASYNCIFY_STACK_BYTES];

// timeGetTime is the browser's clock plus `offset`, or, with a step, `now`,
// which moves on only by the step at each Flip. Switching either way
// continues from the time the program last saw, so it never goes back.
struct ProgramClock {
    double offset = 0;
    uint32_t step = 0; // 0: the browser's clock
    double now = 0;
};

ProgramClock programClock;

double ProgramNow() {
    if (WebRecording())
        return WebRecordClock();
    return programClock.step ? programClock.now : emscripten_get_now() + programClock.offset;
}

// The page's wait: resolves with a WebWake value.
EM_ASYNC_JS(int, web_page_wait, (double milliseconds, int animationFrame),
            { return await Module['quillonWait'](milliseconds, animationFrame); });

void FiberEntry(void* argument) {
    Thread* thread = static_cast<Thread*>(argument);
    thread->proc(thread->parameter);
    thread->ended = true;
    // An entry function must not return: back to the main context for good.
    fibers.current = nullptr;
    emscripten_fiber_swap(&thread->fiber, &fibers.main);
}

void RunThread(Thread* thread) {
    if (!fibers.mainReady) {
        emscripten_fiber_init_from_current_context(&fibers.main, mainAsyncifyStack, sizeof mainAsyncifyStack);
        fibers.mainReady = true;
    }
    fibers.current = thread;
    emscripten_fiber_swap(&fibers.main, &thread->fiber);
    fibers.current = nullptr;
}

// The earliest time a live fiber wants to run; a far future when none.
double NextDue() {
    double due = 1e300;
    for (Thread* thread : fibers.threads)
        if (thread && !thread->ended && thread->dueAt < due)
            due = thread->dueAt;
    return due;
}

} // namespace

double WebNow() { return emscripten_get_now(); }

double WebLastTurn() { return fibers.lastTurn; }

uint32_t OsTimeGetTime() { return static_cast<uint32_t>(static_cast<uint64_t>(ProgramNow())); }

uint32_t WebClockStep() { return programClock.step; }

void WebStepClock() {
    if (programClock.step)
        programClock.now += programClock.step;
}

// N > 0: fast-forward, N ms at each Flip; 0: the browser's clock again,
// continuing from where the program's stood.
extern "C" EMSCRIPTEN_KEEPALIVE void quillon_web_set_clock_step(uint32_t milliseconds) {
    const double now = ProgramNow();
    if (milliseconds) {
        programClock.now = now;
    } else {
        programClock.offset = now - WebNow();
    }
    programClock.step = milliseconds;
}

void WebRunThreadsNow() {
    if (fibers.current)
        return;
    for (Thread* thread : fibers.threads)
        if (thread && !thread->ended)
            RunThread(thread);
}

void WebRunDueThreads() {
    if (fibers.current)
        return;
    const double now = WebNow();
    for (Thread* thread : fibers.threads)
        if (thread && !thread->ended && thread->dueAt <= now)
            RunThread(thread);
}

WebWake WebWait(double milliseconds, bool animationFrame) {
    double wait = milliseconds;
    const double untilDue = NextDue() - WebNow();
    if (!animationFrame && untilDue < wait)
        wait = untilDue;
    const auto woken = static_cast<WebWake>(web_page_wait(wait > 0 ? wait : 0, animationFrame ? 1 : 0));
    fibers.lastTurn = WebNow();
    WebRunDueThreads();
    return woken;
}

void OsSleep(uint32_t milliseconds) {
    if (Thread* thread = fibers.current) {
        thread->dueAt = WebNow() + milliseconds;
        fibers.current = nullptr;
        emscripten_fiber_swap(&thread->fiber, &fibers.main);
        return;
    }
    const double until = WebNow() + milliseconds;
    for (double left = milliseconds; left > 0; left = until - WebNow())
        WebWait(left, false);
}

Thread* OsCreateThread(ThreadProc proc, void* parameter) {
    if (!proc || fibers.current)
        return nullptr;
    int slot = 0;
    while (slot < MAX_THREADS && fibers.threads[slot])
        ++slot;
    if (slot == MAX_THREADS)
        return nullptr;
    auto* thread = static_cast<Thread*>(std::calloc(1, sizeof(Thread)));
    void* cStack = std::aligned_alloc(16, FIBER_C_STACK_BYTES);
    void* asyncifyStack = std::aligned_alloc(16, ASYNCIFY_STACK_BYTES);
    if (!thread || !cStack || !asyncifyStack) {
        std::free(thread);
        std::free(cStack);
        std::free(asyncifyStack);
        return nullptr;
    }
    thread->proc = proc;
    thread->parameter = parameter;
    thread->cStack = cStack;
    thread->asyncifyStack = asyncifyStack;
    thread->dueAt = WebNow(); // starts at the main context's next wait
    emscripten_fiber_init(&thread->fiber, FiberEntry, thread, cStack, FIBER_C_STACK_BYTES, asyncifyStack,
                          ASYNCIFY_STACK_BYTES);
    fibers.threads[slot] = thread;
    return thread;
}

// A browser has no priorities to give: refused, the fiber runs on.
bool OsSetThreadPriorityTimeCritical(Thread*) { return false; }

// Joins: the fiber runs at its times until its procedure has returned.
void OsCloseThread(Thread* thread) {
    if (!thread || fibers.current)
        return;
    int slot = 0;
    while (slot < MAX_THREADS && fibers.threads[slot] != thread)
        ++slot;
    if (slot == MAX_THREADS)
        return;
    while (!thread->ended) {
        const double left = thread->dueAt - WebNow();
        if (left > 0)
            WebWait(left, false);
        else
            RunThread(thread);
    }
    fibers.threads[slot] = nullptr;
    std::free(thread->cStack);
    std::free(thread->asyncifyStack);
    std::free(thread);
}
