#include "sim/ptyclient.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyClient::PtyClient(const std::string& path)
{
    Fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Fd < 0)
        throw std::runtime_error("cannot open " + path);
    termios settings{};
    tcgetattr(Fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(Fd, TCSANOW, &settings);
}

PtyClient::~PtyClient()
{
    if (Fd >= 0)
        close(Fd);
}

void PtyClient::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(Fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno != EINTR)
            throw std::runtime_error("write to the simulator failed");
        if (written > 0)
            done += std::size_t(written);
    }
}

std::optional<std::string> PtyClient::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = Buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = Buffered.substr(0, end + 1);
            Buffered.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !(Poll(POLLIN, left) & POLLIN))
            return std::nullopt;
        char chunk[512];
        const ssize_t got = read(Fd, chunk, sizeof chunk);
        if (got <= 0)
            return std::nullopt;
        Buffered.append(chunk, std::size_t(got));
    }
}

std::string PtyClient::Exchange(const std::string& command, std::chrono::milliseconds timeout)
{
    Send(command);
    return ReadLine(timeout).value_or("");
}

short PtyClient::Poll(short events, std::chrono::milliseconds timeout)
{
    pollfd watched{Fd, events, 0};
    if (poll(&watched, 1, int(timeout.count())) <= 0)
        return 0;
    return watched.revents;
}
