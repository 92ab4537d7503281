#include "cli/settingsrun.h"

#include "cli/exitstatus.h"
#include "cli/lookwrongreport.h"
#include "cli/outputpath.h"
#include "driver/linejudge.h"
#include "driver/sdi12d.h"
#include "driver/settingkeys.h"
#include "report/reportpdf.h"
#include "session/linewords.h"
#include "session/stopsignals.h"
#include "settingsfile/settingsdiff.h"
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

// The requests up to the last one sent that have no answer.
int SentUnanswered(const RequestList& list, const TStopReport::Answered& answered,
                   const dev_opt* lastSent)
{
    if (lastSent == nullptr)
        return 0;
    int count = 0;
    for (const dev_opt* record : list) {
        count += answered(*record) ? 0 : 1;
        if (record == lastSent)
            break;
    }
    return count;
}

// A value as the terminal shows it: never cut, since no value is longer than a line may be.
std::string Shown(const std::string& latin1)
{
    return TShownText::Of(TSettingsFile::Utf8Of(latin1), MaxLineLength);
}

} // namespace

TSettingsRun::TSettingsRun(Tsdi12d& driver, const TAdapterLocator& locator, std::ostream& out,
                           std::ostream& err, bool showProgress, TLogChannel* log)
    : Records(TSettingKeys::All().size()), Session(driver, locator, log), Out(out), Err(err),
      Progress(showProgress)
{
    // Bound as Connect binds the window's cells.
    for (std::size_t i = 0; i < Records.size(); ++i) {
        const TSettingKey& setting = TSettingKeys::All()[i];
        Records[i].Bind(setting.GridId, setting.Key, setting.Col, setting.Row);
    }
}

TSettingsRun::~TSettingsRun()
{
    Disconnect();
}

int TSettingsRun::CheckFile(const TProgramOptions& options, std::ostream& err,
                            TSettingsFileResult& file)
{
    if (options.Action == TProgramOptions::FileAction::Read) {
        if (const auto problem = TOutputPath::Problem(options.SettingsFile)) {
            err << "Cannot write the settings: " << *problem << ". Nothing was sent.\n";
            return ExitStatus::Usage;
        }
    } else {
        file = TSettingsFile::Read(options.SettingsFile);
        if (!file.Ok()) {
            err << file.Message()
                << "\nThe file was not used; nothing was sent. Correct the file and run again.\n";
            return ExitStatus::Usage;
        }
    }
    if (!options.ReportFile.empty()) {
        if (const auto problem = TOutputPath::Problem(options.ReportFile)) {
            err << "Cannot write the report: " << *problem
                << ". Nothing was sent. Give --report a file in a folder that exists and that you "
                   "may write to.\n";
            return ExitStatus::Usage;
        }
    }
    return ExitStatus::Done;
}

int TSettingsRun::Execute(const TProgramOptions& options)
{
    TSettingsFileResult file;
    if (CheckFile(options, Err, file) != ExitStatus::Done)
        return ExitStatus::Usage;
    const TStopSignals stops;
    return Execute(options, file, stops);
}

int TSettingsRun::Execute(const TProgramOptions& options, const TSettingsFileResult& file,
                          const TStopSignals&)
{
    using Action = TProgramOptions::FileAction;
    Record = TReport();
    Record.At = std::time(nullptr);
    const std::string& named = options.SettingsFile;
    Record.Run = options.Action == Action::Read ? "Read all settings into " + named
                 : options.Action == Action::Write
                     ? "Wrote the settings of " + named + " that the instrument did not hold"
                     : "Compared the instrument with " + named;
    int status = Connect(options.TimeoutMs != 0 ? options.TimeoutMs : ::ReplyLimitMs);
    const bool opened = status == ExitStatus::Done;
    if (status == ExitStatus::Done)
        status = ReadAll();
    if (status == ExitStatus::Done) {
        if (options.Action == Action::Read)
            status = ReadToFile(options.SettingsFile);
        else if (options.Action == Action::Write)
            status = WriteFromFile(file.Settings);
        else {
            Record.ComparedFile =
                options.SettingsFile == "-" ? "standard input" : options.SettingsFile;
            status = Compare(file.Settings);
        }
    }
    status = TLookWrongReport::StatusAfter(status, Records, Err);
    Disconnect();
    // The record of a run that ended badly is wanted most; one that never reached the
    // instrument has nothing to record.
    if (!options.ReportFile.empty()) {
        if (opened)
            status = WriteReport(options.ReportFile, status);
        else
            Err << "No report was written: the instrument was not reached.\n";
    }
    return status;
}

