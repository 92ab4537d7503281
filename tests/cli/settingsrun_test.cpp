// The command line's runs against the simulated instrument on a pseudo-terminal: the exit
// statuses, what reaches the instrument, and what the files and outputs hold.
#include "cli/exitstatus.h"
#include "cli/settingsrun.h"
#include "driver/sdi12d.h"
#include "driver/settingkeys.h"
#include "serial/adapterlocator.h"
#include "session/dialoguelog.h"
#include "sim/instrumentsim.h"
#include "tests/report/pdftext.h"
#include "tests/serial/fakeftdi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using Action = TProgramOptions::FileAction;

struct Outcome
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

class SettingsRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = fs::temp_directory_path() /
                 ("settingsrun_test." + std::to_string(getpid()) + "." +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::string File(const std::string& name, const std::string& text)
    {
        const fs::path path = Folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    Outcome Run(Action action, const std::string& file, uint32_t timeoutMs = 2000,
                const std::string& device = {})
    {
        Tsdi12d driver;
        TAdapterLocator locator;
        locator.UseDevice(device.empty() ? Sim.SlavePath() : device);
        std::ostringstream out, err;
        TProgramOptions options;
        options.Action = action;
        options.SettingsFile = file;
        options.TimeoutMs = timeoutMs;
        options.ReportFile = Report;
        Outcome outcome;
        {
            TSettingsRun run(driver, locator, out, err, false);
            outcome.Status = run.Execute(options);
        }
        outcome.Out = out.str();
        outcome.Err = err.str();
        return outcome;
    }

    std::vector<std::string> Commands() const { return Sim.Commands(); }

    // The report of the next Run, as text; the run writes it at ReportPath.
    std::string ReportPath()
    {
        NeedFonts();
        Report = (Folder / "report.pdf").string();
        return Report;
    }

    TInstrumentSim Sim;
    fs::path Folder;
    std::string Report;
};

std::string Read(const std::string& key)
{
    return "\x02" + key + "?\r\n";
}

} // namespace

TEST_F(SettingsRunTest, ReadKeepsEveryValueTheInstrumentHolds)
{
    Sim.SetSetting("S3NAM", "Caf\xE9  = #1 ");
    const std::string path = (Folder / "read.txt").string();
    const Outcome outcome = Run(Action::Read, path);
    ASSERT_EQ(outcome.Status, ExitStatus::Done) << outcome.Err;
    const TSettingsFileResult file = TSettingsFile::Read(path);
    ASSERT_TRUE(file.Ok()) << file.Message();
    ASSERT_EQ(file.Settings.size(), 181u);
    for (std::size_t i = 0; i < file.Settings.size(); ++i) {
        EXPECT_EQ(file.Settings[i].Key, TSettingKeys::All()[i].Key);
        EXPECT_EQ(file.Settings[i].Value, Sim.Setting(file.Settings[i].Key));
    }
    EXPECT_EQ(Commands().size(), 181u);
}

TEST_F(SettingsRunTest, ReadLeavesOutAValueNoFileCanCarry)
{
    Sim.SetSetting("S1NAM", "a\tb");
    const Outcome outcome = Run(Action::Read, "-");
    EXPECT_EQ(outcome.Status, ExitStatus::NotAsInFile);
    EXPECT_NE(outcome.Out.find("# S1NAM left out: Not sent: the value holds a tab\n"),
              std::string::npos);
    const TSettingsFileResult file = TSettingsFile::Parse("-", outcome.Out);
    ASSERT_TRUE(file.Ok()) << file.Message();
    EXPECT_EQ(file.Settings.size(), 180u);
    EXPECT_NE(outcome.Err.find("S1NAM"), std::string::npos);
}

TEST_F(SettingsRunTest, WriteSendsOnlyTheDifferencesAndReadsThemBack)
{
    const std::string file =
        File("w.txt", "TH2STD=2.0E-07\nS0FRP=" + Sim.Setting("S0FRP") + "\r\nS0NAM= New = name \n");
    const Outcome outcome = Run(Action::Write, file);
    EXPECT_EQ(outcome.Status, ExitStatus::Done) << outcome.Err;
    EXPECT_EQ(outcome.Out, "S0NAM\ttaken\nTH2STD\ttaken\n");
    EXPECT_EQ(Sim.Setting("S0NAM"), " New = name ");
    EXPECT_EQ(Sim.Setting("TH2STD"), "2.0E-07");
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 185u);
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 181, commands.end()),
              (std::vector<std::string>{"\x02S0NAM= New = name \r\n", "\x02TH2STD=2.0E-07\r\n",
                                        Read("S0NAM"), Read("TH2STD")}));
}

