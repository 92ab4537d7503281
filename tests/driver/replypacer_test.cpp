// When the comms thread sleeps through a reply's bytes and when it waits on the port.
#include "driver/replypacer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Next = TReplyPacer::Next;

constexpr int64_t ByteNs = 86805; // 115200 baud, 10 bits a byte

// Feeds the bytes of one wake, then the empty read that ends it; returns what follows.
Next Wake(TReplyPacer& pacer, const std::string& bytes, int64_t emptyAtNs)
{
    for (char c : bytes)
        EXPECT_EQ(pacer.AfterStep(true, static_cast<uint8_t>(c), emptyAtNs), Next::ReadAgain);
    return pacer.AfterStep(false, 0, emptyAtNs);
}

TEST(TReplyPacer, WithoutALineRateEveryWaitIsOnThePort)
{
    TReplyPacer pacer;
    pacer.Start(0);
    EXPECT_EQ(pacer.AfterStep(false, 0, 0), Next::Poll);
    EXPECT_EQ(Wake(pacer, "2", 1000), Next::Poll);
    EXPECT_EQ(Wake(pacer, ".5", 2000), Next::Poll);
}

TEST(TReplyPacer, BytesComingSinglySleepThroughAFewByteTimes)
{
    TReplyPacer pacer;
    pacer.Start(ByteNs);
    EXPECT_EQ(pacer.AfterStep(false, 0, 0), Next::Poll); // nothing sent back yet
    ASSERT_EQ(Wake(pacer, "2", 1000000), Next::Sleep);
    EXPECT_EQ(pacer.WakeAtNs(), 1000000 + TReplyPacer::BytesPerWake * ByteNs);

    // A wake finds the bytes the rate says are due, or one more when it was late.
    ASSERT_EQ(Wake(pacer, ".50", 1300000), Next::Sleep);
    EXPECT_EQ(pacer.WakeAtNs(), 1300000 + TReplyPacer::BytesPerWake * ByteNs);
    ASSERT_EQ(Wake(pacer, "00E+", 1600000), Next::Sleep);
}

TEST(TReplyPacer, TheLineEndIsWaitedForOnThePort)
{
    TReplyPacer pacer;
    pacer.Start(ByteNs);
    ASSERT_EQ(Wake(pacer, "1", 1000), Next::Sleep);
    // After a CR only the LF is to come: sleeping would hold the finished line back.
    EXPECT_EQ(Wake(pacer, "00\r", 2000), Next::Poll);
    EXPECT_EQ(Wake(pacer, "\n", 3000), Next::Poll);

    pacer.Start(ByteNs);
    EXPECT_EQ(Wake(pacer, "\r", 1000), Next::Poll); // an empty reply
}

TEST(TReplyPacer, BurstsAndGapsAreWaitedForOnThePort)
{
    TReplyPacer pacer;
    pacer.Start(ByteNs);
    // A USB frame hands over many bytes at once; the next comes a frame later, off the rate.
    EXPECT_EQ(Wake(pacer, "Pressu", 1000), Next::Poll);

    // A wake that finds nothing means the sender paused: wait for its next byte.
    ASSERT_EQ(Wake(pacer, "r", 2000), Next::Sleep);
    EXPECT_EQ(Wake(pacer, "", 3000), Next::Poll);
    // Bytes coming singly again are slept through again.
    EXPECT_EQ(Wake(pacer, "e", 4000), Next::Sleep);
}

TEST(TReplyPacer, APartFrameAfterALongWaitIsNotSleptThrough)
{
    TReplyPacer pacer;
    pacer.Start(ByteNs);
    // The reply's first byte comes long after the command: that says nothing against the rate.
    EXPECT_EQ(pacer.AfterStep(false, 0, 0), Next::Poll);
    EXPECT_EQ(Wake(pacer, "P", 1000000), Next::Sleep);
    // A frame's worth, then after a frame period a few bytes more: the next part comes a frame
    // later, not in a few byte times, so sleeping would only cost a wake.
    pacer.Start(ByteNs);
    EXPECT_EQ(pacer.AfterStep(false, 0, 0), Next::Poll);
    EXPECT_EQ(Wake(pacer, "Pressure ", 1000000), Next::Poll);
    EXPECT_EQ(Wake(pacer, "1", 2000000), Next::Poll);
    // The same byte a byte time after the wait began is the line delivering at its rate.
    EXPECT_EQ(Wake(pacer, "2", 2000000 + ByteNs), Next::Sleep);
}

TEST(TReplyPacer, EachCommandStartsOnThePort)
{
    TReplyPacer pacer;
    pacer.Start(ByteNs);
    ASSERT_EQ(Wake(pacer, "4", 1000), Next::Sleep);
    // The next command's reply has not begun: what came for the last one counts for nothing.
    pacer.Start(ByteNs);
    EXPECT_EQ(pacer.AfterStep(false, 0, 2000), Next::Poll);
}

} // namespace
