#pragma once

#include "cli/batchtable.h"
#include "cli/programoptions.h"
#include "serial/adapterlist.h"

#include <condition_variable>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Tsdi12d;
class TAdapterLocator;
class TStopSignals;

// --all-adapters: one --read, --write or --compare for every adapter found, all at once. Each
// instrument has its own run, driver, port and comms thread, on a thread of its own, so that
// one that is silent, unplugged or not the instrument ends on its own while the others go on;
// they share only the stop signals. What each run says goes out after the last has ended, its
// lines prefixed with the adapter's name; then the table. The file is checked once, before
// anything is sent.
class TBatchRun
{
public:
    // Called with each instrument's driver before its run starts (for a per-adapter log).
    using DriverSetup = std::function<void(Tsdi12d&, const TAdapterInfo&)>;

    TBatchRun(std::ostream& out, std::ostream& err, bool showProgress);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // Every adapter `search` finds.
    int Execute(const TProgramOptions& options, const TAdapterLocator& search);
    // These adapters, each opened at its DevicePath.
    int Execute(const TProgramOptions& options, const std::vector<TAdapterInfo>& adapters);
    void SetUpEachDriver(DriverSetup setup) { Setup = std::move(setup); }
    // The rows of the last Execute, one per adapter in the search's order.
    const std::vector<TBatchRow>& Rows() const { return Table; }

private:
    struct Instrument;

    int CheckTargets(const TProgramOptions& options, const std::vector<TAdapterInfo>& adapters,
                     std::vector<std::string>& files, std::vector<std::string>& reports);
    void RunAll(const TProgramOptions& options, const std::vector<std::string>& files,
                const std::vector<std::string>& reports);
    void Serve(Instrument& instrument, const TProgramOptions& options, const TStopSignals& held);
    void WaitForAll();
    void Report();
    int WriteSummary(const std::string& file);

    std::ostream& Out;
    std::ostream& Err;
    const bool Progress;
    DriverSetup Setup;
    std::string NoneFound; // why the search found no adapter, when it says
    TSettingsFileResult File;
    std::vector<std::unique_ptr<Instrument>> Instruments;
    std::vector<TBatchRow> Table;
    std::mutex Lock; // guards each instrument's state line and Running
    std::condition_variable Changed;
    std::size_t Running = 0;
};
