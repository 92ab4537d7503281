// The serial port on real pseudo-terminals: line settings as the device sees them, byte order,
// reads that never wait, failures that are swallowed, and the waits of the comms thread.
#include "serial/commsport.h"
#include "serial/ptypair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <ostream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int32_t Baud = 115200;
constexpr int GenerousMs = 5000;
constexpr int ShortWaitMs = 300;
constexpr const char* MissingDevice = "/dev/devconfig-test-no-such-device";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// pty delivery is asynchronous: wait until the port can see what the master wrote.
void AwaitReadable(TCommsPort& port)
{
    ASSERT_EQ(port.WaitReadable(GenerousMs), TCommsPort::WaitResult::Readable);
}

std::string ReadAll(TCommsPort& port)
{
    std::string out;
    uint8_t byte = 0;
    while (port.ReadByte(&byte) == 1)
        out.push_back(static_cast<char>(byte));
    return out;
}

int OpenDescriptorCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

// Outcome of an open tried by another, unprivileged process.
enum class OtherOpen
{
    Opened,
    Busy,
    Refused,
    CannotDropPrivileges,
};

void PrintTo(OtherOpen outcome, std::ostream* out)
{
    static const char* const names[] = {"Opened", "Busy", "Refused", "CannotDropPrivileges"};
    *out << names[static_cast<int>(outcome)];
}

// Root passes over the exclusive mark, so the second opener runs as nobody in a child.
OtherOpen OpenAsUnprivileged(const std::string& path)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        TCommsPort other;
        other.OpenDevice(path, Baud);
        if (other.HoldsDevice())
            _exit(0);
        _exit(other.LastDiagnostic() == "File Error 16" ? 1 : 2);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return OtherOpen::Refused;
    switch (WEXITSTATUS(status)) {
    case 0:
        return OtherOpen::Opened;
    case 1:
        return OtherOpen::Busy;
    case 3:
        return OtherOpen::CannotDropPrivileges;
    default:
        return OtherOpen::Refused;
    }
}

class CommsPortTest : public ::testing::Test
{
protected:
    PtyPair Pty;
    TCommsPort Port;

    void OpenSlave()
    {
        Port.OpenDevice(Pty.SlavePath(), Baud);
        ASSERT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    }

    termios DeviceSettings() { return Pty.SlaveSettings(); }
    void MakeCooked(speed_t speed) { ASSERT_TRUE(Pty.MakeCooked(speed)); }

    static void ExpectRaw(const termios& line)
    {
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(line.c_cc[VMIN], 0);
        EXPECT_EQ(line.c_cc[VTIME], 0);
    }
};

