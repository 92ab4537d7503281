#include "cli/batchtable.h"

#include "cli/exitstatus.h"
#include "settingsfile/showntext.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t Columns = 9;
using Cells = std::array<std::string, Columns>;

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

Cells CellsOf(const TBatchRow& row)
{
    const TSettingsRun::Tally& c = row.Counts;
    return {TShownText::Of(row.Serial), TShownText::Of(row.Port),     row.Result,
            std::to_string(row.Status), std::to_string(c.Written),    std::to_string(c.Confirmed),
            std::to_string(c.NotTaken), std::to_string(c.Unanswered), SecondsText(row.Seconds)};
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

std::string TBatchTable::ResultOf(TProgramOptions::FileAction action, int status, TEndReason why)
{
    using Action = TProgramOptions::FileAction;
    switch (status) {
    case ExitStatus::Done:
        return action == Action::Read    ? "read"
               : action == Action::Write ? "confirmed"
                                         : "no differences";
    case ExitStatus::NotAsInFile:
        return action == Action::Read    ? "value left out"
               : action == Action::Write ? "not taken"
                                         : "differences";
    case ExitStatus::Usage:
        return "file not written";
    case ExitStatus::NoAdapter:
        return why == TEndReason::Unplugged ? TExchangeEnd::NameOf(why) : "not opened";
    case ExitStatus::Unanswered:
        return TExchangeEnd::NameOf(why == TEndReason::Overlong ? why : TEndReason::NoAnswer);
    case ExitStatus::NotInstrument:
        return TExchangeEnd::NameOf(TEndReason::NotInstrument);
    case ExitStatus::ValuesLookWrong:
        return "values look wrong";
    case ExitStatus::Interrupted:
        return "stopped by SIGINT";
    case ExitStatus::Terminated:
        return "stopped by SIGTERM";
    }
    return "status " + std::to_string(status);
}

int TBatchTable::StatusOf(const std::vector<TBatchRow>& rows)
{
    int status = ExitStatus::Done;
    for (const TBatchRow& row : rows)
        status = std::max(status, row.Status);
    return status;
}

std::string TBatchTable::Text(const std::vector<TBatchRow>& rows)
{
    std::vector<Cells> lines = {{"serial", "port", "result", "status", "written", "confirmed",
                                 "not taken", "unanswered", "seconds"}};
    for (const TBatchRow& row : rows)
        lines.push_back(CellsOf(row));
    std::array<std::size_t, Columns> width{};
    for (const Cells& line : lines)
        for (std::size_t i = 0; i < Columns; ++i)
            width[i] = std::max(width[i], line[i].size());
    std::string text;
    for (const Cells& line : lines) {
        std::string out;
        for (std::size_t i = 0; i < Columns; ++i) {
            // Words to the left, numbers to the right.
            const std::string pad(width[i] - line[i].size(), ' ');
            out += i < 3 ? line[i] + pad : pad + line[i];
            out += i + 1 < Columns ? "  " : "";
        }
        text += out.substr(0, out.find_last_not_of(' ') + 1) + "\n";
    }
    return text;
}

std::string TBatchTable::Csv(const std::vector<TBatchRow>& rows)
{
    std::string text = std::string(CsvHeader) + "\n";
    for (const TBatchRow& row : rows) {
        const Cells cells = CellsOf(row);
        for (std::size_t i = 0; i < Columns; ++i)
            text += CsvField(cells[i]) + (i + 1 < Columns ? "," : "\n");
    }
    return text;
}
