// The driver and its comms thread against the simulated instrument over a real pseudo-terminal.
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "driver/testrecords.h"
#include "sim/instrumentsim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t TestLimitMs = 400;

class DriverOnSim : public ::testing::Test
{
protected:
    TInstrumentSim Sim;
    Tsdi12d Driver{TestLimitMs};
    std::unique_ptr<commthread> Thread;

    void SetUp() override
    {
        Driver.OpenDevice(Sim.SlavePath(), 115200);
        ASSERT_TRUE(Driver.HoldsDevice()) << Driver.LastDiagnostic();
        Thread = std::make_unique<commthread>(Driver, false);
    }
    void TearDown() override { Thread.reset(); }

    // Runs one exchange to its end, as the window would: submit while idle, wait for idle.
    bool RunExchange(const RequestList& list, std::chrono::milliseconds limit = 20s)
    {
        Driver.Submit(list);
        const auto start = std::chrono::steady_clock::now();
        while (!Driver.Idle()) {
            if (std::chrono::steady_clock::now() - start > limit)
                return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // Reads the first count settings and checks each value against the instrument's.
    void ExpectEveryValueRead(size_t count = 181)
    {
        const auto& keys = TInstrumentSim::Keys();
        std::deque<dev_opt> records(count);
        RequestList list;
        for (size_t i = 0; i < count; ++i) {
            MakeRead(records[i], keys[i]);
            list.push_back(&records[i]);
        }
        ASSERT_TRUE(RunExchange(list, 60s));
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(records[i].ValueRead, Sim.Setting(keys[i])) << keys[i];
            EXPECT_EQ(records[i].ResultReady.load(), 1) << keys[i];
        }
    }
};

TEST_F(DriverOnSim, OneRead)
{
    dev_opt record;
    MakeRead(record, "S0NAM");
    ASSERT_TRUE(RunExchange({&record}));
    EXPECT_EQ(Sim.Transcript(), "\x02S0NAM?\r\n");
    EXPECT_EQ(record.ValueRead, Sim.Setting("S0NAM"));
    EXPECT_EQ(record.ResultReady.load(), 1);
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
}

TEST_F(DriverOnSim, OneWriteIsStoredAndAnswered)
{
    dev_opt record;
    MakeRead(record, "S7CFRQ");
    record.ValueToWrite = "4096";
    record.Operation = OpWrite;
    record.WriteNeeded = 1;
    ASSERT_TRUE(RunExchange({&record}));
    EXPECT_EQ(Sim.Transcript(), "\x02S7CFRQ=4096\r\n");
    EXPECT_EQ(Sim.Setting("S7CFRQ"), "4096");
    EXPECT_EQ(record.WriteNeeded.load(), 0);
}

TEST_F(DriverOnSim, AllSettingsAreReadInListOrder)
{
    const auto& keys = TInstrumentSim::Keys();
    std::deque<dev_opt> records(keys.size());
    RequestList list;
    std::string expected;
    for (size_t i = 0; i < keys.size(); ++i) {
        MakeRead(records[i], keys[i]);
        list.push_back(&records[i]);
        expected += "\x02" + keys[i] + "?\r\n";
    }
    ASSERT_EQ(list.size(), 181u);
    ASSERT_TRUE(RunExchange(list, 60s));
    EXPECT_EQ(Sim.Transcript(), expected);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(records[i].ValueRead, Sim.Setting(keys[i])) << keys[i];
        EXPECT_EQ(records[i].ResultReady.load(), 1) << keys[i];
    }
}

// However the bytes come, whole replies reach the right settings: at the line rate one by
// one (slept through between wakes), in USB-like frames, and singly with pauses longer than
// a byte time.
TEST_F(DriverOnSim, RepliesAtTheLineRateAreReadWhole)
{
    Sim.SetPaced(true);
    ExpectEveryValueRead();
}

TEST_F(DriverOnSim, RepliesInFramesAreReadWhole)
{
    Sim.SetPaced(true);
    Sim.SetDeliveryFrame(1ms);
    ExpectEveryValueRead();
}

TEST_F(DriverOnSim, RepliesSlowerThanTheLineRateAreReadWhole)
{
    Sim.SetSplitReplies(1, 300us);
    ExpectEveryValueRead(40);
}

