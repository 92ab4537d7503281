// The simulated instrument driven through the real pseudo-terminal slave.
#include "sim/instrumentsim.h"
#include "sim/ptyclient.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::string Read(const std::string& key)
{
    return std::string(1, '\x02') + key + "?\r\n";
}

std::string Write(const std::string& key, const std::string& value)
{
    return std::string(1, '\x02') + key + "=" + value + "\r\n";
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` on another thread and tells whether it finished within a generous time.
template <typename Work> bool FinishesInTime(Work work)
{
    auto done = std::async(std::launch::async, work);
    return done.wait_for(10s) == std::future_status::ready;
}

class InstrumentSimTest : public ::testing::Test
{
protected:
    TInstrumentSim Sim;
    PtyClient Client{Sim.SlavePath()};
};

} // namespace

TEST_F(InstrumentSimTest, ReadsAnswerEveryDefaultValue)
{
    const TInstrumentSettings defaults;
    for (const std::string& key : TInstrumentSim::Keys()) {
        EXPECT_EQ(Client.Exchange(Read(key)), defaults.Value(key) + "\r\n") << key;
        EXPECT_EQ(Sim.Setting(key), defaults.Value(key)) << key;
    }
    EXPECT_EQ(Sim.CommandCount(), 181u);
}

TEST_F(InstrumentSimTest, WritesAreStoredAndReadBack)
{
    EXPECT_EQ(Client.Exchange(Write("S3CFRQ", "4000")), "OK\r\n");
    EXPECT_EQ(Sim.Setting("S3CFRQ"), "4000");
    EXPECT_EQ(Client.Exchange(Read("S3CFRQ")), "4000\r\n");

    // The value is everything after the first "=", taken as typed, a trailing "?" included.
    EXPECT_EQ(Client.Exchange(Write("TH1NAM", "a=b?")), "OK\r\n");
    EXPECT_EQ(Sim.Setting("TH1NAM"), "a=b?");
    EXPECT_EQ(Client.Exchange(Write("S0NAM", "")), "OK\r\n");
    EXPECT_EQ(Client.Exchange(Read("S0NAM")), "\r\n");

    // A command ended by LF alone is still understood.
    EXPECT_EQ(Client.Exchange("\x02S2FRP=1\n"), "OK\r\n");
    EXPECT_EQ(Client.Exchange("\x02S2FRP?\n"), "1\r\n");

    // Settings changed from the test side are what the client reads.
    EXPECT_TRUE(Sim.SetSetting("S5CAL0", "9.9E+00"));
    EXPECT_EQ(Client.Exchange(Read("S5CAL0")), "9.9E+00\r\n");
}

TEST_F(InstrumentSimTest, UnknownKeysAreUndefined)
{
    EXPECT_EQ(Client.Exchange(Read("S20NAM")), "Undefined\r\n");
    EXPECT_EQ(Client.Exchange(Write("TH3NAM", "x")), "Undefined\r\n");
    EXPECT_FALSE(Sim.HasSetting("TH3NAM"));
    EXPECT_FALSE(Sim.SetSetting("TH3NAM", "x"));
    // Neither a read nor a write.
    EXPECT_EQ(Client.Exchange("\x02S0NAM\r\n"), "Undefined\r\n");
    EXPECT_EQ(Client.Exchange("\x02\r\n"), "Undefined\r\n");
    // A NUL inside the key makes it a different key.
    EXPECT_EQ(Client.Exchange(std::string("\x02S0N\0AM?\r\n", 10)), "Undefined\r\n");
}

TEST_F(InstrumentSimTest, TranscriptHoldsTheExactCommandBytes)
{
    const std::string withNul("\x02S1NAM=A\0B\r\n", 12);
    Client.Exchange(Read("S0NAM"));
    Client.Exchange("noise\r\n" + Read("TH0T0"));
    Client.Exchange(withNul);

    EXPECT_EQ(Sim.Commands(), (std::vector<std::string>{Read("S0NAM"), Read("TH0T0"), withNul}));
    EXPECT_EQ(Sim.Transcript(), Read("S0NAM") + Read("TH0T0") + withNul);
    EXPECT_EQ(Sim.Setting("S1NAM"), std::string("A\0B", 3));
    EXPECT_EQ(Sim.CommandCount(), 3u);

    Sim.ClearTranscript();
    EXPECT_EQ(Sim.CommandCount(), 0u);
    EXPECT_EQ(Sim.Transcript(), "");
    Client.Exchange(Read("S0FRP"));
    EXPECT_EQ(Sim.Commands(), std::vector<std::string>{Read("S0FRP")});
}

TEST_F(InstrumentSimTest, CommandsArriveInPiecesOrTogether)
{
    // A lone lead byte and a command split over writes, as a byte-by-byte sender makes them.
    Client.Send("xx\x02");
    Client.Send("S0N");
    EXPECT_FALSE(Sim.WaitForCommands(1, 50ms));
    Client.Send("AM?\r");
    Client.Send("\n");
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "Pressure 1\r\n");

    // Several commands in one write are answered one after the other.
    Client.Send(Read("S1NAM") + Read("FOO") + Write("S1FRP", "2"));
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "Pressure 2\r\n");
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "Undefined\r\n");
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "OK\r\n");
    ASSERT_TRUE(Sim.WaitForCommands(4, 5s));
    EXPECT_EQ(Sim.Setting("S1FRP"), "2");
}

TEST_F(InstrumentSimTest, SilentKeyNeverAnswers)
{
    Sim.SetSilentKey("S4NAM");
    Client.Send(Read("S4NAM"));
    ASSERT_TRUE(Sim.WaitForCommands(1, 5s));
    EXPECT_EQ(Client.Poll(POLLIN, 300ms) & POLLIN, 0);
    // The line goes on working for other keys.
    EXPECT_EQ(Client.Exchange(Read("S4FRP")), Sim.Setting("S4FRP") + "\r\n");
    Sim.SetSilentKey("");
    EXPECT_EQ(Client.Exchange(Read("S4NAM")), "Level A\r\n");
}

TEST_F(InstrumentSimTest, RejectedWriteKeepsTheOldValue)
{
    Sim.SetRejectedWrite("S2CAL0");
    const std::string before = Sim.Setting("S2CAL0");
    EXPECT_EQ(Client.Exchange(Write("S2CAL0", "1.5")), "ERR\r\n");
    EXPECT_EQ(Sim.Setting("S2CAL0"), before);
    EXPECT_EQ(Client.Exchange(Read("S2CAL0")), before + "\r\n");
    // Other keys are still written.
    EXPECT_EQ(Client.Exchange(Write("S2CAL1", "1.5")), "OK\r\n");
    EXPECT_EQ(Sim.Setting("S2CAL1"), "1.5");
}

TEST_F(InstrumentSimTest, ReplyShapesCanBeDistorted)
{
    Sim.SetOverlongReply("S0NAM", 300);
    const std::string overlong = Client.Exchange(Read("S0NAM"));
    EXPECT_EQ(overlong.size(), 302u);
    EXPECT_EQ(overlong, TInstrumentSim::OverlongText(300) + "\r\n");
    EXPECT_EQ(TInstrumentSim::OverlongText(28), "abcdefghijklmnopqrstuvwxyzab");
    Sim.SetOverlongReply("", 0);

    Sim.SetNulInReply("S0NAM");
    EXPECT_EQ(Client.Exchange(Read("S0NAM")), std::string("P\0ressure 1\r\n", 13));
    Sim.SetNulInReply("");

    Sim.SetJunkBeforeReply("#!");
    EXPECT_EQ(Client.Exchange(Read("S0NAM")), "#!Pressure 1\r\n");
    Sim.ClearFaults();

    Sim.SetSplitReplies(1, 2ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client.Exchange(Read("S0NAM")), "Pressure 1\r\n");
    // Eleven pauses between twelve single-byte writes.
    EXPECT_GE(SecondsSince(start), 0.022);
}

TEST_F(InstrumentSimTest, DelaysHoldBackRepliesInOrder)
{
    Sim.SetReplyDelay(100ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client.Exchange(Read("S0FRP")), "0\r\n");
    EXPECT_GE(SecondsSince(start), 0.1);
    Sim.SetReplyDelay(0ms);

    Sim.SetLateReply("S0NAM", 300ms);
    start = std::chrono::steady_clock::now();
    Client.Send(Read("S0NAM"));
    EXPECT_EQ(Client.Poll(POLLIN, 100ms) & POLLIN, 0);
    // The next command is only served after the late reply.
    Client.Send(Read("S1NAM"));
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "Pressure 1\r\n");
    EXPECT_GE(SecondsSince(start), 0.3);
    EXPECT_EQ(Client.ReadLine(5s).value_or(""), "Pressure 2\r\n");
}

TEST_F(InstrumentSimTest, PacingKeepsToTheWireRate)
{
    Sim.SetPaced(true);
    Sim.SetOverlongReply("S0NAM", 1150);
    const std::string command = Read("S0NAM");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client.Exchange(command).size(), 1152u);
    EXPECT_GE(SecondsSince(start), double(command.size() + 1152) / 11520);

    // Many short exchanges: the per-byte schedule holds over all of them.
    Sim.SetOverlongReply("", 0);
    std::size_t bytes = 0;
    start = std::chrono::steady_clock::now();
    for (int channel = 0; channel < 20; ++channel) {
        const std::string read = Read(TInstrumentSettings::SensorKey(channel, "NAM"));
        const std::string reply = Client.Exchange(read);
        EXPECT_EQ(reply, Sim.Setting(TInstrumentSettings::SensorKey(channel, "NAM")) + "\r\n");
        bytes += read.size() + reply.size();
    }
    EXPECT_GE(SecondsSince(start), double(bytes) / 11520);
}

TEST_F(InstrumentSimTest, DeliveryFramesHandBytesOverInFewPieces)
{
    Sim.SetPaced(true);
    Sim.SetDeliveryFrame(2ms);
    Sim.SetOverlongReply("S0NAM", 28); // 30 bytes: about 2.6 ms on the wire
    const auto start = std::chrono::steady_clock::now();
    Client.Send(Read("S0NAM"));
    std::string reply;
    int pieces = 0;
    while (reply.find('\n') == std::string::npos && SecondsSince(start) < 10) {
        if (!(Client.Poll(POLLIN, 5s) & POLLIN))
            break;
        char buffer[64];
        const ssize_t n = read(Client.Descriptor(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
        ++pieces;
    }
    EXPECT_EQ(reply.size(), 30u);
    // Handed over at most once per frame: the first byte at once, then one piece per 2 ms.
    EXPECT_LE(pieces, 3);
    EXPECT_GE(SecondsSince(start), 30.0 / 11520);
}

TEST_F(InstrumentSimTest, HangUpBreaksTheLine)
{
    EXPECT_FALSE(Sim.HungUp());
    Sim.HangUp();
    EXPECT_TRUE(Sim.HungUp());
    EXPECT_NE(Client.Poll(POLLIN, 5s) & POLLHUP, 0);
    char byte = 0;
    const ssize_t got = read(Client.Descriptor(), &byte, 1);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << got;
    Sim.HangUp(); // a second hang-up is harmless
}

TEST_F(InstrumentSimTest, HangUpAfterCommandsLeavesTheLastUnanswered)
{
    Sim.HangUpAfterCommands(2);
    EXPECT_EQ(Client.Exchange(Read("S0NAM")), "Pressure 1\r\n");
    Client.Send(Read("S1NAM"));
    EXPECT_NE(Client.Poll(POLLIN, 5s) & POLLHUP, 0);
    EXPECT_TRUE(Sim.HungUp());
    EXPECT_EQ(Sim.Commands(), (std::vector<std::string>{Read("S0NAM"), Read("S1NAM")}));
    char byte = 0;
    EXPECT_LE(read(Client.Descriptor(), &byte, 1), 0);
}

TEST_F(InstrumentSimTest, StopsWhileAReplyIsHeldBack)
{
    // A hang-up ends a long delay at once.
    Sim.SetReplyDelay(60s);
    Client.Send(Read("S0NAM"));
    ASSERT_TRUE(Sim.WaitForCommands(1, 5s));
    EXPECT_TRUE(FinishesInTime([this] { Sim.HangUp(); }));
    EXPECT_NE(Client.Poll(POLLIN, 5s) & POLLHUP, 0);
}

TEST(InstrumentSimLifetimeTest, DestructsWhileServing)
{
    // Held back by a long delay.
    auto delayed = std::make_unique<TInstrumentSim>();
    PtyClient first(delayed->SlavePath());
    delayed->SetReplyDelay(60s);
    first.Send(Read("S0NAM"));
    ASSERT_TRUE(delayed->WaitForCommands(1, 5s));
    EXPECT_TRUE(FinishesInTime([&] { delayed.reset(); }));

    // Blocked writing a reply far longer than the tty buffer to a client that does not read.
    auto flooding = std::make_unique<TInstrumentSim>();
    PtyClient second(flooding->SlavePath());
    flooding->SetOverlongReply("S0NAM", 1 << 20);
    second.Send(Read("S0NAM"));
    ASSERT_TRUE(flooding->WaitForCommands(1, 5s));
    EXPECT_NE(second.Poll(POLLIN, 5s) & POLLIN, 0);
    EXPECT_TRUE(FinishesInTime([&] { flooding.reset(); }));

    // Never opened by any client.
    EXPECT_TRUE(FinishesInTime([] { TInstrumentSim idle; }));
}

TEST(InstrumentSimLifetimeTest, ClientMayCloseAndReopen)
{
    TInstrumentSim sim;
    {
        PtyClient first(sim.SlavePath());
        EXPECT_EQ(first.Exchange(Read("S0NAM")), "Pressure 1\r\n");
    }
    PtyClient second(sim.SlavePath());
    EXPECT_EQ(second.Exchange(Read("S1NAM")), "Pressure 2\r\n");
    EXPECT_FALSE(sim.HungUp());
}
