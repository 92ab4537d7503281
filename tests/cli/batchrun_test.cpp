// --all-adapters against simulated instruments behind a fake adapter list: each adapter's
// device is a pseudo-terminal, and a fault on one instrument ends only that one's run.
#include "cli/batchfilenames.h"
#include "cli/batchrun.h"
#include "cli/exitstatus.h"
#include "driver/settingkeys.h"
#include "sim/instrumentsim.h"
#include "tests/report/pdftext.h"
#include "tests/serial/fakeftdi.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Action = TProgramOptions::FileAction;

constexpr int Instruments = 3;
const char* const Serials[Instruments] = {"FT4XK2A1", "FT4XK2B2", ""};

class BatchRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = fs::temp_directory_path() /
                 ("batchrun_test." + std::to_string(getpid()) + "." +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        for (int i = 0; i < Instruments; ++i) {
            Sims.push_back(std::make_unique<TInstrumentSim>());
            Library.Devices.push_back({"FT232R USB UART", Serials[i], i + 1});
        }
    }
    void TearDown() override { fs::remove_all(Folder); }

    // The list the search makes of the fake adapters, each leading to its simulator.
    std::vector<TAdapterInfo> Adapters()
    {
        std::vector<TAdapterInfo> adapters = TAdapterList::Find(Library, "FT");
        for (std::size_t i = 0; i < adapters.size(); ++i)
            adapters[i].DevicePath = Sims[i]->SlavePath();
        return adapters;
    }

    int Run(Action action, const std::string& file, const std::string& summary = {})
    {
        TProgramOptions options;
        options.AllAdapters = true;
        options.Action = action;
        options.SettingsFile = file;
        options.SummaryFile = summary;
        options.ReportFile = Report;
        options.TimeoutMs = 300;
        Out.str({});
        Err.str({});
        Batch = std::make_unique<TBatchRun>(Out, Err, false);
        return Batch->Execute(options, Adapters());
    }

    std::string WriteFile(const std::string& text, const std::string& name = "w.txt")
    {
        const fs::path path = Folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    fs::path Folder;
    FakeFtdi Library;
    std::vector<std::unique_ptr<TInstrumentSim>> Sims;
    std::ostringstream Out, Err;
    std::unique_ptr<TBatchRun> Batch;
    std::string Report; // --report DIR of the next Run
};

const std::string ThreeSettings = "S0NAM=Tank 1\nS1NAM=Tank 2\nTH0T0=26.5\n";

TEST_F(BatchRunTest, ThreeInstrumentsAreWrittenAndConfirmed)
{
    const int status = Run(Action::Write, WriteFile(ThreeSettings));
    EXPECT_EQ(status, ExitStatus::Done) << Err.str();
    const auto& rows = Batch->Rows();
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < Instruments; ++i) {
        EXPECT_EQ(rows[i].Serial, Serials[i]);
        EXPECT_EQ(rows[i].Port, "/dev/ttyUSB" + std::to_string(i));
        EXPECT_EQ(rows[i].Result, "confirmed");
        EXPECT_EQ(rows[i].Counts.Written, 3);
        EXPECT_EQ(rows[i].Counts.Confirmed, 3);
        EXPECT_EQ(Sims[i]->Setting("S1NAM"), "Tank 2");
        EXPECT_EQ(Sims[i]->CommandCount(), 181u + 6u);
    }
    // Each run's lines behind its adapter's name; the one without a serial number by its port.
    EXPECT_NE(Out.str().find("FT4XK2B2\tTH0T0\ttaken\n"), std::string::npos) << Out.str();
    EXPECT_NE(Out.str().find("/dev/ttyUSB2\tS0NAM\ttaken\n"), std::string::npos) << Out.str();
    EXPECT_NE(Out.str().find("FT4XK2A1  /dev/ttyUSB0  confirmed"), std::string::npos);
}

