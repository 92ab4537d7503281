// The driver's line assembly and cell exchange, stepped by hand over a scripted socket pair so
// that each step sees exactly the bytes the test has fed.
#include "driver/sdi12d.h"
#include "driver/testrecords.h"
#include "sim/socketlink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint32_t ShortLimitMs = 60;

class DriverTest : public ::testing::Test
{
protected:
    Tsdi12d Driver{ShortLimitMs};
    TSocketLink Link{Driver};

    void Receive(size_t steps)
    {
        for (size_t i = 0; i < steps; ++i)
            Driver.ReceiveByte();
    }
    void Ticks(size_t steps)
    {
        for (size_t i = 0; i < steps; ++i)
            Driver.Tick();
    }
    // Ticks until the current wait has run past its deadline.
    void TickPastDeadline()
    {
        const auto start = std::chrono::steady_clock::now();
        const int32_t waiting = Driver.Step();
        while (Driver.Step() == waiting &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            Driver.Tick();
        }
    }
    // Ticks until the next command has gone out (after the quiet time that follows a time-out).
    void TickUntilSent()
    {
        const auto start = std::chrono::steady_clock::now();
        while (Driver.Step() != StReadWait && Driver.Step() != StWriteWait &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            Driver.Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::string Completed() const { return Driver.LastLine(); }
    // The first request of the list is sent and answered at once; the next one is due.
    void AnswerFirst()
    {
        Ticks(1);
        Link.Feed("0\r\n");
        Ticks(4);
        Link.TakeSent();
    }
};

using LineAssembly = DriverTest;

// A reply text of `length` characters before its LF, the last one a CR.
std::string InstrumentText(size_t length)
{
    std::string text(length, 'y');
    text.back() = '\r';
    return text;
}

TEST_F(LineAssembly, ReplyWithCrLfCompletesOneLineKeepingTheCr)
{
    Link.Feed("1234\r\n");
    Receive(5);
    EXPECT_EQ(Driver.LinesCompleted(), 0) << "a line completes only at its LF";
    Receive(1);
    EXPECT_EQ(Driver.LinesCompleted(), 1);
    EXPECT_EQ(Completed(), "1234\r");
    Receive(3);
    EXPECT_EQ(Driver.LinesCompleted(), 1) << "nothing more arrived";
}

TEST_F(LineAssembly, LoneLfCompletesAnEmptyLine)
{
    Link.Feed("x\n\n");
    Receive(3);
    EXPECT_EQ(Driver.LinesCompleted(), 2);
    EXPECT_EQ(Completed(), "");
}

TEST_F(LineAssembly, NulIsDroppedFromTheLine)
{
    Link.Feed(std::string("a\0b\r\n", 5));
    Receive(5);
    EXPECT_EQ(Driver.LinesCompleted(), 1);
    EXPECT_EQ(Completed(), "ab\r");
}

TEST_F(LineAssembly, OverlongLinesKeepNothing)
{
    const struct
    {
        size_t Length;
        size_t Flood; // bytes of an earlier unended line in front, fed in pieces
        bool TooLong;
    } cases[] = {
        {250, 0, false}, {251, 0, true}, {252, 0, true}, {300, 0, true}, {5, 300000, true},
    };
    for (const auto& c : cases) {
        const std::string piece(65536, 'f');
        for (size_t fed = 0; fed < c.Flood; fed += piece.size()) {
            Link.Feed(piece.substr(0, c.Flood - fed));
            Receive(std::min(piece.size(), c.Flood - fed));
        }
        const std::string line = InstrumentText(c.Length);
        Link.Feed(line + "\n");
        const int32_t before = Driver.LinesCompleted();
        Receive(line.size() + 1);
        EXPECT_EQ(Driver.LinesCompleted(), before + 1) << c.Length;
        EXPECT_EQ(Driver.LastLineLength() > uint64_t(MaxLineLength), c.TooLong) << c.Length;
        EXPECT_EQ(Driver.LastLineLength(), c.Flood + c.Length) << c.Length;
        EXPECT_EQ(Completed(), c.TooLong ? "" : line) << c.Length;
    }
}

TEST(DriverWithoutPort, ConsumesNothingAndSendsNothing)
{
    Tsdi12d driver{ShortLimitMs};
    driver.ReceiveByte();
    driver.SendCommand("S0NAM?\r\n");
    EXPECT_EQ(driver.LinesCompleted(), 0);
    EXPECT_STREQ(driver.LineSoFar(), "");
}

TEST_F(DriverTest, SendCommandPutsTheLeadByteFirst)
{
    Driver.SendCommand("");
    EXPECT_EQ(Link.TakeSent(), "\x02");
    Driver.SendCommand("S3CFRQ?\r\n");
    EXPECT_EQ(Link.TakeSent(), "\x02S3CFRQ?\r\n");
}

TEST(ReplyParsing, RemovesOnlyTheFirstCr)
{
    EXPECT_EQ(Tsdi12d::ParseReply("Pump 1\r"), "Pump 1");
    EXPECT_EQ(Tsdi12d::ParseReply("\r"), "");
    EXPECT_EQ(Tsdi12d::ParseReply("a\rb\r"), "ab\r");
    EXPECT_EQ(Tsdi12d::ParseReply("no cr"), "no cr");
}

TEST(CommandBuilding, ReadAndWriteTexts)
{
    dev_opt read;
    MakeRead(read, "S12NAM");
    EXPECT_EQ(Tsdi12d::BuildCommand(read), "S12NAM?\r\n");
    dev_opt write;
    MakeWrite(write, "TH2STC", " 1.5E-07 ");
    EXPECT_EQ(Tsdi12d::BuildCommand(write), "TH2STC= 1.5E-07 \r\n");
}

using CellExchange = DriverTest;

TEST_F(CellExchange, EmptyListFinishesAtTheFirstStepSendingNothing)
{
    Driver.Submit({});
    EXPECT_FALSE(Driver.Idle());
    Ticks(1);
    EXPECT_TRUE(Driver.Idle());
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
    EXPECT_EQ(Link.TakeSent(), "");
}

TEST_F(CellExchange, OneReadStoresTheValueAndGoesIdleTwoStepsLater)
{
    dev_opt record;
    MakeRead(record, "S0NAM");
    Driver.Submit({&record});
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0NAM?\r\n");
    EXPECT_EQ(Driver.Step(), StReadWait);
    EXPECT_TRUE(Driver.ExchangeRunningRaised());

    Link.Feed("Pump\r\n");
    Ticks(5);
    EXPECT_EQ(record.ResultReady, 0) << "the line is not complete yet";
    Ticks(1);
    EXPECT_EQ(record.ValueRead, "Pump");
    EXPECT_EQ(record.ResultReady, 1);
    EXPECT_EQ(Driver.LastReplyTaken(), "Pump\r");

    Ticks(1);
    EXPECT_FALSE(Driver.Idle());
    EXPECT_TRUE(Driver.ExchangeRunningRaised());
    Ticks(1);
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
    EXPECT_TRUE(Driver.Idle());
    EXPECT_EQ(Driver.Step(), StDone);
}

TEST_F(CellExchange, UndefinedIsAValueLikeAnyOther)
{
    dev_opt record;
    MakeRead(record, "S99NAM");
    Driver.Submit({&record});
    Ticks(1);
    Link.Feed("Undefined\r\n");
    Ticks(11);
    EXPECT_EQ(record.ValueRead, "Undefined");
    EXPECT_EQ(record.ResultReady, 1);
}

TEST_F(CellExchange, SecondCommandWaitsForTheFirstReply)
{
    dev_opt first, second;
    MakeRead(first, "S0NAM");
    MakeRead(second, "S0FRP");
    Driver.Submit({&first, &second});
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0NAM?\r\n");
    Ticks(20);
    EXPECT_EQ(Link.TakeSent(), "") << "no second command while the first is unanswered";
    Link.Feed("A\r\n");
    Ticks(3 + 1 + 1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
    Link.Feed("2\r\n");
    Ticks(3 + 2);
    EXPECT_EQ(first.ValueRead, "A");
    EXPECT_EQ(second.ValueRead, "2");
    EXPECT_TRUE(Driver.Idle());
}

TEST_F(CellExchange, AnyLineAnswersAWrite)
{
    dev_opt record;
    MakeWrite(record, "S1CFRQ", "3150");
    Driver.Submit({&record});
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S1CFRQ=3150\r\n");
    EXPECT_EQ(Driver.Step(), StWriteWait);
    Link.Feed("ERR\r\n");
    Ticks(5);
    EXPECT_EQ(record.WriteNeeded, 0);
    EXPECT_EQ(record.ResultReady, 0) << "a write stores nothing";
    EXPECT_EQ(record.ValueRead, "");
}

TEST_F(CellExchange, AnOverlongReplyIsAnUnansweredRequest)
{
    dev_opt read, write;
    MakeRead(read, "S0NAM");
    read.ValueRead = "Old";
    MakeWrite(write, "S0FRP", "1");
    Driver.Submit({&read, &write});
    Ticks(1);
    Link.Feed(InstrumentText(260) + "\n");
    Ticks(261 + 1);
    EXPECT_EQ(read.ResultReady, 0);
    EXPECT_EQ(read.ValueRead, "Old");
    EXPECT_EQ(Driver.Ending().Overlong, std::vector<const dev_opt*>{&read});
    EXPECT_EQ(Driver.Ending().OverlongLength, 260u);
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0NAM?\r\n\x02S0FRP=1\r\n") << "the line is in step again";
}

// Nothing has answered yet: the first time-out ends the exchange; the rest is not sent.
TEST_F(CellExchange, FirstTimeOutEndsAnExchangeNothingAnswered)
{
    dev_opt read, write;
    MakeRead(read, "S0NAM");
    read.ValueRead = "old";
    MakeWrite(write, "S0FRP", "1");
    Driver.Submit({&read, &write});
    Ticks(1);
    Link.TakeSent();
    TickPastDeadline();
    EXPECT_EQ(read.ValueRead, "old");
    EXPECT_EQ(read.ResultReady, 0);
    Ticks(2);
    EXPECT_TRUE(Driver.Idle());
    EXPECT_TRUE(Driver.Ending().SilenceEnded);
    EXPECT_EQ(Link.TakeSent(), "") << "the write after it is not sent";
    EXPECT_EQ(write.WriteNeeded, 1) << "an unsent write stays outstanding";
}

// Once something has answered, two requests in a row unanswered end the exchange.
TEST_F(CellExchange, TwoTimeOutsInARowEndAnExchange)
{
    dev_opt answered, first, second, third;
    MakeRead(answered, "S0THSEL");
    MakeRead(first, "S0NAM");
    MakeWrite(second, "S0FRP", "1");
    MakeRead(third, "S0CFRQ");
    Driver.Submit({&answered, &first, &second, &third});
    AnswerFirst();
    Ticks(1);
    TickPastDeadline();
    EXPECT_FALSE(Driver.Idle()) << "one silent setting does not end it";
    TickUntilSent();
    TickPastDeadline();
    Ticks(2);
    EXPECT_TRUE(Driver.Idle());
    EXPECT_TRUE(Driver.Ending().SilenceEnded);
    EXPECT_EQ(second.WriteNeeded, 1) << "an unanswered write stays outstanding";
    EXPECT_EQ(Link.TakeSent().find("S0CFRQ"), std::string::npos);
}

TEST_F(CellExchange, LateReplyNeverBecomesTheNextValue)
{
    dev_opt answered, first, second;
    MakeRead(answered, "S0THSEL");
    MakeRead(first, "S0NAM");
    MakeRead(second, "S0FRP");
    Driver.Submit({&answered, &first, &second});
    AnswerFirst();
    Ticks(1);
    Link.Feed("la"); // the start of the first reply, then the instrument goes quiet
    TickPastDeadline();
    Ticks(1);
    EXPECT_EQ(Driver.Step(), StSend);
    Link.Feed("te\r\n"); // the rest arrives after the time limit, before the next command
    Ticks(3);
    EXPECT_EQ(Link.TakeSent(), "\x02S0NAM?\r\n") << "no command right after a time-out";
    TickUntilSent();
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
    Link.Feed("2\r\n");
    Ticks(3);
    // After a time-out one answer is not enough: the same read goes out again.
    EXPECT_EQ(second.ResultReady, 0);
    TickUntilSent();
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
    Link.Feed("2\r\n");
    Ticks(3 + 2);
    EXPECT_EQ(first.ResultReady, 0);
    EXPECT_EQ(second.ValueRead, "2");
    EXPECT_EQ(second.ResultReady, 1);
    EXPECT_TRUE(Driver.Idle());
}

TEST_F(CellExchange, ReplyLaterThanTheQuietTimeIsNotTakenForTheNextSetting)
{
    dev_opt answered, first, second, third;
    MakeRead(answered, "S0THSEL");
    MakeRead(first, "S0NAM");
    MakeRead(second, "S0FRP");
    MakeRead(third, "S0CFRQ");
    Driver.Submit({&answered, &first, &second, &third});
    AnswerFirst();
    Ticks(1);
    TickPastDeadline();
    TickUntilSent();
    Link.TakeSent();
    // The first setting's answer comes only now, while the second read waits; the second
    // read's own answer follows it, as an instrument working through its input would send.
    Link.Feed("Tank\r\n");
    Ticks(6);
    EXPECT_EQ(second.ResultReady, 0) << "one answer after a time-out is not enough";
    Link.Feed("2\r\n");
    TickUntilSent();
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n") << "asked again after the line fell quiet";
    Link.Feed("2\r\n");
    Ticks(3);
    TickUntilSent();
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n") << "two answers must agree";
    Link.Feed("2\r\n");
    Ticks(3 + 2);
    EXPECT_EQ(second.ValueRead, "2");
    EXPECT_EQ(Link.TakeSent(), "\x02S0CFRQ?\r\n") << "in step again: one read per setting";
    Link.Feed("3150\r\n");
    Ticks(6 + 2);
    EXPECT_EQ(third.ValueRead, "3150");
    EXPECT_EQ(first.ResultReady, 0);
    EXPECT_TRUE(Driver.Idle());
}

TEST_F(CellExchange, AnswersThatNeverAgreeLeaveTheRecordAsItWas)
{
    dev_opt first, second;
    MakeRead(first, "S0NAM");
    MakeRead(second, "S0FRP");
    second.ValueRead = "old";
    Driver.Submit({&first, &second});
    Ticks(1);
    TickPastDeadline();
    for (int i = 0; i < Tsdi12d::MaxResyncReads; ++i) {
        TickUntilSent();
        Link.Feed("v" + std::to_string(i) + "\r\n");
        Ticks(4);
    }
    Ticks(2);
    EXPECT_TRUE(Driver.Idle());
    EXPECT_EQ(second.ResultReady, 0);
    EXPECT_EQ(second.ValueRead, "old");
}

TEST_F(CellExchange, OverlongCommandIsNeverSentCut)
{
    dev_opt exact, tooLong, next;
    // 5 key + "=" + 247 + CR LF = 255 characters: the longest command that goes out.
    MakeWrite(exact, "S0NAM", std::string(247, 'v'));
    MakeWrite(tooLong, "S0NAM", std::string(248, 'v'));
    MakeRead(next, "S0FRP");
    Driver.Submit({&exact, &tooLong, &next});
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0NAM=" + std::string(247, 'v') + "\r\n");
    Link.Feed("OK\r\n");
    Ticks(4 + 1);
    Ticks(1 + 1); // the over-long one: skipped, then advance
    EXPECT_EQ(Link.TakeSent(), "") << "nothing of the over-long command goes out";
    EXPECT_EQ(tooLong.WriteNeeded, 1) << "it stays outstanding";
    Ticks(1);
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
    EXPECT_EQ(exact.WriteNeeded, 0);
}

TEST_F(CellExchange, UnknownOperationMovesOn)
{
    dev_opt odd, next;
    MakeRead(odd, "S0NAM");
    odd.Operation = 3;
    MakeRead(next, "S0FRP");
    Driver.Submit({&odd, &next});
    Ticks(3);
    EXPECT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
}

TEST(CellExchangeWithoutPort, EveryRequestRunsIntoItsLimit)
{
    Tsdi12d driver{ShortLimitMs};
    dev_opt record;
    MakeRead(record, "S0NAM");
    driver.Submit({&record});
    const auto start = std::chrono::steady_clock::now();
    while (!driver.Idle() && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        driver.Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(driver.Idle());
    EXPECT_EQ(record.ResultReady, 0);
    EXPECT_EQ(driver.LinesCompleted(), 0);
}

} // namespace

namespace {

// The full reply limit: if a dead port were waited out, these tests would hang for minutes.
class DeadPort : public ::testing::Test
{
protected:
    Tsdi12d Driver; // 100 s limit
    TSocketLink Link{Driver};

    void Ticks(size_t steps)
    {
        for (size_t i = 0; i < steps; ++i)
            Driver.Tick();
    }
    // Ticks as the comms thread does, until the driver is idle.
    bool RunToIdle()
    {
        const auto start = std::chrono::steady_clock::now();
        while (!Driver.Idle()) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20))
                return false;
            Driver.Tick();
            if (!Driver.Idle())
                Driver.WaitForWork(); // idle, it would sleep until the next Submit
        }
        return true;
    }
};

TEST_F(DeadPort, HangUpEndsTheExchangeAtOnceLeavingRecordsUntouched)
{
    dev_opt answered, inFlight, laterRead, laterWrite;
    MakeRead(answered, "S0NAM");
    MakeRead(inFlight, "S0FRP");
    inFlight.ValueRead = "kept";
    MakeRead(laterRead, "S0CFRQ");
    MakeWrite(laterWrite, "S0CAL0", "1.5");
    Driver.Submit({&answered, &inFlight, &laterRead, &laterWrite});
    Ticks(1);
    Link.Feed("A\r\n");
    Ticks(3 + 1 + 1); // answered, advanced, second command sent
    EXPECT_EQ(Driver.Step(), StReadWait);
    Link.TakeSent();

    Link.HangUp();
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Driver.Ending().PortLost);
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
    EXPECT_EQ(answered.ValueRead, "A");
    EXPECT_EQ(inFlight.ValueRead, "kept");
    EXPECT_EQ(inFlight.ResultReady, 0);
    EXPECT_EQ(laterRead.ResultReady, 0);
    EXPECT_EQ(laterWrite.WriteNeeded, 1) << "an unsent write stays outstanding";
}