TEST(CommsPortNames, PortNumberNamesUsbAdapterCountingFromOne)
{
    EXPECT_EQ(TCommsPort::DeviceNameFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(TCommsPort::DeviceNameFor(12), "/dev/ttyUSB11");
    EXPECT_EQ(TCommsPort::DeviceNameFor(0), "/dev/ttyUSB-1");
    EXPECT_EQ(TCommsPort::DeviceNameFor(INT32_MAX), "/dev/ttyUSB2147483646");
    EXPECT_EQ(TCommsPort::DeviceNameFor(INT32_MIN), "/dev/ttyUSB-2147483649");
}

TEST(CommsPortNames, OpenPortShowsComposedNameAndNegativeNumberNone)
{
    TCommsPort port;
    port.OpenPort(12, Baud);
    EXPECT_STREQ(port.PortName(), "/dev/ttyUSB11");
    port.OpenPort(-1, Baud);
    EXPECT_FALSE(port.HoldsDevice());
    EXPECT_FALSE(port.OpenFailed());
    EXPECT_STREQ(port.PortName(), "/dev/ttyUSB11"); // nothing composed for a refused number
}

TEST_F(CommsPortTest, LongPathIsCutOnlyInTheShownName)
{
    // A link whose path does not fit the name buffer: the device must be opened by the full
    // path, not by a cut one that names nothing.
    char directory[] = "/tmp/devconfig-commsport-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string link = std::string(directory) + "/" + std::string(120, 'p');
    ASSERT_EQ(symlink(Pty.SlavePath().c_str(), link.c_str()), 0);

    Port.OpenDevice(link, Baud);
    EXPECT_TRUE(Port.HoldsDevice()) << Port.LastDiagnostic();
    const std::string shown = Port.PortName();
    EXPECT_LT(shown.size(), link.size());
    EXPECT_EQ(shown, link.substr(0, shown.size()));

    unlink(link.c_str());
    rmdir(directory);
}

TEST_F(CommsPortTest, OpenMakesTheLineRaw8N1WithoutFlowControl)
{
    MakeCooked(B9600);
    OpenSlave();
    const termios line = DeviceSettings();
    ExpectRaw(line);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(Port.LastDiagnostic(), "");
    EXPECT_EQ(Port.LastErrorKind(), TCommsPort::ErrorKind::None);
}

TEST_F(CommsPortTest, ByteTimeFollowsTheRateTheLineIsOpenedWith)
{
    EXPECT_EQ(Port.ByteTimeNs(), 0);
    OpenSlave();
    EXPECT_EQ(Port.ByteTimeNs(), 86805); // ten bits at 115200 baud
    Port.OpenDevice(Pty.SlavePath(), 9600);
    EXPECT_EQ(Port.ByteTimeNs(), 1041666);
    Port.ClosePort();
    EXPECT_EQ(Port.ByteTimeNs(), 0);
    // A rate the line did not take says nothing about how fast bytes come.
    Port.OpenDevice(Pty.SlavePath(), 12345);
    EXPECT_TRUE(Port.HoldsDevice());
    EXPECT_EQ(Port.ByteTimeNs(), 0);
}

TEST_F(CommsPortTest, RefusedModemLinesOfAPtyAreHarmless)
{
    // A pty has no DTR or RTS; the request to drop them fails and must not fail the open.
    OpenSlave();
    EXPECT_FALSE(Port.OpenFailed());
    EXPECT_EQ(Port.LastDiagnostic(), "");
    Port.WriteByte('k');
    EXPECT_EQ(Pty.ReadFromMaster(1, GenerousMs), "k");
}

TEST_F(CommsPortTest, RefusedRateKeepsTheOldSpeedButMakesTheLineRaw)
{
    for (const int32_t rate : {12345, 0, -115200}) {
        SCOPED_TRACE(rate);
        MakeCooked(B9600);
        Port.OpenDevice(Pty.SlavePath(), rate);
        ASSERT_TRUE(Port.HoldsDevice());
        EXPECT_EQ(Port.LastDiagnostic(), "DCB error");
        EXPECT_EQ(Port.LastErrorKind(), TCommsPort::ErrorKind::SettingsRefused);
        const termios line = DeviceSettings();
        ExpectRaw(line);
        EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));

        // A byte without a line end is readable at once, and is not echoed back.
        Pty.WriteToMaster("r");
        AwaitReadable(Port);
        EXPECT_EQ(ReadAll(Port), "r");
        Port.WriteByte('\n');
        EXPECT_EQ(Pty.ReadFromMaster(2, ShortWaitMs), "\n");
    }
}

TEST_F(CommsPortTest, ReadByteHandsOutWaitingBytesInOrderThenNothing)
{
    OpenSlave();
    uint8_t byte = 0xAA;
    EXPECT_EQ(Port.ReadByte(&byte), 0); // nothing yet: returns at once

    Pty.WriteToMaster("ab");
    AwaitReadable(Port);
    ASSERT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'a');
    // The second byte may still be on its way through the pty.
    AwaitReadable(Port);
    ASSERT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'b');
    EXPECT_EQ(Port.ReadByte(&byte), 0);
}

TEST_F(CommsPortTest, EveryByteValuePassesUnchangedBothWays)
{
    OpenSlave();
    // Control bytes a cooked terminal would act on: CR, LF, ^C, XON, XOFF, NUL, DEL, 0xFF.
    const std::string special("\r\n\x03\x11\x13\x00\x7f\xff\x02", 9);
    Pty.WriteToMaster(special);
    std::string received;
    const Clock::time_point start = Clock::now();
    while (received.size() < special.size() && MillisecondsSince(start) < GenerousMs) {
        Port.WaitReadable(ShortWaitMs);
        received += ReadAll(Port);
    }
    EXPECT_EQ(received, special);

    for (char c : special)
        Port.WriteByte(static_cast<uint8_t>(c));
    EXPECT_EQ(Pty.ReadFromMaster(special.size(), GenerousMs), special);
}

