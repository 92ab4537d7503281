// The real window with the real driver on Windows, over a COM port that Wine maps to the
// simulated instrument running natively; the port is named as with --port COMn. The
// instrument never answers one setting and refuses writes to another (the run names both).
#include "../../driver/testrecords.h"
#include "../../window/messageboxwatch.h"
#include "../../window/programreset.h"
#include "../testcomport.h"
#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "session/programlog.h"
#include "sim/instrumentsettings.h"
#include "window/mainform.h"
#include "window/settingsmenu.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr int WaitMs = 20000;
constexpr uint32_t TestReplyLimitMs = 1500; // the silent setting costs this much per read

std::string FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Cell (column, row) of the key's setting, as Connect binds them.
struct Cell
{
    int32_t Grid = GridSensor;
    int Col = 0;
    int Row = 0;
};

// "S<channel><field>" of the sensor table, "TH<channel><field>" of the thermistor table.
Cell CellOf(const std::string& key)
{
    const bool thermistor = key.rfind("TH", 0) == 0;
    const size_t digits = thermistor ? 2 : 1;
    size_t end = digits;
    while (end < key.size() && std::isdigit(static_cast<unsigned char>(key[end])))
        ++end;
    const int channel = std::stoi(key.substr(digits, end - digits));
    const std::string field = key.substr(end);
    Cell cell;
    cell.Grid = thermistor ? GridThermistor : GridSensor;
    cell.Row = channel + 1;
    if (thermistor) {
        const auto& fields = TInstrumentSettings::ThermistorFields;
        for (size_t i = 0; i < fields.size(); ++i)
            if (field == fields[i])
                cell.Col = static_cast<int>(i) + 1;
    } else {
        const auto& fields = TInstrumentSettings::SensorFields;
        for (size_t i = 0; i < fields.size(); ++i)
            if (field == fields[i])
                cell.Col = static_cast<int>(i) + 1;
    }
    return cell;
}

// Whether the process shows a top-level window yet.
bool ShowsAWindow(qint64 processId)
{
    struct Search
    {
        DWORD ProcessId;
        bool Found;
    } search{static_cast<DWORD>(processId), false};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            search->Found = owner == search->ProcessId && IsWindowVisible(window);
            return !search->Found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace

class TestComPortWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TMainWindow> Window;
    TInstrumentSettings Factory;
    std::string SilentKey = FromEnvironment("DEVCONFIG_TEST_SILENT_KEY");
    std::string RefusingKey = FromEnvironment("DEVCONFIG_TEST_REFUSING_KEY");
    // Settings the tests below write; the first read finds the others at their factory values.
    const std::set<std::string> Written{"S2NAM", "S3NAM", "TH0R0", SilentKey, RefusingKey};

    QTableWidget* Grid(int32_t grid) const
    {
        return Window->findChild<QTableWidget*>(grid == GridSensor ? "SensorSG" : "ThermistorSG");
    }
    QPushButton* Button(const char* name) const { return Window->findChild<QPushButton*>(name); }
    QString Status() const { return Window->findChild<QStatusBar*>()->currentMessage(); }
    std::string Text(const Cell& cell) const
    {
        return Window->GetCellText(cell.Grid, cell.Col, cell.Row);
    }
    TCellMark Mark(const Cell& cell) const
    {
        return Window->Cells().Marks().MarkOf(SlotOf(cell.Grid, cell.Col, cell.Row));
    }
    bool Settled() const
    {
        return sdi12d.Idle() && Window->Cells().CycleState == TCycleState::Idle &&
               PendingSaves == 0 && Button("ConnectBtn")->isEnabled() &&
               Grid(GridSensor)->isEnabled();
    }

    bool ConnectAndWait()
    {
        Button("ConnectBtn")->click();
        return QTest::qWaitFor([this] { return Settled(); }, WaitMs);
    }

    // The user's way: a click on the cell, keys, Return, then Save.
    void TypeAndSave(const Cell& cell, const QString& text)
    {
        Window->findChild<QTabWidget*>()->setCurrentIndex(cell.Grid == GridSensor ? 0 : 1);
        QTableWidget* grid = Grid(cell.Grid);
        const auto click = [grid](int row, int col) {
            const QModelIndex index = grid->model()->index(row - 1, col - 1);
            grid->scrollTo(index);
            const QRect rect = grid->visualRect(index);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
        };
        click(cell.Row, cell.Col);
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), grid, WaitMs);
        Button("SaveBtn")->click();
    }

