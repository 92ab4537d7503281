// The dialogue log: what it writes for a driver on a real pseudo-terminal with the simulated
// instrument, how it shows bytes, its bound, and the files it refuses.
#include "session/dialoguelog.h"

#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "driver/testrecords.h"
#include "sim/instrumentsim.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct LogLine
{
    uint64_t Ms = 0;
    char Mark = 0;
    std::string Text;
};

// Every line of a log, taken apart; a line that does not have the form fails the test.
std::vector<LogLine> Parse(const std::string& text)
{
    std::vector<LogLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        LogLine parsed;
        std::istringstream fields(line);
        fields >> parsed.Ms;
        const std::size_t mark = line.find(' ') + 1;
        EXPECT_TRUE(fields && mark + 2 <= line.size() && line[mark + 1] == ' ') << line;
        if (mark + 2 > line.size())
            continue;
        parsed.Mark = line[mark];
        parsed.Text = line.substr(mark + 2);
        lines.push_back(parsed);
    }
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    return lines;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class DialogueLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = fs::temp_directory_path() /
                 ("dialoguelog_test." + std::to_string(getpid()) + "." +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    fs::path Folder;
};

constexpr uint32_t TestLimitMs = 300;

// The driver and its comms thread against the simulator, with a log as its observer.
class LoggedDriver : public DialogueLogTest
{
protected:
    TInstrumentSim Sim;
    TDialogueLog Log;
    Tsdi12d Driver{TestLimitMs};
    std::unique_ptr<commthread> Thread;
    std::deque<dev_opt> Records;

    void SetUp() override
    {
        DialogueLogTest::SetUp();
        ASSERT_EQ(Log.Open((Folder / "dialogue.log").string()), std::nullopt);
        Driver.OpenDevice(Sim.SlavePath(), 115200);
        ASSERT_TRUE(Driver.HoldsDevice()) << Driver.LastDiagnostic();
        Driver.SetObserver(&Log);
        Driver.SetEndAtTimeOut(true);
        Thread = std::make_unique<commthread>(Driver, false);
    }
    void TearDown() override
    {
        Thread.reset();
        DialogueLogTest::TearDown();
    }

    RequestList Reads(const std::vector<std::string>& keys)
    {
        RequestList list;
        for (const std::string& key : keys) {
            MakeRead(Records.emplace_back(), key);
            list.push_back(&Records.back());
        }
        return list;
    }
    void Run(const RequestList& list)
    {
        Driver.Submit(list);
        ASSERT_TRUE(Driver.WaitIdle(30s));
    }
    // The log's lines after the first, which says when it started.
    std::vector<LogLine> Logged()
    {
        Log.Flush();
        const std::string file = ReadFile(Folder / "dialogue.log");
        EXPECT_EQ(file, Log.Text());
        std::vector<LogLine> lines = Parse(file);
        EXPECT_FALSE(lines.empty());
        if (!lines.empty())
            lines.erase(lines.begin());
        return lines;
    }
};

TEST_F(LoggedDriver, EachCommandIsFollowedByItsReplyWithTimesThatNeverGoBack)
{
    Sim.SetSetting("S1NAM", "Depth\tm");
    RequestList list = Reads({"S0NAM", "S1NAM", "TH1R0"});
    MakeWrite(Records.emplace_back(), "S7CFRQ", "4096");
    list.push_back(&Records.back());
    Run(list);
    const std::vector<LogLine> lines = Logged();
    const std::vector<std::pair<char, std::string>> expected = {
        {'>', "S0NAM?"}, {'<', Sim.Setting("S0NAM")}, {'>', "S1NAM?"},      {'<', "Depth\\x09m"},
        {'>', "TH1R0?"}, {'<', Sim.Setting("TH1R0")}, {'>', "S7CFRQ=4096"}, {'<', "OK"},
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].Mark, expected[i].first) << i;
        EXPECT_EQ(lines[i].Text, expected[i].second) << i;
        EXPECT_GE(lines[i].Ms, lines[i == 0 ? 0 : i - 1].Ms) << i;
    }
}

