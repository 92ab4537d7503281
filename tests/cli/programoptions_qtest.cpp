// Command-line options: parsing, and the options that answer without opening a window.
#include "cli/programoptions.h"

#include "window/textfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifdef DEVCONFIG_BINARY
#include "serial/commsport.h"
#include "sim/instrumentsim.h"

#include <csignal>
#include <sys/types.h>
#endif

#include <string>
#include <vector>

namespace {

// argv as main gets it: writable strings and a terminating null.
struct Args
{
    explicit Args(std::vector<std::string> words) : Words(std::move(words))
    {
        for (auto& w : Words)
            Pointers.push_back(w.data());
        Pointers.push_back(nullptr);
        Count = static_cast<int>(Words.size());
    }
    std::vector<std::string> Words;
    std::vector<char*> Pointers;
    int Count = 0;

    TProgramOptions Parse() { return TProgramOptions::Parse(Count, Pointers.data()); }
    QStringList Left() const
    {
        QStringList left;
        for (int i = 0; i < Count; ++i)
            left << QString::fromLocal8Bit(Pointers[static_cast<size_t>(i)]);
        return left;
    }
};

} // namespace

class ProgramOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void noOptionsSearchesForTheAdapter()
    {
        Args args({"devconfig"});
        const auto options = args.Parse();
        QVERIFY(!options.Error);
        QVERIFY(options.Port.empty());
        QVERIFY(!options.Simulate && !options.FindAdapter && !options.Help);
        QCOMPARE(args.Left(), QStringList{"devconfig"});
    }

    void portTakesItsDeviceInBothForms()
    {
        Args separate({"devconfig", "--port", "/dev/ttyUSB3"});
        QCOMPARE(separate.Parse().Port, std::string("/dev/ttyUSB3"));
        QCOMPARE(separate.Left(), QStringList{"devconfig"});
        Args joined({"devconfig", "--port=COM12"});
        QCOMPARE(joined.Parse().Port, std::string("COM12"));
    }

    void qtOptionsStayForQt()
    {
        Args args({"devconfig", "-platform", "offscreen", "--simulate", "-style", "fusion",
                   "--stylesheet=a.qss", "-reverse"});
        const auto options = args.Parse();
        QVERIFY(options.Simulate);
        QVERIFY(!options.Error);
        QCOMPARE(args.Left(), (QStringList{"devconfig", "-platform", "offscreen", "-style",
                                           "fusion", "--stylesheet=a.qss", "-reverse"}));
        QCOMPARE(args.Pointers[static_cast<size_t>(args.Count)], nullptr);
    }

    void refusedCommandLines()
    {
        Args missing({"devconfig", "--port"});
        QVERIFY(missing.Parse().Error.has_value());
        Args empty({"devconfig", "--port="});
        QVERIFY(empty.Parse().Error.has_value());
        Args both({"devconfig", "--simulate", "--port", "/dev/ttyUSB0"});
        QVERIFY(both.Parse().Error.has_value());
        const std::vector<std::vector<std::string>> refused = {
            {"devconfig", "--bogus"},
            {"devconfig", "stray"},
            {"devconfig", "-platform"},
            {"devconfig", "--read"},
            {"devconfig", "--read="},
            {"devconfig", "--read", "a", "--compare", "b"},
            {"devconfig", "--timeout", "5"},
            {"devconfig", "--read", "a", "--timeout", "0"},
            {"devconfig", "--read", "a", "--timeout", "5s"},
            {"devconfig", "--read", "a", "--timeout", "-1"},
            {"devconfig", "--log"},
            {"devconfig", "--log="},
            {"devconfig", "--read", "a", "--log", "a"},
            {"devconfig", "--all-adapters"},
            {"devconfig", "--all-adapters", "--read", "d", "--port", "/dev/ttyUSB0"},
            {"devconfig", "--all-adapters", "--simulate", "--write", "w.txt"},
            {"devconfig", "--summary", "s.csv", "--read", "a"},
            {"devconfig", "--all-adapters", "--read", "d", "--summary="},
            {"devconfig", "--report", "r.pdf"},
            {"devconfig", "--read", "a", "--report"},
            {"devconfig", "--read", "a", "--report", "-"},
            {"devconfig", "--read", "a", "--report", "a"},
            {"devconfig", "--write", "w", "--log", "l", "--report", "l"},
        };
        for (const auto& words : refused) {
            Args args(words);
            QVERIFY2(args.Parse().Error.has_value(), words[1].c_str());
        }
    }

    // One report per run; with --all-adapters a folder, which may be the --read folder.
    void reportTakesItsFile()
    {
        const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
            {{"devconfig", "--compare", "c.txt", "--report=r 1.pdf"}, "r 1.pdf"},
            {{"devconfig", "--report", "r.pdf", "--write", "w.txt"}, "r.pdf"},
            {{"devconfig", "--all-adapters", "--read", "d", "--report", "d"}, "d"},
        };
        for (const auto& [words, report] : cases) {
            Args args(words);
            const auto options = args.Parse();
            QVERIFY2(!options.Error, options.Error.value_or("").c_str());
            QCOMPARE(options.ReportFile, report);
        }
    }

    void fileActionsTakeTheirFileAndTimeout()
    {
        using Action = TProgramOptions::FileAction;
        const struct
        {
            std::vector<std::string> Words;
            Action What;
            std::string File;
            uint32_t TimeoutMs;
            std::string LogFile;
        } cases[] = {
            {{"devconfig", "--read", "-"}, Action::Read, "-", 0, ""},
            {{"devconfig", "--write=a b.txt", "--timeout", "0.25", "--log", "d.log"},
             Action::Write,
             "a b.txt",
             250,
             "d.log"},
            {{"devconfig", "--timeout=7", "--compare", "c.txt", "--simulate"},
             Action::Compare,
             "c.txt",
             7000,
             ""},
            {{"devconfig", "--log=w.log"}, Action::None, "", 0, "w.log"},
        };
        for (const auto& c : cases) {
            Args args(c.Words);
            const auto options = args.Parse();
            QVERIFY2(!options.Error, options.Error.value_or("").c_str());
            QCOMPARE(options.Action, c.What);
            QCOMPARE(options.SettingsFile, c.File);
            QCOMPARE(options.TimeoutMs, c.TimeoutMs);
            QCOMPARE(options.LogFile, c.LogFile);
        }
    }

