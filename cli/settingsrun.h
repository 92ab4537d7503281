#pragma once

#include "cli/programoptions.h"
#include "cli/stopreport.h"
#include "driver/dev_opt.h"
#include "driver/requestlist.h"
#include "session/instrumentsession.h"
#include "settingsfile/settingsfile.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class Tsdi12d;
class TAdapterLocator;
class TDialogueLog;

// One run of --read, --write or --compare: connects as Connect does, works through the
// settings with the program's driver and its comms thread, and ends with an ExitStatus.
// Results go to `out`, messages to `err`, and the progress ("Reading 37 of 181") too when
// showProgress is set (standard error is a terminal). A bad file is refused before anything
// is sent; the run stops at the first request the instrument leaves unanswered.
class TSettingsRun
{
public:
    TSettingsRun(Tsdi12d& driver, const TAdapterLocator& locator, std::ostream& out,
                 std::ostream& err, bool showProgress, TDialogueLog* log = nullptr);
    ~TSettingsRun();
    TSettingsRun(const TSettingsRun&) = delete;
    TSettingsRun& operator=(const TSettingsRun&) = delete;

    int Execute(const TProgramOptions& options);

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

    // One record per setting, in slot order; never moved while the driver holds them.
    // Declared before the session, so that its thread is stopped before they go.
    std::vector<dev_opt> Records;
    TInstrumentSession Session;
    std::ostream& Out;
    std::ostream& Err;
    const bool Progress;
    std::string Device;
    uint32_t ReplyLimitMs = 0;
};
