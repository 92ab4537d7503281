// The FTDI chip's hold-back against timelines worked out by hand (times in ns, latency 100).
#include "sim/ftdiholdback.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {

struct Timeline
{
    const char* Name;
    bool EventChar;
    std::string Bytes;
    std::vector<int64_t> ArrivalNs;
    std::vector<int64_t> HandOverNs;
};

const std::vector<Timeline>& Timelines()
{
    static const std::vector<Timeline> timelines = {
        {"short reply waits for the timer", false, "ab\n", {10, 20, 30}, {110, 110, 110}},
        {"the event character sends it at once", true, "ab\n", {10, 20, 30}, {30, 30, 30}},
        {"after the event character the timer starts afresh",
         true,
         "a\nb",
         {0, 10, 20},
         {10, 10, 120}},
        {"a reply longer than the timer goes in two parts",
         false,
         "abcdef",
         {0, 40, 80, 120, 160, 200},
         {100, 100, 100, 220, 220, 220}},
        {"a byte that comes as the timer runs out waits for the next",
         false,
         "abc",
         {0, 50, 100},
         {100, 100, 200}},
        {"a gap longer than the timer ends the buffer", true, "ab", {0, 500}, {100, 600}},
        {"nothing", false, "", {}, {}},
    };
    return timelines;
}

} // namespace

TEST(TFtdiHoldBack, HandsBytesOverAsWorkedOutByHand)
{
    for (const Timeline& line : Timelines()) {
        const TFtdiHoldBack chip(100, line.EventChar);
        EXPECT_EQ(chip.HandOverTimes(line.Bytes, line.ArrivalNs), line.HandOverNs) << line.Name;
    }
}

// 63 bytes 1 ns apart: a full packet of 62 goes with its last byte, the 63rd by the timer.
TEST(TFtdiHoldBack, AFullPacketGoesAtOnce)
{
    const std::string bytes(TFtdiHoldBack::PacketBytes + 1, 'x');
    std::vector<int64_t> arrival(bytes.size());
    std::iota(arrival.begin(), arrival.end(), 0);
    const std::vector<int64_t> handOver = TFtdiHoldBack(1000, false).HandOverTimes(bytes, arrival);
    for (std::size_t i = 0; i < TFtdiHoldBack::PacketBytes; ++i)
        EXPECT_EQ(handOver[i], 61) << i;
    EXPECT_EQ(handOver.back(), 62 + 1000);
}
