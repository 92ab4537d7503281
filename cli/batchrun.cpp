#include "cli/batchrun.h"

#include "cli/batchfilenames.h"
#include "cli/batchprogress.h"
#include "cli/exitstatus.h"
#include "cli/outputpath.h"
#include "cli/settingsrun.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "session/programlog.h"
#include "session/stopsignals.h"
#include "settingsfile/atomicwrite.h"
#include "settingsfile/showntext.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How often the progress lines are redrawn; the runs' own progress comes as often.
constexpr auto RedrawStep = std::chrono::milliseconds(100);

// Each line of `text` behind `prefix`.
std::string Prefixed(const std::string& text, const std::string& prefix)
{
    std::string result;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        result += prefix + line + "\n";
    return result;
}

} // namespace

// One instrument's run with everything it owns. Its thread writes only its own streams and,
// under the batch's lock, its state line.
struct TBatchRun::Instrument
{
    explicit Instrument(const TAdapterInfo& adapter)
        : Adapter(adapter),
          Name(TShownText::Of(adapter.SerialNumber.empty() ? adapter.PortOption
                                                           : adapter.SerialNumber)),
          Log(ProgramLog() != nullptr ? std::make_unique<TDialogueLog::Channel>(*ProgramLog(), Name)
                                      : nullptr),
          Run(Driver, Locator, Out, Err, false, Log.get())
    {
        Locator.UseDevice(adapter.DevicePath);
        Run.NameAdapter(adapter);
    }

    const TAdapterInfo Adapter;
    const std::string Name; // what its lines begin with: the serial number, else the port
    // Its lines in the program's dialogue log (--log), each opened by its name.
    const std::unique_ptr<TDialogueLog::Channel> Log;
    Tsdi12d Driver;
    TAdapterLocator Locator;
    std::ostringstream Out;
    std::ostringstream Err;
    TSettingsRun Run;
    std::thread Thread;
    std::string State = "Connecting"; // under the lock
    TBatchRow Row;
};

TBatchRun::TBatchRun(std::ostream& out, std::ostream& err, bool showProgress)
    : Out(out), Err(err), Progress(showProgress)
{
}

TBatchRun::~TBatchRun()
{
    for (auto& instrument : Instruments)
        if (instrument->Thread.joinable())
            instrument->Thread.join();
}

int TBatchRun::Execute(const TProgramOptions& options, const TAdapterLocator& search)
{
    const std::vector<TAdapterInfo> adapters = search.Adapters();
    NoneFound = adapters.empty() ? search.Locate().Problem : std::string();
    return Execute(options, adapters);
}

int TBatchRun::Execute(const TProgramOptions& options, const std::vector<TAdapterInfo>& adapters)
{
    Instruments.clear();
    Table.clear();
    std::vector<std::string> files, reports;
    if (CheckTargets(options, adapters, files, reports) != ExitStatus::Done)
        return ExitStatus::Usage;
    if (adapters.empty()) {
        Err << (NoneFound.empty()
                    ? TAdapterLocator::NotFoundText() + " Plug the adapters in and run again."
                    : NoneFound)
            << "\n";
        return ExitStatus::NoAdapter;
    }
    for (const TAdapterInfo& adapter : adapters) {
        Instruments.push_back(std::make_unique<Instrument>(adapter));
        if (Setup)
            Setup(Instruments.back()->Driver, adapter);
    }
    RunAll(options, files, reports);
    Report();
    int status = TBatchTable::StatusOf(Table);
    if (!options.SummaryFile.empty())
        status = std::max(status, WriteSummary(options.SummaryFile));
    return status;
}

