#include "driver/commthread.h"

#include "driver/sdi12d.h"

#ifdef __linux__
#include <pthread.h>
#include <sys/prctl.h>
#endif

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
#ifdef __linux__
    pthread_setname_np(Worker.native_handle(), "comms"); // for top, gdb and perf
#endif
}

void commthread::Stop()
{
    StopRequested.store(true, std::memory_order_release);
    Driver.Wake();
    if (Worker.joinable())
        Worker.join();
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
