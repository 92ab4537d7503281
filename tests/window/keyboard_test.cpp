// A whole session by keyboard alone, on the real window with the real driver against the
// simulated instrument: Connect, move to a cell, edit it, drop another edit, the context menu,
// Save, Close.
#include "windowharness.h"
#include "writeback/cellslots.h"

#include <QMenu>

class TestKeyboard : public QObject, protected WindowHarness
{
    Q_OBJECT

    static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    TCellMark MarkOf(int col, int row) const
    {
        return Window->Cells().Marks().MarkOf(SlotOf(GridSensor, col, row));
    }

    // The menu runs its own loop: it is looked at and closed from inside that loop.
    QStringList MenuFromKeys(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QStringList entries;
        QTimer::singleShot(0, [&entries] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* action : menu->actions())
                    if (!action->isSeparator())
                        entries << action->text();
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        QTest::keyClick(Sensors(), key, modifiers);
        return entries;
    }

private slots:
    void init() { StartWindow(); }
    void cleanup() { QVERIFY(StopWindow()); }

    void wholeSessionByKeyboard()
    {
        Key(Qt::Key_C, Qt::AltModifier);
        QVERIFY(
            QTest::qWaitFor([this] { return Settled() && AllCellsShowTheInstrument(); }, WaitMs));

        // Round the tab order to the table.
        for (int presses = 0; presses < 6 && QApplication::focusWidget() != Sensors(); ++presses)
            Key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Sensors());
        Sensors()->setCurrentCell(0, 0);
        Key(Qt::Key_Right);
        Key(Qt::Key_Down);
        Key(Qt::Key_Down);
        QCOMPARE(Sensors()->currentRow(), 2);
        QCOMPARE(Sensors()->currentColumn(), 1);

        // Enter opens the editor; Esc in it drops the edit.
        const std::string before = Window->GetCellText(GridSensor, 2, 3);
        Key(Qt::Key_Return);
        QVERIFY(QApplication::focusWidget() != Sensors());
        Key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "99");
        Key(Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Sensors(), WaitMs);
        QCOMPARE(Window->GetCellText(GridSensor, 2, 3), before);
        QCOMPARE(MarkOf(2, 3), TCellMark::None);

        // F2 opens it as well; Enter keeps the edit, marked until the instrument confirms it.
        Key(Qt::Key_F2);
        Key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "42");
        Key(Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Sensors(), WaitMs);
        QCOMPARE(Window->GetCellText(GridSensor, 2, 3), std::string("42"));
        QCOMPARE(MarkOf(2, 3), TCellMark::Unconfirmed);

        // The context menu from the keyboard, both ways.
        for (auto [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
              std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
            const QStringList entries = MenuFromKeys(key, modifiers);
            QVERIFY2(entries.contains("Copy") && entries.contains("Paste"),
                     qPrintable(entries.join(", ")));
            // The offscreen platform, with no window manager and no keyboard grab, leaves the
            // window inactive after a popup; a desktop gives the activation back.
            QApplication::setActiveWindow(Window.get());
            QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), Sensors(), WaitMs);
        }

        Key(Qt::Key_S, Qt::AltModifier);
        QVERIFY(QTest::qWaitFor(
            [this] { return Settled() && Sim->Setting(SensorKey(2, 3)) == "42"; }, WaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(MarkOf(2, 3), TCellMark::None, WaitMs);

        Key(Qt::Key_L, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!Window->isVisible(), WaitMs);
    }
};

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    TestKeyboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "keyboard_test.moc"
