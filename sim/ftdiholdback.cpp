#include "sim/ftdiholdback.h"

TFtdiHoldBack::TFtdiHoldBack(int64_t latencyNs, bool eventCharOn, char eventChar)
    : LatencyNs(latencyNs), EventCharOn(eventCharOn), EventChar(eventChar)
{
}

std::vector<int64_t> TFtdiHoldBack::HandOverTimes(const std::string& bytes,
                                                  const std::vector<int64_t>& arrivalNs) const
{
    std::vector<int64_t> handOver(bytes.size());
    std::size_t held = 0;   // bytes in the buffer
    std::size_t first = 0;  // index of the buffer's first byte
    int64_t timerEndNs = 0; // when the buffer goes by the timer
    const auto send = [&](std::size_t end, int64_t atNs) {
        for (std::size_t i = first; i < end; ++i)
            handOver[i] = atNs;
        held = 0;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (held > 0 && arrivalNs[i] >= timerEndNs)
            send(i, timerEndNs);
        if (held == 0) {
            first = i;
            timerEndNs = arrivalNs[i] + LatencyNs;
        }
        ++held;
        if (held == PacketBytes || (EventCharOn && bytes[i] == EventChar))
            send(i + 1, arrivalNs[i]);
    }
    if (held > 0)
        send(bytes.size(), timerEndNs);
    return handOver;
}
