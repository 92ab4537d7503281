// The Windows build's full read, for the figure scripts/check-windows prints: every setting
// read through the Win32 port from the instrument on the given COM port (under Wine, the
// paced simulator), divided by the wire time of its bytes at 115200 baud; the median of five
// runs and the worst, one line each as "name value unit". A first read before the five is
// shown on its own and not counted: under Wine it may share the machine with Wine's own
// processes still starting (one first read took 1.8 times the wire time where the five after
// it took 1.08). A second argument names the figures after the adapter the instrument sits
// behind (the simulator's model of an FTDI chip).
#include "bench/fullreadlist.h"
#include "driver/commthread.h"
#include "driver/sdi12d.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double WireBytesPerSecond = 11520; // 115200 baud, ten bit times per byte
constexpr int Runs = 5;

struct TFullRead
{
    double Seconds = 0;
    double WireBound = 0;
    int Answered = 0;
};

TFullRead RunFullRead(int32_t portNumber)
{
    Tsdi12d driver;
    driver.OpenPort(portNumber, 115200);
    commthread thread(driver, false);

    std::deque<dev_opt> records;
    const RequestList list = FullReadList(records);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    driver.Submit(list);
    // Asleep until the end: a waiter that spins or wakes every few hundred microseconds takes
    // the processor from the exchange it measures.
    while (!driver.WaitIdle(std::chrono::seconds(1))) {
    }
    TFullRead result;
    result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    thread.Stop();

    double bytes = 0;
    for (const dev_opt& record : records) {
        bytes += static_cast<double>(record.ReadKey.size()) + 4; // lead byte, "?", CR, LF
        if (dev_opt::IsRaised(record.ResultReady)) {
            bytes += static_cast<double>(record.ValueRead.size()) + 2; // the value, CR, LF
            ++result.Answered;
        }
    }
    result.WireBound = bytes / WireBytesPerSecond;
    return result;
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s %.4f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    const int32_t portNumber = argc > 1 ? std::atoi(argv[1]) : 0;
    if (portNumber < 1 || argc > 3) {
        std::fprintf(stderr, "usage: devconfig-winbench COM-PORT-NUMBER [FIGURE-NAME]\n");
        return 2;
    }
    // The figures of an instrument behind a modelled adapter are named after it:
    // full_read_ftdi16_ratio for the name ftdi16.
    const std::string name = argc > 2 ? std::string("full_read_") + argv[2] : "full_read";
    const auto figure = [&name](const char* rest) { return name + rest; };
    const TFullRead first = RunFullRead(portNumber);
    std::vector<double> seconds, bound, ratio;
    int answered = first.Answered;
    for (int run = 0; run < Runs; ++run) {
        const TFullRead f = RunFullRead(portNumber);
        seconds.push_back(f.Seconds);
        bound.push_back(f.WireBound);
        ratio.push_back(f.Seconds / f.WireBound);
        answered = std::min(answered, f.Answered);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    Print(figure("_s").c_str(), median(seconds), "s");
    Print(figure("_wire_bound_s").c_str(), median(bound), "s");
    Print(figure("_ratio").c_str(), median(ratio), "x");
    Print(figure("_ratio_worst").c_str(), *std::max_element(ratio.begin(), ratio.end()), "x");
    Print(figure("_ratio_first").c_str(), first.Seconds / first.WireBound, "x");
    Print(figure("_answered").c_str(), answered, "settings");
    return answered == static_cast<int>(TSettingKeys::Count) ? 0 : 1;
}
