// Prints the driver's speed and CPU figures, one line each as "name value unit".
// With UNPACED set in the environment the simulator answers at once instead of at the wire
// rate, to see the cost of the exchange without byte-by-byte arrival.
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "sim/instrumentsim.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds that one thread has used so far.
double ThreadCpuSeconds(commthread& thread)
{
    clockid_t clock;
    if (pthread_getcpuclockid(thread.NativeHandle(), &clock) != 0)
        return -1;
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s %.4f %s\n", name, value, unit);
    std::fflush(stdout);
}

// One read of every setting, in the order Connect reads them.
RequestList FullRead(std::deque<dev_opt>& records)
{
    const auto& keys = InstrumentSim::Keys();
    records.resize(keys.size());
    RequestList list;
    for (size_t i = 0; i < keys.size(); ++i) {
        records[i].ReadKey = keys[i];
        records[i].WriteKey = keys[i];
        records[i].Operation = OpRead;
        list.push_back(&records[i]);
    }
    return list;
}

void MeasureIdle()
{
    Tsdi12d driver;
    commthread thread(driver, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpuBefore = ThreadCpuSeconds(thread);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu = ThreadCpuSeconds(thread) - cpuBefore;
    Print("idle_cpu", cpu / SecondsSince(start), "s/s");
}

// A full read at the wire rate. With a delivery frame the simulator hands bytes over as an
// FTDI adapter does, once per latency-timer period; without one, each byte as it is due.
void MeasureFullRead(std::chrono::microseconds frame, const std::string& suffix)
{
    InstrumentSim sim;
    sim.SetPaced(getenv("UNPACED") == nullptr);
    sim.SetDeliveryFrame(frame);
    Tsdi12d driver;
    driver.OpenDevice(sim.SlavePath(), 115200);
    commthread thread(driver, false);

    std::deque<dev_opt> records;
    const RequestList list = FullRead(records);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpuBefore = ThreadCpuSeconds(thread);
    const auto start = Clock::now();
    driver.Submit(list);
    while (driver.Mode.load(std::memory_order_acquire) != ModeIdle)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double wall = SecondsSince(start);
    const double cpu = ThreadCpuSeconds(thread) - cpuBefore;

    size_t bytes = sim.Transcript().size();
    size_t answered = 0;
    for (const auto& r : records) {
        if (r.ResultReady.load() != 0) {
            bytes += r.ValueRead.size() + 2; // the value, CR and LF
            ++answered;
        }
    }
    const double wireBound = static_cast<double>(bytes) / InstrumentSim::WireBytesPerSecond;
    Print(("exchange_cpu" + suffix).c_str(), cpu / wall, "s/s");
    Print(("full_read" + suffix + "_s").c_str(), wall, "s");
    Print(("full_read" + suffix + "_wire_bound_s").c_str(), wireBound, "s");
    Print(("full_read" + suffix + "_ratio").c_str(), wall / wireBound, "x");
    Print(("full_read" + suffix + "_answered").c_str(), static_cast<double>(answered), "settings");
}

// From the adapter being pulled in the middle of a full read until the driver is idle again.
void MeasureUnplugRecovery()
{
    InstrumentSim sim;
    Tsdi12d driver; // the program's reply limit
    driver.OpenDevice(sim.SlavePath(), 115200);
    commthread thread(driver, false);
    std::deque<dev_opt> records;
    const RequestList list = FullRead(records);
    driver.Submit(list);
    if (!sim.WaitForCommands(90, std::chrono::seconds(30)))
        return;
    const auto start = Clock::now();
    sim.HangUp();
    while (driver.Mode.load(std::memory_order_acquire) != ModeIdle)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    Print("unplug_recovery_s", SecondsSince(start), "s");
}

} // namespace

int main()
{
    MeasureIdle();
    MeasureFullRead(std::chrono::microseconds(0), "");
    MeasureFullRead(std::chrono::microseconds(1000), "_usb1ms");
    MeasureUnplugRecovery();
    return 0;
}
