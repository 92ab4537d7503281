#include "app/terminationsignals.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Self-pipe: the handler may only write a byte; the event loop does the rest.
int PipeFds[2] = {-1, -1};

void OnSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(PipeFds[1], &byte, 1);
    errno = savedErrno;
}

void Drain()
{
    char buffer[64];
    while (::read(PipeFds[0], buffer, sizeof buffer) > 0) {
    }
}

} // namespace

void TTerminationSignals::Install()
{
    if (PipeFds[0] >= 0)
        return;
    if (::pipe2(PipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        PipeFds[0] = PipeFds[1] = -1;
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TTerminationSignals::TTerminationSignals()
{
    if (PipeFds[0] < 0)
        return;
    Notifier = std::make_unique<QSocketNotifier>(PipeFds[0], QSocketNotifier::Read);
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, [] {
        Drain();
        QApplication::closeAllWindows();
        QApplication::quit();
    });
}

TTerminationSignals::~TTerminationSignals() = default;