private slots:
    void initTestCase()
    {
        if (WindowComPort() == 0)
            QSKIP("DEVCONFIG_TEST_COM_WINDOW names no COM port mapped to the instrument");
        QVERIFY(!SilentKey.empty() && !RefusingKey.empty());
        adapterLocator.UseDevice("COM" + std::to_string(WindowComPort()));
        StartProgramLog(); // as the program makes it, before its window
    }

    void init()
    {
        ResetProgramWideObjects(TestReplyLimitMs);
        Window = std::make_unique<TMainWindow>();
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
        QVERIFY(QTest::qWaitFor([this] { return Grid(GridSensor)->isEnabled(); }, WaitMs));
    }

    void cleanup()
    {
        QVERIFY(QTest::qWaitFor([] { return sdi12d.Idle(); }, 4 * WaitMs));
        Window.reset();
        sdi12d.ClosePort();
    }

    void connectReadsEverySetting()
    {
        QVERIFY(ConnectAndWait());
        QCOMPARE(Status(), QString("Device: COM %1 OK").arg(WindowComPort()));
        int shown = 0;
        for (const std::string& key : TInstrumentSettings::Keys()) {
            const Cell cell = CellOf(key);
            if (key == SilentKey) {
                QCOMPARE(Text(cell), std::string()); // never answered
            } else if (Written.count(key) == 0) {
                QCOMPARE(Text(cell), Factory.Value(key));
                ++shown;
            }
        }
        QCOMPARE(shown, int(TInstrumentSettings::KeyCount - Written.size()));
    }

    // The written value reaches the instrument: a second Connect reads it again.
    void editIsWrittenAndReadBack()
    {
        QVERIFY(ConnectAndWait());
        const Cell cell = CellOf("S2NAM");
        const QString value = QString("Wine %1").arg(QDateTime::currentMSecsSinceEpoch() % 100000);
        TypeAndSave(cell, value);
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Mark(cell) == TCellMark::None, WaitMs);
        QCOMPARE(Text(cell), value.toStdString());
        QVERIFY(ConnectAndWait());
        QCOMPARE(Text(cell), value.toStdString());
    }

    void refusedWriteShowsTheInstrumentsValue()
    {
        QVERIFY(ConnectAndWait());
        const Cell cell = CellOf(RefusingKey);
        const std::string before = Text(cell);
        TypeAndSave(cell, "9.75");
        // Answered, but the instrument kept its value: shown, and marked as not taken.
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Text(cell) == before, WaitMs);
        QCOMPARE(Mark(cell), TCellMark::NotTaken);
    }

    void unansweredWriteStaysMarked()
    {
        QVERIFY(ConnectAndWait());
        const Cell cell = CellOf(SilentKey);
        TypeAndSave(cell, "1.5");
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        QCOMPARE(Text(cell), std::string("1.5"));
        QCOMPARE(Mark(cell), TCellMark::Unconfirmed);
    }

    // A compare with a file named by a Windows path: the two differing cells marked, nothing
    // written until their file values are taken and saved, and then the instrument holds them.
    void compareWithAFileAndTakeItsValues()
    {
        QVERIFY(ConnectAndWait());
        const qint64 stamp = QDateTime::currentMSecsSinceEpoch() % 100000;
        const std::string name = "Wine " + std::to_string(stamp);
        const std::string r0 = std::to_string(1000 + stamp % 1000) + ".5";
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(dir.filePath("PLANT-A.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            ("S0NAM=" + Factory.Value("S0NAM") + "\r\nS3NAM=" + name + "\r\nTH0R0=" + r0 + "\r\n")
                .c_str());
        file.close();
        QCOMPARE(Window->SettingsMenu()->Compare(path), 2);
        QCOMPARE(Status(), QString("2 settings differ from PLANT-A.txt"));
        QCOMPARE(Mark(CellOf("S3NAM")), TCellMark::DiffersFromFile);
        QCOMPARE(Mark(CellOf("TH0R0")), TCellMark::DiffersFromFile);
        // The window's report, with the compare's differences, as a whole PDF at a Windows path.
        const QString report = QDir::toNativeSeparators(dir.filePath("report.pdf"));
        BoxSeen seen;
        CloseBoxLater(seen);
        QVERIFY(Window->SettingsMenu()->SaveReport(report));
        QFile pdf(report);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY2(bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF"),
                 bytes.left(40).constData());
        QCOMPARE(Window->SettingsMenu()->TakeFileValues(), 2);
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Mark(CellOf("TH0R0")) == TCellMark::None, WaitMs);
        QVERIFY(ConnectAndWait());
        QCOMPARE(Text(CellOf("S3NAM")), name);
        QCOMPARE(Text(CellOf("TH0R0")), r0);
    }

    void busyGuardRefusesConnectWhileACommitWaits()
    {
        QVERIFY(ConnectAndWait());
        const QString status = Status();
        Button("SaveBtn")->click();
        BoxSeen seen;
        CloseBoxLater(seen);
        Button("ConnectBtn")->click(); // before any tick takes the commit up
        QCOMPARE(seen.Count, 1);
        QCOMPARE(seen.Text, QString(BusyText));
        QCOMPARE(seen.Title, QString(BusyCaption));
        QVERIFY(sdi12d.HoldsDevice());
        QCOMPARE(Status(), status);
    }

    // Without the vendor's FTD2XX.DLL (as under Wine) the search finds no adapter.
    void withoutTheVendorDllConnectFindsNoAdapter()
    {
        const HMODULE vendor = LoadLibraryA("FTD2XX.DLL");
        if (vendor) {
            FreeLibrary(vendor);
            QSKIP("FTD2XX.DLL is installed here");
        }
        adapterLocator.UseDevice("");
        Button("ConnectBtn")->click();
        adapterLocator.UseDevice("COM" + std::to_string(WindowComPort()));
        QCOMPARE(Status(), QString(NotIdentifiedText));
        QVERIFY(!sdi12d.HoldsDevice());
        QVERIFY(Button("ConnectBtn")->isEnabled());
    }

    // The window's teardown stops the comms thread at once, in the middle of the read.
    void closeDuringAnExchange()
    {
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!sdi12d.Idle(), WaitMs);
        QElapsedTimer closing;
        closing.start();
        QVERIFY(Window->close());
        Window.reset();
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
        QVERIFY(!sdi12d.Idle()); // left where it was: nothing ticks it now
        sdi12d.ForgetExchange(); // as a fresh program's driver is
    }

    // The dialogue log from the window: the read's commands with their replies, and its end
    // (the one silent setting is forgiven, so the read completes).
    void dialogueLogFromTheWindow()
    {
        QVERIFY(ConnectAndWait());
        QTemporaryDir dir;
        const QString path = dir.filePath("dialogue.log");
        BoxSeen seen;
        CloseBoxLater(seen);
        QVERIFY(Window->SettingsMenu()->SaveLog(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray log = file.readAll();
        QVERIFY2(log.contains(" > S0NAM?\n"), log.left(400));
        QVERIFY2(log.contains(QByteArray(" > ") + SilentKey.c_str() + "?\n"), log.left(400));
        QVERIFY2(log.contains("! end of exchange: completed"), log.right(400));
    }

    // A --read file run that ends at the silent setting, with `option` naming a file of its
    // own, and what the run wrote there.
    static void FileRunWrites(const char* option, const char* name, QByteArray& written)
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(name));
        QProcess program;
        program.start(QString::fromLatin1(DEVCONFIG_EXE),
                      {"--port", QString("COM%1").arg(WindowComPort()), "--read",
                       dir.filePath("out.txt"), "--timeout", "1", option, path});
        QVERIFY(program.waitForFinished(4 * WaitMs));
        QCOMPARE(program.exitCode(), 4); // the silent setting
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), program.readAllStandardError().constData());
        written = file.readAll();
    }

    // The dialogue log of a file run: every command and its reply up to the silent setting,
    // where the run ends.
    void dialogueLogFromAFileRun()
    {
        QByteArray text;
        FileRunWrites("--log", "run.log", text);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(text.contains(" ! connect: Device: COM"), text.left(400));
        QVERIFY2(text.contains(" > S0NAM?"), text.left(400));
        QVERIFY2(text.contains(QByteArray("! end of exchange: no answer at ") + SilentKey.c_str()),
                 text.right(400));
    }

    // --report from a file run on Windows: the program makes its PDF with the windows
    // platform and no window, also when the run ends at the silent setting.
    void reportFromAFileRun()
    {
        QByteArray pdf;
        FileRunWrites("--report", "report.pdf", pdf);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(pdf.startsWith("%PDF-"), pdf.left(40).constData());
        QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    }

    // The program itself, asked to close as Windows asks a program (a close message to its
    // window), ends with its exit code.
    void programEndsWith99999()
    {
        QProcess program;
        program.start(QString::fromLatin1(DEVCONFIG_EXE),
                      {"--port", QString("COM%1").arg(WindowComPort())});
        QVERIFY(program.waitForStarted(WaitMs));
        // A close message only reaches a window that is there: on a busy machine the program
        // may need longer than any fixed wait to show it.
        QVERIFY(QTest::qWaitFor([&program] { return ShowsAWindow(program.processId()); }, WaitMs));
        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), TApplication::ExitCode);
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestComPortWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "comportwindow_test.moc"