// A report that cannot be written makes a run that was otherwise done end with Usage, as a
// --read file that cannot be written does; a worse status is kept.
int TSettingsRun::WriteReport(const std::string& path, int status)
{
    for (std::size_t i = 0; i < Records.size(); ++i) {
        TReport::Value& value = Record.Values[i];
        if (value.State == TReportState::Read &&
            !TLineJudge::ValueFits(Records[i].ReadKey, Records[i].ValueRead))
            value.State = TReportState::LooksWrong;
    }
    if (Record.Ending.empty())
        Record.Ending = "every request was answered";
    const std::optional<std::string> problem = TReportPdf::Write(Record, path);
    if (!problem)
        return status;
    Err << TShownText::Of(*problem)
        << "\nChoose a report file in a folder that exists and that you may write to.\n";
    return status == ExitStatus::Done || status == ExitStatus::NotAsInFile ? ExitStatus::Usage
                                                                           : status;
}

TReport::Value& TSettingsRun::ReportValue(const dev_opt& record)
{
    return Record.Values[static_cast<std::size_t>(&record - Records.data())];
}

// Where each request of the exchange stands: answered; sent and left without an answer (up
// to the one the exchange ended at); or never sent.
void TSettingsRun::NoteEnd(const TExchangeEnd& end, const RequestList& list, Stage stage,
                           const Answered& answered)
{
    if (!end.Completed())
        Record.Ending = end.Described();
    const dev_opt* lastSent = Session.Submitted() && !end.Completed() ? end.At : nullptr;
    bool sent = lastSent != nullptr;
    for (const dev_opt* record : list) {
        TReport::Value& value = ReportValue(*record);
        const bool done = answered(*record);
        const TReportState unanswered = !sent ? TReportState::NeverSent
                                        : end.Why == TEndReason::Overlong && record == end.At
                                            ? TReportState::Overlong
                                            : TReportState::NoAnswer;
        if (stage == Stage::Reading) {
            value.Text = done ? TSettingsFile::Utf8Of(record->ValueRead) : std::string();
            value.State = done ? TReportState::Read : unanswered;
        } else if (stage == Stage::Writing) {
            auto write = std::find_if(Record.Writes.begin(), Record.Writes.end(),
                                      [&](const auto& w) { return w.Key == record->ReadKey; });
            write->Outcome = done ? TReportState::NotConfirmed : unanswered;
            value.Text = TSettingsFile::Utf8Of(record->ValueToWrite);
            value.State = done ? TReportState::NotConfirmed : unanswered;
        } else {
            auto write = std::find_if(Record.Writes.begin(), Record.Writes.end(),
                                      [&](const auto& w) { return w.Key == record->ReadKey; });
            const bool taken = done && record->ValueRead == record->ValueToWrite;
            write->Outcome = !done   ? TReportState::NotConfirmed
                             : taken ? TReportState::Confirmed
                                     : TReportState::NotTaken;
            if (done)
                value.Text = TSettingsFile::Utf8Of(record->ValueRead);
            value.State = !done   ? unanswered
                          : taken ? TReportState::Confirmed
                                  : TReportState::NotTaken;
        }
        if (record == lastSent)
            sent = false;
    }
}

