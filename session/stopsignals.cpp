#include "session/stopsignals.h"

#include <csignal>

namespace {

// Lock-free, so the handler may store to it and the comms thread read it.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number)
{
    int none = 0;
    received.compare_exchange_strong(none, number);
}

using Handler = void (*)(int);
Handler previousInterrupt = SIG_DFL;
Handler previousTerminate = SIG_DFL;

} // namespace

TStopSignals::TStopSignals()
{
    received.store(0);
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
    const int number = received.load();
    if (number == SIGINT)
        return Signal::Interrupt;
    if (number == SIGTERM)
        return Signal::Terminate;
    return std::nullopt;
}

const std::atomic<int>& TStopSignals::Flag()
{
    return received;
}

const char* TStopSignals::NameOf(Signal signal)
{
    return signal == Signal::Interrupt ? "SIGINT" : "SIGTERM";
}
