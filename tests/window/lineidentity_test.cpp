// Who is on the line, end to end through the real window: an instrument that is switched off,
// a device that talks by itself, one stray line, and the choice between several adapters.
#include "session/linewords.h"
#include "tests/serial/fakeftdi.h"
#include "windowharness.h"

#include <QListWidget>

class TestLineIdentity : public QObject, protected WindowHarness
{
    Q_OBJECT

private:
    bool NoCellHoldsAValue() const
    {
        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                if (!Window->GetCellText(GridSensor, col, row).empty())
                    return false;
        return true;
    }
    QString Expected(const char* text) const
    {
        return "Device: " + QString::fromStdString(Sim->SlavePath()) + text;
    }

private slots:
    void init() { StartWindow(); }
    void cleanup()
    {
        adapterLocator.UseLibrary(SystemFtdiLibrary());
        sdi12d.SetReplyLimit(TestReplyLimitMs);
        QVERIFY(StopWindow());
    }

    // The first request nobody answers ends the read: one command, the status says why.
    void switchedOffEndsTheReadAtTheFirstTimeOut()
    {
        sdi12d.SetReplyLimit(300);
        Sim->SetSwitchedOff(true);
        Button("ConnectBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Expected(NoAnswerText), WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        QCOMPARE(Commands().size(), size_t(1));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 1, 1)), TCellMark::NoAnswer);
    }

    // After 2 s the count says how long nothing has answered; Esc stops the read at once.
    void escStopsAWait()
    {
        sdi12d.SetReplyLimit(60000);
        Sim->SetSwitchedOff(true);
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Progress()->text().startsWith("Reading 1 of 181 - no answer for"),
                                 WaitMs);
        QVERIFY(Progress()->text().endsWith("s (Esc stops)"));
        QTest::keyClick(Window.get(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        QCOMPARE(Status(), Expected(NoAnswerText));
        QCOMPARE(Commands().size(), size_t(1));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridThermistor, 7, 3)), TCellMark::NoAnswer);
    }

    // A device sending a sentence every 20 ms: nothing it sent reaches a cell, no write goes
    // out, and the status names the fault.
    void aTalkingDeviceIsRefused()
    {
        Sim->SetTalking(std::chrono::milliseconds(20));
        Button("ConnectBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Expected(NotInstrumentText), WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        QVERIFY(NoCellHoldsAValue());
        QVERIFY(Commands().size() < 20);
        TypeInto(GridSensor, 1, 1, "Tank");
        Button("SaveBtn")->click();
        QVERIFY(WritesSentAfter(1000).empty());
    }

    // An instrument holding text where it holds numbers (written by another tool) is read
    // whole, its odd cells marked and named, and repaired; text typed there is never sent.
    void textInNumericSettingsIsShownMarkedAndRepaired()
    {
        QVERIFY(Sim->SetSetting("S0CFRQ", "abc"));
        QVERIFY(Sim->SetSetting("S0CAL0", ""));
        QVERIFY(ConnectAndWait());
        QCOMPARE(Status(), "Device: " + QString::fromStdString(Sim->SlavePath()) +
                               " OK - 2 settings look wrong: S0CFRQ, S0CAL0 (marked; type a "
                               "number and Save)");
        const int cfrq = SlotOf(GridSensor, 3, 1);
        QCOMPARE(Window->Cells().Marks().MarkOf(cfrq), TCellMark::LooksWrong);
        QVERIFY(ToolTip(GridSensor, 3, 1).contains("\"abc\""));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 4, 1)), TCellMark::LooksWrong);

        TypeInto(GridSensor, 5, 2, "x1");
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 5, 2)), TCellMark::Unsafe);
        TypeInto(GridSensor, 3, 1, "2500");
        TypeInto(GridSensor, 4, 1, "1.5");
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && Sim->Setting("S0CAL0") == "1.5", WaitMs);
        QCOMPARE(Sim->Setting("S0CFRQ"), std::string("2500"));
        QCOMPARE(WritesSent().size(), size_t(2));
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Expected(" OK"), WaitMs);
        QCOMPARE(Window->Cells().Marks().MarkOf(cfrq), TCellMark::None);
    }

    // Noise at power-up: one line before Connect, and the instrument is still read whole.
    // (The driver's own test puts the line in the queue right before the first command.)
    void oneStrayLineIsForgiven()
    {
        Sim->SendStrayLine("\x7f~");
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && AllCellsShowTheInstrument(), WaitMs);
        QCOMPARE(sdi12d.CurrentVerdict(), TLineVerdict::Instrument);
    }

    // Two adapters: Connect asks, the last one selected; Esc cancels and nothing changes.
    // With one adapter nothing is asked.
    void severalAdaptersAreOfferedOneIsNot()
    {
        FakeFtdi library;
        library.Devices = {{"FT232R USB UART", "A10K3X", 5}, {"FT231X Basic UART", "DN04ZQ", 7}};
        adapterLocator.UseDevice("");
        adapterLocator.UseLibrary(library);
        const QString before = Status();
        int rows = 0;
        int selected = -1;
        QTimer::singleShot(200, [&] {
            auto* list = QApplication::activeModalWidget()
                             ? QApplication::activeModalWidget()->findChild<QListWidget*>()
                             : nullptr;
            if (list != nullptr) {
                rows = list->count();
                selected = list->currentRow();
                QVERIFY(list->item(1)->text().contains("DN04ZQ"));
            }
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        Button("ConnectBtn")->click();
        QCOMPARE(rows, 2);
        QCOMPARE(selected, 1);
        QCOMPARE(Status(), before);

        library.Devices.pop_back();
        bool asked = false;
        QTimer::singleShot(200, [&] { asked = QApplication::activeModalWidget() != nullptr; });
        Button("ConnectBtn")->click();
        QTest::qWait(400);
        QVERIFY(!asked);
        QCOMPARE(Status(), QString("Device: /dev/ttyUSB4 NOT OPENED - not found"));
        QVERIFY(Child<QStatusBar>("StatusBar1")->toolTip().contains("A10K3X"));
    }

    // Removed, then two adapters: while the user still chooses, the replug watch finds an
    // adapter it could connect. It must wait: Connect never runs inside its own question.
    void theReplugWatchWaitsForAnOpenChooser()
    {
        FakeFtdi library;
        library.Devices = {{"FT232R USB UART", "A10K3X", 5}, {"FT231X Basic UART", "DN04ZQ", 7}};
        Sim->SetReplyDelay(std::chrono::milliseconds(2));
        Button("ConnectBtn")->click();
        QVERIFY(Sim->WaitForCommands(10, std::chrono::milliseconds(WaitMs)));
        Sim->HangUp();
        adapterLocator.UseDevice("");
        adapterLocator.UseLibrary(library);
        QTRY_VERIFY2_WITH_TIMEOUT(Status().endsWith(RemovedText) && Settled(), qPrintable(Status()),
                                  WaitMs);

        bool asked = false;
        size_t commandsWhileAsked = 0;
        QTimer::singleShot(200, [&] {
            asked = QApplication::activeModalWidget() != nullptr;
            Sim = std::make_unique<TInstrumentSim>();
            adapterLocator.UseDevice(Sim->SlavePath()); // the watch would find it now
        });
        QTimer::singleShot(200 + 3 * TReplugWatch::LookIntervalMs, [&] {
            commandsWhileAsked = Commands().size();
            if (QApplication::activeModalWidget() != nullptr)
                QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        Button("ConnectBtn")->click();
        QVERIFY(asked);
        QCOMPARE(commandsWhileAsked, size_t(0));
        // Once the question is answered, the watch connects as before.
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && AllCellsShowTheInstrument(), WaitMs);
    }
};

QTEST_MAIN(TestLineIdentity)
#include "lineidentity_test.moc"
