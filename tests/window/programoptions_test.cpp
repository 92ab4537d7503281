// Command-line options: parsing, and the options that answer without opening a window.
#include "window/programoptions.h"

#include <QProcess>
#include <QtTest>

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
        QVERIFY(options.Error.empty());
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
        Args args({"devconfig", "-platform", "offscreen", "--simulate", "-style", "fusion"});
        const auto options = args.Parse();
        QVERIFY(options.Simulate);
        QCOMPARE(args.Left(),
                 (QStringList{"devconfig", "-platform", "offscreen", "-style", "fusion"}));
        QCOMPARE(args.Pointers[static_cast<size_t>(args.Count)], nullptr);
    }

    void refusedCommandLines()
    {
        Args missing({"devconfig", "--port"});
        QVERIFY(!missing.Parse().Error.empty());
        Args empty({"devconfig", "--port="});
        QVERIFY(!empty.Parse().Error.empty());
        Args both({"devconfig", "--simulate", "--port", "/dev/ttyUSB0"});
        QVERIFY(!both.Parse().Error.empty());
    }

#ifdef DEVCONFIG_BINARY
    void helpAndFindAdapterAnswerWithoutAWindow()
    {
        // No display and no platform plugin named: these must not need either.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        for (const char* option : {"--help", "--find-adapter"}) {
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(DEVCONFIG_BINARY, {option});
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
            if (QString(option) == "--help")
                QVERIFY(out.contains("--simulate"));
            else
                QVERIFY(out.startsWith("No adapter found") || out.startsWith("Adapter found"));
        }
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
#include "programoptions_test.moc"
