// The adapter pulled in the middle of the initial read, a write pass and a read-back pass:
// the user is told, Connect works again at once, edits that did not reach the instrument stay
// marked, and after replugging a Save writes them. Back at its path, the adapter is connected
// without a click.
#include "windowharness.h"

#include <unistd.h>

class TestUnplug : public QObject, protected WindowHarness
{
    Q_OBJECT

private:
    QString RemovedStatus() const
    {
        return "Device: " + QString::fromStdString(Sim->SlavePath()) + RemovedText;
    }

    // Like the user: wait for the removal notice and for Connect to come back.
    bool WaitForRemoval(const QString& expected)
    {
        return QTest::qWaitFor(
            [&] {
                return Status() == expected && DriverIdle() && Button("ConnectBtn")->isEnabled() &&
                       Button("CancelBtn")->isEnabled() &&
                       Window->Cells().CycleState == TCycleState::Idle;
            },
            WaitMs);
    }

    // The adapter comes back, possibly under another device name.
    void Replug()
    {
        Sim = std::make_unique<TInstrumentSim>();
        adapterLocator.UseDevice(Sim->SlavePath());
    }

    // The device node of an adapter that keeps its name: a link the test points at each
    // simulated instrument in turn, and removes while the adapter is out.
    QString PlugInAtLink(const QTemporaryDir& dir)
    {
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        QFile::remove(link);
        return QFile::link(QString::fromStdString(Sim->SlavePath()), link) ? link : QString();
    }

    // After a removal during a write pass and the instrument's return: the two edits are shown,
    // marked, over what the instrument holds, and one Save writes them, nothing else.
    void VerifyEditsKeptForTheNextSave()
    {
        QCOMPARE(Window->GetCellText(GridSensor, 1, 2), std::string("Edited A"));
        QCOMPARE(Window->GetCellText(GridSensor, 3, 4), std::string("4321"));
        QVERIFY(Marked(GridSensor, 1, 2));
        QVERIFY(ToolTip(GridSensor, 1, 2).contains(Latin1(Sim->Setting("S1NAM"))));
        QVERIFY(!Marked(GridSensor, 1, 1));

        Sim->ClearTranscript();
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            Settled() && !Marked(GridSensor, 1, 2) && !Marked(GridSensor, 3, 4), WaitMs);
        QCOMPARE(Sim->Setting("S1NAM"), std::string("Edited A"));
        QCOMPARE(Sim->Setting("S3CFRQ"), std::string("4321"));
        const auto commands = Commands();
        QCOMPARE(std::count(commands.begin(), commands.end(), Write("S1NAM", "Edited A")), 1);
        QCOMPARE(std::count(commands.begin(), commands.end(), Write("S3CFRQ", "4321")), 1);
        for (const auto& command : commands)
            QVERIFY(command.find('=') == std::string::npos ||
                    command == Write("S1NAM", "Edited A") || command == Write("S3CFRQ", "4321"));
    }

    // Two sensor edits, committed with Save; the instrument hangs up after `commands` more.
    void EditTwoCellsAndSave(size_t hangUpAfter)
    {
        TypeInto(GridSensor, 1, 2, "Edited A");
        TypeInto(GridSensor, 3, 4, "4321");
        Sim->ClearTranscript();
        Sim->HangUpAfterCommands(hangUpAfter);
        Button("SaveBtn")->click();
    }

