// Editing the tables as blocks against the simulated instrument: copy, paste, a refused
// paste, undo before and after a write, and the question Close asks.
#include "window/tableeditor.h"
#include "windowharness.h"

#include <QClipboard>
#include <QLineEdit>

namespace {

// Answers the next message box with the button of this text, noting what it asked.
void AnswerBoxLater(const QString& button, QString& asked)
{
    QTimer::singleShot(100, [button, &asked] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible())
                continue;
            asked = box->text();
            for (QAbstractButton* candidate : box->buttons())
                if (candidate->text() == button)
                    candidate->click();
        }
    });
}

} // namespace

class TestTableEdit : public QObject, protected WindowHarness
{
    Q_OBJECT

    // Selects cells by code, which commits nothing, and gives the table the keyboard.
    void Select(int32_t gridId, int col, int row, int cols = 1, int rows = 1)
    {
        QTableWidget* grid = GridOf(gridId);
        ShowPage(gridId);
        grid->setCurrentCell(row - 1, col - 1);
        grid->setRangeSelected({row - 1, col - 1, row + rows - 2, col + cols - 2}, true);
        grid->setFocus();
    }
    void Keys(int32_t gridId, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(GridOf(gridId), static_cast<Qt::Key>(key), modifiers);
    }
    bool SettledAfterWrites(size_t commands)
    {
        return QTest::qWaitFor([&] { return Commands().size() >= commands && Settled(); }, WaitMs);
    }

private slots:
    void init() { StartWindow(); }

    void cleanup() { QVERIFY(StopWindow()); }

    void copyPutsTheBlockAsTabSeparatedRows()
    {
        QVERIFY(ConnectAndWait());
        Select(GridThermistor, 3, 1, 2, 2);
        Keys(GridThermistor, Qt::Key_C);
        const auto value = [this](int col, int row) {
            return Latin1(Sim->Setting(ThermistorKey(col, row)));
        };
        QCOMPARE(QApplication::clipboard()->text(),
                 value(3, 1) + "\t" + value(4, 1) + "\n" + value(3, 2) + "\t" + value(4, 2) + "\n");
    }

