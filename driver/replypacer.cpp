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

void ReplyPacer::Start(int64_t byteTimeNs)
{
    ByteTime = std::max<int64_t>(byteTimeNs, 0);
    Drained = 0;
    LastGoesOn = false;
}

ReplyPacer::Next ReplyPacer::AfterStep(bool gotByte, uint8_t byte, int64_t nowNs)
{
    if (gotByte) {
        ++Drained;
        LastGoesOn = LineGoesOn(byte);
        return Next::ReadAgain;
    }
    const int drained = Drained;
    Drained = 0;
    // A wait that brought nothing is a gap; more than a wake's worth at once, a burst whose
    // next part comes when the sender hands over its buffer. Neither keeps to the rate.
    const bool singly = drained > 0 && drained <= BytesPerWake + 1;
    if (ByteTime == 0 || !singly || !LastGoesOn)
        return Next::Poll;
    WakeAt = nowNs + BytesPerWake * ByteTime;
    return Next::Sleep;
}
