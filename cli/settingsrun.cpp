#include "cli/settingsrun.h"

#include "cli/exitstatus.h"
#include "cli/lookwrongreport.h"
#include "cli/outputpath.h"
#include "cli/stopsignals.h"
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "driver/settingkeys.h"
#include "serial/adapterlocator.h"
#include "serial/portproblem.h"
#include "settingsfile/showntext.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <ostream>

namespace {

// How often the progress line is brought up to date while the driver works.
constexpr auto ProgressStep = std::chrono::milliseconds(100);

bool ReadAnswered(const dev_opt& record)
{
    return dev_opt::IsRaised(record.ResultReady);
}

bool WriteAnswered(const dev_opt& record)
{
    return !dev_opt::IsRaised(record.WriteNeeded);
}

std::string Seconds(uint32_t milliseconds)
{
    std::string text = std::to_string(milliseconds / 1000);
    if (milliseconds % 1000 != 0) {
        const std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
        text += "." + fraction.substr(0, fraction.find_last_not_of('0') + 1);
    }
    return text + " s";
}

// A value as the terminal shows it: never cut, since no value is longer than a line may be.
std::string Shown(const std::string& latin1)
{
    return TShownText::Of(TSettingsFile::Utf8Of(latin1), MaxLineLength);
}

} // namespace

TSettingsRun::TSettingsRun(Tsdi12d& driver, const TAdapterLocator& locator, std::ostream& out,
                           std::ostream& err, bool showProgress)
    : Driver(driver), Locator(locator), Out(out), Err(err), Progress(showProgress),
      Records(SettingKeys::All().size())
{
    // Bound as Connect binds the window's cells.
    for (std::size_t i = 0; i < Records.size(); ++i) {
        const SettingKey& setting = SettingKeys::All()[i];
        Records[i].Bind(setting.GridId, setting.Key, setting.Col, setting.Row);
    }
}

TSettingsRun::~TSettingsRun()
{
    Disconnect();
}

int TSettingsRun::Execute(const TProgramOptions& options)
{
    using Action = TProgramOptions::FileAction;
    SettingsFileResult file;
    if (options.Action == Action::Read) {
        if (const auto problem = TOutputPath::Problem(options.SettingsFile)) {
            Err << "Cannot write the settings: " << *problem << ". Nothing was sent.\n";
            return ExitStatus::Usage;
        }
    } else {
        file = TSettingsFile::Read(options.SettingsFile);
        if (!file.Ok()) {
            Err << file.Message()
                << "\nThe file was not used; nothing was sent. Correct the file and run again.\n";
            return ExitStatus::Usage;
        }
    }
    const TStopSignals signals;
    int status = Connect(options.TimeoutMs != 0 ? options.TimeoutMs : ::ReplyLimitMs);
    if (status == ExitStatus::Done)
        status = ReadAll();
    if (status == ExitStatus::Done) {
        if (options.Action == Action::Read)
            status = ReadToFile(options.SettingsFile);
        else if (options.Action == Action::Write)
            status = WriteFromFile(file.Settings);
        else
            status = Compare(file.Settings);
    }
    status = TLookWrongReport::StatusAfter(status, Records, Err);
    Disconnect();
    return status;
}