// Each fault the driver meets gives its '!' line, after the command it met it on (a stray
// line: before it). The over-long reply's length counts its CR, as the driver does.
TEST_F(LoggedDriver, FaultsGiveTheirEventLine)
{
    const struct
    {
        const char* Name;
        std::function<void(TInstrumentSim&)> Arrange;
        std::function<void(Tsdi12d&, TInstrumentSim&)> During;
        std::vector<std::string> Expected; // the '!' lines, in order
    } cases[] = {
        {"time-out",
         [](TInstrumentSim& sim) { sim.SetSilentKey("S0NAM"); },
         nullptr,
         {"no reply in time to S0NAM"}},
        {"over-long reply",
         [](TInstrumentSim& sim) { sim.SetOverlongReply("S0NAM", 300); },
         nullptr,
         {"over-long reply refused: 301 characters"}},
        {"stray line",
         [](TInstrumentSim& sim) { sim.SendStrayLine("noise\x01\\"); },
         nullptr,
         {"stray line taken before a command: noise\\x01\\x5C"}},
        {"stop",
         [](TInstrumentSim& sim) { sim.SetLateReply("S0NAM", 20s); },
         [](Tsdi12d& driver, TInstrumentSim& sim) {
             ASSERT_TRUE(sim.WaitForCommands(2, 10s));
             driver.Stop();
         },
         {"stopped at once"}},
        {"stop request",
         [](TInstrumentSim& sim) { sim.SetLateReply("S0NAM", 20s); },
         [](Tsdi12d& driver, TInstrumentSim& sim) {
             ASSERT_TRUE(sim.WaitForCommands(2, 10s));
             driver.RequestStop();
         },
         {"no reply in time to S0NAM", "asked to stop: nothing more is sent"}},
        {"unplug",
         [](TInstrumentSim& sim) { sim.HangUpAfterCommands(2); },
         nullptr,
         {"the device is gone (unplugged) while waiting for S0NAM"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // Each case on a line of its own: an unplug leaves none behind.
        TInstrumentSim sim;
        TDialogueLog log;
        const fs::path path = Folder / (std::string(c.Name) + ".log");
        ASSERT_EQ(log.Open(path.string()), std::nullopt);
        Tsdi12d driver{TestLimitMs};
        driver.OpenDevice(sim.SlavePath(), 115200);
        driver.SetObserver(&log);
        commthread thread(driver, false);
        c.Arrange(sim);
        // S0NAM between two others: once S1NAM has answered, one unanswered request does not
        // end the exchange, and a stop request has something left not to send.
        dev_opt records[3];
        MakeRead(records[0], "S1NAM");
        MakeRead(records[1], "S0NAM");
        MakeRead(records[2], "S2NAM");
        driver.Submit({&records[0], &records[1], &records[2]});
        if (c.During)
            c.During(driver, sim);
        ASSERT_TRUE(driver.WaitIdle(30s));
        log.Flush();
        std::vector<std::string> events;
        bool sent = false;
        for (const LogLine& line : Parse(ReadFile(path))) {
            sent = sent || (line.Mark == '>' && line.Text == "S0NAM?");
            if (line.Mark == '!' && line.Text.rfind("dialogue log started", 0) != 0) {
                EXPECT_EQ(sent, c.Expected.front().rfind("stray", 0) != 0) << line.Text;
                events.push_back(line.Text);
            }
        }
        EXPECT_EQ(events, c.Expected);
    }
}

TEST(DialogueLogEscape, BytesOutsidePrintableAsciiAreWrittenAsHex)
{
    const struct
    {
        std::string Bytes;
        std::string Shown;
    } cases[] = {
        {"", ""},
        {"S0NAM ~!", "S0NAM ~!"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x01\x1F", "\\x01\\x1F"},
        {"\x7F", "\\x7F"},
        {"\x80\xE9\xFF", "\\x80\\xE9\\xFF"},
        {"\r\n", "\\x0D\\x0A"},
        {"C:\\x41", "C:\\x5Cx41"}, // a backslash of its own is escaped: nothing reads two ways
    };
    for (const auto& c : cases)
        EXPECT_EQ(TDialogueLog::Escaped(c.Bytes), c.Shown) << c.Shown;
}

// The line ends are taken off once; what else a line carries stays, escaped.
TEST(DialogueLogEscape, OnlyTheLineEndIsTakenOff)
{
    TDialogueLog log;
    log.CommandSent("S0NAM=a\r\r\n");
    log.CommandSent("S1NAM?\n");
    log.LineTaken("value\r\r");
    log.LineTaken("value");
    std::vector<LogLine> lines = Parse(log.Text());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].Text, "S0NAM=a\\x0D");
    EXPECT_EQ(lines[2].Text, "S1NAM?\\x0A");
    EXPECT_EQ(lines[3].Text, "value\\x0D");
    EXPECT_EQ(lines[4].Text, "value");
}

TEST_F(DialogueLogTest, AtItsLimitTheLogSaysSoAndStops)
{
    constexpr std::size_t Limit = 1000;
    const fs::path path = Folder / "bounded.log";
    {
        TDialogueLog log(Limit);
        ASSERT_EQ(log.Open(path.string()), std::nullopt);
        for (int i = 0; i < 100; ++i)
            log.Note("note " + std::to_string(i) + std::string(30, '.'));
        log.Flush();
        EXPECT_EQ(ReadFile(path), log.Text());
    }
    const std::string file = ReadFile(path);
    EXPECT_LE(file.size(), Limit);
    EXPECT_GT(file.size(), Limit - 100);
    const std::vector<LogLine> lines = Parse(file);
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines.back().Text,
              "the log has reached its limit of 1000 bytes; nothing more is logged");
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].Text, "note " + std::to_string(i - 1) + std::string(30, '.'));
}

