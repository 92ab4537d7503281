#pragma once

#include "driver/settingkeys.h"

#include <array>
#include <ctime>
#include <string>
#include <vector>

// Where one setting stands in a report, in the words the report prints.
enum class TReportState
{
    Read,         // read from the instrument; not written
    Confirmed,    // written and read back as written
    NotConfirmed, // an edit or write the instrument has not confirmed
    NotTaken,     // written, but the instrument kept another value
    NoAnswer,     // the request was sent and went unanswered
    NeverSent,    // never asked for (the run ended first), or an edit that is never sent
    Overlong,     // the reply was too long to be the setting; nothing of it was kept
    LooksWrong,   // the instrument holds text where it holds a number
};

// One commissioning report: what the instrument held, what was written and whether it was
// confirmed, and how it differs from a file. Texts are UTF-8 as they came (values from the
// instrument converted from Latin-1); nothing is escaped here, the writer escapes everything.
struct TReport
{
    struct Value
    {
        std::string Text;
        TReportState State = TReportState::NeverSent;
    };
    struct Write
    {
        std::string Key;
        std::string Old; // what the instrument held before; empty when unknown
        std::string New;
        TReportState Outcome = TReportState::NotConfirmed;
    };
    struct Difference
    {
        std::string Key;
        std::string Instrument;
        std::string File;
    };

    std::time_t At = 0;
    std::string Version = ProgramVersion();
    std::string AdapterDescription;
    std::string AdapterSerial;
    std::string Port;
    // What was done and how it ended, one sentence each.
    std::string Run;
    std::string Ending;
    // In the order of TSettingKeys::All().
    std::array<Value, TSettingKeys::Count> Values{};
    std::vector<Write> Writes;
    bool Compared = false;
    std::string ComparedFile;
    std::vector<Difference> Differences;

    static const char* WordOf(TReportState state);
    static std::string ProgramVersion();
};
