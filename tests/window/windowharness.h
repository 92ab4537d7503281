#pragma once
// A harness for end-to-end tests of the real window with the real driver and comms thread,
// over a pseudo-terminal to the simulated instrument.
#include "../driver/testrecords.h"
#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "messageboxwatch.h"
#include "programreset.h"
#include "serial/adapterlocator.h"
#include "serial/ft_portid.h"
#include "sim/instrumentsim.h"
#include "window/mainform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace harness {

constexpr int WaitMs = 20000;
constexpr uint32_t TestReplyLimitMs = 5000;
constexpr int SettingCount = 181;

inline const std::array<const char*, 8> SensorFields{"NAM",  "FRP",  "CFRQ", "CAL0",
                                                     "CAL1", "CAL2", "CAL3", "THSEL"};
inline const std::array<const char*, 7> ThermistorFields{"NAM", "T0",  "R0", "STA",
                                                         "STB", "STC", "STD"};

inline std::string SensorKey(int col, int row)
{
    return "S" + std::to_string(row - 1) + SensorFields[static_cast<size_t>(col - 1)];
}

inline std::string ThermistorKey(int col, int row)
{
    return "TH" + std::to_string(row - 1) + ThermistorFields[static_cast<size_t>(col - 1)];
}

inline std::string Read(const std::string& key)
{
    return "\x02" + key + "?\r\n";
}

inline std::string Write(const std::string& key, const std::string& value)
{
    return "\x02" + key + "=" + value + "\r\n";
}

inline bool DriverIdle()
{
    return sdi12d.Idle();
}

inline QString Latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace harness

using namespace harness;

// The window under test, its simulated instrument, and the user's ways of working the window.

class WindowHarness
{
protected:
    std::unique_ptr<TInstrumentSim> Sim;
    std::unique_ptr<TMainWindow> Window;

    template <typename T> T* Child(const char* name) const
    {
        return Window->findChild<T*>(QString::fromLatin1(name));
    }
    QTableWidget* Sensors() const { return Child<QTableWidget>("SensorSG"); }
    QTableWidget* Thermistors() const { return Child<QTableWidget>("ThermistorSG"); }
    QPushButton* Button(const char* name) const { return Child<QPushButton>(name); }
    QString Status() const { return Child<QStatusBar>("StatusBar1")->currentMessage(); }
    QLabel* Progress() const { return Child<QLabel>("ReadProgress"); }

    QTableWidget* GridOf(int32_t gridId) const
    {
        return gridId == GridSensor ? Sensors() : Thermistors();
    }
    QTableWidgetItem* Item(int32_t gridId, int col, int row) const
    {
        return GridOf(gridId)->item(row - 1, col - 1);
    }
    QString ToolTip(int32_t gridId, int col, int row) const
    {
        const QTableWidgetItem* item = Item(gridId, col, row);
        return item == nullptr ? QString() : item->toolTip();
    }
    bool Marked(int32_t gridId, int col, int row) const
    {
        const QTableWidgetItem* item = Item(gridId, col, row);
        return item != nullptr && item->data(Qt::BackgroundRole).isValid();
    }

    bool AllCellsShowTheInstrument() const
    {
        for (int row = 1; row <= 20; ++row)
            for (int col = 1; col <= 8; ++col)
                if (Window->GetCellText(GridSensor, col, row) != Sim->Setting(SensorKey(col, row)))
                    return false;
        for (int row = 1; row <= 3; ++row)
            for (int col = 1; col <= 7; ++col)
                if (Window->GetCellText(GridThermistor, col, row) !=
                    Sim->Setting(ThermistorKey(col, row)))
                    return false;
        return true;
    }

    bool Settled() const
    {
        // The exchange settled by a tick too: the buttons may follow the driver's flag a tick
        // before the window has concluded the exchange.
        return DriverIdle() && !Window->Cells().ExchangeOpen() &&
               Window->Cells().CycleState == TCycleState::Idle && PendingSaves == 0 &&
               Button("ConnectBtn")->isEnabled() && Sensors()->isEnabled();
    }

    // Connect, wait until every setting is shown, then forget the reads.
    bool ConnectAndWait()
    {
        Button("ConnectBtn")->click();
        if (!QTest::qWaitFor([this] { return Settled() && AllCellsShowTheInstrument(); }, WaitMs))
            return false;
        Sim->ClearTranscript();
        return true;
    }

    void ShowPage(int32_t gridId)
    {
        Child<QTabWidget>("PageControl1")->setCurrentIndex(gridId == GridSensor ? 0 : 1);
    }

    // The user's way: a click on the cell, then keys. A key typed on a selected cell opens
    // its editor with the typed text replacing the old one.
    void ClickCell(int32_t gridId, int col, int row)
    {
        QTableWidget* grid = GridOf(gridId);
        ShowPage(gridId);
        const QRect rect = grid->visualRect(grid->model()->index(row - 1, col - 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void TypeInto(int32_t gridId, int col, int row, const QString& text)
    {
        ClickCell(gridId, col, row);
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        // The editor commits from a queued call.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), GridOf(gridId), WaitMs);
    }

    std::vector<std::string> Commands() const { return Sim->Commands(); }
    std::vector<std::string> WritesSent() const
    {
        std::vector<std::string> writes;
        for (const std::string& command : Commands())
            if (command.find('=') != std::string::npos)
                writes.push_back(command);
        return writes;
    }
    // The writes sent so far, after giving the timer time to start any more.
    std::vector<std::string> WritesSentAfter(int milliseconds) const
    {
        QTest::qWait(milliseconds);
        return WritesSent();
    }

    // A fresh window on a fresh instrument, with the shared program-wide objects reset.
    void StartWindow()
    {
        ResetProgramWideObjects(TestReplyLimitMs);

        Sim = std::make_unique<TInstrumentSim>();
        adapterLocator.UseDevice(Sim->SlavePath());
        Window = std::make_unique<TMainWindow>();
        Window->show();
        QApplication::setActiveWindow(Window.get());
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        QVERIFY(QTest::qWaitFor([this] { return Sensors()->isEnabled(); }, WaitMs));
    }

    // Returns false when the driver did not come to rest.
    bool StopWindow()
    {
        const bool idle = QTest::qWaitFor([] { return DriverIdle(); }, 4 * WaitMs);
        Window.reset();
        sdi12d.ClosePort();
        Sim.reset();
        return idle;
    }
};
