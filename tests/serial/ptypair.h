#pragma once

#include <string>
#include <termios.h>

// A pseudo-terminal for the port tests: the port opens the slave by its path, the test plays
// the instrument on the master. A slave descriptor is kept too, so that the terminal's
// settings can be read back whatever the port has done.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return Path; }
    int SlaveFd() const { return Slave; }

    termios SlaveSettings() const;
    // Sets the slave to settings that are wrong in every respect the port must fix: cooked,
    // echoing, translating, 7E2 with flow control, at the given speed.
    bool MakeCooked(speed_t speed);

    void WriteToMaster(const std::string& bytes);
    // Reads from the master until count bytes have come or timeoutMs has passed.
    std::string ReadFromMaster(size_t count, int timeoutMs);
    // The instrument goes away: the slave side sees a hang-up.
    void CloseMaster();

private:
    int Master = -1;
    int Slave = -1;
    std::string Path;
};
