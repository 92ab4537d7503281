#include "driver/commthread.h"

#include "driver/sdi12d.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sys/prctl.h>
#endif

namespace {

// The comms threads that run. A process may end by exit() while one runs: the display's
// plugin calls it when the X server goes away, with the window and its thread still alive.
// Static objects are destroyed then, the driver among them, and destroying the driver while
// its thread waits on it never returns; so such threads are stopped first.
struct TRunningThreads
{
    std::mutex Lock;
    std::vector<commthread*> Threads;
};

TRunningThreads& Running()
{
    // Never destroyed: the exit handler may run after other static objects are gone.
    static TRunningThreads* const running = new TRunningThreads;
    return *running;
}

void StopRunningThreads()
{
    std::vector<commthread*> threads;
    {
        std::lock_guard<std::mutex> guard(Running().Lock);
        threads = Running().Threads;
    }
    for (commthread* thread : threads)
        thread->Stop();
}

// Registered after the driver, which is constructed before any thread that ticks it: the
// handler runs before the driver's destructor.
void StopAtExit(commthread* thread)
{
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(StopRunningThreads); });
    std::lock_guard<std::mutex> guard(Running().Lock);
    Running().Threads.push_back(thread);
}

void ForgetAtExit(commthread* thread)
{
    std::lock_guard<std::mutex> guard(Running().Lock);
    std::vector<commthread*>& threads = Running().Threads;
    threads.erase(std::remove(threads.begin(), threads.end(), thread), threads.end());
}

} // namespace

commthread::commthread(Tsdi12d& driver, bool createSuspended) : Driver(driver)
{
    if (!createSuspended)
        Resume();
}

commthread::~commthread()
{
    Stop();
}

void commthread::Resume()
{
    if (Worker.joinable() || StopRequested.load(std::memory_order_acquire))
        return;
    Worker = std::thread([this] { Execute(); });
    StopAtExit(this);
#ifdef __linux__
    pthread_setname_np(Worker.native_handle(), "comms"); // for top, gdb and perf
#endif
}

void commthread::Stop()
{
    StopRequested.store(true, std::memory_order_release);
    Driver.Wake();
    if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id()) {
        Worker.join();
        ForgetAtExit(this);
    }
}

void commthread::Execute()
{
#ifdef __linux__
    // The sleeps between reply bytes last a few byte times (0.26 ms at 115200 baud); the
    // default timer slack of 50 us would make each of them late by most of a byte.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
    while (!StopRequested.load(std::memory_order_acquire)) {
        Passes.fetch_add(1, std::memory_order_relaxed);
        Driver.Tick();
        if (StopRequested.load(std::memory_order_acquire))
            break;
        Driver.WaitForWork();
    }
}
