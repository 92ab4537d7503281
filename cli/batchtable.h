#pragma once

#include "cli/programoptions.h"
#include "cli/settingsrun.h"
#include "session/exchangeend.h"

#include <string>
#include <vector>

// One instrument's line of a batch run's table.
struct TBatchRow
{
    std::string Serial; // as the adapter gives it; empty when it has none
    std::string Port;   // the --port value that selects the adapter
    std::string Result; // in words: "confirmed", "no answer", ...
    int Status = 0;     // the status a run with this instrument alone would end with
    TSettingsRun::Tally Counts;
    double Seconds = 0;
};

// What a batch run shows at its end: the table for the terminal, the same rows as CSV for the
// workshop's records, and the batch's status.
class TBatchTable
{
public:
    static constexpr const char* CsvHeader =
        "serial,port,result,status,written,confirmed,not_taken,unanswered,seconds";

    // The result of one instrument's run in words.
    static std::string ResultOf(TProgramOptions::FileAction action, int status, TEndReason why);
    // 0 only when every instrument ended with 0, else the largest status any ended with.
    static int StatusOf(const std::vector<TBatchRow>& rows);
    // Aligned columns under a heading line; texts from the adapter shown escaped.
    static std::string Text(const std::vector<TBatchRow>& rows);
    // The header line and one line per row, fields quoted where they need it.
    static std::string Csv(const std::vector<TBatchRow>& rows);
};
