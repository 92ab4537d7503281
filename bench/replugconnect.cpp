// replug_connect_s: the real window, offscreen, against the simulated instrument behind a link
// that stands for the adapter's device node. The adapter is pulled in the middle of the initial
// read; once the window says so, it comes back at the same path after a varying pause, and the
// figure runs from that moment until the first command of the new initial read has reached
// the instrument.
#include "bench/replugconnect.h"

#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "sim/instrumentsim.h"
#include "window/mainform.h"

#include <QApplication>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto GiveUp = std::chrono::seconds(20);

// Runs the window's events until the condition holds; false when it never did.
bool PumpUntil(const std::function<bool()>& condition)
{
    const auto end = Clock::now() + GiveUp;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

bool PlugIn(const TInstrumentSim& sim, const QString& link)
{
    QFile::remove(link);
    return QFile::link(QString::fromStdString(sim.SlavePath()), link);
}

bool Idle(const TMainWindow& window)
{
    return sdi12d.Idle() && !sdi12d.ExchangeRunningRaised() &&
           window.Cells().CycleState == TCycleState::Idle;
}

// One pull and return; seconds from the return to the first command, or a negative number.
double ReplugOnce(TMainWindow& window, const QString& link, std::unique_ptr<TInstrumentSim>& sim,
                  std::chrono::milliseconds pause)
{
    const QStatusBar* status = window.findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    sim->SetReplyDelay(std::chrono::milliseconds(2));
    window.ConnectBtnClick();
    if (!sim->WaitForCommands(20, GiveUp))
        return -1;
    sim->HangUp();
    if (!PumpUntil([&] { return status->currentMessage().contains("REMOVED"); }))
        return -1;
    QFile::remove(link);
    const auto pauseEnd = Clock::now() + pause;
    PumpUntil([&] { return Clock::now() >= pauseEnd; });

    sim = std::make_unique<TInstrumentSim>();
    std::atomic<bool> arrived{false};
    Clock::time_point firstCommand;
    const Clock::time_point back = Clock::now();
    if (!PlugIn(*sim, link))
        return -1;
    std::thread watcher([&] {
        if (sim->WaitForCommands(1, GiveUp))
            firstCommand = Clock::now();
        arrived = true;
    });
    PumpUntil([&] { return arrived.load(); });
    watcher.join();
    if (firstCommand == Clock::time_point() || !PumpUntil([&] { return Idle(window); }))
        return -1;
    return std::chrono::duration<double>(firstCommand - back).count();
}

} // namespace

void MeasureReplugConnect()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "devconfig-bench";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
    auto sim = std::make_unique<TInstrumentSim>();
    if (!PlugIn(*sim, link))
        return;
    adapterLocator.UseDevice(link.toStdString());
    std::vector<double> seconds;
    {
        TMainWindow window;
        // Pauses spread over the look interval, so the return meets every phase of it.
        for (const int pauseMs : {300, 470, 640, 810, 980, 1150, 1320}) {
            const double s = ReplugOnce(window, link, sim, std::chrono::milliseconds(pauseMs));
            if (s < 0)
                break;
            seconds.push_back(s);
        }
    }
    sdi12d.ClosePort();
    if (seconds.empty()) {
        std::printf("replug_connect_s failed\n");
        return;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("replug_connect_s %.4f s\n", seconds[seconds.size() / 2]);
    std::printf("replug_connect_worst_s %.4f s\n", seconds.back());
    std::fflush(stdout);
}
