// The Win32 port backend under Wine: names of port numbers, the quiet failure of a port that
// is not there, and bytes to and from the simulated instrument behind a mapped COM port.
#include "serial/commsport.h"
#include "serial/winlinesettings.h"
#include "testcomport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int32_t Baud = 115200;
// Port numbers that no device answers on in the test prefix: one of each name form.
constexpr int32_t MissingShortPort = 8;
constexpr int32_t MissingLongPort = 250;

TEST(PortNames, BelowTenTheDosNameAboveItTheDevicePath)
{
    EXPECT_EQ(TCommsPort::DeviceNameFor(1), "COM1:");
    EXPECT_EQ(TCommsPort::DeviceNameFor(5), "COM5:");
    EXPECT_EQ(TCommsPort::DeviceNameFor(9), "COM9:");
    EXPECT_EQ(TCommsPort::DeviceNameFor(10), "\\\\.\\COM10");
    EXPECT_EQ(TCommsPort::DeviceNameFor(255), "\\\\.\\COM255");
}

TEST(PortNames, TheOpenedNameIsShownEvenWhenTheOpenFails)
{
    TCommsPort port;
    port.OpenPort(MissingLongPort, Baud);
    EXPECT_STREQ(port.PortName(), "\\\\.\\COM250");
    port.OpenPort(MissingShortPort, Baud);
    EXPECT_STREQ(port.PortName(), "COM8:");
}

class MissingPort : public ::testing::TestWithParam<int32_t>
{
};

TEST_P(MissingPort, FailsQuietlyAndNeverBlocks)
{
    TCommsPort port;
    port.OpenPort(GetParam(), Baud);
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_FALSE(port.HoldsDevice());
    EXPECT_EQ(port.LastDiagnostic().rfind("File Error ", 0), 0u) << port.LastDiagnostic();
    EXPECT_FALSE(port.LastSystemError().empty());

    port.WriteByte('x');
    uint8_t byte = 0xAA;
    EXPECT_EQ(port.ReadByte(&byte), 0);
    EXPECT_EQ(byte, 0xAA) << "nothing was read";
    port.DiscardInput();

    // A polling loop over a broken port must not spin: the wait is slept in full.
    const auto start = Clock::now();
    EXPECT_EQ(port.WaitReadable(100), TCommsPort::WaitResult::Broken);
    EXPECT_GE(Clock::now() - start, 90ms);

    port.ClosePort();
    EXPECT_TRUE(port.OpenFailed()) << "a failed open stays failed until the next open";
}

INSTANTIATE_TEST_SUITE_P(BothNameForms, MissingPort,
                         ::testing::Values(MissingShortPort, MissingLongPort));

// Every member of the line settings: the four set, the LF event character (the adapter then
// passes each reply on at its end), and everything else zero.
TEST(LineSettings, EightNoneOneWithoutFlowControlAndLfAsTheEventCharacter)
{
    const DCB dcb = TWinLineSettings::For(Baud);
    DCB expected;
    ZeroMemory(&expected, sizeof expected);
    expected.DCBlength = sizeof(DCB);
    expected.BaudRate = Baud;
    expected.fBinary = 1;
    expected.ByteSize = 8;
    expected.EvtChar = '\n';
    EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof dcb), 0);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fOutX | dcb.fInX, 0u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

// The port's handle, to ask the system what was applied to it.
class ProbedPort : public TCommsPort
{
public:
    HANDLE Raw() const { return Handle.load(); }
};

class MappedPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Number = TestComPort();
        if (Number == 0)
            GTEST_SKIP() << "DEVCONFIG_TEST_COM names no COM port mapped to the instrument";
        Port.OpenPort(Number, Baud);
        ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic() << ": " << Port.LastSystemError();
    }

    // Collects one reply line, LF included, or what came before the time-out.
    std::string ReadLine(std::chrono::milliseconds limit = 10s)
    {
        std::string line;
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            if (Port.WaitReadable(50) != TCommsPort::WaitResult::Readable)
                continue;
            uint8_t byte = 0;
            while (Port.ReadByte(&byte) == 1) {
                line += static_cast<char>(byte);
                if (byte == '\n')
                    return line;
            }
        }
        return line;
    }

    void Send(const std::string& text)
    {
        for (char c : text)
            Port.WriteByte(static_cast<uint8_t>(c));
    }

    int32_t Number = 0;
    ProbedPort Port;
};

TEST_F(MappedPort, OpensWithItsLineSettingsAccepted)
{
    EXPECT_FALSE(Port.OpenFailed());
    EXPECT_EQ(Port.LastDiagnostic(), "") << Port.LastSystemError();
    EXPECT_EQ(Port.PortName(), TCommsPort::DeviceNameFor(Number));
}

