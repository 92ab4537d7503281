// The comms thread: it must sleep while there is nothing to do, wake for work and stop on
// request, also while the port is broken.
#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "driver/testrecords.h"
#include "sim/socketlink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;

template <typename Predicate> bool WaitFor(Predicate done, std::chrono::milliseconds limit = 10s)
{
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > limit)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The driver's State belongs to the comms thread; the test sees the exchange through the
// bytes on the wire instead, so that a race detector has nothing to object to.
bool CommandReachesTheWire(TSocketLink& link, const std::string& command)
{
    std::string sent;
    return WaitFor([&] {
               sent += link.TakeSent();
               return sent.size() >= command.size();
           }) &&
           sent == command;
}

TEST(CommThread, CreatedSuspendedDoesNotRunUntilResumed)
{
    Tsdi12d driver;
    commthread thread(driver, true);
    EXPECT_FALSE(thread.Running());
    thread.Resume();
    EXPECT_TRUE(thread.Running());
    thread.Stop();
    EXPECT_FALSE(thread.Running());
}

TEST(CommThread, SleepsWhileIdle)
{
    Tsdi12d driver;
    commthread thread(driver, false);
    std::this_thread::sleep_for(300ms);
    // A loop that ticks back to back would have made millions of passes by now.
    EXPECT_LE(thread.Iterations(), 3u);
}

TEST(CommThread, SubmitWakesTheIdleThreadAndTheReplyIsStored)
{
    Tsdi12d driver;
    TSocketLink link(driver);
    commthread thread(driver, false);
    std::this_thread::sleep_for(50ms);
    dev_opt record;
    MakeRead(record, "S5NAM");
    driver.Submit({&record});
    std::string sent;
    ASSERT_TRUE(WaitFor([&] {
        sent += link.TakeSent();
        return sent.size() >= 9;
    }));
    EXPECT_EQ(sent, "\x02S5NAM?\r\n");
    link.Feed("Level\r\n");
    ASSERT_TRUE(WaitFor([&] { return driver.Idle(); }));
    EXPECT_EQ(record.ValueRead, "Level");
    EXPECT_EQ(record.ResultReady, 1);
}

TEST(CommThread, WaitIdleSleepsUntilTheListIsDone)
{
    Tsdi12d driver;
    TSocketLink link(driver);
    commthread thread(driver, false);
    EXPECT_TRUE(driver.WaitIdle(0ms)) << "an idle driver needs no wait";
    dev_opt record;
    MakeRead(record, "S5NAM");
    driver.Submit({&record});
    ASSERT_TRUE(CommandReachesTheWire(link, "\x02S5NAM?\r\n"));
    EXPECT_FALSE(driver.WaitIdle(100ms)) << "the reply has not come";
    std::thread instrument([&] {
        std::this_thread::sleep_for(50ms);
        link.Feed("Level\r\n");
    });
    EXPECT_TRUE(driver.WaitIdle(10s));
    instrument.join();
    EXPECT_EQ(record.ResultReady, 1);
}

// One read submitted to a thread whose port will not answer: the thread may wake once per
// wait slice, never more.
void ExpectNoSpinWhileUnanswered(Tsdi12d& driver)
{
    commthread thread(driver, false);
    dev_opt record;
    MakeRead(record, "S0NAM");
    driver.Submit({&record});
    std::this_thread::sleep_for(400ms);
    EXPECT_LE(thread.Iterations(), 40u);
}

TEST(CommThread, WaitsWithoutSpinningForAReplyThatDoesNotCome)
{
    Tsdi12d driver;
    TSocketLink link(driver);
    ExpectNoSpinWhileUnanswered(driver);
    EXPECT_FALSE(driver.Idle());
}

TEST(CommThread, WaitsWithoutSpinningOnAHungUpPort)
{
    Tsdi12d driver;
    TSocketLink link(driver);
    link.HangUp();
    ExpectNoSpinWhileUnanswered(driver);
}

TEST(CommThread, WaitsWithoutSpinningWithNoPort)
{
    Tsdi12d driver;
    ExpectNoSpinWhileUnanswered(driver);
}

TEST(CommThread, StopsPromptlyInTheMiddleOfAnExchange)
{
    Tsdi12d driver; // the full 100 s reply limit
    TSocketLink link(driver);
    commthread thread(driver, false);
    dev_opt records[3];
    for (auto& r : records)
        MakeRead(r, "S0NAM");
    driver.Submit({&records[0], &records[1], &records[2]});
    ASSERT_TRUE(CommandReachesTheWire(link, "\x02S0NAM?\r\n"));
    const auto start = std::chrono::steady_clock::now();
    thread.Stop();
    EXPECT_FALSE(thread.Running());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "a stop must not wait out the limit";
    thread.Stop(); // a second stop is harmless
}

TEST(CommThread, DestructionJoinsBeforeTheDriverGoesAway)
{
    auto driver = std::make_unique<Tsdi12d>();
    TSocketLink link(*driver);
    auto thread = std::make_unique<commthread>(*driver, false);
    dev_opt record;
    MakeRead(record, "S0NAM");
    driver->Submit({&record});
    ASSERT_TRUE(CommandReachesTheWire(link, "\x02S0NAM?\r\n"));
    thread.reset();
    driver.reset(); // the thread must no longer be inside Tick: a sanitizer build would see it
    SUCCEED();
}

#ifndef _WIN32
// A process may end by exit() while the comms thread still runs (the display's plugin does so
// when the X server goes away): the thread is stopped before the static driver is destroyed,
// which would otherwise wait for it for ever. The alarm turns such a hang into a failure.
TEST(CommThreadDeathTest, ExitWhileTheThreadRunsEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(10);
            static Tsdi12d driver;
            new commthread(driver, false);      // never destroyed, like a window that exit() skips
            std::this_thread::sleep_for(200ms); // until the thread waits for work
            std::exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}
#endif

} // namespace