    // Each value of a 4 x 3 block is the user's edit of its cell, and the next commit writes
    // exactly those twelve, in slot order.
    void pastedBlockIsWrittenAtTheNextCommit()
    {
        QVERIFY(ConnectAndWait());
        QString block;
        std::vector<std::string> expected;
        for (int row = 17; row <= 20; ++row) {
            for (int col = 4; col <= 6; ++col) {
                const QString value = QStringLiteral("%1.5E-0%2").arg(row).arg(col);
                block += value + (col < 6 ? "\t" : "\r\n");
                expected.push_back(Write(SensorKey(col, row), value.toStdString()));
            }
        }
        QApplication::clipboard()->setText(block);
        Select(GridSensor, 4, 17);
        Keys(GridSensor, Qt::Key_V);
        QCOMPARE(Window->Cells().NotConfirmedCount(), 12);
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 6, 20)), TCellMark::Unconfirmed);
        QCOMPARE(Item(GridSensor, 5, 18)->text(), QString("18.5E-05"));
        QCOMPARE(Progress()->text(), QString("12 settings not confirmed"));
        QVERIFY(WritesSentAfter(2 * Timer1IntervalMs).empty());

        Button("SaveBtn")->click();
        QVERIFY(SettledAfterWrites(24));
        QCOMPARE(WritesSent(), expected);
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
    }

    void blockThatDoesNotFitIsRefusedWhole()
    {
        QVERIFY(ConnectAndWait());
        QApplication::clipboard()->setText("1\t2\t3\n4\t5\t6\n");
        Select(GridThermistor, 6, 2);
        BoxSeen seen;
        CloseBoxLater(seen);
        Keys(GridThermistor, Qt::Key_V);
        QCOMPARE(seen.Count, 1);
        QVERIFY2(seen.Text.startsWith("Nothing was pasted: the block has 2 rows and 3 columns, "
                                      "but from the current cell the table has room for 2 rows "
                                      "and 2 columns."),
                 qPrintable(seen.Text));
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
        QVERIFY(AllCellsShowTheInstrument());
    }

    // Undo withdraws an edit not yet written; after a write it makes the old value an edit
    // that the next commit writes; redo and revert work the same way.
    void undoBeforeAndAfterAWrite()
    {
        QVERIFY(ConnectAndWait());
        const std::string old = Sim->Setting("S0CAL0");
        TypeInto(GridSensor, 4, 1, "2.5");
        Keys(GridSensor, Qt::Key_Z);
        QCOMPARE(Window->GetCellText(GridSensor, 4, 1), old);
        QVERIFY(!Marked(GridSensor, 4, 1));
        Button("SaveBtn")->click();
        QVERIFY(WritesSentAfter(3 * Timer1IntervalMs).empty());

        Keys(GridSensor, Qt::Key_Y);
        QCOMPARE(Window->GetCellText(GridSensor, 4, 1), std::string("2.5"));
        Button("SaveBtn")->click();
        QVERIFY(SettledAfterWrites(2));
        QCOMPARE(Sim->Setting("S0CAL0"), std::string("2.5"));

        Keys(GridSensor, Qt::Key_Z);
        QCOMPARE(Window->GetCellText(GridSensor, 4, 1), old);
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridSensor, 4, 1)), TCellMark::Unconfirmed);
        Button("SaveBtn")->click();
        QVERIFY(SettledAfterWrites(4));
        QCOMPARE(WritesSent(),
                 std::vector<std::string>({Write("S0CAL0", "2.5"), Write("S0CAL0", old)}));

        TypeInto(GridSensor, 4, 1, "7");
        Select(GridSensor, 4, 1);
        Sensors()->findChild<TTableEditor*>()->RevertAction->trigger();
        QCOMPARE(Window->GetCellText(GridSensor, 4, 1), old);
        QCOMPARE(Window->Cells().NotConfirmedCount(), 0);
    }

    // Only marked edits make Close ask; "Save first" commits and keeps the window.
    // The user types into a thermistor cell while the initial read is under way: the value
    // that arrives leaves the open editor alone, and the typed text becomes the edit, marked
    // over the instrument's value.
    void aValueArrivingWhileTypingKeepsTheTypedText()
    {
        Sim->SetReplyDelay(std::chrono::milliseconds(5));
        Button("ConnectBtn")->click();
        QVERIFY(Sim->WaitForCommands(1, std::chrono::milliseconds(WaitMs)));
        ClickCell(GridThermistor, 7, 3);
        for (const char c : std::string("9.5E-09"))
            QTest::keyClick(QApplication::focusWidget(), c);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor != nullptr);
        QVERIFY(Sim->CommandCount() < size_t(SettingCount)); // TH2STD is read last
        QTRY_VERIFY_WITH_TIMEOUT(
            DriverIdle() && Window->Cells().StateOf(SlotOf(GridThermistor, 7, 3)).Instrument,
            WaitMs);
        QCOMPARE(editor->text(), QString("9.5E-09"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Thermistors(), WaitMs);
        QCOMPARE(Window->GetCellText(GridThermistor, 7, 3), std::string("9.5E-09"));
        QCOMPARE(Window->Cells().Marks().MarkOf(SlotOf(GridThermistor, 7, 3)),
                 TCellMark::Unconfirmed);
        QVERIFY(ToolTip(GridThermistor, 7, 3).contains(Latin1(Sim->Setting("TH2STD"))));
    }

    void closeAsksOnlyWhileEditsAreMarked()
    {
        QVERIFY(ConnectAndWait());
        QApplication::clipboard()->setText("7;8");
        // Pasted into an open cell, the two values still go into two cells.
        Select(GridThermistor, 2, 1);
        QTest::keyClick(Thermistors(), Qt::Key_F2);
        QVERIFY(QApplication::focusWidget() != Thermistors());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Window->GetCellText(GridThermistor, 2, 1), std::string("7"));
        QCOMPARE(Window->GetCellText(GridThermistor, 3, 1), std::string("8"));
        QString asked;
        AnswerBoxLater("Cancel", asked);
        Button("CancelBtn")->click();
        QCOMPARE(asked, QString("2 settings are not confirmed in the instrument. Close anyway?"));
        QVERIFY(Window->isVisible());

        AnswerBoxLater("Save first", asked);
        Button("CancelBtn")->click();
        QVERIFY(Window->isVisible());
        QVERIFY(SettledAfterWrites(4));
        QCOMPARE(Window->Cells().UnconfirmedEditCount(), 0);

        asked.clear();
        Button("CancelBtn")->click();
        QVERIFY(asked.isEmpty());
        QVERIFY(!Window->isVisible());
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestTableEdit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tableedit_test.moc"
