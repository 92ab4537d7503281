#pragma once

#include <cstdint>
#include <string>

// The device parameters the FTDI driver keeps for one adapter, written into the test prefix's
// registry for as long as the object lives: PortName COM<port> and, when given, LatencyTimer.
class FtdiRegistryEntry
{
public:
    static constexpr int NoTimer = -1;

    FtdiRegistryEntry(const std::string& serialNumber, int32_t port, int latencyTimer);
    ~FtdiRegistryEntry();
    FtdiRegistryEntry(const FtdiRegistryEntry&) = delete;
    FtdiRegistryEntry& operator=(const FtdiRegistryEntry&) = delete;

    // Writes the timer as a text instead of a number, as no driver does.
    void SetTimerText(const std::string& text);
    bool Written() const { return Ok; }

private:
    std::string Identity;
    bool Ok = false;
};
