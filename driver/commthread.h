#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class Tsdi12d;

// The comms thread: ticks the one driver until it is asked to stop. Created suspended;
// Resume starts it. The destructor stops and joins it, so the driver and the records it
// touches can be destroyed safely afterwards.
class commthread
{
public:
    commthread(Tsdi12d& driver, bool createSuspended);
    ~commthread();
    commthread(const commthread&) = delete;
    commthread& operator=(const commthread&) = delete;

    void Resume();
    // Asks the loop to end and waits for it. Safe to call more than once.
    void Stop();
    bool Running() const { return Worker.joinable(); }
    // Loop passes so far; a thread that does not spin makes few of them while nothing happens.
    uint64_t Iterations() const { return Passes.load(std::memory_order_relaxed); }
    std::thread::native_handle_type NativeHandle() { return Worker.native_handle(); }

protected:
    void Execute();

private:
    Tsdi12d& Driver;
    std::atomic<bool> StopRequested{false};
    std::atomic<uint64_t> Passes{0};
    std::thread Worker;
};
