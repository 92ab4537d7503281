// Prints the driver's speed and CPU figures, one line each as "name value unit": the idle and
// exchange CPU of the comms thread, the full read against the paced simulator (byte by byte,
// in USB-like frames, and held as FTDI chips hold them; the median of five runs and the worst), the
// recovery from an unplugged adapter, the reconnect of the window when it comes back, a --write run
// that changes 20 settings, the full read with the dialogue log on and off, and what the machine
// charges for the operations an exchange is made of.
// With UNPACED set in the environment the simulator answers at once instead of at the wire
// rate, to see the cost of the exchange without byte-by-byte arrival.
#include "bench/fullreadlist.h"
#include "bench/platformcosts.h"
#include "bench/replugconnect.h"
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "sim/instrumentsim.h"

#ifdef DEVCONFIG_BENCH_LOG
#include "session/dialoguelog.h"
#endif

#ifdef DEVCONFIG_BENCH_CLONE
#include "bench/fleetwrite.h"
#include "cli/settingsrun.h"
#include "driver/settingkeys.h"
#include "serial/adapterlocator.h"
#endif

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

struct TFullReadFigures
{
    double Cpu = 0;
    double Wall = 0;
    double WireBound = 0;
    double Answered = 0;
    double ProcessCpu = 0; // every thread's: the simulator's, the comms thread's, a log's
};

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// How the simulated adapter hands received bytes to the PC.
struct TSimAdapter
{
    // Once per frame, as a USB adapter's frames do; 0: each byte as it is due.
    std::chrono::microseconds Frame{0};
    // Held as an FTDI chip with this latency timer holds them; 0: not held.
    std::chrono::microseconds HoldLatency{0};
    bool HoldEventChar = false; // the chip sends its buffer at the reply's LF
};

// One full read at the wire rate, the bytes handed over as the adapter does.
TFullReadFigures RunFullRead(const TSimAdapter& adapter, TLineObserver* observer = nullptr)
{
    TInstrumentSim sim;
    sim.SetPaced(getenv("UNPACED") == nullptr);
    sim.SetDeliveryFrame(adapter.Frame);
    sim.SetFtdiHoldBack(adapter.HoldLatency, adapter.HoldEventChar);
    Tsdi12d driver;
    driver.OpenDevice(sim.SlavePath(), 115200);
    driver.SetObserver(observer);
    commthread thread(driver, false);

    std::deque<dev_opt> records;
    const RequestList list = FullReadList(records);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpuBefore = ThreadCpuSeconds(thread);
    const double processBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    driver.Submit(list);
    while (!driver.WaitIdle(std::chrono::seconds(1))) {
    }
    TFullReadFigures figures;
    figures.Wall = SecondsSince(start);
    figures.Cpu = ThreadCpuSeconds(thread) - cpuBefore;
    figures.ProcessCpu = ProcessCpuSeconds() - processBefore;

    size_t bytes = sim.Transcript().size();
    for (const auto& r : records) {
        if (r.ResultReady.load() != 0) {
            bytes += r.ValueRead.size() + 2; // the value, CR and LF
            figures.Answered += 1;
        }
    }
    figures.WireBound = static_cast<double>(bytes) / TInstrumentSim::WireBytesPerSecond;
    return figures;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Several full reads: a virtual machine's timing varies from run to run, so the median is
// printed, and the worst run beside it.
void MeasureFullRead(const TSimAdapter& adapter, const std::string& suffix)
{
    constexpr int Runs = 5;
    std::vector<double> cpu, wall, bound, ratio, answered;
    for (int run = 0; run < Runs; ++run) {
        const TFullReadFigures f = RunFullRead(adapter);
        cpu.push_back(f.Cpu / f.Wall);
        wall.push_back(f.Wall);
        bound.push_back(f.WireBound);
        ratio.push_back(f.Wall / f.WireBound);
        answered.push_back(f.Answered);
    }
    Print(("exchange_cpu" + suffix).c_str(), Median(cpu), "s/s");
    Print(("exchange_cpu" + suffix + "_worst").c_str(), *std::max_element(cpu.begin(), cpu.end()),
          "s/s");
    Print(("full_read" + suffix + "_s").c_str(), Median(wall), "s");
    Print(("full_read" + suffix + "_wire_bound_s").c_str(), Median(bound), "s");
    Print(("full_read" + suffix + "_ratio").c_str(), Median(ratio), "x");
    Print(("full_read" + suffix + "_ratio_worst").c_str(),
          *std::max_element(ratio.begin(), ratio.end()), "x");
    Print(("full_read" + suffix + "_answered").c_str(),
          *std::min_element(answered.begin(), answered.end()), "settings");
}

// From the adapter being pulled in the middle of a full read until the driver is idle again.
void MeasureUnplugRecovery()
{
    TInstrumentSim sim;
    Tsdi12d driver; // the program's reply limit
    driver.OpenDevice(sim.SlavePath(), 115200);
    commthread thread(driver, false);
    std::deque<dev_opt> records;
    const RequestList list = FullReadList(records);
    driver.Submit(list);
    if (!sim.WaitForCommands(90, std::chrono::seconds(30)))
        return;
    const auto start = Clock::now();
    sim.HangUp();
    while (!driver.WaitIdle(std::chrono::seconds(1))) {
    }
    Print("unplug_recovery_s", SecondsSince(start), "s");
}

#ifdef DEVCONFIG_BENCH_LOG
// The full read with the dialogue log writing to a file and without a log, run after run in
// turn, so that both meet the same machine. The wall time is bound by the wire and varies
// more from run to run than the log could change it; the CPU the process spends more with the
// log (its formatting on the comms thread, its writer thread's file writes), against the wall
// time of a read without it, is the log's share of a full read.
void MeasureLogCost()
{
    constexpr int Runs = 9;
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("devconfig-bench-log." + std::to_string(getpid()) + ".log"))
                                 .string();
    std::vector<double> wallOff, wallOn, cpuOff, cpuOn, ratio, share;
    for (int run = 0; run < Runs; ++run) {
        const TFullReadFigures off = RunFullRead(TSimAdapter{});
        TFullReadFigures on;
        {
            TDialogueLog log;
            if (const auto problem = log.Open(file)) {
                std::fprintf(stderr, "%s\n", problem->c_str());
                return;
            }
            on = RunFullRead(TSimAdapter{}, &log);
        }
        wallOff.push_back(off.Wall);
        wallOn.push_back(on.Wall);
        cpuOff.push_back(off.Cpu);
        cpuOn.push_back(on.Cpu);
        ratio.push_back(on.Wall / off.Wall);
        share.push_back((on.ProcessCpu - off.ProcessCpu) / off.Wall);
    }
    std::filesystem::remove(file);
    Print("full_read_log_off_s", Median(wallOff), "s");
    Print("full_read_log_on_s", Median(wallOn), "s");
    Print("full_read_log_ratio", Median(ratio), "x");
    Print("full_read_log_ratio_worst", *std::max_element(ratio.begin(), ratio.end()), "x");
    Print("full_read_log_off_comms_cpu_s", Median(cpuOff), "s");
    Print("full_read_log_on_comms_cpu_s", Median(cpuOn), "s");
    Print("full_read_log_cpu_share", Median(share), "s/s");
}
#endif

