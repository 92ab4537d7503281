// The judge of the other end of the line, and the rule that ends an exchange nothing answers.
#include "driver/linejudge.h"
#include "driver/silencerule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One event seen on the line: lines nobody asked for, a time-out, or a reply to a read.
struct Event
{
    int Unasked = 0;
    bool TimeOut = false;
    std::string Key;
    std::string Reply;
};

struct JudgeCase
{
    const char* Name;
    std::vector<Event> Events;
    TLineVerdict Verdict;
};

} // namespace

TEST(LineJudge, JudgesByWhatTheLineCarries)
{
    const std::string gps = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
    const JudgeCase cases[] = {
        {"nothing yet", {}, TLineVerdict::Pending},
        {"names say nothing", {{0, false, "S0NAM", gps}}, TLineVerdict::Pending},
        {"one stray line", {{1}}, TLineVerdict::Pending},
        {"two stray lines", {{1}, {1}}, TLineVerdict::NotInstrument},
        {"a number", {{0, false, "S0CFRQ", "2500"}}, TLineVerdict::Instrument},
        {"undefined", {{0, false, "TH2T0", "Undefined"}}, TLineVerdict::Instrument},
        {"one odd reply", {{0, false, "S0CFRQ", gps}}, TLineVerdict::Pending},
        {"text where numbers belong refuses nothing",
         {{0, false, "S0CFRQ", gps}, {0, false, "S0CAL0", ""}, {0, false, "TH0T0", "abc"}},
         TLineVerdict::Pending},
        {"text, then a number",
         {{0, false, "S0CAL0", ""}, {0, false, "S0CAL1", "1"}},
         TLineVerdict::Instrument},
        {"a stray line, then numbers",
         {{1}, {0, false, "S0CFRQ", "2500"}, {1}, {1}},
         TLineVerdict::Instrument},
        {"late replies after a time-out", {{0, true}, {1}, {1}}, TLineVerdict::Pending},
    };
    for (const JudgeCase& c : cases) {
        TLineJudge judge;
        judge.Opened();
        for (const Event& event : c.Events) {
            if (event.TimeOut)
                judge.TimedOut();
            judge.UnaskedLines(event.Unasked);
            if (!event.Key.empty())
                judge.ReadAnswered(event.Key, event.Reply);
        }
        EXPECT_EQ(judge.Verdict(), c.Verdict) << c.Name;
    }
}

TEST(LineJudge, NumbersAsTheInstrumentWritesThem)
{
    for (const char* number : {"2500", "-1.2500E+01", "0.0", " 8.775468E-08", "+3", ".5", "1e3"})
        EXPECT_TRUE(TLineJudge::IsNumber(number)) << number;
    for (const char* other : {"", " ", "-", "1.2.3", "1E", "E5", "12a", "$GPGGA,1", "1 2"})
        EXPECT_FALSE(TLineJudge::IsNumber(other)) << other;
}

// Each string is one exchange: 'a' answered, 'u' unanswered; the rule ends it at '|'.
TEST(SilenceRule, EndsAtTheFirstSilenceOrTheSecondInARow)
{
    const struct
    {
        bool EndAtFirst;
        const char* Exchange;
    } cases[] = {
        {false, "u|"},    {false, "aua|"},  {false, "auaauu|"},
        {false, "aauu|"}, {false, "aaaa|"}, {true, "aau|"},
    };
    for (const auto& c : cases) {
        TSilenceRule rule;
        rule.Start(c.EndAtFirst);
        std::string seen;
        for (const char* step = c.Exchange; *step != '|'; ++step) {
            seen += *step;
            const bool ends = *step == 'u' ? rule.Unanswered() : (rule.Answered(), false);
            const bool last = step[1] == '|';
            EXPECT_EQ(ends, last && *step == 'u') << c.Exchange << " at " << seen;
        }
    }
}
