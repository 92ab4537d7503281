#pragma once

#include <atomic>
#include <optional>

// SIGINT (Ctrl+C) and SIGTERM during a run with a settings file. The handler only notes the
// signal in a lock-free flag that the driver itself looks at before every command, so that no
// further command goes out once it is raised, however long the run's own wait sleeps; the
// command on the wire is finished, the port given back and what was done said. Handlers are
// installed while an object lives and the earlier ones restored after.
class TStopSignals
{
public:
    enum class Signal
    {
        Interrupt, // SIGINT
        Terminate, // SIGTERM
    };

    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // The first signal received since the object was made, if any.
    static std::optional<Signal> Received();
    // The flag the handler raises (the signal's number; 0 while none came), for the driver.
    static const std::atomic<int>& Flag();
    // "SIGINT" or "SIGTERM".
    static const char* NameOf(Signal signal);
};