int TSettingsRun::Connect(uint32_t timeoutMs)
{
    const std::vector<AdapterInfo> adapters = Locator.Adapters();
    if (adapters.size() > 1) {
        // Without a window there is no one to ask: guessing could read or write the wrong one.
        Err << "Several adapters are attached; name the one to use with --port:\n";
        for (const AdapterInfo& adapter : adapters)
            Err << "  --port " << TShownText::Of(adapter.PortOption) << "   ("
                << TShownText::Of(TAdapterList::Identity(adapter)) << ")\n";
        return ExitStatus::NoAdapter;
    }
    const AdapterLocation where = Locator.Locate();
    if (!where.Found) {
        Err << where.Problem << " Or name the adapter's device with --port.\n";
        return ExitStatus::NoAdapter;
    }
    Device = where.DisplayName;
    TAdapterLocator::Open(Driver, where, LineBaudRate);
    if (!Driver.HoldsDevice()) {
        std::string reason = Driver.LastSystemError();
        if (reason.empty())
            reason = Driver.LastDiagnostic();
        const TCommsPort::ErrorKind kind = Driver.LastErrorKind();
        Err << "Device: " << TShownText::Of(Device) << " NOT OPENED - "
            << TPortProblem::Reason(kind, reason)
            << (kind == TCommsPort::ErrorKind::NotSerial
                    ? "\nCheck the order of the arguments: --port names the serial device, such "
                      "as /dev/ttyUSB0.\n"
                    : "\nCheck the device name and that no other program uses it; on Linux you "
                      "must be in the dialout group.\n");
        Driver.ClosePort();
        return ExitStatus::NoAdapter;
    }
    ReplyLimitMs = timeoutMs;
    Driver.SetReplyLimit(timeoutMs);
    Driver.SetEndAtTimeOut(true);
    Driver.StartJudging();
    Thread = std::make_unique<commthread>(Driver, false);
    return ExitStatus::Done;
}

void TSettingsRun::Disconnect()
{
    if (!Thread)
        return;
    Thread.reset(); // stops and joins: the driver no longer touches the records
    Driver.ClosePort();
}

int TSettingsRun::ReadAll()
{
    RequestList list;
    for (dev_opt& record : Records) {
        record.Operation = OpRead;
        dev_opt::Lower(record.ResultReady);
        list.push_back(&record);
    }
    return RunExchange(list, Stage::Reading, ReadAnswered);
}

int TSettingsRun::RunExchange(const RequestList& list, Stage stage, const Answered& answered)
{
    const int total = static_cast<int>(list.size());
    const char* label = stage == Stage::Writing       ? "Writing"
                        : stage == Stage::ReadingBack ? "Reading back"
                                                      : "Reading";
    const bool submitted = !TStopSignals::Received();
    if (submitted)
        Driver.Submit(list);
    int shown = -1;
    while (!Driver.WaitIdle(ProgressStep)) {
        if (TStopSignals::Received())
            Driver.RequestStop();
        if (!Progress)
            continue;
        int done = 0;
        for (const dev_opt* record : list)
            done += answered(*record) ? 1 : 0;
        if (done != shown)
            ShowProgress(label, std::min(done + 1, total), total);
        shown = done;
    }
    if (Progress)
        Err << "\r\033[K" << std::flush;
    if (const auto signal = TStopSignals::Received()) {
        Err << TStopReport::Text(*signal, stage, list, answered,
                                 submitted ? Driver.LastSent : nullptr);
        return TStopReport::ExitStatusFor(*signal);
    }
    if (Driver.PortLost.load(std::memory_order_acquire) != 0) {
        Err << "Device: " << TShownText::Of(Device)
            << " REMOVED - the adapter was unplugged. Plug it in again and start again.\n";
        return ExitStatus::NoAdapter;
    }
    if (Driver.Verdict.load(std::memory_order_acquire) == LineVerdict::NotInstrument) {
        Err << "Device: " << TShownText::Of(Device)
            << " NOT THE INSTRUMENT - it sends data by itself. No settings file was written and "
               "nothing was written to it. Check that the instrument's adapter is the one "
               "opened (--find-adapter lists them; choose with --port).\n";
        return ExitStatus::NotInstrument;
    }
    if (Driver.OverlongRequest != nullptr) {
        Err << "The instrument's reply to " << Driver.OverlongRequest->ReadKey << " was "
            << Driver.OverlongLength << " characters long, longer than any setting ("
            << MaxLineLength
            << " with its CR); nothing of it was kept and the run stopped there. Check the "
               "instrument and its cable.\n";
        return ExitStatus::Unanswered;
    }
    for (const dev_opt* record : list) {
        if (answered(*record))
            continue;
        Err << "The instrument did not answer " << record->ReadKey << " within "
            << Seconds(ReplyLimitMs)
            << "; the run stopped there. Check the instrument's power and cable.\n";
        return ExitStatus::Unanswered;
    }
    return ExitStatus::Done;
}