// Everything that could refuse the batch, before anything is sent: the settings file (read
// once: it may be standard input), the summary's target, and with --read the folder and each
// instrument's file in it.
int TBatchRun::CheckTargets(const TProgramOptions& options,
                            const std::vector<TAdapterInfo>& adapters,
                            std::vector<std::string>& files, std::vector<std::string>& reports)
{
    if (!options.SummaryFile.empty()) {
        if (const auto problem = TOutputPath::Problem(options.SummaryFile)) {
            Err << "Cannot write the summary: " << *problem << ". Nothing was sent.\n";
            return ExitStatus::Usage;
        }
    }
    std::error_code error;
    TProgramOptions checked = options;
    if (!options.ReportFile.empty()) {
        if (!std::filesystem::is_directory(options.ReportFile, error)) {
            Err << "Cannot write the reports: " << TShownText::Of(options.ReportFile)
                << " is not a folder; with --all-adapters, --report names the folder that gets "
                   "one report per instrument. Nothing was sent.\n";
            return ExitStatus::Usage;
        }
        reports = TBatchFileNames::For(adapters, options.ReportFile, ".pdf");
        for (const std::string& report : reports) {
            if (const auto problem = TOutputPath::Problem(report)) {
                Err << "Cannot write the report: " << *problem
                    << ". Nothing was sent. Give --report a file in a folder that exists and that "
                       "you "
                       "may write to.\n";
                return ExitStatus::Usage;
            }
        }
        checked.ReportFile.clear();
    }
    if (options.Action != TProgramOptions::FileAction::Read)
        return TSettingsRun::CheckFile(checked, Err, File);
    if (!std::filesystem::is_directory(options.SettingsFile, error)) {
        Err << "Cannot write the settings: " << TShownText::Of(options.SettingsFile)
            << " is not a folder; with --all-adapters, --read names the folder that gets one "
               "file per instrument. Nothing was sent.\n";
        return ExitStatus::Usage;
    }
    files = TBatchFileNames::For(adapters, options.SettingsFile);
    for (const std::string& file : files) {
        TProgramOptions one = checked;
        one.SettingsFile = file;
        if (TSettingsRun::CheckFile(one, Err, File) != ExitStatus::Done)
            return ExitStatus::Usage;
    }
    return ExitStatus::Done;
}

void TBatchRun::RunAll(const TProgramOptions& options, const std::vector<std::string>& files,
                       const std::vector<std::string>& reports)
{
    // Installed once for all: every driver watches the same flag.
    const TStopSignals signals;
    Running = Instruments.size();
    for (std::size_t i = 0; i < Instruments.size(); ++i) {
        TProgramOptions one = options;
        if (!files.empty())
            one.SettingsFile = files[i];
        if (!reports.empty())
            one.ReportFile = reports[i];
        Instrument& instrument = *Instruments[i];
        instrument.Thread =
            std::thread([this, &instrument, one, &signals] { Serve(instrument, one, signals); });
    }
    WaitForAll();
}

void TBatchRun::Serve(Instrument& instrument, const TProgramOptions& options,
                      const TStopSignals& signals)
{
    const auto start = Clock::now();
    instrument.Run.ShowProgressWith([this, &instrument](const TSettingsRun::Position& p) {
        const std::lock_guard<std::mutex> guard(Lock);
        instrument.State = std::string(p.Label) + " " + std::to_string(p.Current) + " of " +
                           std::to_string(p.Total);
    });
    TBatchRow& row = instrument.Row;
    row.Status = instrument.Run.Execute(options, File, signals);
    row.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    row.Serial = instrument.Adapter.SerialNumber;
    row.Port = instrument.Adapter.PortOption;
    row.Result = TBatchTable::ResultOf(options.Action, row.Status, instrument.Run.Ending());
    row.Counts = instrument.Run.Counts();
    {
        const std::lock_guard<std::mutex> guard(Lock);
        instrument.State = row.Result;
        --Running;
    }
    Changed.notify_all();
}

void TBatchRun::WaitForAll()
{
    TBatchProgress block;
    std::vector<std::string> shown;
    std::unique_lock<std::mutex> lock(Lock);
    for (bool last = false; !last;) {
        last = Changed.wait_for(lock, RedrawStep, [this] { return Running == 0; });
        if (!Progress)
            continue;
        std::vector<std::string> lines;
        for (const auto& instrument : Instruments)
            lines.push_back(instrument->Name + " " +
                            TShownText::Of(instrument->Adapter.PortOption) + "  " +
                            instrument->State);
        if (lines == shown)
            continue;
        shown = lines;
        const std::string text = block.Redraw(lines);
        lock.unlock();
        Err << text << std::flush;
        lock.lock();
    }
    lock.unlock();
    for (auto& instrument : Instruments)
        instrument->Thread.join();
    if (Progress)
        Err << block.Clear() << std::flush;
}

// What each run said, in the search's order, then the table.
void TBatchRun::Report()
{
    for (const auto& instrument : Instruments) {
        Out << Prefixed(instrument->Out.str(), instrument->Name + "\t");
        Err << Prefixed(instrument->Err.str(), instrument->Name + ": ");
        Table.push_back(instrument->Row);
    }
    Err << std::flush;
    Out << "\n" << TBatchTable::Text(Table) << std::flush;
}

int TBatchRun::WriteSummary(const std::string& file)
{
    const std::string csv = TBatchTable::Csv(Table);
    if (file == "-") {
        Out << csv << std::flush;
        return ExitStatus::Done;
    }
    const std::optional<std::string> error = WriteFileAtomically(file, csv);
    if (!error)
        return ExitStatus::Done;
    Err << "The summary was not written to " << TShownText::Of(file) << ": "
        << TShownText::Of(*error) << "\nThe table above says what was done.\n";
    return ExitStatus::Usage;
}
