// The real window with the real driver and comms thread, over a pseudo-terminal to the
// simulated instrument: Connect and the initial read, edits and their write-back, the busy
// guard, failures of the adapter, the port and the instrument, unsafe values and Help.
#include "session/programlog.h"
#include "settingsfile/settingsfile.h"
#include "tests/report/pdftext.h"
#include "textfile.h"
#include "window/settingsmenu.h"
#include "windowharness.h"

#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// Stands in for the desktop's file viewer.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Opened;

public slots:
    void open(const QUrl& url) { Opened << url; }
};

} // namespace

class TestConnect : public QObject, protected WindowHarness
{
    Q_OBJECT

private slots:
    // The window's dialogue log always exists, kept in memory, as the program makes it.
    void initTestCase() { StartProgramLog(); }

    void init() { StartWindow(); }

    void cleanup() { QVERIFY(StopWindow()); }

    void connectReadsEverySettingInSlotOrder()
    {
        // Slow enough replies that the read can be watched while it runs.
        Sim->SetReplyDelay(std::chrono::milliseconds(10));
        QCOMPARE(PendingSaves, 0);
        Button("ConnectBtn")->click();

        const QString ok = "Device: " + QString::fromStdString(Sim->SlavePath()) + " OK";
        QCOMPARE(Status(), ok);
        QVERIFY(!Button("ConnectBtn")->isEnabled());
        QVERIFY(!Sensors()->isEnabled());
        QVERIFY(sdi12d.ExchangeRunningRaised());

        // Progress shows beside the status text, not in its place.
        const QRegularExpression progress("^Reading (\\d+) of 181$");
        QTRY_VERIFY_WITH_TIMEOUT(Progress()->isVisible() &&
                                     progress.match(Progress()->text()).hasMatch() &&
                                     progress.match(Progress()->text()).captured(1).toInt() > 1,
                                 WaitMs);
        QCOMPARE(Status(), ok);

        QTRY_VERIFY_WITH_TIMEOUT(Settled() && AllCellsShowTheInstrument(), WaitMs);
        QVERIFY(!Progress()->isVisible());
        QCOMPARE(Status(), ok);
        // Code moving the current cell (the grids' reset) is no commit.
        QCOMPARE(PendingSaves, 0);

        std::vector<std::string> expected;
        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                expected.push_back(Read(SensorKey(col, row)));
        for (int row = 1; row <= 3; ++row)
            for (int col = 1; col <= 7; ++col)
                expected.push_back(Read(ThermistorKey(col, row)));
        QCOMPARE(Commands(), expected);

        // Bindings: sensor (k, r) in 10 + 10r + k, thermistors in slots of their own above
        // the sensors and below 300; nothing else is bound.
        QCOMPARE(InitialReadList.size(), size_t(SettingCount));
        for (size_t i = 1; i < InitialReadList.size(); ++i)
            QVERIFY(InitialReadList[i - 1] < InitialReadList[i]);
        int bound = 0;
        for (int slot = 0; slot < CellTableSize; ++slot) {
            const dev_opt& record = cellTable[static_cast<size_t>(slot)];
            if (record.Magic != BoundMagic)
                continue;
            ++bound;
            QVERIFY(slot < CellTableUsed);
            QCOMPARE(record.ReadKey, record.WriteKey);
            QCOMPARE(record.Operation, OpRead);
            QCOMPARE(SlotOf(record.GridId, record.Col, record.Row), slot);
            if (record.GridId == GridSensor) {
                QCOMPARE(slot, 10 + 10 * record.Row + record.Col);
                QCOMPARE(record.ReadKey, SensorKey(record.Col, record.Row));
            } else {
                QCOMPARE(record.GridId, GridThermistor);
                QVERIFY(slot > 218 && slot < 300);
                QCOMPARE(record.ReadKey, ThermistorKey(record.Col, record.Row));
            }
        }
        QCOMPARE(bound, SettingCount);
        QCOMPARE(cellTable[21].ReadKey, std::string("S0NAM"));
        QCOMPARE(cellTable[218].ReadKey, std::string("S19THSEL"));
    }

    void secondConnectEmptiesSensorsAndKeepsThermistors()
    {
        QVERIFY(ConnectAndWait());
        const std::string oldThermistor = Window->GetCellText(GridThermistor, 2, 3);
        QVERIFY(Sim->SetSetting("TH2T0", "31.5"));
        QVERIFY(Sim->SetSetting("S19NAM", "Last one"));
        Sim->SetReplyDelay(std::chrono::milliseconds(5));

        Button("ConnectBtn")->click();
        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                QCOMPARE(Window->GetCellText(GridSensor, col, row), std::string());
        QCOMPARE(Window->GetCellText(GridThermistor, 2, 3), oldThermistor);

        QTRY_VERIFY_WITH_TIMEOUT(Settled() && AllCellsShowTheInstrument(), WaitMs);
        QCOMPARE(Window->GetCellText(GridThermistor, 2, 3), std::string("31.5"));
        QCOMPARE(Window->GetCellText(GridSensor, 1, 20), std::string("Last one"));
        QCOMPARE(Commands().size(), size_t(SettingCount));
    }

