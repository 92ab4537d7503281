#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

// The master side of a pseudo-terminal: the slave is the port under test, the master stands
// in for an instrument that may stay silent.
class PtyMaster
{
public:
    PtyMaster()
    {
        Fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Fd >= 0 && (::grantpt(Fd) != 0 || ::unlockpt(Fd) != 0)) {
            ::close(Fd);
            Fd = -1;
        }
        if (Fd >= 0)
            SlavePath = ::ptsname(Fd);
    }
    ~PtyMaster()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    bool IsOpen() const { return Fd >= 0; }
    const std::string& Slave() const { return SlavePath; }

    // Collects what arrives from the port until `text` has been seen or timeoutMs passed.
    bool WaitFor(const std::string& text, int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Received.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            // Looks at least once, also with no time left.
            if (!Collect(left > 0 ? static_cast<int>(left) : 0) && left <= 0)
                return false;
        }
        return true;
    }

    // Collects for up to timeoutMs; returns whether anything arrived.
    bool Collect(int timeoutMs)
    {
        pollfd pfd{Fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0 || (pfd.revents & POLLIN) == 0)
            return false;
        char buffer[256];
        const ssize_t got = ::read(Fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        Received.append(buffer, static_cast<size_t>(got));
        return true;
    }

    bool Send(const std::string& text)
    {
        return ::write(Fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    std::string Received;

private:
    int Fd = -1;
    std::string SlavePath;
};