TEST(CommsPortFailure, MissingDeviceLeavesAFailedPortThatNeitherBlocksNorRaises)
{
    TCommsPort port;
    port.OpenDevice(MissingDevice, Baud);
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_FALSE(port.HoldsDevice());
    EXPECT_EQ(port.LastDiagnostic(), "File Error 2");
    EXPECT_EQ(port.LastSystemError(), "No such file or directory");

    uint8_t byte = 0x55;
    EXPECT_EQ(port.ReadByte(&byte), 0);
    EXPECT_EQ(byte, 0x55);
    port.WriteByte('x');
    port.DiscardInput();
    port.ClosePort(); // a failed port stays failed until the next open
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_EQ(port.ReadByte(&byte), 0);
}

TEST(CommsPortFailure, ClosePortOnANeverOpenedPortDoesNothing)
{
    TCommsPort port;
    port.ClosePort();
    EXPECT_FALSE(port.HoldsDevice());
    EXPECT_FALSE(port.OpenFailed());
    uint8_t byte = 0;
    EXPECT_EQ(port.ReadByte(&byte), 0);
    EXPECT_EQ(port.LastDiagnostic(), "");
}

TEST_F(CommsPortTest, FailedOpenAfterAGoodOneReleasesTheDevice)
{
    OpenSlave();
    Port.OpenDevice(MissingDevice, Baud);
    EXPECT_TRUE(Port.OpenFailed());
    Port.WriteByte('q');
    EXPECT_EQ(Pty.ReadFromMaster(1, ShortWaitMs), "");
    // A good open afterwards clears the failed state.
    OpenSlave();
    EXPECT_FALSE(Port.OpenFailed());
}

TEST_F(CommsPortTest, NegativePortNumberReleasesAnOpenDevice)
{
    OpenSlave();
    const int withDevice = OpenDescriptorCount();
    Port.OpenPort(-1, Baud);
    EXPECT_FALSE(Port.HoldsDevice());
    EXPECT_FALSE(Port.OpenFailed());
    EXPECT_EQ(OpenDescriptorCount(), withDevice - 1);
    Port.WriteByte('q');
    EXPECT_EQ(Pty.ReadFromMaster(1, ShortWaitMs), "");
}

TEST_F(CommsPortTest, TwoOpensInARowBothSucceedAndHoldOneDescriptor)
{
    const int before = OpenDescriptorCount();
    OpenSlave();
    OpenSlave(); // the exclusive mark of the first open must not stop the second
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    Port.WriteByte('2');
    EXPECT_EQ(Pty.ReadFromMaster(1, GenerousMs), "2");
}

TEST_F(CommsPortTest, HeldDeviceIsExclusiveUntilReleased)
{
    OpenSlave();
    if (geteuid() != 0) {
        TCommsPort second;
        second.OpenDevice(Pty.SlavePath(), Baud);
        EXPECT_TRUE(second.OpenFailed());
        EXPECT_EQ(second.LastDiagnostic(), "File Error 16"); // EBUSY
        Port.ClosePort();
        second.OpenDevice(Pty.SlavePath(), Baud);
        EXPECT_TRUE(second.HoldsDevice());
        return;
    }
    // As root: let an unprivileged process try, which the exclusive mark does stop.
    ASSERT_EQ(fchmod(Pty.SlaveFd(), 0666), 0);
    const OtherOpen whileHeld = OpenAsUnprivileged(Pty.SlavePath());
    if (whileHeld == OtherOpen::CannotDropPrivileges)
        GTEST_SKIP() << "root cannot drop privileges here; root ignores the exclusive mark";
    EXPECT_EQ(whileHeld, OtherOpen::Busy);
    Port.ClosePort();
    EXPECT_EQ(OpenAsUnprivileged(Pty.SlavePath()), OtherOpen::Opened);
}

