#pragma once

#include "driver/requestlist.h"
#include "session/stopsignals.h"

#include <functional>
#include <string>

// What a run stopped early (by a signal, or by the adapter going away) says on standard error
// of what was done, and the status a signal ends it with.
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

    // `cause` opens the text ("Stopped by SIGINT"), `list` is the exchange that was stopped,
    // `answered` says which of its requests were answered, and `lastSent` is the request whose
    // command went out last (or null).
    static std::string Text(const std::string& cause, Stage stage, const RequestList& list,
                            const Answered& answered, const dev_opt* lastSent);
    // 130 for SIGINT, 143 for SIGTERM, as shells report a program ended by them.
    static int ExitStatusFor(TStopSignals::Signal signal);
};
