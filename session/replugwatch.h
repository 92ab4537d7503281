#pragma once

#include <cstdint>

// When the window looks for an adapter that was pulled out, and what follows. Watching starts
// when the window reports the device removed; on every timer tick the window asks whether to
// look now, and after a look that found the adapter it connects as a click on Connect would
// and reports how that went. Looks come at most once per interval, and only while Connect
// would be accepted: a commit or an edit in progress is waited for.
class TReplugWatch
{
public:
    static constexpr uint64_t LookIntervalMs = 1000;

    void Start(uint64_t nowMs);
    void Stop();
    bool Watching() const { return Active; }

    // Whether to look for the adapter now; a look that is due waits while connect is refused.
    bool TimeToLook(uint64_t nowMs, bool connectAllowed);
    // After the connect that a look led to: a connected port ends the watch, a failed open
    // (the device may still be settling) is tried again an interval later.
    void ConnectTried(bool connected, uint64_t nowMs);

private:
    bool Active = false;
    uint64_t NextLookMs = 0;
};
