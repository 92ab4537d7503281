#include "cli/stopsignals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void OnStopSignal(int number)
{
    if (received == 0)
        received = number;
}

using Handler = void (*)(int);
Handler previousInterrupt = SIG_DFL;
Handler previousTerminate = SIG_DFL;

} // namespace

TStopSignals::TStopSignals()
{
    received = 0;
    previousInterrupt = std::signal(SIGINT, OnStopSignal);
    previousTerminate = std::signal(SIGTERM, OnStopSignal);
}

TStopSignals::~TStopSignals()
{
    std::signal(SIGINT, previousInterrupt == SIG_ERR ? SIG_DFL : previousInterrupt);
    std::signal(SIGTERM, previousTerminate == SIG_ERR ? SIG_DFL : previousTerminate);
}

std::optional<TStopSignals::Signal> TStopSignals::Received()
{
    const int number = received;
    if (number == SIGINT)
        return Signal::Interrupt;
    if (number == SIGTERM)
        return Signal::Terminate;
    return std::nullopt;
}

const char* TStopSignals::NameOf(Signal signal)
{
    return signal == Signal::Interrupt ? "SIGINT" : "SIGTERM";
}
