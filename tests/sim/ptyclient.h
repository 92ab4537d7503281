#pragma once

#include <chrono>
#include <optional>
#include <string>

// The test's end of the simulator's line: the pseudo-terminal slave opened with plain POSIX
// calls and set raw, as a serial port would be.
class PtyClient
{
public:
    explicit PtyClient(const std::string& path);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    void Send(const std::string& bytes);
    // The next line including its LF, or nothing if it is not complete within the time-out.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Sends a command and returns the line that answers it ("" when none came in time).
    std::string Exchange(const std::string& command,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // poll() on the descriptor; the events seen, 0 on time-out.
    short Poll(short events, std::chrono::milliseconds timeout);
    int Descriptor() const { return Fd; }

private:
    int Fd = -1;
    std::string Buffered;
};