TEST_F(DeadPort, NothingIsSentOnADeadPort)
{
    Link.HangUp();
    uint8_t byte = 0;
    Driver.ReadByte(&byte); // the port learns that its peer is gone
    ASSERT_TRUE(Driver.DeviceLost());
    dev_opt write;
    MakeWrite(write, "S0NAM", "x");
    Driver.Submit({&write});
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Driver.Ending().PortLost);
    EXPECT_EQ(write.WriteNeeded, 1);
}

TEST_F(DeadPort, ALiveExchangeLowersTheMark)
{
    dev_opt first;
    MakeRead(first, "S0NAM");
    Link.HangUp();
    Driver.Submit({&first});
    ASSERT_TRUE(RunToIdle());
    ASSERT_TRUE(Driver.Ending().PortLost);

    TSocketLink replugged(Driver);
    Driver.Submit({});
    EXPECT_FALSE(Driver.Ending().PortLost);
    ASSERT_TRUE(RunToIdle());
    EXPECT_FALSE(Driver.Ending().PortLost);
}

} // namespace

// Lines queued before a command went out were sent by the other end on its own: one is
// forgiven (noise at power-up), two show a device that is not the instrument.
TEST_F(CellExchange, LinesNobodyAskedForShowADeviceThatIsNotTheInstrument)
{
    const struct
    {
        const char* Unasked;
        bool Sent;
        TLineVerdict Verdict;
    } cases[] = {
        {"", true, TLineVerdict::Pending},
        {"\x7f#\r\n", true, TLineVerdict::Pending},
        {"$GPGGA,1\r\n$GPGGA,2\r\n", false, TLineVerdict::NotInstrument},
    };
    for (const auto& c : cases) {
        Driver.StartJudging();
        dev_opt read;
        MakeRead(read, "S0NAM");
        Link.Feed(c.Unasked);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Driver.Submit({&read});
        Ticks(1);
        EXPECT_EQ(Link.TakeSent() == "\x02S0NAM?\r\n", c.Sent) << c.Unasked;
        EXPECT_EQ(Driver.CurrentVerdict(), c.Verdict) << c.Unasked;
        Driver.Stop();
        Ticks(3);
        EXPECT_TRUE(Driver.Idle());
        if (c.Sent)
            continue;
        // A later exchange at the same device is refused at once, not left spinning.
        Driver.Submit({&read});
        Ticks(3);
        EXPECT_TRUE(Driver.Idle()) << c.Unasked;
        EXPECT_EQ(Link.TakeSent(), "") << c.Unasked;
        Driver.Stop();
        Ticks(3);
    }
}