TEST_F(SettingsRunTest, OutcomesOfWriteAndCompare)
{
    const struct
    {
        Action What;
        std::string Text;
        std::string Rejected; // a key whose writes the instrument refuses
        int Status;
        std::string Out;
    } cases[] = {
        {Action::Write, "S5NAM=Tank\n", "S5NAM", ExitStatus::NotAsInFile,
         "S5NAM\tnot taken\tLevel B\n"},
        {Action::Write, "S4NAM=Level A\n", "", ExitStatus::Done, ""},
        {Action::Compare, "S4NAM=Level A\nTH0T0=25.0\n", "", ExitStatus::Done, ""},
        {Action::Compare, "TH0T0=26\nS4NAM=Level \xC3\x84\n", "", ExitStatus::NotAsInFile,
         "S4NAM\tLevel A\tLevel \xC3\x84\nTH0T0\t25.0\t26\n"},
    };
    for (const auto& c : cases) {
        Sim.SetRejectedWrite(c.Rejected);
        const Outcome outcome = Run(c.What, File("f.txt", c.Text));
        EXPECT_EQ(outcome.Status, c.Status) << c.Text << outcome.Err;
        EXPECT_EQ(outcome.Out, c.Out) << c.Text;
    }
    EXPECT_EQ(Sim.Setting("S5NAM"), "Level B");
}

TEST_F(SettingsRunTest, NothingIsSentForABadFileOrTarget)
{
    const struct
    {
        Action What;
        std::string File;
        const char* Says;
    } cases[] = {
        {Action::Write, File("bad.txt", "S0NAM=1\nS0NAM=2\n"), "line 2: the key S0NAM"},
        {Action::Compare, File("bad2.txt", "S0NAM=1\nS99=2\n"), "line 2: unknown key"},
        {Action::Write, (Folder / "absent.txt").string(), "cannot be read"},
        {Action::Read, (Folder / "no" / "such.txt").string(), "does not exist"},
        {Action::Read, Folder.string(), "is a folder"},
        {Action::Read, "/dev/null", "is not a regular file"},
        {Action::Read, (Folder / std::string(250, 'n')).string(), "file name is too long"},
        {Action::Write, File("crlf.txt", "S0NAM=a\rS99=2\r"), "line 2: unknown key"},
        {Action::Compare, File("big.txt", std::string(TSettingsFile::MaxFileBytes + 1, '#')),
         "larger than 1 MB"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Run(c.What, c.File);
        EXPECT_EQ(outcome.Status, ExitStatus::Usage) << c.File;
        EXPECT_NE(outcome.Err.find(c.Says), std::string::npos) << outcome.Err;
        EXPECT_NE(outcome.Err.find("othing was sent"), std::string::npos) << outcome.Err;
    }
    EXPECT_EQ(Sim.CommandCount(), 0u);
}

TEST_F(SettingsRunTest, APortThatCannotBeOpenedEndsWithStatus3)
{
    const Outcome outcome =
        Run(Action::Compare, File("f.txt", "S0NAM=x\n"), 2000, (Folder / "ttyNone").string());
    EXPECT_EQ(outcome.Status, ExitStatus::NoAdapter);
    EXPECT_NE(outcome.Err.find("NOT OPENED"), std::string::npos) << outcome.Err;
}

TEST_F(SettingsRunTest, ASilentKeyStopsTheRunAfterOneLimit)
{
    Sim.SetSilentKey("S2CAL1");
    const std::string path = (Folder / "r.txt").string();
    const Outcome outcome = Run(Action::Read, path, 300);
    EXPECT_EQ(outcome.Status, ExitStatus::Unanswered);
    EXPECT_NE(outcome.Err.find("did not answer S2CAL1 within 0.3 s"), std::string::npos)
        << outcome.Err;
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), static_cast<std::size_t>(TSettingKeys::IndexOf("S2CAL1") + 1));
    EXPECT_EQ(commands.back(), Read("S2CAL1"));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsRunTest, AnUnplugMidReadEndsWithStatus3)
{
    Sim.HangUpAfterCommands(40);
    const std::string path = (Folder / "r.txt").string();
    const Outcome outcome = Run(Action::Read, path);
    EXPECT_EQ(outcome.Status, ExitStatus::NoAdapter);
    EXPECT_NE(outcome.Err.find("REMOVED"), std::string::npos) << outcome.Err;
    EXPECT_FALSE(fs::exists(path));
}

