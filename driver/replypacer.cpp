#include "driver/replypacer.h"

#include <algorithm>

namespace {

// After a CR only the LF is to come: it is waited for on the port, so that the line is
// complete as soon as it can be.
bool LineGoesOn(uint8_t byte)
{
    return byte != '\r' && byte != '\n';
}

} // namespace

void TReplyPacer::Start(int64_t byteTimeNs)
{
    ByteTime = std::max<int64_t>(byteTimeNs, 0);
    Drained = 0;
    LastGoesOn = false;
    ReplyBegun = false;
    WaitWasSleep = false;
}

TReplyPacer::Next TReplyPacer::AfterStep(bool gotByte, uint8_t byte, int64_t nowNs)
{
    if (gotByte) {
        if (Drained == 0) {
            // The reply's first byte comes after the command's own time on the line, so its long
            // wait says nothing against the rate. A later byte that was waited for long came in
            // a frame (USB), and the next frame will be as late: no use sleeping for it.
            OnRate = WaitWasSleep || !ReplyBegun || nowNs - WaitBegan <= 2 * ByteTime;
        }
        ReplyBegun = true;
        ++Drained;
        LastGoesOn = LineGoesOn(byte);
        return Next::ReadAgain;
    }
    const int drained = Drained;
    Drained = 0;
    // A wait that brought nothing is a gap; more than a wake's worth at once, a burst whose
    // next part comes when the sender hands over its buffer. Neither keeps to the rate.
    const bool singly = drained > 0 && drained <= BytesPerWake + 1;
    if (ByteTime == 0 || !singly || !OnRate || !LastGoesOn)
        return Wait(Next::Poll, nowNs);
    WakeAt = nowNs + BytesPerWake * ByteTime;
    return Wait(Next::Sleep, nowNs);
}

TReplyPacer::Next TReplyPacer::Wait(Next how, int64_t nowNs)
{
    WaitBegan = nowNs;
    WaitWasSleep = how == Next::Sleep;
    return how;
}
