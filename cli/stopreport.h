#pragma once

#include "cli/stopsignals.h"
#include "driver/requestlist.h"

#include <functional>
#include <string>

// What a run stopped by a signal says on standard error, and the status it ends with.
class TStopReport
{
public:
    enum class Stage
    {
        Reading,     // the settings being read
        Writing,     // the file's settings being written
        ReadingBack, // the written settings being read back
    };
    using Answered = std::function<bool(const dev_opt&)>;

    // `list` is the exchange that was stopped, `answered` says which of its requests were
    // answered, and `lastSent` is the request whose command went out last (or null).
    static std::string Text(TStopSignals::Signal signal, Stage stage, const RequestList& list,
                            const Answered& answered, const dev_opt* lastSent);
    // 130 for SIGINT, 143 for SIGTERM, as shells report a program ended by them.
    static int ExitStatusFor(TStopSignals::Signal signal);
};