// A fault on the middle instrument ends its run alone, with its own status; the batch ends
// with the largest status.
TEST_F(BatchRunTest, OneFailingInstrumentHoldsBackNoOther)
{
    const struct
    {
        const char* Fault;
        std::function<void(TInstrumentSim&)> Bring;
        int Status;
        const char* Result;
        const char* Says;
    } cases[] = {
        {"switched off", [](TInstrumentSim& s) { s.SetSwitchedOff(true); }, ExitStatus::Unanswered,
         "no answer", "FT4XK2B2: The instrument did not answer S0NAM"},
        {"talking", [](TInstrumentSim& s) { s.SetTalking(std::chrono::milliseconds(20)); },
         ExitStatus::NotInstrument, "not the instrument", "NOT THE INSTRUMENT"},
        {"unplugged mid-write", [](TInstrumentSim& s) { s.HangUpAfterCommands(181 + 2); },
         ExitStatus::NoAdapter, "unplugged",
         "FT4XK2B2: Unplugged while writing: 1 of 3 settings written and answered (S0NAM); sent "
         "but not confirmed: S1NAM; not sent: TH0T0."},
        {"overlong reply", [](TInstrumentSim& s) { s.SetOverlongReply("S3NAM", 300); },
         ExitStatus::Unanswered, "reply too long", "reply to S3NAM was 301 characters"},
    };
    for (const auto& c : cases) {
        for (auto& sim : Sims) // afresh: each holds its factory settings again
            sim = std::make_unique<TInstrumentSim>();
        c.Bring(*Sims[1]);
        const int status = Run(Action::Write, WriteFile(ThreeSettings));
        EXPECT_EQ(status, c.Status) << c.Fault;
        const auto& rows = Batch->Rows();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1].Status, c.Status) << c.Fault;
        EXPECT_EQ(rows[1].Result, c.Result) << c.Fault;
        for (const int other : {0, 2}) {
            EXPECT_EQ(rows[other].Result, "confirmed") << c.Fault << Err.str();
            EXPECT_EQ(rows[other].Counts.Confirmed, 3) << c.Fault;
        }
        EXPECT_NE(Err.str().find(c.Says), std::string::npos) << c.Fault << "\n" << Err.str();
    }
    EXPECT_EQ(Batch->Rows()[1].Counts.Unanswered, 1);
}

TEST_F(BatchRunTest, AnUnplugCountsWhatWasWrittenAndWhatWentUnanswered)
{
    Sims[0]->HangUpAfterCommands(181 + 2);
    EXPECT_EQ(Run(Action::Write, WriteFile(ThreeSettings)), ExitStatus::NoAdapter);
    const TSettingsRun::Tally& counts = Batch->Rows()[0].Counts;
    EXPECT_EQ(counts.Written, 1);
    EXPECT_EQ(counts.Confirmed, 0);
    EXPECT_EQ(counts.Unanswered, 1);
    EXPECT_EQ(Batch->Rows()[2].Result, "confirmed");
}

// Ctrl+C while every instrument waits for a reply: each takes its answer, sends nothing more
// and says so; the table says where each stopped.
TEST_F(BatchRunTest, SigintStopsEveryRunAfterItsCommandOnTheLine)
{
    const std::size_t late = static_cast<std::size_t>(TSettingKeys::IndexOf("S5NAM"));
    for (auto& sim : Sims)
        sim->SetLateReply("S5NAM", std::chrono::milliseconds(150));
    std::thread interrupt([&] {
        for (auto& sim : Sims)
            ASSERT_TRUE(sim->WaitForCommands(late + 1, std::chrono::seconds(30)));
        std::raise(SIGINT);
    });
    const int status = Run(Action::Write, WriteFile(ThreeSettings));
    interrupt.join();
    EXPECT_EQ(status, ExitStatus::Interrupted);
    for (int i = 0; i < Instruments; ++i) {
        EXPECT_EQ(Batch->Rows()[i].Result, "stopped by SIGINT");
        EXPECT_EQ(Sims[i]->CommandCount(), late + 1) << i;
    }
    EXPECT_NE(Err.str().find("FT4XK2B2: Stopped by SIGINT while reading the settings"),
              std::string::npos)
        << Err.str();
}

TEST_F(BatchRunTest, ReadDirWritesOneFilePerInstrumentAndTheSummary)
{
    Sims[0]->SetSetting("S2NAM", "first");
    const fs::path summary = Folder / "batch.csv";
    EXPECT_EQ(Run(Action::Read, Folder.string(), summary.string()), ExitStatus::Done) << Err.str();
    for (const char* name : {"FT4XK2A1.txt", "FT4XK2B2.txt", "ttyUSB2.txt"}) {
        const TSettingsFileResult file = TSettingsFile::Read((Folder / name).string());
        ASSERT_TRUE(file.Ok()) << name << file.Message();
        EXPECT_EQ(file.Settings.size(), 181u);
    }
    EXPECT_EQ(TSettingsFile::Read((Folder / "FT4XK2A1.txt").string()).Settings[2 * 9].Key,
              TSettingKeys::All()[2 * 9].Key);
    std::ifstream csv(summary);
    std::string header, first;
    std::getline(csv, header);
    std::getline(csv, first);
    EXPECT_EQ(header, TBatchTable::CsvHeader);
    EXPECT_EQ(first.rfind("FT4XK2A1,/dev/ttyUSB0,read,0,0,0,0,0,", 0), 0u) << first;
}