// Stopped while a read after a time-out was being repeated: what that repeat heard must not
// confirm, on one answer, the reply to another setting in the next exchange.
TEST_F(CellExchange, TheRepeatAfterATimeOutEndsWithItsExchange)
{
    dev_opt answered, first, second, third;
    MakeRead(answered, "S0THSEL");
    MakeRead(first, "S0NAM");
    MakeRead(second, "S0FRP");
    MakeRead(third, "S0CFRQ");
    Driver.Submit({&answered, &first, &second});
    AnswerFirst();
    Ticks(1);
    TickPastDeadline();
    Link.TakeSent();
    TickUntilSent();
    ASSERT_EQ(Link.TakeSent(), "\x02S0FRP?\r\n");
    Link.Feed("late\r\n");
    Ticks(8);
    EXPECT_EQ(second.ResultReady, 0) << "one answer after a time-out is not enough";
    Driver.Stop();
    Ticks(3);
    ASSERT_TRUE(Driver.Idle());
    Link.TakeSent();

    Driver.Submit({&third});
    TickUntilSent();
    ASSERT_EQ(Link.TakeSent(), "\x02S0CFRQ?\r\n");
    Link.Feed("late\r\n");
    Ticks(8);
    EXPECT_EQ(third.ResultReady, 0) << "the next exchange's reply needs its own second answer";
    Driver.Stop();
    Ticks(3);
}
