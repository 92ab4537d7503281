// Runs the simulated instrument on its own: prints the device path the configuration program
// should open, then serves until SIGINT, SIGTERM or SIGHUP.
#include "sim/instrumentsim.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

void PrintUsage(std::ostream& out)
{
    out << "Usage: instrument-sim [--paced] [--silent-key KEY] [--refused-write KEY]\n"
           "                      [--switched-off] [--talking MS]\n"
           "                      [--ftdi-latency MS [--ftdi-event-char]] [--help]\n"
           "Simulates the instrument on a pseudo-terminal and prints its device path.\n"
           "  --paced              send and take bytes at the wire rate of 115200 baud\n"
           "  --silent-key KEY     never answer commands on KEY\n"
           "  --refused-write KEY  answer writes to KEY with ERR and keep its value\n"
           "  --switched-off       answer nothing, as an instrument without power\n"
           "  --talking MS         answer nothing and send a GPS sentence every MS ms\n"
           "  --ftdi-latency MS    with --paced, hold each reply's bytes as an FTDI chip\n"
           "                       with this latency timer does (until 62 bytes or the timer)\n"
           "  --ftdi-event-char    and hand them over at once when the reply's LF arrives\n"
           "  --help               show this text\n"
           "Stops on SIGINT, SIGTERM or SIGHUP.\n";
}

} // namespace

int main(int argc, char** argv)
{
    bool paced = false;
    std::string silentKey;
    std::string refusedKey;
    bool switchedOff = false;
    int talkMs = 0;
    int holdMs = 0;
    bool holdEventChar = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--paced") == 0) {
            paced = true;
        } else if (std::strcmp(argv[i], "--silent-key") == 0 && hasValue) {
            silentKey = argv[++i];
        } else if (std::strcmp(argv[i], "--refused-write") == 0 && hasValue) {
            refusedKey = argv[++i];
        } else if (std::strcmp(argv[i], "--switched-off") == 0) {
            switchedOff = true;
        } else if (std::strcmp(argv[i], "--talking") == 0 && hasValue) {
            talkMs = std::atoi(argv[++i]);
            if (talkMs <= 0) {
                std::cerr << "instrument-sim: --talking takes a period in milliseconds\n";
                return 2;
            }
        } else if (std::strcmp(argv[i], "--ftdi-latency") == 0 && hasValue) {
            holdMs = std::atoi(argv[++i]);
            if (holdMs < 1 || holdMs > 255) {
                std::cerr << "instrument-sim: --ftdi-latency takes 1 to 255 milliseconds\n";
                return 2;
            }
        } else if (std::strcmp(argv[i], "--ftdi-event-char") == 0) {
            holdEventChar = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            PrintUsage(std::cout);
            return 0;
        } else {
            std::cerr << "instrument-sim: unknown option " << argv[i] << "\n";
            PrintUsage(std::cerr);
            return 2;
        }
    }

    // Blocked before the serving thread starts, so only sigwait below sees these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        TInstrumentSim sim;
        sim.SetPaced(paced);
        sim.SetSilentKey(silentKey);
        sim.SetRejectedWrite(refusedKey);
        sim.SetSwitchedOff(switchedOff);
        sim.SetTalking(std::chrono::milliseconds(talkMs));
        sim.SetFtdiHoldBack(std::chrono::milliseconds(holdMs), holdEventChar);
        std::cout << sim.SlavePath() << std::endl;
        int received = 0;
        sigwait(&stopSignals, &received);
    } catch (const std::exception& error) {
        std::cerr << "instrument-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