private slots:
    void init()
    {
        // The program's full reply limit: a removal must not be waited out.
        StartWindow();
        sdi12d.SetReplyLimit(ReplyLimitMs);
    }

    void cleanup() { QVERIFY(StopWindow()); }

    void removedDuringTheInitialRead()
    {
        Sim->SetReplyDelay(std::chrono::milliseconds(2));
        Button("ConnectBtn")->click();
        QVERIFY(Sim->WaitForCommands(40, std::chrono::milliseconds(WaitMs)));
        const QString removed = RemovedStatus();
        Sim->HangUp();
        QVERIFY(WaitForRemoval(removed));
        QVERIFY(Sensors()->isEnabled());

        Replug();
        QVERIFY(ConnectAndWait());
        QCOMPARE(Status(), "Device: " + QString::fromStdString(Sim->SlavePath()) + " OK");
    }

    void removedDuringAWritePassKeepsTheEditsForTheNextSave()
    {
        QVERIFY(ConnectAndWait());
        EditTwoCellsAndSave(1); // the first write reaches the instrument unanswered
        const QString removed = RemovedStatus();
        QVERIFY(WaitForRemoval(removed));
        QVERIFY(Marked(GridSensor, 1, 2));
        QVERIFY(Marked(GridSensor, 3, 4));
        QCOMPARE(Window->GetCellText(GridSensor, 1, 2), std::string("Edited A"));

        // Saving without an instrument sends nothing and changes nothing.
        Button("SaveBtn")->click();
        QTest::qWait(3 * Timer1IntervalMs);
        QCOMPARE(Status(), removed);

        Replug();
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Window->GetCellText(GridThermistor, 7, 3) ==
                                                  Sim->Setting("TH2STD"),
                                 WaitMs);
        VerifyEditsKeptForTheNextSave();
    }

    void backAtItsPathTheAdapterIsConnectedWithoutAClick()
    {
        QTemporaryDir dir;
        const QString link = PlugInAtLink(dir);
        QVERIFY(!link.isEmpty());
        adapterLocator.UseDevice(link.toStdString());
        QVERIFY(ConnectAndWait());
        EditTwoCellsAndSave(1);
        const QString removed = "Device: " + link + RemovedText;
        QVERIFY(WaitForRemoval(removed));
        QVERIFY(QFile::remove(link)); // the device node goes with the adapter

        // Nothing there: the window keeps waiting, and says so.
        QTest::qWait(2 * TReplugWatch::LookIntervalMs);
        QCOMPARE(Status(), removed);
        QVERIFY(Button("ConnectBtn")->isEnabled());

        Sim = std::make_unique<TInstrumentSim>();
        QVERIFY(!PlugInAtLink(dir).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(Status(), "Device: " + link + " OK - reconnected", WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Window->GetCellText(GridThermistor, 7, 3) ==
                                                  Sim->Setting("TH2STD"),
                                 WaitMs);
        const auto commands = Commands();
        QCOMPARE(commands.size(), size_t(SettingCount)); // the whole initial read, once
        QCOMPARE(commands.front(), Read("S0NAM"));
        VerifyEditsKeptForTheNextSave();
    }

    void closingWhileWaitingForTheAdapterIsImmediate()
    {
        Sim->SetReplyDelay(std::chrono::milliseconds(2));
        Button("ConnectBtn")->click();
        QVERIFY(Sim->WaitForCommands(10, std::chrono::milliseconds(WaitMs)));
        const QString removed = RemovedStatus();
        Sim->HangUp();
        QVERIFY(WaitForRemoval(removed));
        Button("CancelBtn")->click();
        QVERIFY(!Window->isVisible());
    }

    void removedDuringTheReadBackLeavesTheEditsMarkedUntilRead()
    {
        QVERIFY(ConnectAndWait());
        EditTwoCellsAndSave(3); // both writes answered, the read-back cut off
        const QString removed = RemovedStatus();
        QVERIFY(WaitForRemoval(removed));
        QVERIFY(Marked(GridSensor, 1, 2));
        QCOMPARE(Sim->Setting("S1NAM"), std::string("Edited A"));

        // The same instrument, holding what was written, comes back.
        Replug();
        QVERIFY(Sim->SetSetting("S1NAM", "Edited A"));
        QVERIFY(Sim->SetSetting("S3CFRQ", "4321"));
        QVERIFY(ConnectAndWait());
        QVERIFY(!Marked(GridSensor, 1, 2));
        QVERIFY(!Marked(GridSensor, 3, 4));
        QCOMPARE(Window->GetCellText(GridSensor, 1, 2), std::string("Edited A"));
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestUnplug test;
    return QTest::qExec(&test, argc, argv);
}

#include "unplug_test.moc"