// A file run's dialogue log holds each command and then its reply, in order, with times that
// never go back, and how each exchange ended.
TEST_F(SettingsRunTest, AFileRunsLogHoldsEachCommandAndItsReplyInOrder)
{
    const std::string file = File("w.txt", "S4NAM=logged\n");
    TDialogueLog log;
    {
        Tsdi12d driver;
        TAdapterLocator locator;
        locator.UseDevice(Sim.SlavePath());
        std::ostringstream out, err;
        TProgramOptions options;
        options.Action = Action::Write;
        options.SettingsFile = file;
        TSettingsRun run(driver, locator, out, err, false, &log);
        ASSERT_EQ(run.Execute(options), ExitStatus::Done) << err.str();
    }
    log.Flush();
    std::istringstream lines(log.Text());
    std::vector<std::string> sent, ends;
    std::string line, previous;
    uint64_t lastMs = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        uint64_t ms = 0;
        char mark = 0;
        fields >> ms >> mark;
        std::string text;
        std::getline(fields >> std::ws, text);
        EXPECT_GE(ms, lastMs) << line;
        lastMs = ms;
        if (mark == '>')
            sent.push_back(text);
        if (mark == '<') {
            ASSERT_FALSE(previous.empty()) << "a reply before any command";
            EXPECT_EQ(previous[previous.find(' ') + 1], '>') << "two replies to one command";
        }
        if (mark == '!' && text.rfind("end of exchange: ", 0) == 0)
            ends.push_back(text);
        previous = line;
    }
    ASSERT_EQ(sent.size(), TSettingKeys::All().size() + 2);
    EXPECT_EQ(sent.front(), "S0NAM?");
    EXPECT_EQ(sent[TSettingKeys::All().size()], "S4NAM=logged");
    EXPECT_EQ(sent.back(), "S4NAM?");
    EXPECT_EQ(ends, std::vector<std::string>(3, "end of exchange: completed"));
}

// Every ending says what was done: an unplug while writing names what went out unconfirmed.
TEST_F(SettingsRunTest, AnUnplugMidWriteNamesTheSettingsWrittenAndNotConfirmed)
{
    const std::string file = File("w.txt", "S0NAM=one\nS1NAM=two\nS2NAM=three\n");
    Sim.HangUpAfterCommands(TSettingKeys::All().size() + 2);
    const Outcome outcome = Run(Action::Write, file);
    EXPECT_EQ(outcome.Status, ExitStatus::NoAdapter);
    EXPECT_NE(outcome.Err.find("REMOVED"), std::string::npos) << outcome.Err;
    EXPECT_NE(outcome.Err.find("Unplugged while writing: 1 of 3 settings written and answered "
                               "(S0NAM); sent but not confirmed: S1NAM; not sent: S2NAM."),
              std::string::npos)
        << outcome.Err;
}

