// The way a Windows user connects: no option, so Connect asks FTD2XX.DLL for the adapter.
// The stand-in library beside this test and the program lists the devices each test sets;
// its adapter's COM port is mapped to a simulated instrument.
#include "../../window/programreset.h"
#include "../ftdiregistry.h"
#include "../testcomport.h"
#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "driver/settingkeys.h"
#include "serial/adapterlocator.h"
#include "sim/instrumentsettings.h"
#include "window/mainform.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int WaitMs = 20000;

void ListDevices(const QString& devices)
{
    SetEnvironmentVariableA("FTD2XX_FIXTURE_DEVICES", devices.toLatin1().constData());
}

// "description|serial number|COM number" of an adapter on the instrument's port.
QString Adapter(const char* description, const char* serial, int port = AdapterComPort())
{
    return QString("%1|%2|%3").arg(description, serial).arg(port);
}

} // namespace

class TestAdapterSearch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TMainWindow> Window;

    QPushButton* ConnectBtn() const { return Window->findChild<QPushButton*>("ConnectBtn"); }
    QStatusBar* StatusBar() const { return Window->findChild<QStatusBar*>(); }
    bool Settled() const
    {
        return sdi12d.Idle() && Window->Cells().CycleState == TCycleState::Idle &&
               ConnectBtn()->isEnabled() &&
               Window->findChild<QTableWidget*>("SensorSG")->isEnabled();
    }
    // Once the chooser is up (windows are slow to appear under Wine), lets `answer` pick in
    // its list and presses Enter there.
    static void AnswerChooser(std::function<void(QListWidget*)> answer)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, answer] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* list = dialog ? dialog->findChild<QListWidget*>() : nullptr;
            if (list == nullptr)
                return;
            poll->deleteLater();
            poll->stop();
            answer(list);
            QTest::keyClick(list, Qt::Key_Return);
        });
        poll->start(100);
    }
    QString OkStatus() const { return QString("Device: COM %1 OK").arg(AdapterComPort()); }