#ifdef DEVCONFIG_BENCH_CLONE
// Bytes of the replies to a list of reads, at the values the instrument holds now: each value
// and its CR LF.
size_t ReplyBytes(const TInstrumentSim& sim, const std::vector<std::string>& keys)
{
    size_t bytes = 0;
    for (const std::string& key : keys)
        bytes += sim.Setting(key).size() + 2;
    return bytes;
}

// One --write of a file that changes 20 settings, as the command line runs it: all 181 read,
// the 20 written, the 20 read back; its wall time against the wire time of its bytes.
double RunClone(double& wallSeconds)
{
    constexpr size_t Changed = 20;
    TInstrumentSim sim;
    sim.SetPaced(getenv("UNPACED") == nullptr);
    std::vector<std::string> keys;
    for (const TSettingKey& setting : TSettingKeys::All())
        keys.push_back(setting.Key);
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("devconfig-bench-clone." + std::to_string(getpid()) + ".txt"))
                                 .string();
    SettingList settings;
    std::vector<std::string> written;
    for (size_t i = 0; i < Changed; ++i) {
        const std::string& key = keys[i * keys.size() / Changed];
        settings.push_back({key, sim.Setting(key) + "1"});
        written.push_back(key);
    }
    TSettingsFile::Write(file, settings, {});
    size_t bytes = ReplyBytes(sim, keys);

    Tsdi12d driver;
    TAdapterLocator locator;
    locator.UseDevice(sim.SlavePath());
    std::ostringstream out, err;
    TProgramOptions options;
    options.Action = TProgramOptions::FileAction::Write;
    options.SettingsFile = file;
    const auto start = Clock::now();
    int status = 0;
    {
        TSettingsRun run(driver, locator, out, err, false);
        status = run.Execute(options);
    }
    wallSeconds = SecondsSince(start);
    std::filesystem::remove(file);
    if (status != 0 || sim.CommandCount() != keys.size() + 2 * Changed)
        std::fprintf(stderr, "clone run failed (%d): %s\n", status, err.str().c_str());
    bytes += Changed * 4 + ReplyBytes(sim, written) + sim.Transcript().size(); // "OK" CR LF
    return static_cast<double>(bytes) / TInstrumentSim::WireBytesPerSecond;
}

void MeasureClone()
{
    constexpr int Runs = 5;
    std::vector<double> wall, ratio;
    for (int run = 0; run < Runs; ++run) {
        double seconds = 0;
        const double bound = RunClone(seconds);
        wall.push_back(seconds);
        ratio.push_back(seconds / bound);
    }
    Print("clone_s", Median(wall), "s");
    Print("clone_ratio", Median(ratio), "x");
    Print("clone_ratio_worst", *std::max_element(ratio.begin(), ratio.end()), "x");
}
#endif

} // namespace

int main()
{
    MeasureIdle();
    using std::chrono::milliseconds;
    MeasureFullRead({}, "");
    MeasureFullRead({milliseconds(1), {}, false}, "_usb1ms");
    // An FTDI chip's latency timer: the default 16 ms, the same with the event character that
    // the Windows port enables, and 1 ms (Linux's low-latency mode, or set by hand).
    MeasureFullRead({{}, milliseconds(16), false}, "_ftdi16");
    MeasureFullRead({{}, milliseconds(16), true}, "_ftdi16_evt");
    MeasureFullRead({{}, milliseconds(1), false}, "_ftdi1");
    MeasureUnplugRecovery();
#ifdef DEVCONFIG_BENCH_LOG
    MeasureLogCost();
#endif
#ifdef DEVCONFIG_BENCH_WINDOW
    MeasureReplugConnect();
#endif
#ifdef DEVCONFIG_BENCH_CLONE
    MeasureClone();
    MeasureFleetWrite();
#endif
    MeasurePlatformCosts();
    return 0;
}