// Wine keeps no event character for a pseudo-terminal, so only the wait mask and the speed
// are read back here; the settings built are checked whole above.
TEST_F(MappedPort, WaitsWatchForAByteAndForTheEventCharacter)
{
    DWORD mask = 0;
    ASSERT_TRUE(GetCommMask(Port.Raw(), &mask));
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
    DCB applied = {};
    applied.DCBlength = sizeof applied;
    ASSERT_TRUE(GetCommState(Port.Raw(), &applied));
    EXPECT_EQ(applied.BaudRate, static_cast<DWORD>(Baud));
    EXPECT_EQ(applied.ByteSize, 8);
}

TEST_F(MappedPort, ReadsReturnAtOnceWhileNothingWaits)
{
    EXPECT_EQ(Port.WaitReadable(100), TCommsPort::WaitResult::TimedOut);
    // A read that waited for a byte would hang here, and one with a per-read time-out would
    // take seconds over these tries.
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        uint8_t byte = 0;
        EXPECT_EQ(Port.ReadByte(&byte), 0);
    }
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(MappedPort, ACommandIsAnsweredByTheInstrument)
{
    Send("\x02S0NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 1\r\n");
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0) << "the reply was taken whole";
}

TEST_F(MappedPort, DiscardDropsAReplyNotYetRead)
{
    Send("\x02S0NAM?\r\n");
    ASSERT_EQ(ReadLine(), "Pressure 1\r\n");
    Send("\x02S2NAM?\r\n");
    // Waits for the first byte of the reply, then for the rest of it, before dropping it.
    const auto deadline = Clock::now() + 10s;
    while (Port.WaitReadable(50) != TCommsPort::WaitResult::Readable && Clock::now() < deadline) {
    }
    std::this_thread::sleep_for(300ms);
    Port.DiscardInput();
    EXPECT_EQ(Port.WaitReadable(200), TCommsPort::WaitResult::TimedOut);
    Send("\x02S3NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 4\r\n");
}

TEST_F(MappedPort, AQueuedReplyComesAByteAtATimeAndADiscardDropsWhatOneReadTook)
{
    Send("\x02S0NAM?\r\n");
    std::this_thread::sleep_for(300ms); // the whole reply is queued: one read takes all of it
    uint8_t byte = 0;
    ASSERT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'P');
    Port.DiscardInput();
    EXPECT_EQ(Port.ReadByte(&byte), 0) << "the rest of the reply was dropped";
    Send("\x02S3NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 4\r\n");
}

TEST_F(MappedPort, AClosedPortSendsNothingAndOpensAgain)
{
    Port.ClosePort();
    EXPECT_FALSE(Port.HoldsDevice());
    EXPECT_FALSE(Port.OpenFailed());
    Send("\x02S2NAM?\r\n"); // would be answered first if it reached the line
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0);

    Port.OpenPort(Number, Baud);
    ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    Send("\x02S0NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 1\r\n");
}

TEST_F(MappedPort, OpeningTheSameNumberAgainReleasesTheFirstDevice)
{
    Port.OpenPort(Number, Baud);
    ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    Send("\x02S0NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 1\r\n");
}

TEST_F(MappedPort, ANegativeNumberReleasesTheDeviceAndOpensNothing)
{
    Port.OpenPort(-1, Baud);
    EXPECT_FALSE(Port.HoldsDevice());
    EXPECT_FALSE(Port.OpenFailed());
    Send("\x02S2NAM?\r\n");
    Port.OpenPort(Number, Baud);
    ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    Send("\x02S0NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 1\r\n") << "nothing was sent while no device was held";
}

TEST_F(MappedPort, AFailedOpenBeforeDoesNotSpoilTheNextOne)
{
    Port.OpenPort(MissingShortPort, Baud);
    ASSERT_TRUE(Port.OpenFailed());
    Port.OpenPort(Number, Baud);
    ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    Send("\x02S0NAM?\r\n");
    EXPECT_EQ(ReadLine(), "Pressure 1\r\n");
}

// A device whose line settings cannot even be read is no serial port: it is given back at
// once and nothing is ever written to it.
TEST(NonTerminalPort, IsRefusedAsNotASerialPort)
{
    const int32_t number = NonTerminalComPort();
    if (number == 0)
        GTEST_SKIP() << "DEVCONFIG_TEST_COM_NOT_TTY names no COM port mapped to a non-terminal";
    TCommsPort port;
    port.OpenPort(number, Baud);
    EXPECT_FALSE(port.HoldsDevice());
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_EQ(port.LastErrorKind(), TCommsPort::ErrorKind::NotSerial);
    EXPECT_FALSE(port.LastSystemError().empty());
}

} // namespace