#ifdef DEVCONFIG_BINARY
    // Without any display: what needs none answers, what needs one says so in one line.
    void withoutADisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        QTemporaryDir folder;
        const QString bad = WriteTextFile(folder, "bad.txt", "S0NAM=1\nS0NAM=2\n");
        QVERIFY(!bad.isEmpty());
        const struct
        {
            QStringList Args;
            int Status;
            const char* Says; // on standard output or error
        } cases[] = {
            {{}, 5, "--simulate needs a display too"},
            {{"--simulate"}, 5, "no display: none of DISPLAY"},
            {{"--bogus"}, 2, "Usage:"},
            {{"--help"}, 0, "Exit status:"},
            {{"--simulate", "--read", "-"}, 0, "TH2STD=1.007000E-07\n"},
            {{"--simulate", "--compare", bad}, 2, "line 2: the key S0NAM"},
            {{"--port", folder.filePath("none"), "--read", "-"}, 3, "NOT OPENED"},
        };
        for (const auto& c : cases) {
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(DEVCONFIG_BINARY, c.Args);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), c.Status);
            const QString out =
                QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
            QVERIFY2(out.contains(c.Says), qPrintable(c.Args.join(' ') + ": " + out));
        }
        // The report needs no display either: the offscreen platform is taken by itself.
        QProcess reported;
        reported.setProcessEnvironment(env);
        const QString report = folder.filePath("report.pdf");
        reported.start(DEVCONFIG_BINARY,
                       {"--simulate", "--read", folder.filePath("s.txt"), "--report", report});
        QVERIFY(reported.waitForFinished(30000));
        QVERIFY2(reported.exitCode() == 0, reported.readAllStandardError().constData());
        QProcess text;
        text.start("pdftotext", {report, "-"});
        QVERIFY(text.waitForFinished(30000));
        QVERIFY(text.readAllStandardOutput().contains("Commissioning report"));
        QProcess find;
        find.setProcessEnvironment(env);
        find.start(DEVCONFIG_BINARY, {"--find-adapter"});
        QVERIFY(find.waitForFinished(30000));
        const bool found = find.readAllStandardOutput().startsWith("Adapter found");
        QCOMPARE(find.exitCode(), found ? 0 : 3);
    }

    // The program against the simulated instrument on a pseudo-terminal it opens with --port.
    void settingsRunsThroughTheProgram()
    {
        TInstrumentSim sim;
        QTemporaryDir folder;
        const QString file = WriteTextFile(folder, "s.txt", "S7NAM=Depth \xC3\xA9\nTH1R0=3000\n");
        QVERIFY(!file.isEmpty());
        const auto run = [&](const QStringList& args) {
            QProcess program;
            program.start(DEVCONFIG_BINARY,
                          QStringList{"--port", QString::fromStdString(sim.SlavePath())} + args);
            program.waitForFinished(60000);
            return std::make_pair(program.exitCode(), program.readAllStandardOutput());
        };
        QCOMPARE(run({"--compare", file}).first, 1);
        const auto written = run({"--write", file});
        QCOMPARE(written.first, 0);
        QCOMPARE(written.second, QByteArray("S7NAM\ttaken\nTH1R0\ttaken\n"));
        QCOMPARE(sim.Setting("S7NAM"), std::string("Depth \xE9"));
        QCOMPARE(sim.Setting("TH1R0"), std::string("3000"));
        QCOMPARE(run({"--compare", file}).first, 0);
        QProcess fromInput; // "-" is standard input
        fromInput.start(DEVCONFIG_BINARY,
                        {"--port", QString::fromStdString(sim.SlavePath()), "--compare", "-"});
        fromInput.write("S7NAM=Other\n");
        fromInput.closeWriteChannel();
        QVERIFY(fromInput.waitForFinished(60000));
        QCOMPARE(fromInput.readAllStandardOutput(), QByteArray("S7NAM\tDepth \xC3\xA9\tOther\n"));
        sim.SetSilentKey("S0FRP");
        const auto silent = run({"--read", folder.filePath("r.txt"), "--timeout", "0.2"});
        QCOMPARE(silent.first, 4);
        QVERIFY(!QFile::exists(folder.filePath("r.txt")));
    }

    // A signal mid-write: the command on the line is finished, nothing more goes out, the
    // port is given back and the output says what went out unconfirmed.
    void aSignalStopsAWriteCleanly()
    {
        const struct
        {
            int Signal;
            int Status;
            const char* Name;
        } cases[] = {{SIGINT, 130, "SIGINT"}, {SIGTERM, 143, "SIGTERM"}};
        for (const auto& c : cases) {
            TInstrumentSim sim;
            // Long enough that the signal comes while the write waits for its answer; the run
            // then ends once that answer is in.
            sim.SetLateReply("S1NAM", std::chrono::seconds(5));
            QTemporaryDir folder;
            const QString file = WriteTextFile(folder, "s.txt", "S0NAM=a\nS1NAM=b\nS2NAM=c\n");
            QProcess program;
            program.start(DEVCONFIG_BINARY,
                          {"--port", QString::fromStdString(sim.SlavePath()), "--write", file});
            QVERIFY(sim.WaitForCommands(181 + 2, std::chrono::seconds(60)));
            QCOMPARE(::kill(static_cast<pid_t>(program.processId()), c.Signal), 0);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), c.Status);
            const QString err = QString::fromUtf8(program.readAllStandardError());
            QVERIFY2(err.contains(QString("Stopped by ") + c.Name + " while writing: 1 of 3") &&
                         err.contains("sent but not confirmed: S1NAM; not sent: S2NAM."),
                     qPrintable(err));
            QCOMPARE(sim.CommandCount(), size_t(181 + 2));
            QVERIFY(sim.Commands().back() == "\x02S1NAM=b\r\n");
            TCommsPort again;
            again.OpenDevice(sim.SlavePath(), 115200);
            QVERIFY2(again.HoldsDevice(), again.LastSystemError().c_str());
        }
    }

    // A dialogue log that cannot be opened ends the run before anything is sent.
    void aLogThatCannotBeOpenedSendsNothing()
    {
        TInstrumentSim sim;
        QTemporaryDir folder;
        const QString out = folder.filePath("out.txt");
        const QString settings = WriteTextFile(folder, "s.txt", "S0NAM=a\n");
        const QString port = QString::fromStdString(sim.SlavePath());
        const QStringList cases[] = {
            {"--log", "/nonexistent/dir/x.log", "--read", out, "--simulate"},
            {"--log", folder.path(), "--read", out, "--port", port},
            {"--log=" + folder.filePath("missing/x.log"), "--write", settings, "--port", port},
        };
        for (const QStringList& args : cases) {
            QProcess program;
            program.start(DEVCONFIG_BINARY, args);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 2);
            const QString err = QString::fromLocal8Bit(program.readAllStandardError());
            QVERIFY2(err.contains(": cannot open the log file ") &&
                         err.contains("Nothing was sent. Give --log a file in a folder"),
                     qPrintable(err));
            QVERIFY(!QFile::exists(out));
        }
        QCOMPARE(sim.CommandCount(), size_t(0));
    }

    void unknownUseIsRefusedWithUsage()
    {
        QProcess program;
        program.start(DEVCONFIG_BINARY, {"--port"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(QString::fromLocal8Bit(program.readAllStandardError()).contains("Usage:"));
    }
#endif
};

QTEST_GUILESS_MAIN(ProgramOptionsTest)
#include "programoptions_qtest.moc"
