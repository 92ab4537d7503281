// The driver and its comms thread over a COM port that Wine maps to the simulated instrument:
// the same cell exchange as on the target, through the Win32 port backend.
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "driver/testrecords.h"
#include "testcomport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int32_t Baud = 115200;
constexpr uint32_t ReplyLimitMs = 10000;

// A value this run has not written before, so a read-back cannot pass on an old one.
std::string FreshValue()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return "Wine " +
           std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() %
                          1000000);
}

class DriverOnComPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const int32_t number = TestComPort();
        if (number == 0)
            GTEST_SKIP() << "DEVCONFIG_TEST_COM names no COM port mapped to the instrument";
        Driver.OpenPort(number, Baud);
        ASSERT_TRUE(Driver.HoldsDevice()) << Driver.LastDiagnostic();
    }

    // Steps the driver as the comms thread does until the list is done; waits only while
    // the exchange runs, since an idle driver sleeps until the next Submit.
    bool RunToIdle(std::chrono::seconds limit = 30s)
    {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            Driver.Tick();
            if (Driver.Idle())
                return true;
            if (Clock::now() > deadline)
                return false;
            Driver.WaitForWork();
        }
    }

    Tsdi12d Driver{ReplyLimitMs};
};

TEST_F(DriverOnComPort, OneReadStoresTheInstrumentsValue)
{
    dev_opt record;
    MakeRead(record, "S0NAM");
    Driver.Submit({&record});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(record.ResultReady.load(), 1);
    EXPECT_EQ(record.ValueRead, "Pressure 1");
    EXPECT_EQ(Driver.LastCommandSent(), "S0NAM?\r\n");
    EXPECT_EQ(Driver.LastReplyTaken(), "Pressure 1\r");
    EXPECT_FALSE(Driver.ExchangeRunningRaised());
}

TEST_F(DriverOnComPort, UnknownKeyIsAnsweredUndefined)
{
    dev_opt record;
    MakeRead(record, "S99NAM");
    Driver.Submit({&record});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(record.ResultReady.load(), 1);
    EXPECT_EQ(record.ValueRead, "Undefined");
}

TEST_F(DriverOnComPort, CommThreadWritesAndReadsBack)
{
    const std::string value = FreshValue();
    dev_opt write;
    MakeWrite(write, "S1NAM", value);
    dev_opt readBack;
    MakeRead(readBack, "S1NAM");

    commthread thread(Driver, false);
    Driver.Submit({&write, &readBack});
    const auto deadline = Clock::now() + 30s;
    while (!dev_opt::IsRaised(readBack.ResultReady) && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    thread.Stop();

    EXPECT_FALSE(dev_opt::IsRaised(write.WriteNeeded)) << "the OK reply acknowledges the write";
    ASSERT_TRUE(dev_opt::IsRaised(readBack.ResultReady));
    EXPECT_EQ(readBack.ValueRead, value);
}

} // namespace
