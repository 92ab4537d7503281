#include "bench/platformcosts.h"

#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

constexpr int64_t ByteNs = 86805; // one byte at 115200 baud
constexpr int Rounds = 2000;

int64_t NowNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double ThreadCpuUs()
{
    return double(NowNs(CLOCK_THREAD_CPUTIME_ID)) / 1000.0;
}

void SleepUntil(int64_t ns)
{
    const timespec until{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void PrintUs(const char* name, double value)
{
    std::printf("%s %.2f us\n", name, value);
    std::fflush(stdout);
}

// A raw pty pair as the port opens its device: reads return at once.
struct TPtyPair
{
    int Master = -1;
    int Slave = -1;

    TPtyPair()
    {
        if (openpty(&Master, &Slave, nullptr, nullptr, nullptr) != 0)
            return;
        termios line{};
        tcgetattr(Slave, &line);
        cfmakeraw(&line);
        line.c_cc[VMIN] = 0;
        line.c_cc[VTIME] = 0;
        tcsetattr(Slave, TCSANOW, &line);
    }
    ~TPtyPair()
    {
        if (Slave >= 0)
            close(Slave);
        if (Master >= 0)
            close(Master);
    }
    bool Ok() const { return Master >= 0 && Slave >= 0; }
};

void MeasureWritesAndReads(TPtyPair& pty)
{
    uint8_t byte = 'x';
    double start = ThreadCpuUs();
    for (int i = 0; i < Rounds; ++i)
        if (write(pty.Slave, &byte, 1) != 1)
            break;
    PrintUs("platform_write_us", (ThreadCpuUs() - start) / Rounds);

    for (int i = 0; i < Rounds; ++i)
        if (write(pty.Master, &byte, 1) != 1)
            break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let the line discipline take them
    start = ThreadCpuUs();
    for (int i = 0; i < Rounds; ++i)
        if (read(pty.Slave, &byte, 1) != 1)
            break;
    PrintUs("platform_read_us", (ThreadCpuUs() - start) / Rounds);
}

// Bytes arriving one per byte time, each waited for on the port as the comms thread does: the
// figure is the wait and the read together.
void MeasureDataWake(TPtyPair& pty)
{
    std::thread sender([&] {
        uint8_t byte = 'y';
        int64_t due = NowNs(CLOCK_MONOTONIC);
        for (int i = 0; i < Rounds; ++i) {
            due += ByteNs;
            SleepUntil(due);
            if (write(pty.Master, &byte, 1) != 1)
                return;
        }
    });
    const double start = ThreadCpuUs();
    int got = 0;
    while (got < Rounds) {
        pollfd ready = {pty.Slave, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0)
            break;
        uint8_t byte = 0;
        if (read(pty.Slave, &byte, 1) == 1)
            ++got;
    }
    const double used = ThreadCpuUs() - start;
    sender.join();
    PrintUs("platform_data_wake_us", got > 0 ? used / got : 0);
}

// A sleep of three byte times, as between the wakes of a reply coming byte by byte.
void MeasureTimerWake()
{
    constexpr int Sleeps = Rounds / 2;
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL); // as the comms thread sets it
    const double start = ThreadCpuUs();
    for (int i = 0; i < Sleeps; ++i)
        SleepUntil(NowNs(CLOCK_MONOTONIC) + 3 * ByteNs);
    PrintUs("platform_timer_wake_us", (ThreadCpuUs() - start) / Sleeps);
}

} // namespace

void MeasurePlatformCosts()
{
    TPtyPair pty;
    if (!pty.Ok())
        return;
    MeasureWritesAndReads(pty);
    MeasureDataWake(pty);
    MeasureTimerWake();
}