TEST_F(SettingsRunTest, AnOverlongReplyStopsTheRunWithStatus4)
{
    Sim.SetOverlongReply("S1CAL0", 300);
    const std::string path = (Folder / "r.txt").string();
    const Outcome outcome = Run(Action::Read, path);
    EXPECT_EQ(outcome.Status, ExitStatus::Unanswered);
    EXPECT_NE(outcome.Err.find("reply to S1CAL0 was 301 characters long"), std::string::npos)
        << outcome.Err;
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsRunTest, APortThatIsNoTerminalOrIsHeldIsRefusedUntouched)
{
    const std::string swapped = File("settings.txt", "S0NAM=x\n");
    const std::string fifo = (Folder / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TCommsPort holder;
    holder.OpenDevice(Sim.SlavePath(), LineBaudRate);
    const struct
    {
        std::string Device;
        const char* Says;
    } cases[] = {
        {swapped, "NOT OPENED - not a serial port"},
        {"/dev/null", "NOT OPENED - not a serial port"},
        {fifo, "NOT OPENED - not a serial port"},
        {Sim.SlavePath(), "NOT OPENED - in use by another program"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Run(Action::Compare, swapped, 2000, c.Device);
        EXPECT_EQ(outcome.Status, ExitStatus::NoAdapter) << c.Device;
        EXPECT_NE(outcome.Err.find(c.Says), std::string::npos) << outcome.Err;
    }
    EXPECT_EQ(fs::file_size(swapped), 8u) << "nothing was written into the file";
    EXPECT_EQ(Sim.CommandCount(), 0u);
}

TEST_F(SettingsRunTest, InstrumentTextReachesTheTerminalEscaped)
{
    Sim.SetSetting("S0NAM", "\x1B]0;owned\x07");
    const Outcome outcome = Run(Action::Compare, File("f.txt", "S0NAM=x\n"));
    EXPECT_EQ(outcome.Out, "S0NAM\t\\x1B]0;owned\\x07\tx\n");
}

// A device that sends lines by itself (a GPS receiver) is refused: status 6, no file, no write.
TEST_F(SettingsRunTest, ADeviceTalkingByItselfEndsWithStatus6AndNoFile)
{
    Sim.SetTalking(std::chrono::milliseconds(20));
    for (const Action action : {Action::Read, Action::Write}) {
        const std::string path =
            action == Action::Read ? (Folder / "r.txt").string() : File("w.txt", "S0NAM=x\n");
        const Outcome outcome = Run(action, path, 2000);
        EXPECT_EQ(outcome.Status, ExitStatus::NotInstrument) << outcome.Err;
        EXPECT_NE(outcome.Err.find("NOT THE INSTRUMENT"), std::string::npos) << outcome.Err;
        for (const std::string& command : Commands())
            EXPECT_EQ(command.find('='), std::string::npos) << command;
    }
    EXPECT_FALSE(fs::exists(Folder / "r.txt"));
}

// Text where the instrument holds numbers (written by another tool) does not lock it out: it
// is read, named and repaired; and the program itself never writes such text.
TEST_F(SettingsRunTest, TextInNumericSettingsIsReadNamedAndRepaired)
{
    ASSERT_TRUE(Sim.SetSetting("S0CFRQ", "abc"));
    ASSERT_TRUE(Sim.SetSetting("S0CAL0", ""));
    const std::string kept = (Folder / "kept.txt").string();
    Outcome outcome = Run(Action::Read, kept);
    EXPECT_EQ(outcome.Status, ExitStatus::ValuesLookWrong) << outcome.Err;
    for (const char* named : {"S0CFRQ looks wrong: \"abc\"", "S0CAL0 looks wrong: \"\""})
        EXPECT_NE(outcome.Err.find(named), std::string::npos) << outcome.Err;
    const TSettingsFileResult file = TSettingsFile::Read(kept);
    ASSERT_TRUE(file.Ok()) << file.Message();
    EXPECT_EQ(file.Settings.size(), 179u);

    for (const char* refused : {"S0NAM=x\nS1CAL2=abc\n", "S1CFRQ=\n"}) {
        Sim.ClearTranscript();
        outcome = Run(Action::Write, File("bad.txt", refused));
        EXPECT_EQ(outcome.Status, ExitStatus::Usage) << refused;
        EXPECT_NE(outcome.Err.find("line"), std::string::npos) << outcome.Err;
        EXPECT_NE(outcome.Err.find("holds a number"), std::string::npos) << outcome.Err;
        EXPECT_TRUE(Commands().empty()) << refused;
    }

    outcome = Run(Action::Write, File("fix.txt", "S0CFRQ=2500\nS0CAL0=1.5E-03\n"));
    EXPECT_EQ(outcome.Status, ExitStatus::Done) << outcome.Err;
    EXPECT_EQ(outcome.Out, "S0CFRQ\ttaken\nS0CAL0\ttaken\n");
    EXPECT_EQ(Sim.Setting("S0CFRQ"), "2500");
}

// Without --port and with two adapters attached, the run names both and reads neither.
TEST_F(SettingsRunTest, SeveralAdaptersWithoutPortEndWithStatus3NamingEach)
{
    FakeFtdi library;
    library.Devices = {{"FT232R USB UART", "A10K3X", 5}, {"FT231X Basic UART", "DN04ZQ", 7}};
    TAdapterLocator locator;
    locator.UseLibrary(library);
    Tsdi12d driver;
    std::ostringstream out, err;
    TProgramOptions options;
    options.Action = Action::Read;
    options.SettingsFile = (Folder / "r.txt").string();
    const int status = TSettingsRun(driver, locator, out, err, false).Execute(options);
    EXPECT_EQ(status, ExitStatus::NoAdapter);
    for (const char* expected : {"--port /dev/ttyUSB4", "A10K3X", "--port /dev/ttyUSB6", "DN04ZQ"})
        EXPECT_NE(err.str().find(expected), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(Folder / "r.txt"));
}

// The report of a write: every value the instrument holds, whole; what was written by key, with
// the old and new value and whether it was confirmed; the identity of the run.
TEST_F(SettingsRunTest, ReportOfAWriteSaysWhatWasWrittenAndWhetherConfirmed)
{
    const std::string path = ReportPath();
    Sim.SetRejectedWrite("S0NAM");
    const std::string oldFrp = Sim.Setting("S7FRP");
    const std::string oldName = Sim.Setting("S0NAM");
    const Outcome outcome = Run(Action::Write, File("w.txt", "S7FRP=2\nS0NAM=New name\n"));
    EXPECT_EQ(outcome.Status, ExitStatus::NotAsInFile) << outcome.Err;
    const std::string text = PdfText(path);
    ASSERT_FALSE(text.empty());
    for (const TSettingKey& key : TSettingKeys::All())
        EXPECT_NE(text.find(Sim.Setting(key.Key)), std::string::npos) << key.Key;
    for (const std::string& line :
         {"S7FRP +" + oldFrp + " +2 +confirmed", "S0NAM +" + oldName + " +New name +not taken",
          std::string("Port: ") + Sim.SlavePath(), std::string("Program: devconfig 0.1.0"),
          std::string("Date and time: 20[0-9-]+T[0-9:]+[+-][0-9][0-9]:[0-9][0-9]")})
        EXPECT_TRUE(std::regex_search(text, std::regex(line))) << line << " in\n" << text;
    EXPECT_NE(ChannelLines(text, "S7").second.find("confirmed"), std::string::npos);
    EXPECT_NE(ChannelLines(text, "S0").second.find("not taken"), std::string::npos);
}

// A run that ends at an unanswered read still leaves its report: what was read, the setting
// without an answer, and what was never asked for. The wire carries what it carried without.
TEST_F(SettingsRunTest, ReportOfAnUnansweredReadHoldsEachSettingsState)
{
    const std::string path = ReportPath();
    Sim.SetSilentKey("S2CAL1");
    const Outcome outcome = Run(Action::Read, (Folder / "r.txt").string(), 300);
    EXPECT_EQ(outcome.Status, ExitStatus::Unanswered);
    EXPECT_EQ(Commands().size(), static_cast<std::size_t>(TSettingKeys::IndexOf("S2CAL1") + 1));
    const std::string text = PdfText(path);
    ASSERT_FALSE(text.empty()) << outcome.Err;
    EXPECT_NE(text.find("Ended: no answer at S2CAL1"), std::string::npos) << text;
    const std::string all = "read +read +read +read +read +read +read +read";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"S1", all},
        {"S2", "read +read +read +read +no answer +never sent +never sent +never sent"},
        {"S3", "never sent +never sent +never sent +never sent +never sent +never sent"},
        {"T2", "never sent +never sent +never sent +never sent +never sent +never sent"},
    };
    for (const auto& [label, states] : rows)
        EXPECT_TRUE(std::regex_search(ChannelLines(text, label).second, std::regex(states)))
            << label << ":\n"
            << ChannelLines(text, label).first;
    EXPECT_NE(text.find(Sim.Setting("S2CAL0")), std::string::npos);
}

