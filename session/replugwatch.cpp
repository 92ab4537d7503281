#include "session/replugwatch.h"

void TReplugWatch::Start(uint64_t nowMs)
{
    Active = true;
    NextLookMs = nowMs + LookIntervalMs;
}

void TReplugWatch::Stop()
{
    Active = false;
}

bool TReplugWatch::TimeToLook(uint64_t nowMs, bool connectAllowed)
{
    if (!Active || !connectAllowed || nowMs < NextLookMs)
        return false;
    NextLookMs = nowMs + LookIntervalMs;
    return true;
}

void TReplugWatch::ConnectTried(bool connected, uint64_t nowMs)
{
    if (connected)
        Stop();
    else
        Start(nowMs);
}