TEST_F(CommsPortTest, PortThatAnotherHolderHoldsIsRefusedUntouched)
{
    using Step = int (*)(int);
    const struct
    {
        const char* holder;
        Step take;
        Step release;
    } holders[] = {
        {"lock", [](int fd) { return flock(fd, LOCK_EX | LOCK_NB); },
         [](int fd) { return flock(fd, LOCK_UN); }},
        {"exclusive mark", [](int fd) { return ioctl(fd, TIOCEXCL); },
         [](int fd) { return ioctl(fd, TIOCNXCL); }},
    };
    for (const auto& held : holders) {
        SCOPED_TRACE(held.holder);
        MakeCooked(B9600);
        ASSERT_EQ(held.take(Pty.SlaveFd()), 0);
        Port.OpenDevice(Pty.SlavePath(), Baud); // also as root
        EXPECT_TRUE(Port.OpenFailed());
        EXPECT_EQ(Port.LastErrorKind(), TCommsPort::ErrorKind::InUse);
        const termios kept = DeviceSettings();
        EXPECT_NE(kept.c_lflag & ECHO, 0u);
        EXPECT_EQ(cfgetospeed(&kept), static_cast<speed_t>(B9600));
        EXPECT_EQ(Pty.ReadFromMaster(1, ShortWaitMs), "");

        ASSERT_EQ(held.release(Pty.SlaveFd()), 0);
        OpenSlave();
        Port.ClosePort();
    }
    // A second port of this program is another holder too.
    OpenSlave();
    TCommsPort second;
    second.OpenDevice(Pty.SlavePath(), Baud);
    EXPECT_EQ(second.LastErrorKind(), TCommsPort::ErrorKind::InUse);
    Port.WriteByte('1');
    EXPECT_EQ(Pty.ReadFromMaster(1, GenerousMs), "1");
}

TEST_F(CommsPortTest, DestructorReleasesTheDevice)
{
    const int before = OpenDescriptorCount();
    {
        TCommsPort port;
        port.OpenDevice(Pty.SlavePath(), Baud);
        ASSERT_TRUE(port.HoldsDevice());
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(CommsPortTest, WaitReadableTimesOutAfterTheTimeOut)
{
    OpenSlave();
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Port.WaitReadable(ShortWaitMs), TCommsPort::WaitResult::TimedOut);
    EXPECT_GE(MillisecondsSince(start), 0.8 * ShortWaitMs);
}

TEST_F(CommsPortTest, WaitReadableOnAHungUpDeviceSleepsThenReportsBroken)
{
    OpenSlave();
    Pty.CloseMaster();
    // A hung-up pty reports readable forever; each wait must still take the time-out.
    for (int i = 0; i < 2; ++i) {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(Port.WaitReadable(ShortWaitMs), TCommsPort::WaitResult::Broken);
        EXPECT_GE(MillisecondsSince(start), 0.8 * ShortWaitMs);
    }
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0); // the read fails, counted as nothing
    Port.WriteByte('x');                // the write fails, swallowed
}

TEST_F(CommsPortTest, HangUpMarksTheDeviceLostUntilTheNextOpen)
{
    OpenSlave();
    EXPECT_FALSE(Port.DeviceLost());
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0);
    EXPECT_FALSE(Port.DeviceLost()) << "nothing received is not a lost device";
    Port.WaitReadable(ShortWaitMs);
    EXPECT_FALSE(Port.DeviceLost()) << "a time-out is not a lost device";

    Pty.CloseMaster();
    Port.ReadByte(&byte);
    Port.WaitReadable(ShortWaitMs);
    EXPECT_TRUE(Port.DeviceLost());

    PtyPair replugged;
    Port.OpenDevice(replugged.SlavePath(), Baud);
    ASSERT_TRUE(Port.HoldsDevice());
    EXPECT_FALSE(Port.DeviceLost());
}

TEST_F(CommsPortTest, LowLatencyIsAskedForAndARefusalIsHarmless)
{
    EXPECT_EQ(Port.LowLatency(), TCommsPort::LowLatencyResult::NotAsked);
    OpenSlave();
    // A pseudo-terminal has no such setting: the request was made and refused.
    EXPECT_EQ(Port.LowLatency(), TCommsPort::LowLatencyResult::Refused);
    Pty.WriteToMaster("k");
    ASSERT_EQ(Port.WaitReadable(GenerousMs), TCommsPort::WaitResult::Readable);
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'k');
}

bool LowLatencyOn(int fd)
{
    serial_struct serial = {};
    return ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) != 0;
}