TEST_F(DialogueLogTest, AFileThatCannotBeOpenedIsRefused)
{
    const struct
    {
        std::string Path;
        std::string Reason;
    } cases[] = {
        {Folder.string(), "is a directory"},
        {(Folder / "missing" / "x.log").string(), "no such file or directory"},
    };
    for (const auto& c : cases) {
        TDialogueLog log;
        const std::optional<std::string> problem = log.Open(c.Path);
        ASSERT_TRUE(problem.has_value()) << c.Path;
        EXPECT_EQ(*problem, "cannot open the log file " + c.Path + ": " + c.Reason);
        EXPECT_FALSE(log.SaveTo(c.Path) == std::nullopt) << c.Path;
    }
}

// An earlier run's lines stay; the lines made before the file was named come first.
TEST_F(DialogueLogTest, OpenAppendsWhatWasLoggedBefore)
{
    const fs::path path = Folder / "appended.log";
    std::ofstream(path) << "earlier run\n";
    TDialogueLog log;
    log.Note("before the file");
    ASSERT_EQ(log.Open(path.string()), std::nullopt);
    log.Note("after");
    log.Flush();
    const std::string file = ReadFile(path);
    ASSERT_EQ(file.rfind("earlier run\n", 0), 0u);
    EXPECT_EQ(file.substr(12), log.Text());
    ASSERT_EQ(log.SaveTo((Folder / "saved.log").string()), std::nullopt);
    EXPECT_EQ(ReadFile(Folder / "saved.log"), log.Text());
}

// Lines handed over from several threads at once, while the window reads the text: none is
// lost or torn, and the times in the file never go back.
TEST_F(DialogueLogTest, LinesFromSeveralThreadsStayWholeAndInTimeOrder)
{
    constexpr int Threads = 4;
    constexpr int Lines = 500;
    const fs::path path = Folder / "threads.log";
    TDialogueLog log;
    ASSERT_EQ(log.Open(path.string()), std::nullopt);
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < Lines; ++i)
                log.CommandSent("T" + std::to_string(t) + "=" + std::to_string(i) + "\r\n");
        });
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(log.Text().back(), '\n');
    for (std::thread& writer : writers)
        writer.join();
    log.Flush();
    const std::vector<LogLine> lines = Parse(ReadFile(path));
    ASSERT_EQ(lines.size(), std::size_t(Threads * Lines + 1));
    std::vector<int> next(Threads, 0);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_GE(lines[i].Ms, lines[i - 1].Ms);
        const int t = lines[i].Text[1] - '0';
        ASSERT_TRUE(t >= 0 && t < Threads) << lines[i].Text;
        EXPECT_EQ(lines[i].Text, "T" + std::to_string(t) + "=" + std::to_string(next[t]++));
    }
}

// Instruments served at once share one log: each line opens with its adapter's name.
TEST(DialogueLogChannels, EachInstrumentsLinesOpenWithItsName)
{
    TDialogueLog log;
    TDialogueLog::Channel first(log, "FT4XK2A1");
    TDialogueLog::Channel second(log, "FT4XK2B2");
    first.CommandSent("S0NAM?\r\n");
    second.LineTaken("Pressure 2\r");
    first.Note("end of exchange: completed");
    log.Flush();
    const std::string text = log.Text();
    EXPECT_NE(text.find("\nFT4XK2A1 "), std::string::npos) << text;
    EXPECT_NE(text.find(" > S0NAM?\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nFT4XK2B2 "), std::string::npos) << text;
    EXPECT_NE(text.find(" < Pressure 2\n"), std::string::npos) << text;
    std::istringstream lines(text);
    std::string line;
    int prefixed = 0;
    while (std::getline(lines, line))
        prefixed += line.rfind("FT4XK2", 0) == 0 ? 1 : 0;
    EXPECT_EQ(prefixed, 3);
}

} // namespace
