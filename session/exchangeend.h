#pragma once

#include "driver/exchangefacts.h"

#include <cstdint>
#include <string>
#include <vector>

// Why an exchange with the instrument ended.
enum class TEndReason
{
    Completed,     // every request was served (some may have gone unanswered on their own)
    Stopped,       // the user stopped it (Esc)
    NoAnswer,      // the instrument fell silent, or left a request unanswered
    Unplugged,     // the adapter went away
    NotInstrument, // the other end talks by itself: not the instrument
    Overlong,      // a reply was longer than any setting
    Interrupted,   // a signal (Ctrl+C, SIGTERM) stopped it
};

// An exchange's conclusion: why it ended and the request it ended at. Both faces take it from
// Of, so that the same facts always give the same reason.
struct TExchangeEnd
{
    TEndReason Why = TEndReason::Completed;
    const dev_opt* At = nullptr; // the request it ended at; null when it completed
    uint64_t Length = 0;         // Overlong: the reply's length without its LF
    // Every request whose reply was too long, whatever the reason (the window marks them).
    std::vector<const dev_opt*> Overlong;

    // Ranks the driver's facts: a signal, then an unplug, a foreign device, a stop, silence,
    // an over-long reply, and last the first request left unanswered (for callers that end at
    // the first silence; null otherwise).
    static TExchangeEnd Of(const TExchangeFacts& facts, bool interrupted,
                           const dev_opt* firstUnanswered = nullptr);

    bool Completed() const { return Why == TEndReason::Completed; }
    // "no answer at S3CFRQ", for the dialogue log.
    std::string Described() const;
    static const char* NameOf(TEndReason why);
};
