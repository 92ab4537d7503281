#include "serial/ptypair.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    Path = name;
}

PtyPair::~PtyPair()
{
    CloseMaster();
    if (Slave >= 0)
        close(Slave);
}

termios PtyPair::SlaveSettings() const
{
    termios settings = {};
    tcgetattr(Slave, &settings);
    return settings;
}

bool PtyPair::MakeCooked(speed_t speed)
{
    termios cooked = SlaveSettings();
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_iflag |= IXON | IXOFF | IXANY | ICRNL | ISTRIP;
    cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cooked.c_cc[VMIN] = 1;
    return cfsetispeed(&cooked, speed) == 0 && cfsetospeed(&cooked, speed) == 0 &&
           tcsetattr(Slave, TCSANOW, &cooked) == 0;
}

void PtyPair::WriteToMaster(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("write to pty master failed");
        done += static_cast<size_t>(n);
    }
}

std::string PtyPair::ReadFromMaster(size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready = {Master, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(Master, buffer, std::min(sizeof buffer, count - out.size()));
        if (n > 0)
            out.append(buffer, static_cast<size_t>(n));
        else if (!(n < 0 && (errno == EINTR || errno == EAGAIN)))
            break;
    }
    return out;
}

void PtyPair::CloseMaster()
{
    if (Master >= 0)
        close(Master);
    Master = -1;
}
