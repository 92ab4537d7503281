#pragma once

#include "driver/dev_opt.h"
#include "driver/linejudge.h"

#include <cstdint>
#include <vector>

// What the driver knows of how its last exchange ended, copied out once it is idle. The
// session ranks these into one reason; nobody else reads the driver's fields for it.
struct TExchangeFacts
{
    bool PortLost = false; // the port's device went away; the rest was not sent
    TLineVerdict Verdict = TLineVerdict::Pending;
    bool SilenceEnded = false;    // ended because the instrument fell silent
    bool Stopped = false;         // ended at once by Stop (the user)
    bool FinishRequested = false; // RequestStop was asked for during the exchange
    // Every request whose reply was too long, the first first, and that reply's length.
    std::vector<const dev_opt*> Overlong;
    uint64_t OverlongLength = 0;
    const dev_opt* LastSent = nullptr; // the request whose command went out last
};