TEST_F(BatchRunTest, NothingIsSentWhenATargetIsRefused)
{
    const struct
    {
        Action What;
        std::string File;
        std::string Summary;
        const char* Says;
    } cases[] = {
        {Action::Read, (Folder / "none").string(), "", "is not a folder"},
        {Action::Read, "-", "", "is not a folder"},
        {Action::Write, WriteFile("S0NAM=1\nS99=2\n"), "", "unknown key"},
        {Action::Compare, WriteFile("S0NAM=1\n", "c.txt"), Folder.string(),
         "Cannot write the summary"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.What, c.File, c.Summary), ExitStatus::Usage) << c.Says;
        EXPECT_NE(Err.str().find(c.Says), std::string::npos) << Err.str();
    }
    for (auto& sim : Sims)
        EXPECT_EQ(sim->CommandCount(), 0u);
}

// --report DIR: one report per instrument, named as --read DIR names its files, each with its
// own adapter and its own ending, written at the same time.
TEST_F(BatchRunTest, ReportDirHoldsOneReportPerInstrument)
{
    NeedFonts();
    Report = Folder.string();
    Sims[1]->SetSilentKey("S0NAM");
    EXPECT_EQ(Run(Action::Write, WriteFile(ThreeSettings)), ExitStatus::Unanswered) << Err.str();
    const std::vector<std::pair<const char*, const char*>> reports = {
        {"FT4XK2A1.pdf", "S0NAM +Pressure 1 +Tank 1 +confirmed"},
        {"FT4XK2B2.pdf", "Ended: no answer at S0NAM"},
        {"ttyUSB2.pdf", "Serial number: none"},
    };
    for (const auto& [name, says] : reports) {
        const std::string text = PdfText((Folder / name).string());
        EXPECT_TRUE(std::regex_search(text, std::regex(says))) << name << ":\n" << text;
    }
    EXPECT_NE(PdfText((Folder / "FT4XK2B2.pdf").string()).find("Serial number: FT4XK2B2"),
              std::string::npos);
    Report = (Folder / "FT4XK2A1.pdf").string(); // a file, not a folder: refused
    for (auto& sim : Sims)
        sim->ClearTranscript();
    EXPECT_EQ(Run(Action::Read, Folder.string()), ExitStatus::Usage);
    EXPECT_NE(Err.str().find("Cannot write the reports"), std::string::npos) << Err.str();
    for (auto& sim : Sims)
        EXPECT_EQ(sim->CommandCount(), 0u);
}

TEST(BatchFileNamesTest, NamesAreSafeAndNeverMeet)
{
    const auto adapter = [](const char* serial, const char* port) {
        TAdapterInfo info;
        info.SerialNumber = serial;
        info.PortOption = port;
        return info;
    };
    const std::vector<TAdapterInfo> adapters = {
        adapter("A10K3X", "/dev/ttyUSB0"),
        adapter("", "/dev/ttyUSB1"),
        adapter("../x\x1B", "/dev/ttyUSB2"),
        adapter("con", "COM3"),
        adapter("", "COM4"),
        adapter("DUP", "/dev/ttyUSB5"),
        adapter("dup", "/dev/ttyUSB6"),
        adapter("DUP_ttyUSB5", "/dev/ttyUSB7"),
    };
    const std::vector<std::string> expected = {
        "A10K3X.txt", "ttyUSB1.txt",     "___x_.txt",       "con_.txt",
        "COM4_.txt",  "DUP_ttyUSB5.txt", "dup_ttyUSB6.txt", "DUP_ttyUSB5_2.txt",
    };
    const std::vector<std::string> names = TBatchFileNames::For(adapters, "out");
    ASSERT_EQ(names.size(), expected.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], (fs::path("out") / expected[i]).string());
}

TEST(BatchTableTest, StatusIsTheLargestAndTheCsvKeepsItsColumns)
{
    const auto row = [](int status) {
        TBatchRow r;
        r.Status = status;
        return r;
    };
    const struct
    {
        std::vector<int> Statuses;
        int Batch;
    } cases[] = {
        {{0, 0, 0}, 0}, {{0, 1, 0}, 1}, {{3, 4, 1}, 4}, {{4, 6, 3}, 6}, {{6, 130, 0}, 130},
    };
    for (const auto& c : cases) {
        std::vector<TBatchRow> rows;
        for (const int status : c.Statuses)
            rows.push_back(row(status));
        EXPECT_EQ(TBatchTable::StatusOf(rows), c.Batch);
    }
    TBatchRow odd = row(4);
    odd.Serial = "A,\"B\"\x1B";
    odd.Port = "COM5";
    odd.Result = "no answer";
    odd.Counts = {2, 1, 0, 1};
    odd.Seconds = 1.25;
    EXPECT_EQ(TBatchTable::Csv({odd}), std::string(TBatchTable::CsvHeader) +
                                           "\n\"A,\"\"B\"\"\\x1B\",COM5,no answer,4,2,1,0,1,1.2\n");
}

} // namespace
