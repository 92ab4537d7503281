#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The latency timer of the FTDI adapter behind a port, and what the user is told about it. The
// chip holds received bytes until 62 have come, an enabled event character arrives or the timer
// runs out (16 ms by default), so with a long timer every short reply waits for it. Windows
// keeps the timer in the adapter's device parameters in the registry; Linux shows it in sysfs,
// where the program's low-latency request at open makes it 1 ms. Widget-free: the window's
// tooltip and --find-adapter only ask this class.
class TLatencyCheck
{
public:
    // The longest timer that costs a full read little: Windows lets the user set 1 or 2 ms;
    // on Linux the low-latency request gives 1 ms, and anything more means it did not take.
#ifdef _WIN32
    static constexpr int LongestGoodMs = 2;
#else
    static constexpr int LongestGoodMs = 1;
#endif
    // Exchanges of a full read, each of which waits for the timer; the driver checks that it
    // matches its setting keys.
    static constexpr int FullReadExchanges = 181;

    // The sysfs root is the Linux source; Windows reads the system's registry.
    explicit TLatencyCheck(std::filesystem::path sysfsRoot = "/sys");

    // The timer of the adapter behind a device ("COM5:", "\\.\COM12", "/dev/ttyUSB0"), in ms;
    // nothing when the device is no FTDI adapter or the value cannot be read.
    std::optional<int> TimerMs(const std::string& devicePath) const;

    // What to tell the user about the adapter behind a device: empty when its timer is short
    // or not known. On Linux the timer is only judged once the port is open, since the open
    // asks for 1 ms.
    std::string Advice(const std::string& devicePath, bool portOpen) const;
    // A tooltip with the advice about the open port's adapter on a line of its own.
    std::string AddedTo(const std::string& tip, const std::string& devicePath) const;

    // The advice for a timer, worded for this platform; empty for a short timer. ttyName is
    // the Linux device's name, for the command that sets the timer.
    static std::string AdviceFor(int timerMs, const std::string& ttyName = "ttyUSB0");
    // About how long a full read takes with this timer.
    static double FullReadSeconds(int timerMs);

private:
    std::filesystem::path SysfsRoot;
};
