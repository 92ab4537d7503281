#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// When an FTDI chip hands received bytes on to the PC. It collects them in a buffer and sends
// the buffer when it holds PacketBytes (a 64-byte USB packet less two status bytes), when an
// enabled event character has just arrived, or when its latency timer, started by the first
// byte to enter the empty buffer, runs out. A byte that arrives the moment the timer runs out
// goes into the next buffer.
class TFtdiHoldBack
{
public:
    static constexpr std::size_t PacketBytes = 62;

    // latencyNs > 0; with eventCharOn the chip sends its buffer as soon as eventChar arrives.
    TFtdiHoldBack(int64_t latencyNs, bool eventCharOn, char eventChar = '\n');

    // For bytes that arrive from the line at the given times (not decreasing), the time each
    // is handed to the PC. The buffer is empty before the first and sent after the last.
    std::vector<int64_t> HandOverTimes(const std::string& bytes,
                                       const std::vector<int64_t>& arrivalNs) const;

private:
    int64_t LatencyNs;
    bool EventCharOn;
    char EventChar;
};