int TSettingsRun::Connect(uint32_t timeoutMs)
{
    const std::vector<TAdapterInfo> adapters = Session.Adapters();
    if (adapters.size() > 1) {
        // Without a window there is no one to ask: guessing could read or write the wrong one.
        Err << "Several adapters are attached; name the one to use with --port:\n";
        for (const TAdapterInfo& adapter : adapters)
            Err << "  --port " << TShownText::Of(adapter.PortOption) << "   ("
                << TShownText::Of(TAdapterList::Identity(adapter)) << ")\n";
        return ExitStatus::NoAdapter;
    }
    const TConnectResult connected = Session.Connect(adapters);
    Device = connected.Device;
    Record.Port = connected.Device;
    if (const auto& adapter = connected.Adapter ? connected.Adapter : Named) {
        Record.AdapterDescription = adapter->Description;
        Record.AdapterSerial = adapter->SerialNumber;
    }
    switch (connected.Result) {
    case TConnectResult::Outcome::NotFound:
        Err << connected.Problem << " Or name the adapter's device with --port.\n";
        return ExitStatus::NoAdapter;
    case TConnectResult::Outcome::NotOpened:
        Err << TLineWords::NotOpened(TShownText::Of(Device), connected.Failure) << "\n"
            << TLineWords::NotOpenedAdvice(connected.Failure.Kind) << "\n";
        Session.Disconnect();
        return ExitStatus::NoAdapter;
    case TConnectResult::Outcome::Opened:
        break;
    }
    ReplyLimitMs = timeoutMs;
    Session.EndAtFirstTimeOut(timeoutMs);
    Session.StopOnSignals();
    Session.StartThread();
    return ExitStatus::Done;
}

void TSettingsRun::Disconnect()
{
    Session.StopThread();
    Session.Disconnect();
}

