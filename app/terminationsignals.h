#pragma once

#include <memory>

class QSocketNotifier;

// Turns a request from the system to stop (SIGTERM, SIGINT) into closing every window, so
// that such a stop ends the program the normal way: out of the event loop, window destroyed,
// comms thread joined, exit code as after a close. Does nothing where there are no such
// signals.
class TTerminationSignals
{
public:
    // Installs the signal handlers. Call once, as early as possible: a signal that arrives
    // before the event loop runs is kept until it does.
    static void Install();

    // Watches for signals while it lives; needs the application object.
    TTerminationSignals();
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> Notifier;
};