private slots:
    // One window for all: Connect starts afresh each time, and windows are slow under Wine.
    void initTestCase()
    {
        if (AdapterComPort() == 0)
            QSKIP("DEVCONFIG_TEST_COM_ADAPTER names no COM port mapped to the instrument");
        adapterLocator.UseDevice(""); // no --port: the search decides
        ResetProgramWideObjects(2000);
        Window = std::make_unique<TMainWindow>();
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }

    void cleanup()
    {
        QVERIFY(QTest::qWaitFor([this] { return !Window || Settled(); }, 4 * WaitMs));
        sdi12d.ClosePort();
        ListDevices({});
    }

    void cleanupTestCase() { Window.reset(); }

    void connectWithNoOptionReadsEverySetting()
    {
        ListDevices(Adapter("FT232R USB UART", "A10K1ABC"));
        ConnectBtn()->click();
        QCOMPARE(StatusBar()->currentMessage(), OkStatus());
        QVERIFY2(StatusBar()->toolTip().contains("A10K1ABC"), qPrintable(StatusBar()->toolTip()));
        QVERIFY(QTest::qWaitFor([this] { return Settled(); }, WaitMs));
        const TInstrumentSettings factory;
        for (const TSettingKey& setting : TSettingKeys::All())
            QCOMPARE(Window->GetCellText(setting.GridId, setting.Col, setting.Row),
                     factory.Value(setting.Key));
    }

    // The chooser offers the adapters whose description holds "FT", the last selected;
    // choosing the other opens that one, Enter on the offer opens the last.
    void severalAdaptersAreOfferedAndTheChosenOneIsOpened()
    {
        ListDevices(Adapter("FT232R USB UART", "A1", 2) + ";" + Adapter("FT230X Basic UART", "B2") +
                    ";" + Adapter("USB Serial Port", "C3", 2));
        int offered = 0;
        int selected = -1;
        AnswerChooser([&](QListWidget* list) {
            offered = list->count();
            selected = list->currentRow();
            list->setCurrentRow(0);
        });
        ConnectBtn()->click();
        QCOMPARE(offered, 2);
        QCOMPARE(selected, 1);
        QVERIFY2(StatusBar()->currentMessage().startsWith("Device: COM 2 "),
                 qPrintable(StatusBar()->currentMessage()));
        QVERIFY(StatusBar()->toolTip().contains("A1"));

        AnswerChooser([](QListWidget* list) { list->setCurrentRow(1); });
        ConnectBtn()->click();
        QCOMPARE(StatusBar()->currentMessage(), OkStatus());
        QVERIFY(StatusBar()->toolTip().contains("B2"));
        QVERIFY(QTest::qWaitFor([this] { return Settled(); }, WaitMs));
    }

    // A second Connect lets the port go before it looks the adapters up: the library cannot
    // open a device whose COM port is held. With one adapter it opens that one again; with two
    // it still offers both.
    void aSecondConnectFindsTheAdapterItHolds()
    {
        ListDevices(Adapter("FT232R USB UART", "A1"));
        for (int connect = 0; connect < 2; ++connect) {
            ConnectBtn()->click();
            QCOMPARE(StatusBar()->currentMessage(), OkStatus());
            QVERIFY(QTest::qWaitFor([this] { return Settled(); }, WaitMs));
        }
        ListDevices(Adapter("FT232R USB UART", "A1") + ";" + Adapter("FT230X Basic UART", "B2", 2));
        for (int connect = 0; connect < 2; ++connect) {
            int offered = 0;
            AnswerChooser([&](QListWidget* list) {
                offered = list->count();
                list->setCurrentRow(0);
            });
            ConnectBtn()->click();
            QCOMPARE(offered, 2);
            QCOMPARE(StatusBar()->currentMessage(), OkStatus());
            QVERIFY(StatusBar()->toolTip().contains("A1"));
            QVERIFY(QTest::qWaitFor([this] { return Settled(); }, WaitMs));
        }
    }

    void noUsableAdapterIsNotIdentified_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::newRow("none") << QString();
        QTest::newRow("no FT") << Adapter("USB Serial Port", "A1");
        QTest::newRow("open fails") << Adapter("FT232R USB UART", "A1") + "|open";
        QTest::newRow("COM -1") << Adapter("FT232R USB UART", "A1") + ";" +
                                       Adapter("FT232R USB UART", "B2", -1);
    }
    void noUsableAdapterIsNotIdentified()
    {
        QFETCH(QString, devices);
        ListDevices(devices);
        ConnectBtn()->click();
        QCOMPARE(StatusBar()->currentMessage(), QString(NotIdentifiedText));
        QVERIFY2(StatusBar()->toolTip().startsWith("No adapter found"),
                 qPrintable(StatusBar()->toolTip()));
        QVERIFY(!sdi12d.HoldsDevice());
        QVERIFY(ConnectBtn()->isEnabled());
    }

    // The program beside the stand-in reports what Connect would open.
    void findAdapterPrintsThePort()
    {
        ListDevices(Adapter("FT232R USB UART", "A10K1ABC"));
        QProcess program;
        program.start(QString::fromLatin1(DEVCONFIG_EXE), {"--find-adapter"});
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitCode(), 0);
        const QString said = QString::fromLatin1(program.readAllStandardOutput()).trimmed();
        QVERIFY2(said.startsWith(QString("Adapter found: port %1, device COM%1:, \"FT232R USB "
                                         "UART\", serial number A10K1ABC")
                                     .arg(AdapterComPort())),
                 qPrintable(said));
    }

    // The adapter's timer in the prefix's registry: above 2 ms the tooltip and --find-adapter
    // tell the user, with the full read it gives and where to set it; at 2 ms neither does.
    void aLongLatencyTimerIsTold_data()
    {
        QTest::addColumn<int>("timer");
        QTest::addColumn<bool>("told");
        QTest::newRow("16 ms") << 16 << true;
        QTest::newRow("2 ms") << 2 << false;
    }
    void aLongLatencyTimerIsTold()
    {
        QFETCH(int, timer);
        QFETCH(bool, told);
        const FtdiRegistryEntry entry("A10K1ABC", AdapterComPort(), timer);
        QVERIFY(entry.Written());
        const QString advice = "latency timer 16 ms: a full read takes about 3 s; set 1 ms "
                               "under Port Settings > Advanced in Device Manager";
        ListDevices(Adapter("FT232R USB UART", "A10K1ABC"));
        ConnectBtn()->click();
        QCOMPARE(StatusBar()->currentMessage(), OkStatus());
        const QString tip = StatusBar()->toolTip();
        QVERIFY2(tip.startsWith("Adapter: ") && tip.contains("latency timer") == told,
                 qPrintable(tip));
        if (told)
            QVERIFY2(tip.endsWith("\n" + advice), qPrintable(tip));
        QVERIFY(QTest::qWaitFor([this] { return Settled(); }, WaitMs));

        QProcess program;
        program.start(QString::fromLatin1(DEVCONFIG_EXE), {"--find-adapter"});
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitCode(), 0);
        const QStringList said =
            QString::fromLatin1(program.readAllStandardOutput()).trimmed().split('\n');
        QCOMPARE(said.size(), told ? 2 : 1);
        if (told)
            QCOMPARE(said[1].trimmed(), advice);
    }

    // --all-adapters reads every listed adapter's instrument at once into its own file; an
    // adapter whose port is no terminal ends alone with status 3, and the table says which.
    void allAdaptersReadEachIntoItsFile()
    {
        if (TestComPort() == 0 || NonTerminalComPort() == 0)
            QSKIP("DEVCONFIG_TEST_COM or DEVCONFIG_TEST_COM_NOT_TTY names no COM port");
        ListDevices(Adapter("FT232R USB UART", "A1", TestComPort()) + ";" +
                    Adapter("FT230X Basic UART", "B2") + ";" +
                    Adapter("FT232R USB UART", "C3", NonTerminalComPort()));
        QTemporaryDir folder;
        QProcess program;
        program.start(
            QString::fromLatin1(DEVCONFIG_EXE),
            {"--all-adapters", "--read", folder.path(), "--summary", folder.filePath("batch.csv")});
        QVERIFY(program.waitForFinished(4 * WaitMs));
        const QString table = QString::fromLatin1(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), 3);
        for (const char* name : {"A1.txt", "B2.txt"})
            QVERIFY2(QFile::exists(folder.filePath(name)), qPrintable(table));
        QVERIFY(!QFile::exists(folder.filePath("C3.txt")));
        QFile csv(folder.filePath("batch.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromLatin1(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QVERIFY2(rows[1].startsWith(QString("A1,COM%1,read,0,").arg(TestComPort())),
                 qPrintable(rows[1]));
        QVERIFY2(rows[3].startsWith(QString("C3,COM%1,not opened,3,").arg(NonTerminalComPort())),
                 qPrintable(rows[3]));
        QVERIFY2(table.contains("not opened"), qPrintable(table));
    }

    // Beside a library with other functions at the ordinals: not called, and named.
    void wrongLibraryIsRefusedAndNamed()
    {
        ListDevices(Adapter("FT232R USB UART", "A10K1ABC"));
        QProcess program;
        program.start(QString::fromLatin1(DEVCONFIG_SHUFFLED_EXE), {"--find-adapter"});
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 3);
        const QString said = QString::fromLatin1(program.readAllStandardOutput());
        QVERIFY2(said.contains("ftd2xx-shuffled\\FTD2XX.dll was not used: it does not export "
                               "FT_CreateDeviceInfoList at ordinal 70",
                               Qt::CaseInsensitive),
                 qPrintable(said));
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestAdapterSearch test;
    return QTest::qExec(&test, argc, argv);
}

#include "adaptersearch_test.moc"