void TSettingsRun::ShowProgress(const char* label, int done, int total)
{
    Err << "\r" << label << " " << done << " of " << total << std::flush;
}

dev_opt& TSettingsRun::RecordOf(const std::string& key)
{
    return Records[static_cast<std::size_t>(SettingKeys::IndexOf(key))];
}

int TSettingsRun::ReadToFile(const std::string& file)
{
    SettingsFileHeader header;
    header.Device = Device;
    header.ReadAt = std::time(nullptr);
    SettingList settings;
    for (const dev_opt& record : Records) {
        const std::string problem = TSettingsFile::Problem(record.ReadKey, record.ValueRead);
        if (problem.empty()) {
            settings.push_back({record.ReadKey, record.ValueRead});
            continue;
        }
        // The file holds only what can be written back: such a value is named instead.
        header.Notes.push_back(record.ReadKey + " left out: " + problem);
        Err << record.ReadKey << " left out of the file: " << problem << "\n";
    }
    std::string error;
    if (file == "-") {
        Out << TSettingsFile::Format(settings, header, error) << std::flush;
    } else {
        error = TSettingsFile::Write(file, settings, header);
    }
    if (!error.empty()) {
        Err << "The settings were not written: " << TShownText::Of(error)
            << "\nChoose a file in a folder you may write to and run again.\n";
        return ExitStatus::Usage;
    }
    return settings.size() == Records.size() ? ExitStatus::Done : ExitStatus::NotAsInFile;
}

int TSettingsRun::WriteFromFile(const SettingList& settings)
{
    for (const SettingValue& setting : settings)
        RecordOf(setting.Key).ValueToWrite = setting.Value;
    // In slot order, as the window writes; only what differs.
    RequestList writes;
    for (dev_opt& record : Records) {
        const bool inFile = std::any_of(settings.begin(), settings.end(),
                                        [&](const auto& s) { return s.Key == record.ReadKey; });
        if (!inFile || record.ValueToWrite == record.ValueRead)
            continue;
        record.Operation = OpWrite;
        dev_opt::Raise(record.WriteNeeded);
        dev_opt::Raise(record.ReadBackNeeded);
        writes.push_back(&record);
    }
    if (writes.empty()) {
        Err << "Nothing to write: the instrument already holds every setting of the file.\n";
        return ExitStatus::Done;
    }
    int status = RunExchange(writes, Stage::Writing, WriteAnswered);
    if (status != ExitStatus::Done)
        return status;
    for (dev_opt* record : writes) {
        record->Operation = OpRead;
        dev_opt::Lower(record->ResultReady);
    }
    status = RunExchange(writes, Stage::ReadingBack, ReadAnswered);
    if (status != ExitStatus::Done)
        return status;
    int notTaken = 0;
    for (dev_opt* record : writes) {
        dev_opt::Lower(record->ReadBackNeeded);
        if (record->ValueRead == record->ValueToWrite) {
            Out << record->ReadKey << "\ttaken\n";
            continue;
        }
        ++notTaken;
        Out << record->ReadKey << "\tnot taken\t" << Shown(record->ValueRead) << "\n";
    }
    Out << std::flush;
    if (notTaken > 0)
        Err << notTaken << " of " << writes.size()
            << " settings were not taken; the instrument holds the value shown.\n";
    return notTaken == 0 ? ExitStatus::Done : ExitStatus::NotAsInFile;
}

int TSettingsRun::Compare(const SettingList& settings)
{
    int differences = 0;
    for (const dev_opt& record : Records) {
        const auto found = std::find_if(settings.begin(), settings.end(),
                                        [&](const auto& s) { return s.Key == record.ReadKey; });
        if (found == settings.end() || found->Value == record.ValueRead)
            continue;
        ++differences;
        Out << record.ReadKey << "\t" << Shown(record.ValueRead) << "\t" << Shown(found->Value)
            << "\n";
    }
    Out << std::flush;
    if (differences == 0)
        Err << "No differences: the instrument holds every setting of the file.\n";
    return differences == 0 ? ExitStatus::Done : ExitStatus::NotAsInFile;
}
