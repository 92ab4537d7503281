// The main window on the offscreen platform: layout, table labelling, the timer's copy and
// button steps, ResetGrids, keyboard order, and the error box for escaping exceptions.
#include "../driver/testrecords.h"
#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "messageboxwatch.h"
#include "window/mainform.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

constexpr int WaitMs = 10000;

template <typename T> T* Child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

void PutResult(int slot, int32_t gridId, int32_t col, int32_t row, const std::string& value)
{
    dev_opt& record = cellTable[static_cast<size_t>(slot)];
    record.GridId = gridId;
    record.Col = col;
    record.Row = row;
    record.ValueRead = value;
    dev_opt::Raise(record.ResultReady);
}

QStringList HeaderTexts(const QTableWidget* grid, Qt::Orientation orientation)
{
    QStringList texts;
    const int count = orientation == Qt::Horizontal ? grid->columnCount() : grid->rowCount();
    for (int i = 0; i < count; ++i) {
        const QTableWidgetItem* item = orientation == Qt::Horizontal ? grid->horizontalHeaderItem(i)
                                                                     : grid->verticalHeaderItem(i);
        texts << (item != nullptr ? item->text() : QString());
    }
    return texts;
}

class ThrowingObject : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("sensor table out of step");
        return QObject::event(event);
    }
};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (dev_opt& record : cellTable)
            ClearRecord(record);
        TypedSinceSave = 0;
        PendingSaves = 0;
        sdi12d.LowerExchangeRunning();
    }

    void windowIsFixedCentredAndCaptioned()
    {
        TMainWindow window;
        QCOMPARE(window.windowTitle(), QString("Device Configuration"));
        QCOMPARE(window.size(), QSize(759, 385));
        QCOMPARE(window.minimumSize(), QSize(759, 385));
        QCOMPARE(window.maximumSize(), QSize(759, 385));
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.windowIcon().actualSize(QSize(32, 32)), QSize(32, 32));
        QCOMPARE(window.Cells().CycleState, TCycleState::Idle);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->geometry();
        const QRect outer = window.frameGeometry();
        QVERIFY2(qAbs(outer.center().x() - screen.center().x()) <= 1,
                 qPrintable(QString::number(outer.x())));
        QVERIFY2(qAbs(outer.center().y() - screen.center().y()) <= 1,
                 qPrintable(QString::number(outer.y())));
        // The user cannot resize it.
        window.resize(900, 500);
        QCOMPARE(window.size(), QSize(759, 385));
    }

    void componentsSitWhereTheFormPutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("CancelBtn") << "CancelBtn"
                                   << "MainWindow" << QRect(16, 328, 75, 25) << "Close" << true;
        QTest::newRow("PageControl1") << "PageControl1"
                                      << "MainWindow" << QRect(0, 0, 737, 313) << "" << true;
        QTest::newRow("SensorSG") << "SensorSG"
                                  << "TabSheet1" << QRect(16, 16, 705, 249) << "" << false;
        QTest::newRow("ThermistorSG") << "ThermistorSG"
                                      << "TabSheet2" << QRect(16, 8, 649, 273) << "" << true;
        QTest::newRow("Backlight") << "Backlight"
                                   << "TabSheet3" << QRect(64, 48, 97, 17) << "Backlight" << true;
        QTest::newRow("Speaker") << "Speaker"
                                 << "TabSheet3" << QRect(64, 80, 97, 17) << "Speaker" << true;
        QTest::newRow("ConnectBtn") << "ConnectBtn"
                                    << "MainWindow" << QRect(112, 328, 75, 25) << "Connect" << true;
        QTest::newRow("StatusBar1")
            << "StatusBar1"
            << "MainWindow" << QRect(0, 366, 759, 19) << "Attach device and press Connect" << true;
        QTest::newRow("HelpBtn") << "HelpBtn"
                                 << "MainWindow" << QRect(304, 328, 75, 25) << "Help" << true;
        QTest::newRow("SaveBtn") << "SaveBtn"
                                 << "MainWindow" << QRect(208, 328, 75, 25) << "Save" << true;
    }

    void componentsSitWhereTheFormPutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);

        TMainWindow window; // no tick has run yet
        auto* widget = window.findChild<QWidget*>(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->parentWidget()->objectName(), parentName);
        QCOMPARE(widget->geometry(), geometry);
        // Its own state: the System page around the check boxes is disabled as a whole.
        QCOMPARE(widget->isEnabledTo(widget->parentWidget()), enabled);
        // The caption as shown; the ampersand marks the mnemonic's letter.
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QCOMPARE(button->text().remove('&'), text);
        if (auto* check = qobject_cast<QCheckBox*>(widget))
            QVERIFY(!check->isChecked());
        if (auto* bar = qobject_cast<QStatusBar*>(widget)) {
            QCOMPARE(bar->currentMessage(), text);
            QVERIFY(!bar->isSizeGripEnabled());
            QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
        }
    }

    void componentsHaveTheirClassesAndFonts()
    {
        TMainWindow window;
        for (const char* name : {"CancelBtn", "ConnectBtn", "HelpBtn", "SaveBtn"})
            QVERIFY2(Child<QPushButton>(window, name) != nullptr, name);
        for (const char* name : {"Backlight", "Speaker"})
            QVERIFY2(Child<QCheckBox>(window, name) != nullptr, name);
        for (const char* name : {"TabSheet1", "TabSheet2", "TabSheet3"})
            QVERIFY2(Child<QWidget>(window, name) != nullptr, name);
        QVERIFY(Child<QTabWidget>(window, "PageControl1") != nullptr);
        QVERIFY(Child<QStatusBar>(window, "StatusBar1") != nullptr);
        auto* sensors = Child<QTableWidget>(window, "SensorSG");
        auto* thermistors = Child<QTableWidget>(window, "ThermistorSG");
        QVERIFY(sensors != nullptr && thermistors != nullptr);
        QVERIFY(!Child<QWidget>(window, "TabSheet3")->isEnabled());

        // The form's font, or a narrow stand-in at its pixel height on a 96 dpi screen.
        const bool original = QFontDatabase::hasFamily("MS Sans Serif");
        const QString family = original ? QString("MS Sans Serif")
                               : QFontDatabase::hasFamily("Liberation Sans Narrow")
                                   ? QString("Liberation Sans Narrow")
                                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        const auto size = [original](const QFont& font) {
            return original ? font.pointSize() : font.pixelSize();
        };
        QCOMPARE(window.font().family(), family);
        QCOMPARE(size(window.font()), original ? 8 : 11);
        QCOMPARE(size(Child<QPushButton>(window, "CancelBtn")->font()), original ? 8 : 11);
        QCOMPARE(size(thermistors->font()), original ? 8 : 11);
        QCOMPARE(sensors->font().family(), family);
        QCOMPARE(size(sensors->font()), original ? 10 : 13);
    }

    // A calibration value shows whole in the narrow columns of both tables; what still does not
    // fit is clipped at the right, never elided to a digit and dots.
    void coefficientsShowWholeInTheNarrowColumns()
    {
        TMainWindow window;
        for (auto* grid : {Child<QTableWidget>(window, "SensorSG"),
                           Child<QTableWidget>(window, "ThermistorSG")}) {
            QCOMPARE(grid->textElideMode(), Qt::ElideNone);
            const int margin =
                grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
            const int needed = QFontMetrics(grid->font()).horizontalAdvance("-1.2500E-03");
            QVERIFY2(needed + 2 * margin <= grid->columnWidth(4),
                     qPrintable(QString("%1 px of text in %2 px")
                                    .arg(needed)
                                    .arg(grid->columnWidth(4) - 2 * margin)));
        }
    }

    void onlySensorsAndThermistorsTabsShow()
    {
        TMainWindow window;
        window.show();
        auto* pages = Child<QTabWidget>(window, "PageControl1");
        // The System page is kept, hidden, but left out of the tab bar: assistive technology is
        // told of every tab a bar holds, hidden or not.
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->currentWidget()->objectName(), QString("TabSheet1"));
        QCOMPARE(pages->tabText(0), QString("Sensors"));
        QCOMPARE(pages->tabText(1), QString("Thermistors"));
        QVERIFY(pages->isTabVisible(0));
        QVERIFY(pages->isTabVisible(1));
        QCOMPARE(pages->indexOf(Child<QWidget>(window, "TabSheet3")), -1);
        QVERIFY(Child<QWidget>(window, "TabSheet3")->isHidden());
        QVERIFY(!Child<QCheckBox>(window, "Backlight")->isVisible());
    }

    void tablesAreLabelledAndShaped()
    {
        TMainWindow window;
        auto* sensors = Child<QTableWidget>(window, "SensorSG");
        auto* thermistors = Child<QTableWidget>(window, "ThermistorSG");

        QCOMPARE(HeaderTexts(sensors, Qt::Horizontal),
                 QStringList({"Name", "Proc", "Mid Hz", "A", "B", "C", "D", "Therm#"}));
        QStringList sensorLabels;
        for (int i = 0; i < 20; ++i)
            sensorLabels << QString("S%1").arg(i);
        QCOMPARE(HeaderTexts(sensors, Qt::Vertical), sensorLabels);
        QCOMPARE(HeaderTexts(thermistors, Qt::Horizontal),
                 QStringList({"Name", "T0", "R0", "A", "B", "0", "D"}));
        QCOMPARE(HeaderTexts(thermistors, Qt::Vertical), QStringList({"T0", "T1", "T2"}));

        const QList<int> sensorWidths{179, 65, 64, 64, 64, 64, 64, 64};
        const QList<int> thermistorWidths{186, 64, 64, 64, 64, 64, 64};
        for (auto [grid, widths] :
             {std::pair{sensors, sensorWidths}, std::pair{thermistors, thermistorWidths}}) {
            QCOMPARE(grid->columnCount(), widths.size());
            for (int column = 0; column < widths.size(); ++column)
                QCOMPARE(grid->columnWidth(column), widths[column]);
            for (int row = 0; row < grid->rowCount(); ++row)
                QCOMPARE(grid->rowHeight(row), 24);
            QCOMPARE(grid->verticalHeader()->width(), 64);
            QCOMPARE(grid->horizontalHeader()->height(), 24);
            for (int row = 0; row < grid->rowCount(); ++row)
                for (int column = 0; column < grid->columnCount(); ++column)
                    QVERIFY(grid->item(row, column) == nullptr ||
                            grid->item(row, column)->text().isEmpty());
            // In-place editing of data cells; headers neither edit, move nor resize.
            QVERIFY(grid->editTriggers().testFlag(QAbstractItemView::AnyKeyPressed));
            QVERIFY(grid->editTriggers().testFlag(QAbstractItemView::DoubleClicked));
            QCOMPARE(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
            QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectItems);
            QCOMPARE(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
            QCOMPARE(grid->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
            QVERIFY(!grid->verticalHeader()->sectionsMovable());
            QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
            QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        }
        QCOMPARE(sensors->rowCount(), 20);
        QCOMPARE(thermistors->rowCount(), 3);
    }

    void draggingAThermistorRowMovesNothing()
    {
        TMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Child<QTabWidget>(window, "PageControl1")->setCurrentIndex(1);
        auto* grid = Child<QTableWidget>(window, "ThermistorSG");
        window.SetCellText(GridThermistor, 2, 1, "25.0");
        window.SetCellText(GridThermistor, 2, 3, "0.0");

        QHeaderView* labels = grid->verticalHeader();
        const QPoint from(labels->width() / 2, labels->sectionViewportPosition(0) + 12);
        const QPoint to(labels->width() / 2, labels->sectionViewportPosition(2) + 12);
        QTest::mousePress(labels->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(labels->viewport(), (from + to) / 2);
        QTest::mouseMove(labels->viewport(), to);
        QTest::mouseRelease(labels->viewport(), Qt::LeftButton, {}, to);

        for (int row = 0; row < 3; ++row)
            QCOMPARE(labels->visualIndex(row), row);
        // Dragging a cell must not carry its value elsewhere either.
        QCOMPARE(grid->dragDropMode(), QAbstractItemView::NoDragDrop);
        QCOMPARE(window.GetCellText(GridThermistor, 2, 1), std::string("25.0"));
        QCOMPARE(window.GetCellText(GridThermistor, 2, 3), std::string("0.0"));
        QCOMPARE(window.GetCellText(GridThermistor, 0, 1), std::string("T0"));
    }

    void cellsAreAddressedByColumnAndRowPastTheHeaders()
    {
        TMainWindow window;
        auto* sensors = Child<QTableWidget>(window, "SensorSG");
        auto* thermistors = Child<QTableWidget>(window, "ThermistorSG");

        window.SetCellText(GridSensor, 1, 1, "Probe A");
        window.SetCellText(GridSensor, 8, 20, "2");
        window.SetCellText(GridThermistor, 7, 3, "1.5e-7");
        QCOMPARE(sensors->item(0, 0)->text(), QString("Probe A"));
        QCOMPARE(sensors->item(19, 7)->text(), QString("2"));
        QCOMPARE(thermistors->item(2, 6)->text(), QString("1.5e-7"));
        QCOMPARE(window.GetCellText(GridSensor, 1, 1), std::string("Probe A"));
        QCOMPARE(window.GetCellText(GridThermistor, 7, 3), std::string("1.5e-7"));

        // The fixed row and column read as their labels.
        QCOMPARE(window.GetCellText(GridSensor, 0, 20), std::string("S19"));
        QCOMPARE(window.GetCellText(GridSensor, 3, 0), std::string("Mid Hz"));
        QCOMPARE(window.GetCellText(GridThermistor, 6, 0), std::string("0"));
        QCOMPARE(window.GetCellText(GridThermistor, 0, 0), std::string());

        // Texts are 8-bit: every byte survives the trip through a cell.
        const std::string degrees = "25\xB0"
                                    "C \xFF";
        window.SetCellText(GridSensor, 2, 5, degrees);
        QCOMPARE(sensors->item(4, 1)->text(), QString::fromUtf8("25°C ÿ"));
        QCOMPARE(window.GetCellText(GridSensor, 2, 5), degrees);

        // Ids that name no grid, and cells outside the table, are neither read nor written.
        window.SetCellText(0, 1, 1, "lost");
        window.SetCellText(103, 1, 1, "lost");
        window.SetCellText(GridSensor, 9, 1, "lost");
        window.SetCellText(GridSensor, 1, 21, "lost");
        window.SetCellText(GridThermistor, 1, 4, "lost");
        window.SetCellText(GridSensor, -1, 1, "lost");
        QCOMPARE(window.GetCellText(0, 1, 1), std::string());
        QCOMPARE(window.GetCellText(103, 1, 1), std::string());
        QCOMPARE(window.GetCellText(GridSensor, 1, 21), std::string());
        QCOMPARE(sensors->rowCount(), 20);
        QCOMPARE(sensors->columnCount(), 8);
        QCOMPARE(thermistors->rowCount(), 3);
        QCOMPARE(window.GetCellText(GridSensor, 1, 1), std::string("Probe A"));
    }

    void firstTickEnablesTheSensorTable()
    {
        TMainWindow window;
        window.show();
        QVERIFY(!Child<QTableWidget>(window, "SensorSG")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(Child<QTableWidget>(window, "SensorSG")->isEnabled(), WaitMs);
        QVERIFY(Child<QPushButton>(window, "ConnectBtn")->isEnabled());
    }

    void tickCopiesReadyValuesOfTheFirst300Slots()
    {
        TMainWindow window;
        PutResult(21, GridSensor, 1, 1, "Pressure");
        PutResult(218, GridSensor, 8, 20, "1");
        PutResult(241, GridThermistor, 1, 1, "Therm A");
        PutResult(0, 0, 1, 1, "no grid");
        PutResult(300, GridSensor, 2, 1, "beyond the used slots");
        // A value already taken is not copied a second time.
        cellTable[22].GridId = GridSensor;
        cellTable[22].Col = 2;
        cellTable[22].Row = 1;
        cellTable[22].ValueRead = "stale";

        window.Timer1Timer();

        QCOMPARE(window.GetCellText(GridSensor, 1, 1), std::string("Pressure"));
        QCOMPARE(window.GetCellText(GridSensor, 8, 20), std::string("1"));
        QCOMPARE(window.GetCellText(GridThermistor, 1, 1), std::string("Therm A"));
        QCOMPARE(window.GetCellText(GridSensor, 2, 1), std::string());
        for (int slot : {21, 218, 241, 0})
            QVERIFY(!dev_opt::IsRaised(cellTable[static_cast<size_t>(slot)].ResultReady));
        QVERIFY(dev_opt::IsRaised(cellTable[300].ResultReady));

        // A cell the user has changed since is overwritten only by a new value.
        window.SetCellText(GridSensor, 1, 1, "typed");
        window.Timer1Timer();
        QCOMPARE(window.GetCellText(GridSensor, 1, 1), std::string("typed"));
        PutResult(21, GridSensor, 1, 1, "Pressure 2");
        window.Timer1Timer();
        QCOMPARE(window.GetCellText(GridSensor, 1, 1), std::string("Pressure 2"));
    }

    void tickSetsButtonsFromTypingAndTheExchange()
    {
        TMainWindow window;
        auto* connect = Child<QPushButton>(window, "ConnectBtn");
        auto* close = Child<QPushButton>(window, "CancelBtn");
        auto* sensors = Child<QTableWidget>(window, "SensorSG");

        // A typed edit awaiting Save locks Connect and Close.
        TypedSinceSave = 1;
        window.Timer1Timer();
        QVERIFY(!connect->isEnabled());
        QVERIFY(!close->isEnabled());
        QVERIFY(sensors->isEnabled() == false);

        // While an exchange runs nothing is enabled.
        TypedSinceSave = 0;
        sdi12d.RaiseExchangeRunning();
        window.Timer1Timer();
        QVERIFY(!connect->isEnabled());
        QVERIFY(!sensors->isEnabled());

        // Once it has finished the table and Connect come back; Close waits for the
        // write-back cycle.
        sdi12d.LowerExchangeRunning();
        window.Timer1Timer();
        QVERIFY(connect->isEnabled());
        QVERIFY(sensors->isEnabled());
        QVERIFY(!close->isEnabled());
        QVERIFY(Child<QTableWidget>(window, "ThermistorSG")->isEnabled());
    }

    void resetGridsEmptiesSensorsAndKeepsThermistors()
    {
        TMainWindow window;
        window.show();
        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                PutResult(10 + 10 * row + col, GridSensor, col, row,
                          "s" + std::to_string(col) + "," + std::to_string(row));
        for (int row = 1; row <= 3; ++row)
            for (int col = 1; col <= 7; ++col)
                PutResult(230 + 10 * row + col, GridThermistor, col, row,
                          "t" + std::to_string(col) + "," + std::to_string(row));
        window.Timer1Timer();
        QCOMPARE(window.GetCellText(GridSensor, 8, 20), std::string("s8,20"));

        // Whatever happened to the labels and the tab since, ResetGrids puts them back.
        auto* pages = Child<QTabWidget>(window, "PageControl1");
        auto* sensors = Child<QTableWidget>(window, "SensorSG");
        pages->setTabVisible(2, true);
        sensors->horizontalHeaderItem(2)->setText("changed");
        sensors->verticalHeaderItem(19)->setText("changed");

        ResetGrids(window);

        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                QCOMPARE(window.GetCellText(GridSensor, col, row), std::string());
        for (int row = 1; row <= 3; ++row)
            for (int col = 1; col <= 7; ++col)
                QCOMPARE(window.GetCellText(GridThermistor, col, row),
                         "t" + std::to_string(col) + "," + std::to_string(row));
        QCOMPARE(window.GetCellText(GridSensor, 3, 0), std::string("Mid Hz"));
        QCOMPARE(window.GetCellText(GridSensor, 0, 20), std::string("S19"));
        QCOMPARE(window.GetCellText(GridThermistor, 6, 0), std::string("0"));
        QCOMPARE(window.GetCellText(GridThermistor, 0, 3), std::string("T2"));
        QCOMPARE(sensors->rowCount(), 20);
        QCOMPARE(Child<QTableWidget>(window, "ThermistorSG")->rowCount(), 3);
        QVERIFY(!pages->isTabVisible(2));
        QCOMPARE(pages->currentIndex(), 0);
    }

    void tabKeyVisitsCloseTablePagesConnectHelpSave()
    {
        TMainWindow window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* sensors = Child<QTableWidget>(window, "SensorSG");
        QTRY_VERIFY_WITH_TIMEOUT(sensors->isEnabled(), WaitMs);

        auto* pages = Child<QTabWidget>(window, "PageControl1");
        const auto visit = [&window]() -> QString {
            QWidget* focused = QApplication::focusWidget();
            if (focused == nullptr)
                return "nothing";
            // The page control takes the focus through its tab bar.
            if (qobject_cast<QTabBar*>(focused) != nullptr)
                return focused->parentWidget()->objectName();
            return focused->objectName();
        };
        const auto walk = [&](int presses) {
            Child<QPushButton>(window, "CancelBtn")->setFocus(Qt::OtherFocusReason);
            QStringList seen{visit()};
            for (int i = 0; i < presses; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << visit();
            }
            return seen;
        };

        QCOMPARE(walk(6), QStringList({"CancelBtn", "PageControl1", "SensorSG", "ConnectBtn",
                                       "HelpBtn", "SaveBtn", "CancelBtn"}));

        // The table of the page shown is the one visited.
        pages->setCurrentIndex(1);
        QCOMPARE(walk(3), QStringList({"CancelBtn", "PageControl1", "ThermistorSG", "ConnectBtn"}));

        // A disabled sensor table is passed over.
        pages->setCurrentIndex(0);
        sdi12d.RaiseExchangeRunning();
        sensors->setEnabled(false);
        QCOMPARE(walk(2), QStringList({"CancelBtn", "PageControl1", "ConnectBtn"}));
    }

    void exceptionInAHandlerIsShownAndTheProgramGoesOn()
    {
        // The caption is the executable's name with only its first letter in upper case.
        QCOMPARE(TApplication::Title(), QString("Window_tests"));
        QCOMPARE(TApplication::TitleFor("C:/Program Files/DEVCONFIG.EXE"), QString("Devconfig"));
        QCOMPARE(TApplication::TitleFor("/opt/bin/devConfig"), QString("Devconfig"));
        QCOMPARE(TApplication::TitleFor("tool.v2.exe"), QString("Tool.v2"));

        ThrowingObject thrower;
        BoxSeen seen;
        CloseBoxLater(seen);
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(seen.Count, 1);
        QCOMPARE(seen.Title, QString("Window_tests"));
        QCOMPARE(seen.Text, QString("sensor table out of step"));
        QCOMPARE(seen.Icon, QMessageBox::Critical);
        QCOMPARE(seen.Buttons, 1);

        // Something that is not a standard exception, thrown from a timer's handler, the way
        // the window's own handlers run: an empty message.
        BoxSeen second;
        CloseBoxLater(second);
        bool thrown = false;
        QTimer::singleShot(0, [&thrown] {
            thrown = true;
            throw 42;
        });
        QTRY_VERIFY_WITH_TIMEOUT(thrown && second.Count == 1, WaitMs);
        QCOMPARE(second.Text, QString());
        QCOMPARE(second.Title, QString("Window_tests"));

        // The event loop carries on.
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        QTRY_VERIFY_WITH_TIMEOUT(later, WaitMs);
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainform_test.moc"
