#pragma once

#include "cli/programoptions.h"
#include "cli/stopreport.h"
#include "driver/dev_opt.h"
#include "driver/requestlist.h"
#include "report/report.h"
#include "session/instrumentsession.h"
#include "settingsfile/settingsfile.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Tsdi12d;
class TAdapterLocator;
class TLogChannel;
class TStopSignals;

// One run of --read, --write or --compare: connects as Connect does, works through the
// settings with the program's driver and its comms thread, and ends with an ExitStatus.
// Results go to `out`, messages to `err`, and the progress ("Reading 37 of 181") too when
// showProgress is set (standard error is a terminal). A bad file is refused before anything
// is sent; the run stops at the first request the instrument leaves unanswered.
class TSettingsRun
{
public:
    TSettingsRun(Tsdi12d& driver, const TAdapterLocator& locator, std::ostream& out,
                 std::ostream& err, bool showProgress, TLogChannel* log = nullptr);
    ~TSettingsRun();
    TSettingsRun(const TSettingsRun&) = delete;
    TSettingsRun& operator=(const TSettingsRun&) = delete;

    // What a run did to the instrument, for a batch's table.
    struct Tally
    {
        int Written = 0;    // settings whose write the instrument answered
        int Confirmed = 0;  // written settings read back as written
        int NotTaken = 0;   // written settings read back with another value
        int Unanswered = 0; // requests sent and left without an answer
    };
    // Where the exchange running stands: "Writing", request 3 of 12.
    struct Position
    {
        const char* Label;
        int Current;
        int Total;
    };
    using ProgressShown = std::function<void(const Position&)>;

    int Execute(const TProgramOptions& options);
    // For a caller that checked the file with CheckFile and holds the stop signals itself, as
    // a batch of runs at once does (standard input is read only once).
    int Execute(const TProgramOptions& options, const TSettingsFileResult& checked,
                const TStopSignals& held);
    // Whether the file of `options` may be used: Usage, with the reason said on `err`, when
    // it may not; nothing is sent before this says Done. Fills `file` for --write and --compare.
    static int CheckFile(const TProgramOptions& options, std::ostream& err,
                         TSettingsFileResult& file);
    // The adapter the locator's device belongs to, for the report, when the search that found
    // it is not the run's own (a batch names each instrument's device).
    void NameAdapter(const TAdapterInfo& adapter) { Named = adapter; }
    // Progress goes to `shown` as well (called on the run's own thread).
    void ShowProgressWith(ProgressShown shown) { Listener = std::move(shown); }
    const Tally& Counts() const { return Done; }
    // Why the last exchange ended; Completed when none ran or all did.
    TEndReason Ending() const { return LastEnd; }
    // What the run found and did, for --report; complete once Execute returned.
    const TReport& Report() const { return Record; }

private:
    using Answered = TStopReport::Answered;
    using Stage = TStopReport::Stage;

    int ReadToFile(const std::string& file);
    int WriteFromFile(const SettingList& settings);
    int Compare(const SettingList& settings);

    int Connect(uint32_t timeoutMs);
    void Disconnect();
    int ReadAll();
    int RunExchange(const RequestList& list, Stage stage, const Answered& answered);
    int Ended(const TExchangeEnd& end, const RequestList& list, Stage stage,
              const Answered& answered);
    void ShowProgress(const char* label, int done, int total);
    dev_opt& RecordOf(const std::string& key);
    void NoteEnd(const TExchangeEnd& end, const RequestList& list, Stage stage,
                 const Answered& answered);
    TReport::Value& ReportValue(const dev_opt& record);
    int WriteReport(const std::string& path, int status);

    // One record per setting, in slot order; never moved while the driver holds them.
    // Declared before the session, so that its thread is stopped before they go.
    std::vector<dev_opt> Records;
    TInstrumentSession Session;
    std::ostream& Out;
    std::ostream& Err;
    const bool Progress;
    ProgressShown Listener;
    Tally Done;
    TEndReason LastEnd = TEndReason::Completed;
    std::string Device;
    uint32_t ReplyLimitMs = 0;
    TReport Record;
    std::optional<TAdapterInfo> Named;
};
