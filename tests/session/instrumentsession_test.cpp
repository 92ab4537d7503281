// One instrument's trip through the session against the simulated instrument on a real
// pseudo-terminal: every way an exchange can end, ranked into one reason and the request it
// ended at, as both faces see it.
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "session/instrumentsession.h"
#include "session/linewords.h"
#include "session/stopsignals.h"
#include "sim/instrumentsim.h"

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t LimitMs = 400;
constexpr std::size_t ListLength = 12;

bool Answered(const dev_opt& record)
{
    return dev_opt::IsRaised(record.ResultReady);
}

class SessionOnSim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Locator.UseDevice(Sim.SlavePath());
        for (std::size_t i = 0; i < ListLength; ++i) {
            Records[i].Bind(GridSensor, TInstrumentSim::Keys()[i], 1, 1);
            TInstrumentSession::MarkRead(Records[i]);
            List.push_back(&Records[i]);
        }
    }

    const std::string& Key(std::size_t index) const { return TInstrumentSim::Keys()[index]; }

    TInstrumentSim Sim;
    Tsdi12d Driver{LimitMs};
    TAdapterLocator Locator;
    std::deque<dev_opt> Records{ListLength};
    RequestList List;
    TInstrumentSession Session{Driver, Locator};
};

struct EndCase
{
    const char* Name;
    bool FileRun;                                // ends at the first time-out
    std::function<void(TInstrumentSim&)> Before; // the fault, before the exchange
    std::function<void(TInstrumentSim&, TInstrumentSession&)> During; // while it runs
    TEndReason Why;
    int At; // the index of the request it ended at; -1: none
};

TEST_F(SessionOnSim, EveryEndingIsRankedIntoOneReasonAndTheRequestItEndedAt)
{
    const auto none = [](TInstrumentSim&) {};
    const auto nothing = [](TInstrumentSim&, TInstrumentSession&) {};
    const EndCase cases[] = {
        {"completed", true, none, nothing, TEndReason::Completed, -1},
        {"one setting silent", true, [&](TInstrumentSim& s) { s.SetSilentKey(Key(4)); }, nothing,
         TEndReason::NoAnswer, 4},
        {"switched off", false, [](TInstrumentSim& s) { s.SetSwitchedOff(true); }, nothing,
         TEndReason::NoAnswer, 0},
        {"unplugged", true, [](TInstrumentSim& s) { s.HangUpAfterCommands(5); }, nothing,
         TEndReason::Unplugged, 4},
        {"talks by itself", true, [](TInstrumentSim& s) { s.SetTalking(20ms); }, nothing,
         TEndReason::NotInstrument, -1},
        {"reply too long", true, [&](TInstrumentSim& s) { s.SetOverlongReply(Key(3), 300); },
         nothing, TEndReason::Overlong, 3},
        {"stopped by the user", false, [&](TInstrumentSim& s) { s.SetSilentKey(Key(6)); },
         [](TInstrumentSim& s, TInstrumentSession& session) {
             ASSERT_TRUE(s.WaitForCommands(7, 5s));
             session.Stop();
         },
         TEndReason::Stopped, 6},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TInstrumentSim sim;
        Tsdi12d driver{c.FileRun ? LimitMs : 3000};
        TAdapterLocator locator;
        locator.UseDevice(sim.SlavePath());
        TInstrumentSession session{driver, locator};
        c.Before(sim);
        const TConnectResult connected = session.Connect(session.Adapters());
        ASSERT_TRUE(connected.Opened()) << connected.Failure.Text;
        if (c.FileRun)
            session.EndAtFirstTimeOut(LimitMs);
        session.StartThread();
        std::thread during([&] { c.During(sim, session); });
        const TExchangeEnd end = session.Run(
            List, 20ms, [] {}, Answered);
        during.join();
        EXPECT_EQ(end.Why, c.Why);
        if (c.At >= 0) {
            ASSERT_NE(end.At, nullptr);
            EXPECT_EQ(end.At->ReadKey, Key(static_cast<std::size_t>(c.At)));
        }
        for (dev_opt& record : Records)
            TInstrumentSession::MarkRead(record);
    }
}

// A signal reaches the driver at once, not when the waiting loop next wakes: with an
// instrument that answers in 10 ms, at most the command already on the wire is finished.
TEST_F(SessionOnSim, ASignalStopsTheExchangeBeforeTheNextCommand)
{
    Sim.SetReplyDelay(10ms);
    const TStopSignals signals;
    ASSERT_TRUE(Session.Connect(Session.Adapters()).Opened());
    Session.EndAtFirstTimeOut(LimitMs);
    Session.StopOnSignals();
    Session.StartThread();
    std::size_t atSignal = 0;
    std::thread interrupt([&] {
        ASSERT_TRUE(Sim.WaitForCommands(3, 5s));
        atSignal = Sim.CommandCount();
        std::raise(SIGINT);
    });
    // A long step: the run's own loop must not be what notices the signal.
    const TExchangeEnd end = Session.Run(
        List, 1000ms, [] {}, Answered);
    interrupt.join();
    EXPECT_EQ(end.Why, TEndReason::Interrupted);
    EXPECT_LE(Sim.CommandCount(), atSignal + 1) << "commands went out after the signal";
}

TEST_F(SessionOnSim, AnOpenThatFailsIsOneValueWithItsKindAndText)
{
    TAdapterLocator missing;
    missing.UseDevice("/dev/nonexistent-tty");
    TInstrumentSession session{Driver, missing};
    const TConnectResult connected = session.Connect(session.Adapters());
    EXPECT_EQ(connected.Result, TConnectResult::Outcome::NotOpened);
    EXPECT_EQ(connected.Failure.Kind, TCommsPort::ErrorKind::NotFound);
    EXPECT_EQ(TLineWords::NotOpened(connected.Device, connected.Failure),
              "Device: /dev/nonexistent-tty NOT OPENED - not found");
}

} // namespace