TEST_F(DriverOnSim, UnknownKeyReadsUndefined)
{
    dev_opt record;
    MakeRead(record, "S20NAM");
    ASSERT_TRUE(RunExchange({&record}));
    EXPECT_EQ(record.ValueRead, "Undefined");
    EXPECT_EQ(record.ResultReady.load(), 1);
}

TEST_F(DriverOnSim, SilentKeyTimesOutAndTheNextKeyIsStillRead)
{
    // Once the instrument has answered, one silent setting does not end the exchange.
    Sim.SetSilentKey("S0NAM");
    dev_opt answered, silent, prompt;
    MakeRead(answered, "S0CFRQ");
    MakeRead(silent, "S0NAM");
    silent.ValueRead = "before";
    MakeRead(prompt, "S0FRP");
    ASSERT_TRUE(RunExchange({&answered, &silent, &prompt}));
    EXPECT_FALSE(Driver.Ending().SilenceEnded || Driver.Ending().Stopped);
    EXPECT_EQ(silent.ResultReady.load(), 0);
    EXPECT_EQ(silent.ValueRead, "before");
    EXPECT_EQ(prompt.ValueRead, Sim.Setting("S0FRP"));
}

TEST_F(DriverOnSim, LateReplyDoesNotLeakIntoTheNextValue)
{
    // Misses its limit, but arrives before the next command may go out.
    Sim.SetLateReply("S0NAM", std::chrono::milliseconds(TestLimitMs + 100));
    dev_opt answered, late, next, after;
    MakeRead(answered, "S0THSEL");
    MakeRead(late, "S0NAM");
    MakeRead(next, "S0FRP");
    MakeRead(after, "S0CFRQ");
    ASSERT_TRUE(RunExchange({&answered, &late, &next, &after}));
    EXPECT_EQ(late.ResultReady.load(), 0);
    EXPECT_EQ(next.ValueRead, Sim.Setting("S0FRP"));
    EXPECT_EQ(after.ValueRead, Sim.Setting("S0CFRQ"));
}

TEST_F(DriverOnSim, HangUpInTheMiddleEndsTheExchangeWithoutValues)
{
    const auto& keys = TInstrumentSim::Keys();
    std::deque<dev_opt> records(6);
    RequestList list;
    for (size_t i = 0; i < records.size(); ++i) {
        MakeRead(records[i], keys[i]);
        list.push_back(&records[i]);
    }
    Sim.HangUpAfterCommands(3);
    ASSERT_TRUE(RunExchange(list));
    EXPECT_EQ(records[0].ValueRead, Sim.Setting(keys[0]));
    EXPECT_EQ(records[1].ValueRead, Sim.Setting(keys[1]));
    for (size_t i = 2; i < records.size(); ++i)
        EXPECT_EQ(records[i].ResultReady.load(), 0) << keys[i];
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
}

} // namespace

namespace {

TEST(DriverOnUnpluggedSim, FullReadEndsSoonAfterTheHangUpWithTheFullLimit)
{
    TInstrumentSim sim;
    Tsdi12d driver; // the program's 100 s limit
    driver.OpenDevice(sim.SlavePath(), 115200);
    commthread thread(driver, false);
    const auto& keys = TInstrumentSim::Keys();
    std::deque<dev_opt> records(keys.size());
    RequestList list;
    for (size_t i = 0; i < keys.size(); ++i) {
        MakeRead(records[i], keys[i]);
        list.push_back(&records[i]);
    }
    sim.HangUpAfterCommands(50);
    driver.Submit(list);
    const auto start = std::chrono::steady_clock::now();
    while (!driver.Idle() && std::chrono::steady_clock::now() - start < 60s)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(driver.Idle()) << "the remaining reads must not wait out 100 s each";
    EXPECT_TRUE(driver.Ending().PortLost);
    EXPECT_EQ(records[48].ValueRead, sim.Setting(keys[48]));
    for (size_t i = 49; i < records.size(); ++i)
        ASSERT_EQ(records[i].ResultReady.load(), 0) << keys[i];
    EXPECT_LE(sim.CommandCount(), 50u) << "nothing is sent after the hang-up";
}

} // namespace