    void editAndSelectAnotherCellWritesOnceThenReadsBack()
    {
        QVERIFY(ConnectAndWait());
        TypeInto(GridSensor, 1, 1, "Probe X");
        // Committed but not yet confirmed.
        QCOMPARE(Item(GridSensor, 1, 1)->text(), QString("Probe X"));
        QVERIFY(ToolTip(GridSensor, 1, 1).startsWith(UnconfirmedTip));
        QVERIFY(Marked(GridSensor, 1, 1));
        QCOMPARE(TypedSinceSave, 1);
        QCOMPARE(Commands().size(), size_t(0));

        ClickCell(GridSensor, 2, 3);
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 2 && DriverIdle() &&
                                     Window->Cells().CycleState == TCycleState::Idle,
                                 WaitMs);
        QCOMPARE(Commands(), std::vector<std::string>({Write("S0NAM", "Probe X"), Read("S0NAM")}));
        QCOMPARE(Sim->Setting("S0NAM"), std::string("Probe X"));
        QCOMPARE(Window->GetCellText(GridSensor, 1, 1), std::string("Probe X"));
        QVERIFY(!Marked(GridSensor, 1, 1));
        QCOMPARE(ToolTip(GridSensor, 1, 1), QString());
        // A typed edit keeps Connect and Close locked until Save, which writes nothing more
        // and unlocks both.
        QVERIFY(!Button("ConnectBtn")->isEnabled());
        QVERIFY(!Button("CancelBtn")->isEnabled());
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            Button("ConnectBtn")->isEnabled() && Button("CancelBtn")->isEnabled(), WaitMs);
        QCOMPARE(Commands().size(), size_t(2));
    }

    // Each kind of mark has its own look and a tooltip that says what happened, and the label
    // beside the status counts the settings not confirmed until none is left.
    void marksShowWhatTheInstrumentDidNotConfirm()
    {
        sdi12d.SetReplyLimit(300);
        Sim->SetSilentReads("S3CFRQ");
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && !Progress()->text().startsWith("Reading"), WaitMs);
        QCOMPARE(Progress()->text(), QString("1 setting not confirmed"));

        // The silent write comes after an answered one: a save nothing answers ends at once.
        Sim->SetRejectedWrite("S4CAL0");
        Sim->SetSilentWrites("S5NAM");
        TypeInto(GridSensor, 4, 5, "9.75");
        TypeInto(GridSensor, 1, 6, "Dropped 1");
        Item(GridSensor, 1, 2)->setText("two\tfields");
        Sim->ClearTranscript();
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 4 && Settled(), WaitMs);
        const struct
        {
            int Col, Row;
            TCellMark Mark;
            const char* Tip;
        } marks[] = {{3, 4, TCellMark::NoAnswer, "No answer"},
                     {4, 5, TCellMark::NotTaken, "Not taken: the instrument kept"},
                     {1, 6, TCellMark::Unconfirmed, UnconfirmedTip},
                     {1, 2, TCellMark::Unsafe, "Not sent"}};
        for (const auto& mark : marks) {
            QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, mark.Col, mark.Row)),
                     mark.Mark);
            QCOMPARE(Item(GridSensor, mark.Col, mark.Row)->background().color(),
                     TGridCellView::ColourOf(mark.Mark));
            QVERIFY(ToolTip(GridSensor, mark.Col, mark.Row).startsWith(mark.Tip));
        }
        QCOMPARE(Progress()->text(), QString("4 settings not confirmed"));
        QVERIFY(Progress()->isVisible());

        Sim->ClearFaults();
        Item(GridSensor, 1, 2)->setText(Latin1(Sim->Setting("S1NAM")));
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && !Marked(GridSensor, 1, 6), WaitMs);
        QVERIFY(ConnectAndWait());
        // The refusal stays marked until the cell is edited again.
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 4, 5)), TCellMark::NotTaken);
        Item(GridSensor, 4, 5)->setText("1");
        Item(GridSensor, 4, 5)->setText(Latin1(Sim->Setting("S4CAL0")));
        for (const auto& mark : marks)
            QVERIFY(!Marked(GridSensor, mark.Col, mark.Row));
        QTRY_VERIFY_WITH_TIMEOUT(!Progress()->isVisible(), WaitMs);
    }

    // An imported file marks exactly the cells it changes; the next Save writes exactly those,
    // each value byte for byte.
    void importMarksTheDifferingCellsAndSaveWritesThem()
    {
        QVERIFY(ConnectAndWait());
        QTemporaryDir dir;
        const QString path = WriteTextFile(
            dir, "clone.txt",
            ("# kept\nS0NAM=" + Sim->Setting("S0NAM") + "\nS2CFRQ=4321\n\nTH1R0= 10.0 \n").c_str());
        QVERIFY(!path.isEmpty());
        QCOMPARE(Window->SettingsMenu()->Import(path), 2);
        QCOMPARE(Window->Cells().NotConfirmedCount(), 2);
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 3, 3)), TCellMark::Unconfirmed);
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridThermistor, 3, 2)),
                 TCellMark::Unconfirmed);
        QCOMPARE(Progress()->text(), QString("2 settings not confirmed"));
        QTest::qWait(2 * Timer1IntervalMs);
        QVERIFY(Commands().empty()); // nothing goes out before a commit

        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 4 && Settled(), WaitMs);
        QCOMPARE(Commands(),
                 std::vector<std::string>({Write("S2CFRQ", "4321"), Write("TH1R0", " 10.0 "),
                                           Read("S2CFRQ"), Read("TH1R0")}));
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
        QVERIFY(!Progress()->isVisible());
    }

    // A compare marks the three differing cells and sends nothing; taking the file's values
    // (of the selection, undone as one step, then of all) and saving writes exactly those.
    void compareMarksTheDifferencesAndTakenValuesAreSaved()
    {
        QVERIFY(ConnectAndWait());
        QTemporaryDir dir;
        const QString path = WriteTextFile(
            dir, "PLANT-A.txt",
            ("S0NAM=" + Sim->Setting("S0NAM") + "\nS2CFRQ=4321\nS5NAM=Pump 7\nTH1R0= 10.0 \n")
                .c_str());
        QVERIFY(!path.isEmpty());
        QCOMPARE(Window->SettingsMenu()->Compare(path), 3);
        QCOMPARE(Status(), QString("3 settings differ from PLANT-A.txt"));
        const struct
        {
            int32_t Grid;
            int Col, Row;
            const char* Value;
        } differing[] = {{GridSensor, 3, 3, "4321"},
                         {GridSensor, 1, 6, "Pump 7"},
                         {GridThermistor, 3, 2, " 10.0 "}};
        for (const auto& cell : differing) {
            QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(cell.Grid, cell.Col, cell.Row)),
                     TCellMark::DiffersFromFile);
            QCOMPARE(Item(cell.Grid, cell.Col, cell.Row)->background().color(),
                     TGridCellView::ColourOf(TCellMark::DiffersFromFile));
            QVERIFY(ToolTip(cell.Grid, cell.Col, cell.Row)
                        .contains(QString("the file holds \"%1\"").arg(cell.Value)));
        }
        QCOMPARE(Window->Cells().Marks().CountOf(TCellMark::DiffersFromFile), 3);
        QTest::qWait(2 * Timer1IntervalMs);
        QVERIFY(Commands().empty());

        ClickCell(GridSensor, 3, 3);
        QCOMPARE(Window->SettingsMenu()->TakeFileValues(), 1);
        QCOMPARE(Window->GetCellText(GridSensor, 3, 3), std::string("4321"));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 3, 3)), TCellMark::Unconfirmed);
        QTest::keyClick(Sensors(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Window->Cells().Marks().CountOf(TCellMark::DiffersFromFile), 3);
        QCOMPARE(Window->GetCellText(GridSensor, 3, 3), Sim->Setting("S2CFRQ"));
        // The report lists the differences with the file's name.
        {
            const QString report = dir.filePath("report.pdf");
            BoxSeen seen;
            CloseBoxLater(seen);
            QVERIFY(Window->SettingsMenu()->SaveReport(report));
            const std::string text = PdfText(report.toStdString());
            for (const std::string& line :
                 {std::string("PLANT-A.txt"), "S2CFRQ +" + Sim->Setting("S2CFRQ") + " +4321",
                  "S5NAM +" + Sim->Setting("S5NAM") + " +Pump 7"})
                QVERIFY2(std::regex_search(text, std::regex(line)),
                         (line + " in\n" + text).c_str());
        }

        // A refused file clears the marks too, and says why.
        const QString bad = WriteTextFile(dir, "bad.txt", "S0NAM=x\nS99NAM=no such setting\n");
        BoxSeen seen;
        CloseBoxLater(seen);
        QCOMPARE(Window->SettingsMenu()->Compare(bad), -1);
        QCOMPARE(seen.Count, 1);
        QVERIFY2(seen.Text.contains("line 2") && seen.Text.contains("Nothing was compared"),
                 qPrintable(seen.Text));
        QCOMPARE(Window->Cells().Marks().CountOf(TCellMark::DiffersFromFile), 0);
        QCOMPARE(Window->SettingsMenu()->Compare(path), 3);

        Sensors()->clearSelection();
        QCOMPARE(Window->SettingsMenu()->TakeFileValues(), 3);
        QCOMPARE(Window->Cells().UnconfirmedEditCount(), 3);
        QCOMPARE(Progress()->text(), QString("3 settings not confirmed"));
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 6 && Settled(), WaitMs);
        QCOMPARE(Commands(),
                 std::vector<std::string>({Write("S2CFRQ", "4321"), Write("S5NAM", "Pump 7"),
                                           Write("TH1R0", " 10.0 "), Read("S2CFRQ"), Read("S5NAM"),
                                           Read("TH1R0")}));
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
        QCOMPARE(Status(), QString("No setting differs from PLANT-A.txt")); // told after the Save
        QCOMPARE(Window->SettingsMenu()->Compare(path), 0);
        QCOMPARE(Status(), QString("No setting differs from PLANT-A.txt"));
    }

    void badImportFileChangesNothing()
    {
        QVERIFY(ConnectAndWait());
        QTemporaryDir dir;
        const QString path =
            WriteTextFile(dir, "bad.txt", "S0NAM=changed\nS99NAM=no such setting\n");
        QVERIFY(!path.isEmpty());
        BoxSeen seen;
        CloseBoxLater(seen);
        QCOMPARE(Window->SettingsMenu()->Import(path), -1);
        QCOMPARE(seen.Count, 1);
        QVERIFY2(seen.Text.contains("line 2"), qPrintable(seen.Text));
        QVERIFY(seen.Text.contains("Nothing was imported"));
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0 && Settled(), WaitMs);
        QVERIFY(Commands().empty());
    }

    // Export writes what the instrument is known to hold and says where, and what it left out.
    void exportLeavesOutUnansweredReads()
    {
        sdi12d.SetReplyLimit(300);
        Sim->SetSilentReads("S3CFRQ");
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && !Progress()->text().startsWith("Reading"), WaitMs);
        QTemporaryDir dir;
        const QString path = dir.filePath("kept.txt");
        BoxSeen seen;
        CloseBoxLater(seen);
        QVERIFY(Window->SettingsMenu()->Export(path));
        QCOMPARE(seen.Count, 1);
        QVERIFY2(seen.Text.contains("S3CFRQ"), qPrintable(seen.Text));
        QVERIFY2(seen.Text.startsWith(QString("%1 settings exported to %2.")
                                          .arg(SettingCount - 1)
                                          .arg(QDir::toNativeSeparators(path))),
                 qPrintable(seen.Text));
        const TSettingsFileResult kept = TSettingsFile::Read(path.toStdString());
        QVERIFY2(kept.Ok(), kept.Message().c_str());
        QCOMPARE(kept.Settings.size(), size_t(SettingCount - 1));
        for (const TSettingValue& setting : kept.Settings)
            QCOMPARE(setting.Value, Sim->Setting(setting.Key));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("left out"));
    }

    // "Save report..." (Ctrl+R on the tables' menus) writes the report of the window: each
    // cell's state in words, and what was written, confirmed or not taken.
    void saveReportHoldsTheStates()
    {
        sdi12d.SetReplyLimit(300);
        Sim->SetSilentReads("S3CFRQ");
        Sim->SetRejectedWrite("S0NAM");
        const std::string oldFrp = Sim->Setting("S7FRP");
        const std::string oldName = Sim->Setting("S0NAM");
        QVERIFY(!Window->SettingsMenu()->ReportAction->isEnabled()); // no instrument yet
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && !Progress()->text().startsWith("Reading"), WaitMs);
        TypeInto(GridSensor, 2, 8, "2");
        TypeInto(GridSensor, 1, 1, "Refused");
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0 && Settled() && Marked(GridSensor, 1, 1),
                                 WaitMs);
        QAction* action = Window->SettingsMenu()->ReportAction;
        QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QVERIFY(Child<QTableWidget>("SensorSG")->actions().contains(action));
        QTemporaryDir dir;
        const QString path = dir.filePath("report.pdf");
        BoxSeen seen;
        CloseBoxLater(seen);
        QVERIFY(Window->SettingsMenu()->SaveReport(path));
        QVERIFY2(seen.Text.startsWith("The report was saved to"), qPrintable(seen.Text));
        const std::string text = PdfText(path.toStdString());
        for (const std::string& line :
             {"S7FRP +" + oldFrp + " +2 +confirmed", "S0NAM +" + oldName + " +Refused +not taken",
              "Port: " + Sim->SlavePath()})
            QVERIFY2(std::regex_search(text, std::regex(line)), (line + " in\n" + text).c_str());
        for (const auto& [label, state] : {std::pair<const char*, const char*>{"S3", "no answer"},
                                           {"S7", "confirmed"},
                                           {"S0", "not taken"}})
            QVERIFY2(ChannelLines(text, label).second.find(state) != std::string::npos,
                     ChannelLines(text, label).first.c_str());
    }

    // "Save dialogue log..." saves the run's dialogue so far: every command of the read with
    // its reply, and how the exchange ended.
    void saveDialogueLogHoldsTheRead()
    {
        QVERIFY(ConnectAndWait());
        QTemporaryDir dir;
        const QString path = dir.filePath("dialogue.log");
        BoxSeen seen;
        CloseBoxLater(seen);
        QVERIFY(Window->SettingsMenu()->SaveLog(path));
        QVERIFY2(seen.Text.startsWith("The dialogue log was saved to"), qPrintable(seen.Text));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString log = QString::fromLatin1(file.readAll());
        const QString device = QString::fromStdString(Sim->SlavePath());
        QVERIFY2(log.contains("! connect: Device: " + device + " OK"), qPrintable(log));
        for (const std::string& key : {std::string("S0NAM"), std::string("TH2STD")}) {
            const QRegularExpression pair(
                QRegularExpression::escape(" > " + QString::fromStdString(key) + "?\n") +
                "\\d+ < " + QRegularExpression::escape(Latin1(Sim->Setting(key)) + "\n"));
            QVERIFY2(log.contains(pair), key.c_str());
        }
        QVERIFY2(log.contains("! end of exchange: completed"), qPrintable(log));
    }

    // A second Connect leaves a read unanswered: selecting another cell writes nothing, not
    // even the emptied cell.
    void unansweredReadIsNotWrittenAsEmpty()
    {
        QVERIFY(ConnectAndWait());
        sdi12d.SetReplyLimit(300);
        Sim->SetSilentKey("S3CFRQ");
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && !Progress()->text().startsWith("Reading"), WaitMs);
        Sim->ClearTranscript();
        ClickCell(GridSensor, 1, 1);
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0 && Settled(), WaitMs);
        QCOMPARE(WritesSentAfter(2 * Timer1IntervalMs), std::vector<std::string>());
    }

    // The write of an edit is dropped, its read-back answered; the user types the instrument's
    // value back and saves twice: the taken-back edit never goes out again.
    void valueTakenBackIsNotWrittenLater()
    {
        QVERIFY(ConnectAndWait());
        const std::string own = Sim->Setting("S0NAM");
        sdi12d.SetReplyLimit(300);
        Sim->SetSilentWrites("S0NAM");
        TypeInto(GridSensor, 1, 1, "Dropped 1");
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 2 && Settled(), WaitMs);
        Sim->ClearFaults();
        Sim->ClearTranscript();
        TypeInto(GridSensor, 1, 1, Latin1(own));
        for (int save = 0; save < 2; ++save) {
            Button("SaveBtn")->click();
            QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0 && Settled(), WaitMs);
        }
        QCOMPARE(WritesSentAfter(2 * Timer1IntervalMs), std::vector<std::string>());
        QVERIFY(!Marked(GridSensor, 1, 1));
    }

    void onlyRealChangesAreWritten_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("written");
        QTest::newRow("same text") << "same" << false;
        QTest::newRow("letter case") << "case" << true;
        QTest::newRow("trailing blank") << "blank" << true;
    }

    void onlyRealChangesAreWritten()
    {
        QFETCH(QString, change);
        QFETCH(bool, written);
        QVERIFY(Sim->SetSetting("S2NAM", "Depth"));
        QVERIFY(ConnectAndWait());
        const QString typed = change == "same" ? "Depth" : change == "case" ? "DEPTH" : "Depth ";
        TypeInto(GridSensor, 1, 3, typed);
        Button("SaveBtn")->click();
        QVERIFY(PendingSaves > 0);
        // The tick that takes the commit up hands any write over at once.
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        if (!written) {
            QCOMPARE(Commands().size(), size_t(0));
            QVERIFY(!Marked(GridSensor, 1, 3));
            return;
        }
        const std::string value = typed.toStdString();
        QCOMPARE(Commands(), std::vector<std::string>({Write("S2NAM", value), Read("S2NAM")}));
        QCOMPARE(Sim->Setting("S2NAM"), value);
        QCOMPARE(Window->GetCellText(GridSensor, 1, 3), value);
    }

    void thermistorEditsGoOutOnSaveOnly()
    {
        QVERIFY(ConnectAndWait());
        TypeInto(GridThermistor, 2, 1, "26.5");
        QCOMPARE(Window->GetCellText(GridThermistor, 2, 1), std::string("26.5"));
        QVERIFY(Marked(GridThermistor, 2, 1));
        // Ticks with the driver idle: no commit, so nothing is handed over.
        for (int i = 0; i < 3; ++i)
            Window->Timer1Timer();
        QCOMPARE(Window->Cells().CycleState, TCycleState::Idle);
        QCOMPARE(Commands().size(), size_t(0));

        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() == 2 && Settled(), WaitMs);
        QCOMPARE(Commands(), std::vector<std::string>({Write("TH0T0", "26.5"), Read("TH0T0")}));
        QCOMPARE(Sim->Setting("TH0T0"), std::string("26.5"));
        QVERIFY(!Marked(GridThermistor, 2, 1));
    }

    void commitDuringACycleIsServedAfterItAndReadBacksAddUp()
    {
        QVERIFY(ConnectAndWait());
        Sim->SetReplyDelay(std::chrono::milliseconds(300));
        Item(GridThermistor, 1, 1)->setText("First");
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Window->Cells().CycleState == TCycleState::Writing, WaitMs);
        Item(GridThermistor, 1, 2)->setText("Second");
        Button("SaveBtn")->click();

        const std::vector<std::string> expected{Write("TH0NAM", "First"), Read("TH0NAM"),
                                                Write("TH1NAM", "Second"), Read("TH0NAM"),
                                                Read("TH1NAM")};
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= expected.size() && Settled(), WaitMs);
        QCOMPARE(Commands(), expected);
        QCOMPARE(Window->GetCellText(GridThermistor, 1, 1), std::string("First"));
        QCOMPARE(Window->GetCellText(GridThermistor, 1, 2), std::string("Second"));
        QVERIFY(Button("CancelBtn")->isEnabled());
    }

    void saveDuringTheInitialReadWritesNothing()
    {
        Sim->SetReplyDelay(std::chrono::milliseconds(5));
        Button("ConnectBtn")->click();
        QVERIFY(Sim->WaitForCommands(20, std::chrono::milliseconds(WaitMs)));
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled() && AllCellsShowTheInstrument(), WaitMs);
        const std::vector<std::string> commands = Commands();
        QCOMPARE(commands.size(), size_t(SettingCount));
        for (const std::string& command : commands)
            QVERIFY2(command.find('=') == std::string::npos, command.c_str());
    }

    void codeMovingTheCurrentCellIsNoCommit()
    {
        QVERIFY(ConnectAndWait());
        Sensors()->setCurrentCell(5, 5);
        Sensors()->setCurrentCell(6, 2);
        QCOMPARE(PendingSaves, 0);
        ClickCell(GridSensor, 3, 3);
        QCOMPARE(PendingSaves, 1);
        QTest::keyClick(Sensors(), Qt::Key_Down);
        QCOMPARE(PendingSaves, 2);
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0, WaitMs);
        QCOMPARE(Commands().size(), size_t(0));
    }

    // The typed text is kept over a value that arrives meanwhile: it becomes the edit, marked
    // over what the instrument holds, and the next Save writes it.
    void valueArrivingWhileEditingIsKept()
    {
        QVERIFY(ConnectAndWait());
        ClickCell(GridSensor, 1, 2);
        QTest::keyClick(QApplication::focusWidget(), 'x');
        QVERIFY(QApplication::focusWidget() != Sensors()); // the editor is open
        // A value read for that cell arrives (the driver is idle: the test plays its part).
        dev_opt& record = cellTable[static_cast<size_t>(SlotOf(GridSensor, 1, 2))];
        QVERIFY(Sim->SetSetting("S1NAM", "From instrument"));
        record.ValueRead = "From instrument";
        dev_opt::Raise(record.ResultReady);
        Window->Timer1Timer();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Sensors(), WaitMs);
        QCOMPARE(Window->GetCellText(GridSensor, 1, 2), std::string("x"));
        QVERIFY(ToolTip(GridSensor, 1, 2).contains("\"From instrument\""));
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0 && Settled(), WaitMs);
        QCOMPARE(Sim->Setting("S1NAM"), std::string("x"));
    }

    void adapterNotFound()
    {
        if (FindAdapterPort(TAdapterLocator::SearchText) >= 1)
            QSKIP("an FTDI adapter is attached to this machine");
        adapterLocator.UseDevice("");
        Button("ConnectBtn")->click();
        QCOMPARE(Status(), QString("NOT IDENTIFIED - PLEASE TRY AGAIN "));
        QVERIFY(Button("ConnectBtn")->isEnabled());
        QVERIFY(DriverIdle());
        QVERIFY(!sdi12d.ExchangeRunningRaised());
        QVERIFY(!sdi12d.HoldsDevice());
        for (const dev_opt& record : cellTable)
            QVERIFY(record.Magic != BoundMagic);
        QVERIFY(!Progress()->isVisible());
    }

    void portThatCannotBeOpenedIsReportedWithItsReason()
    {
        adapterLocator.UseDevice("/nonexistent/tty");
        Button("ConnectBtn")->click();
        QCOMPARE(Status(), QString("Device: /nonexistent/tty NOT OPENED - not found"));
        QVERIFY(DriverIdle());
        QVERIFY(!sdi12d.ExchangeRunningRaised());
        for (const dev_opt& record : cellTable)
            QVERIFY(record.Magic != BoundMagic);
        QVERIFY(Button("ConnectBtn")->isEnabled());
        QVERIFY(Sensors()->isEnabled());
        QVERIFY(!Progress()->isVisible());
        adapterLocator.UseDevice("/dev/null");
        Button("ConnectBtn")->click();
        QCOMPARE(Status(), QString("Device: /dev/null NOT OPENED - not a serial port"));

        // Connect stays usable: the instrument once named works.
        adapterLocator.UseDevice(Sim->SlavePath());
        QVERIFY(ConnectAndWait());
    }

    void failedReconnectLeavesCommitsWithoutEffect()
    {
        QVERIFY(ConnectAndWait());
        adapterLocator.UseDevice("/nonexistent/tty");
        Button("ConnectBtn")->click();
        QVERIFY(Status().contains("NOT OPENED"));
        // The emptied sensor cells must not be written as blanks anywhere.
        QTRY_VERIFY_WITH_TIMEOUT(Sensors()->isEnabled(), WaitMs);
        ClickCell(GridSensor, 1, 1);
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(PendingSaves == 0, WaitMs);
        QCOMPARE(Window->Cells().CycleState, TCycleState::Idle);
        QVERIFY(DriverIdle());
        for (const dev_opt& record : cellTable)
            QVERIFY(!dev_opt::IsRaised(record.WriteNeeded));
    }

    void instrumentThatStopsAnsweringLetsTheReadEnd()
    {
        sdi12d.SetReplyLimit(100);
        Sim->HangUpAfterCommands(20);
        Button("ConnectBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), 6 * WaitMs);
        // The settings never read are marked, and counted where the progress showed.
        QVERIFY(Progress()->text().endsWith("settings not confirmed"));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 1, 20)), TCellMark::NoAnswer);
        for (int col = 1; col <= 8; ++col)
            QCOMPARE(Window->GetCellText(GridSensor, col, 1), Sim->Setting(SensorKey(col, 1)));
        QCOMPARE(Window->GetCellText(GridSensor, 1, 20), std::string());
        QVERIFY(Button("CancelBtn")->isEnabled());
    }

    void busyGuardRefusesAPendingCommit()
    {
        QVERIFY(ConnectAndWait());
        const QString status = Status();
        Button("SaveBtn")->click();
        BoxSeen seen;
        CloseBoxLater(seen);
        Button("ConnectBtn")->click(); // before any tick takes the commit up
        QCOMPARE(seen.Count, 1);
        QCOMPARE(seen.Text, QString("Update In Progress"));
        QCOMPARE(seen.Title, QString("please try again"));
        QCOMPARE(seen.Icon, QMessageBox::NoIcon);
        QCOMPARE(seen.Buttons, 1);
        QVERIFY(seen.OkOnly);
        // Nothing else happened: the port is held, the cells keep their values.
        QVERIFY(sdi12d.HoldsDevice());
        QCOMPARE(Status(), status);
        QVERIFY(AllCellsShowTheInstrument());
        QTRY_VERIFY_WITH_TIMEOUT(Settled(), WaitMs);
        QCOMPARE(Commands().size(), size_t(0));
    }

    void busyGuardRefusesConnectDuringAWriteBack()
    {
        QVERIFY(ConnectAndWait());
        Sim->SetReplyDelay(std::chrono::milliseconds(400));
        Item(GridThermistor, 3, 2)->setText("1000");
        Button("SaveBtn")->click();
        // No key typed in the sensor table: Connect stays enabled during the write-back.
        QTRY_VERIFY_WITH_TIMEOUT(Window->Cells().CycleState != TCycleState::Idle && !DriverIdle(),
                                 WaitMs);
        QVERIFY(Button("ConnectBtn")->isEnabled());
        BoxSeen seen;
        CloseBoxLater(seen);
        Button("ConnectBtn")->click();
        QCOMPARE(seen.Count, 1);
        QCOMPARE(seen.Text, QString("Update In Progress"));

        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 2 && Settled(), WaitMs);
        QCOMPARE(Commands(), std::vector<std::string>({Write("TH1R0", "1000"), Read("TH1R0")}));
        QVERIFY(sdi12d.HoldsDevice());
        QVERIFY(AllCellsShowTheInstrument());
    }

    void focusBeforeAnyConnectDoesNotLockConnect()
    {
        ClickCell(GridSensor, 2, 2);
        QCOMPARE(QApplication::focusWidget(), Sensors());
        QVERIFY(!sdi12d.ExchangeRunningRaised());
        QTest::keyClick(Sensors(), 'a');
        QCOMPARE(TypedSinceSave, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!Button("ConnectBtn")->isEnabled(), WaitMs);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Sensors(), WaitMs);
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            Button("ConnectBtn")->isEnabled() && Button("CancelBtn")->isEnabled(), WaitMs);
        QCOMPARE(Window->Cells().CycleState, TCycleState::Idle);
        QVERIFY(ConnectAndWait());
    }

    void unsafeValuesNeverReachTheWire()
    {
        QVERIFY(ConnectAndWait());
        const std::string longest(size_t(MaxCommandLength) - std::string("S1FRP=\r\n").size(), 'x');
        const std::string tooLong(size_t(MaxCommandLength) - std::string("S0CAL3=\r\n").size() + 1,
                                  'y');
        const std::vector<std::pair<int, QString>> unsafe{
            {1, "bad\r"},
            {2, "bad\nline"},
            {3, QString("\x02") + "lead"},
            {4, QString("nul") + QChar(0) + "x"},
            {5, "tab\there"},
            {6, "del\x7f"},
            {7, Latin1(tooLong)},
            {8, QString::fromUtf8("5 €")},
        };
        std::vector<std::string> before(9);
        for (const auto& [col, text] : unsafe) {
            before[static_cast<size_t>(col)] = Sim->Setting(SensorKey(col, 1));
            Item(GridSensor, col, 1)->setText(text);
        }
        Item(GridSensor, 1, 2)->setText(QString::fromUtf8("Fine ÿ°"));
        Item(GridSensor, 2, 2)->setText(Latin1(longest));
        Button("SaveBtn")->click();

        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 4 && Settled(), WaitMs);
        const std::string fine = "Fine \xFF\xB0";
        QCOMPARE(Commands(),
                 std::vector<std::string>({Write("S1NAM", fine), Write("S1FRP", longest),
                                           Read("S1NAM"), Read("S1FRP")}));
        QCOMPARE(Sim->Setting("S1NAM"), fine);
        QCOMPARE(Sim->Setting("S1FRP"), longest);
        for (const auto& [col, text] : unsafe) {
            QVERIFY2(Marked(GridSensor, col, 1), qPrintable(text));
            QVERIFY2(ToolTip(GridSensor, col, 1).startsWith("Not sent"), qPrintable(text));
            QCOMPARE(Item(GridSensor, col, 1)->text(), text);
            QCOMPARE(Sim->Setting(SensorKey(col, 1)), before[static_cast<size_t>(col)]);
            QVERIFY(!dev_opt::IsRaised(cellTable[static_cast<size_t>(20 + col)].WriteNeeded));
        }
        QVERIFY(!Marked(GridSensor, 1, 2));

        // Put right, the cell loses its mark and is written.
        Item(GridSensor, 1, 1)->setText("good");
        Button("SaveBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Commands().size() >= 7 && Settled(), WaitMs);
        QCOMPARE(Sim->Setting("S0NAM"), std::string("good"));
        QVERIFY(!Marked(GridSensor, 1, 1));
        QVERIFY(Marked(GridSensor, 2, 1));
    }

    void helpOpensTheManualOfTheCurrentDirectoryOnly()
    {
        UrlCatcher viewer;
        QDesktopServices::setUrlHandler("file", &viewer, "open");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));

        Button("HelpBtn")->click();
        QVERIFY(viewer.Opened.isEmpty());
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(qobject_cast<QMessageBox*>(widget) == nullptr || !widget->isVisible());

        QFile manual(dir.filePath("manual.pdf"));
        QVERIFY(manual.open(QIODevice::WriteOnly));
        manual.close();
        Button("HelpBtn")->click();
        QCOMPARE(viewer.Opened.size(), 1);
        QCOMPARE(viewer.Opened.first(),
                 QUrl::fromLocalFile(QDir(dir.path()).absoluteFilePath("manual.pdf")));

        QDir::setCurrent(previous);
        QDesktopServices::unsetUrlHandler("file");
    }

    void closeEndsTheProgram()
    {
        QVERIFY(Window->isVisible());
        Button("CancelBtn")->click();
        QVERIFY(!Window->isVisible());
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestConnect test;
    return QTest::qExec(&test, argc, argv);
}

#include "connect_test.moc"