int TSettingsRun::ReadAll()
{
    RequestList list;
    for (dev_opt& record : Records) {
        TInstrumentSession::MarkRead(record);
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
    int shown = -1;
    const TExchangeEnd end = Session.Run(
        list, ProgressStep,
        [&] {
            if (!Progress && !Listener)
                return;
            int done = 0;
            for (const dev_opt* record : list)
                done += answered(*record) ? 1 : 0;
            if (done != shown)
                ShowProgress(label, std::min(done + 1, total), total);
            shown = done;
        },
        answered);
    if (Progress)
        Err << "\r\033[K" << std::flush;
    return Ended(end, list, stage, answered);
}

// Every ending says what was done: where the settings being written stand, and what to do.
int TSettingsRun::Ended(const TExchangeEnd& end, const RequestList& list, Stage stage,
                        const Answered& answered)
{
    const dev_opt* lastSent = Session.Submitted() ? end.At : nullptr;
    LastEnd = end.Why;
    NoteEnd(end, list, stage, answered);
    Done.Unanswered += SentUnanswered(list, answered, end.Completed() ? nullptr : lastSent);
    switch (end.Why) {
    case TEndReason::Completed:
        return ExitStatus::Done;
    case TEndReason::Interrupted: {
        const TStopSignals::Signal signal = *TStopSignals::Received();
        Err << TStopReport::Text(std::string("Stopped by ") + TStopSignals::NameOf(signal), stage,
                                 list, answered, lastSent);
        return TStopReport::ExitStatusFor(signal);
    }
    case TEndReason::Unplugged:
        Err << TLineWords::Ended(TShownText::Of(Device), end.Why) << "\n";
        if (stage != Stage::Reading)
            Err << TStopReport::Text("Unplugged", stage, list, answered, lastSent);
        Err << TLineWords::EndedAdvice(end.Why) << "\n";
        return ExitStatus::NoAdapter;
    case TEndReason::NotInstrument:
        Err << TLineWords::Ended(TShownText::Of(Device), end.Why) << "\n"
            << TLineWords::EndedAdvice(end.Why) << "\n";
        return ExitStatus::NotInstrument;
    case TEndReason::Overlong:
        Err << "The instrument's reply to " << end.At->ReadKey << " was " << end.Length
            << " characters long, longer than any setting (" << MaxLineLength
            << " with its CR); nothing of it was kept. " << TLineWords::EndedAdvice(end.Why)
            << "\n";
        return ExitStatus::Unanswered;
    case TEndReason::Stopped:
    case TEndReason::NoAnswer:
        Err << "The instrument did not answer " << end.At->ReadKey << " within "
            << Seconds(ReplyLimitMs) << "; " << TLineWords::EndedAdvice(end.Why) << "\n";
        return ExitStatus::Unanswered;
    }
    return ExitStatus::Unanswered;
}

void TSettingsRun::ShowProgress(const char* label, int done, int total)
{
    if (Progress)
        Err << "\r" << label << " " << done << " of " << total << std::flush;
    if (Listener)
        Listener({label, done, total});
}

dev_opt& TSettingsRun::RecordOf(const std::string& key)
{
    return Records[static_cast<std::size_t>(TSettingKeys::IndexOf(key))];
}

int TSettingsRun::ReadToFile(const std::string& file)
{
    TSettingsFileHeader header;
    header.Device = Device;
    header.ReadAt = std::time(nullptr);
    SettingList settings;
    for (const dev_opt& record : Records) {
        const std::optional<std::string> problem =
            TSettingsFile::Problem(record.ReadKey, record.ValueRead);
        if (!problem) {
            settings.push_back({record.ReadKey, record.ValueRead});
            continue;
        }
        // The file holds only what can be written back: such a value is named instead.
        header.Notes.push_back(record.ReadKey + " left out: " + *problem);
        Err << record.ReadKey << " left out of the file: " << *problem << "\n";
    }
    std::optional<std::string> error;
    if (file == "-")
        Out << TSettingsFile::Format(settings, header) << std::flush;
    else
        error = TSettingsFile::Write(file, settings, header);
    if (error) {
        Err << "The settings were not written: " << TShownText::Of(*error)
            << "\nChoose a file in a folder you may write to and run again.\n";
        return ExitStatus::Usage;
    }
    return settings.size() == Records.size() ? ExitStatus::Done : ExitStatus::NotAsInFile;
}

int TSettingsRun::WriteFromFile(const SettingList& settings)
{
    for (const TSettingValue& setting : settings)
        RecordOf(setting.Key).ValueToWrite = setting.Value;
    // In slot order, as the window writes; only what differs.
    RequestList writes;
    for (dev_opt& record : Records) {
        const bool inFile = std::any_of(settings.begin(), settings.end(),
                                        [&](const auto& s) { return s.Key == record.ReadKey; });
        if (!inFile || record.ValueToWrite == record.ValueRead)
            continue;
        Record.Writes.push_back({record.ReadKey, TSettingsFile::Utf8Of(record.ValueRead),
                                 TSettingsFile::Utf8Of(record.ValueToWrite),
                                 TReportState::NeverSent});
        TInstrumentSession::MarkWrite(record, record.ValueToWrite);
        writes.push_back(&record);
    }
    if (writes.empty()) {
        Err << "Nothing to write: the instrument already holds every setting of the file.\n";
        return ExitStatus::Done;
    }
    int status = RunExchange(writes, Stage::Writing, WriteAnswered);
    Done.Written = static_cast<int>(std::count_if(
        writes.begin(), writes.end(), [](const dev_opt* r) { return WriteAnswered(*r); }));
    if (status != ExitStatus::Done)
        return status;
    for (dev_opt* record : writes)
        TInstrumentSession::MarkRead(*record);
    status = RunExchange(writes, Stage::ReadingBack, ReadAnswered);
    if (status != ExitStatus::Done)
        return status;
    int notTaken = 0;
    for (dev_opt* record : writes) {
        dev_opt::Lower(record->ReadBackNeeded);
        if (record->ValueRead == record->ValueToWrite) {
            ++Done.Confirmed;
            Out << record->ReadKey << "\ttaken\n";
            continue;
        }
        ++notTaken;
        ++Done.NotTaken;
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
    SettingList held;
    for (const dev_opt& record : Records)
        held.push_back({record.ReadKey, record.ValueRead});
    const std::vector<TSettingsDiff::Difference> differences =
        TSettingsDiff::Between(held, settings);
    Record.Compared = true;
    for (const TSettingsDiff::Difference& difference : differences) {
        Record.Differences.push_back({difference.Key, TSettingsFile::Utf8Of(difference.Instrument),
                                      TSettingsFile::Utf8Of(difference.File)});
        Out << difference.Key << "\t" << Shown(difference.Instrument) << "\t"
            << Shown(difference.File) << "\n";
    }
    Out << std::flush;
    if (differences.empty())
        Err << "No differences: the instrument holds every setting of the file.\n";
    return differences.empty() ? ExitStatus::Done : ExitStatus::NotAsInFile;
}
