// The instruments run as instrument-sim processes, each on its own pseudo-terminal and paced
// at the wire rate, so that the CPU this process uses is the batch run's alone.
#include "bench/fleetwrite.h"

#include "cli/batchrun.h"
#include "sim/instrumentsettings.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TSimProcess
{
    pid_t Pid = -1;
    std::string Device;
};

// Starts a paced instrument-sim and reads the device it prints first.
TSimProcess StartSim()
{
    int out[2];
    TSimProcess sim;
    if (pipe(out) != 0)
        return sim;
    sim.Pid = fork();
    if (sim.Pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(DEVCONFIG_INSTRUMENT_SIM, "instrument-sim", "--paced", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        sim.Device += c;
    close(out[0]);
    return sim;
}

void StopSim(const TSimProcess& sim)
{
    if (sim.Pid <= 0)
        return;
    kill(sim.Pid, SIGTERM);
    waitpid(sim.Pid, nullptr, 0);
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every setting of the factory instrument, changed.
std::string ChangedFile()
{
    const TInstrumentSettings factory;
    SettingList settings;
    for (const std::string& key : TInstrumentSettings::Keys())
        settings.push_back({key, factory.Value(key) + "1"});
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("devconfig-bench-fleet." + std::to_string(getpid()) + ".txt"))
                                 .string();
    TSettingsFile::Write(file, settings, {});
    return file;
}

struct TFleetFigures
{
    double Wall = 0;
    double Cpu = 0;
};

TFleetFigures WriteTo(int instruments, const std::string& file)
{
    std::vector<TSimProcess> sims;
    std::vector<TAdapterInfo> adapters;
    for (int i = 0; i < instruments; ++i) {
        sims.push_back(StartSim());
        TAdapterInfo adapter;
        adapter.SerialNumber = "BENCH" + std::to_string(i);
        adapter.DevicePath = adapter.PortOption = adapter.DisplayName = sims.back().Device;
        adapters.push_back(adapter);
    }
    TProgramOptions options;
    options.AllAdapters = true;
    options.Action = TProgramOptions::FileAction::Write;
    options.SettingsFile = file;
    std::ostringstream out, err;
    TBatchRun batch(out, err, false);
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    const int status = batch.Execute(options, adapters);
    TFleetFigures figures;
    figures.Wall = std::chrono::duration<double>(Clock::now() - start).count();
    figures.Cpu = CpuSeconds() - cpuBefore;
    for (const TBatchRow& row : batch.Rows())
        if (row.Counts.Confirmed != static_cast<int>(TInstrumentSettings::Keys().size()))
            std::fprintf(stderr, "fleet run: %s confirmed %d\n", row.Serial.c_str(),
                         row.Counts.Confirmed);
    if (status != 0)
        std::fprintf(stderr, "fleet run failed (%d): %s\n", status, err.str().c_str());
    for (const TSimProcess& sim : sims)
        StopSim(sim);
    return figures;
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s %.4f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

void MeasureFleetWrite()
{
    constexpr int Fleet = 8;
    const std::string file = ChangedFile();
    const TFleetFigures one = WriteTo(1, file);
    const TFleetFigures fleet = WriteTo(Fleet, file);
    std::filesystem::remove(file);
    Print("fleet_one_s", one.Wall, "s");
    Print("fleet_8_s", fleet.Wall, "s");
    Print("fleet_ratio", fleet.Wall / one.Wall, "x");
    Print("fleet_cpu", fleet.Cpu / (Fleet * fleet.Wall), "s/s");
}
