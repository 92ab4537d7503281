// Runs the program's life (TApplication::Run) with the real window in situations a test
// cannot bring about from outside, and reports what it saw on standard output:
//   startup-failure        the window's creation throws; the error box is noted and dismissed
//   close-during-exchange  the window is closed while the driver waits for a silent port
//   close-during-connect   Connect is pressed on a silent port, then the window is closed
//   close-during-faulty-write-back
//                          Connect on a simulated instrument whose replies come in pieces,
//                          with NUL bytes and an over-long line; then one edit is saved, its
//                          write is answered late, and the window is closed while it waits
#include "window/ptymaster.h"

#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "sim/instrumentsim.h"
#include "window/mainform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

void Report(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void DismissBoxesLater()
{
    QTimer::singleShot(200, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible())
                continue;
            Report("box: " + box->windowTitle() + " | " + box->text());
            box->button(QMessageBox::Ok)->click();
        }
    });
}

std::unique_ptr<QWidget> FailingStart()
{
    DismissBoxesLater();
    throw std::runtime_error("no window today");
}

PtyMaster* Instrument = nullptr;

std::unique_ptr<QWidget> StartExchangeThenClose()
{
    static PtyMaster instrument;
    Instrument = &instrument;
    sdi12d.OpenDevice(instrument.Slave(), 115200);
    auto window = std::make_unique<TMainWindow>();
    dev_opt& record = cellTable[21];
    record.ReadKey = record.WriteKey = "S0NAM";
    record.Operation = OpRead;
    record.GridId = GridSensor;
    record.Col = record.Row = 1;
    record.Magic = BoundMagic;
    InitialReadList = {&record};
    sdi12d.Submit(InitialReadList);

    QWidget* shown = window.get();
    auto* poll = new QTimer(shown);
    QObject::connect(poll, &QTimer::timeout, shown, [shown] {
        if (!Instrument->WaitFor("\x02S0NAM?\r\n", 0))
            return;
        Report("command sent; closing");
        shown->close();
    });
    poll->start(50);
    return window;
}

std::unique_ptr<QWidget> ConnectThenClose()
{
    static PtyMaster instrument;
    Instrument = &instrument;
    adapterLocator.UseDevice(instrument.Slave());
    auto window = std::make_unique<TMainWindow>();
    QWidget* shown = window.get();
    QTimer::singleShot(0, shown, [shown] {
        shown->findChild<QPushButton*>(QStringLiteral("ConnectBtn"))->click();
    });
    auto* poll = new QTimer(shown);
    QObject::connect(poll, &QTimer::timeout, shown, [shown] {
        if (!Instrument->WaitFor("\x02S0NAM?\r\n", 0))
            return;
        Report("connected; closing");
        shown->close();
    });
    poll->start(50);
    return window;
}

TInstrumentSim* Simulated = nullptr;

std::unique_ptr<QWidget> FaultyWriteBackThenClose()
{
    static TInstrumentSim simulated;
    Simulated = &simulated;
    simulated.SetSplitReplies(2);
    simulated.SetNulInReply("S0NAM");
    simulated.SetOverlongReply("S0CAL3", 300);
    adapterLocator.UseDevice(simulated.SlavePath());
    auto window = std::make_unique<TMainWindow>();
    QWidget* shown = window.get();
    auto* connectBtn = shown->findChild<QPushButton*>(QStringLiteral("ConnectBtn"));
    QTimer::singleShot(0, shown, [connectBtn] { connectBtn->click(); });
    auto* poll = new QTimer(shown);
    QObject::connect(poll, &QTimer::timeout, shown, [shown, connectBtn] {
        static bool saved = false;
        if (!saved) {
            if (Simulated->CommandCount() < 181 || !connectBtn->isEnabled())
                return;
            Report("read done");
            Simulated->SetLateReply("TH0T0", std::chrono::seconds(60));
            shown->findChild<QTableWidget*>(QStringLiteral("ThermistorSG"))
                ->item(0, 1)
                ->setText(QStringLiteral("26.5"));
            shown->findChild<QPushButton*>(QStringLiteral("SaveBtn"))->click();
            saved = true;
            return;
        }
        const auto commands = Simulated->Commands();
        if (commands.empty() || commands.back() != "\x02TH0T0=26.5\r\n")
            return;
        const bool closeEnabled =
            shown->findChild<QPushButton*>(QStringLiteral("CancelBtn"))->isEnabled();
        Report(QStringLiteral("write under way, Close %1; closing")
                   .arg(closeEnabled ? "enabled" : "disabled"));
        shown->close();
    });
    poll->start(50);
    return window;
}

int WithInstrumentReport(int exitCode)
{
    int writes = 0;
    for (const std::string& command : Simulated->Commands())
        writes += command.find('=') != std::string::npos ? 1 : 0;
    Report(QStringLiteral("writes: %1").arg(writes));
    return exitCode;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "startup-failure") == 0)
        return TApplication::Run(argc, argv, FailingStart);
    if (argc > 1 && std::strcmp(argv[1], "close-during-exchange") == 0)
        return TApplication::Run(argc, argv, StartExchangeThenClose);
    if (argc > 1 && std::strcmp(argv[1], "close-during-connect") == 0)
        return TApplication::Run(argc, argv, ConnectThenClose);
    if (argc > 1 && std::strcmp(argv[1], "close-during-faulty-write-back") == 0)
        return WithInstrumentReport(TApplication::Run(argc, argv, FaultyWriteBackThenClose));
    std::fprintf(stderr, "usage: window_probe startup-failure|close-during-exchange|"
                         "close-during-connect|close-during-faulty-write-back\n");
    return 2;
}
