// The order of the line set-up, and devices that refuse it. A pseudo-terminal has no modem
// lines and takes every setting, so the port's calls are watched, and refusals brought about,
// at the C library's boundary; everything else happens on the real pty.
#include "serial/commsport.h"
#include "serial/ptypair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <vector>

namespace {

std::mutex CallsLock;
std::vector<std::string> Calls;
std::atomic<bool> Watching{false};
std::atomic<int> RefusedSettings{0}; // how many more tcsetattr calls fail

void Note(const char* call)
{
    if (!Watching.load())
        return;
    std::lock_guard<std::mutex> lock(CallsLock);
    Calls.emplace_back(call);
}

template <typename Function> Function Real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int tcsetattr(int fd, int action, const struct termios* line) noexcept
{
    static const auto real = Real<int (*)(int, int, const struct termios*)>("tcsetattr");
    Note("tcsetattr");
    if (Watching.load() && RefusedSettings.load() > 0) {
        --RefusedSettings;
        errno = EINVAL;
        return -1;
    }
    return real(fd, action, line);
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    static const auto real = Real<int (*)(int, unsigned long, ...)>("ioctl");
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (request == TIOCMBIC)
        Note("clear modem lines");
    return real(fd, request, argument);
}

namespace {

class LineSetUpTest : public ::testing::Test
{
protected:
    PtyPair Pty;
    TCommsPort Port;

    std::vector<std::string> OpenWatched(int refusedSettings)
    {
        {
            std::lock_guard<std::mutex> lock(CallsLock);
            Calls.clear();
        }
        RefusedSettings = refusedSettings;
        Watching = true;
        Port.OpenDevice(Pty.SlavePath(), 115200);
        Watching = false;
        std::lock_guard<std::mutex> lock(CallsLock);
        return Calls;
    }
};

TEST_F(LineSetUpTest, ModemLinesAreClearedAfterTheLineSettings)
{
    // A tty raises DTR and RTS when its speed leaves B0: clearing them first would not hold.
    ASSERT_TRUE(Pty.MakeCooked(B0));
    const auto calls = OpenWatched(0);
    ASSERT_TRUE(Port.HoldsDevice());
    const termios line = Pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    const auto cleared = std::find(calls.begin(), calls.end(), "clear modem lines");
    ASSERT_NE(cleared, calls.end());
    EXPECT_NE(std::find(calls.begin(), cleared, "tcsetattr"), cleared);
    EXPECT_EQ(std::find(cleared, calls.end(), "tcsetattr"), calls.end());
}

TEST_F(LineSetUpTest, RefusedSettingsNeverLeaveACookedLineOpen)
{
    const struct
    {
        int refused;
        bool held; // the raw line at the old speed was taken
    } cases[] = {{1, true}, {2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        ASSERT_TRUE(Pty.MakeCooked(B9600));
        OpenWatched(c.refused);
        EXPECT_EQ(Port.LastErrorKind(), TCommsPort::ErrorKind::SettingsRefused);
        EXPECT_EQ(Port.LastDiagnostic(), "DCB error");
        ASSERT_EQ(Port.HoldsDevice(), c.held);
        const termios line = Pty.SlaveSettings();
        EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
        EXPECT_EQ((line.c_lflag & ECHO) == 0, c.held);
        EXPECT_EQ(line.c_cc[VMIN] == 0, c.held);
        // Either way a read returns at once, and nothing came back.
        uint8_t byte = 0;
        EXPECT_EQ(Port.ReadByte(&byte), 0);
        Port.ClosePort();
    }
}

} // namespace