// A pseudo-terminal has no low-latency flag, so this needs a real serial device, named by
// DEVCONFIG_TEST_TTY (/dev/ttyS0 will do); its settings are given back afterwards.
TEST(CommsPortLowLatency, TheFlagTheTtyHadIsRestoredOnClose)
{
    const char* device = std::getenv("DEVCONFIG_TEST_TTY");
    if (device == nullptr)
        GTEST_SKIP() << "set DEVCONFIG_TEST_TTY to a serial device that may be opened";
    const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << device;
    serial_struct original = {};
    termios line = {};
    ASSERT_EQ(ioctl(fd, TIOCGSERIAL, &original), 0) << device << " has no serial settings";
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    for (const bool wasOn : {false, true}) {
        SCOPED_TRACE(wasOn);
        serial_struct start = original;
        start.flags =
            wasOn ? (start.flags | ASYNC_LOW_LATENCY) : (start.flags & ~ASYNC_LOW_LATENCY);
        ASSERT_EQ(ioctl(fd, TIOCSSERIAL, &start), 0);
        TCommsPort port;
        port.OpenDevice(device, Baud);
        ASSERT_TRUE(port.HoldsDevice()) << port.LastDiagnostic();
        EXPECT_EQ(port.LowLatency(), TCommsPort::LowLatencyResult::Granted);
        EXPECT_TRUE(LowLatencyOn(fd));
        port.ClosePort();
        EXPECT_EQ(LowLatencyOn(fd), wasOn);
    }
    ioctl(fd, TIOCSSERIAL, &original);
    tcsetattr(fd, TCSANOW, &line);
    close(fd);
}

TEST(CommsPortWait, WaitReadableWithoutADeviceSleepsThenReportsBroken)
{
    TCommsPort closed;
    TCommsPort failed;
    failed.OpenDevice(MissingDevice, Baud);
    for (TCommsPort* port : {&closed, &failed}) {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(port->WaitReadable(ShortWaitMs), TCommsPort::WaitResult::Broken);
        EXPECT_GE(MillisecondsSince(start), 0.8 * ShortWaitMs);
    }
}

TEST_F(CommsPortTest, DiscardInputDropsWhatWaitsButNotWhatComesLater)
{
    OpenSlave();
    Pty.WriteToMaster("stale");
    AwaitReadable(Port);
    Port.DiscardInput();
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0);

    Pty.WriteToMaster("n");
    AwaitReadable(Port);
    ASSERT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'n');
}

class AdoptedSocketTest : public ::testing::Test
{
protected:
    TCommsPort Port;
    int Peer = -1;

    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        Port.AdoptHandle(fds[0]);
        Peer = fds[1];
    }
    void TearDown() override
    {
        if (Peer >= 0)
            close(Peer);
    }
};

TEST_F(AdoptedSocketTest, ReadsNeverWaitAndBytesPassBothWays)
{
    ASSERT_TRUE(Port.HoldsDevice());
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0); // a blocking socket must not hold the reader

    ASSERT_EQ(write(Peer, "xy", 2), 2);
    EXPECT_EQ(Port.WaitReadable(GenerousMs), TCommsPort::WaitResult::Readable);
    EXPECT_EQ(ReadAll(Port), "xy");

    Port.WriteByte('w');
    char got = 0;
    ASSERT_EQ(read(Peer, &got, 1), 1);
    EXPECT_EQ(got, 'w');
}

TEST_F(AdoptedSocketTest, DiscardInputDropsQueuedBytes)
{
    ASSERT_EQ(write(Peer, "old bytes", 9), 9);
    Port.DiscardInput();
    uint8_t byte = 0;
    EXPECT_EQ(Port.ReadByte(&byte), 0);
    ASSERT_EQ(write(Peer, "n", 1), 1);
    EXPECT_EQ(Port.ReadByte(&byte), 1);
    EXPECT_EQ(byte, 'n');
}

TEST_F(AdoptedSocketTest, WriteAfterThePeerIsGoneIsSwallowed)
{
    close(Peer);
    Peer = -1;
    Port.WriteByte('a'); // must not end the program with SIGPIPE
    Port.WriteByte('b');
    EXPECT_TRUE(Port.DeviceLost());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Port.WaitReadable(ShortWaitMs), TCommsPort::WaitResult::Broken);
    EXPECT_GE(MillisecondsSince(start), 0.8 * ShortWaitMs);
}

} // namespace
