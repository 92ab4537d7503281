#pragma once

#include <optional>

// SIGINT (Ctrl+C) and SIGTERM during a run with a settings file. The handler only notes the
// signal; the run looks at it between commands, so that it never leaves half a command on the
// wire, gives the port back and says what was done. Handlers are installed while an object
// lives and the earlier ones restored after.
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
    // "SIGINT" or "SIGTERM".
    static const char* NameOf(Signal signal);
};