TEST_F(SettingsRunTest, ReportOfACompareListsTheDifferencesAndTheFile)
{
    const std::string path = ReportPath();
    const std::string file =
        File("c.txt", "S3CAL2=-9.999E-03\nS4NAM=" + Sim.Setting("S4NAM") + "\n");
    const Outcome outcome = Run(Action::Compare, file);
    EXPECT_EQ(outcome.Status, ExitStatus::NotAsInFile);
    const std::string text = PdfText(path);
    EXPECT_NE(text.find("File: " + file), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("S3CAL2 +" +
                         std::regex_replace(Sim.Setting("S3CAL2"), std::regex("[.+]"), "\\$&") +
                         " +-9\\.999E-03")))
        << text;
    EXPECT_EQ(text.find("S4NAM "), std::string::npos);
}

// A report that cannot be written is refused before anything is sent.
TEST_F(SettingsRunTest, AReportInAMissingFolderIsRefusedBeforeAnythingIsSent)
{
    ReportPath();
    Report = (Folder / "missing" / "report.pdf").string();
    const Outcome outcome = Run(Action::Read, "-");
    EXPECT_EQ(outcome.Status, ExitStatus::Usage);
    EXPECT_NE(outcome.Err.find("Cannot write the report: "), std::string::npos) << outcome.Err;
    EXPECT_NE(outcome.Err.find("Give --report a file in a folder that exists"), std::string::npos);
    EXPECT_NE(outcome.Err.find("Nothing was sent"), std::string::npos);
    EXPECT_TRUE(Commands().empty());
}
