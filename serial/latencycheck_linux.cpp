// The timer as the Linux FTDI driver shows it: the usb-serial port's latency_timer, which the
// tty's device link leads to. World-readable; a pseudo-terminal has no such entry.
#include "serial/latencycheck.h"

#include <charconv>
#include <fstream>
#include <string>

std::optional<int> TLatencyCheck::TimerMs(const std::string& devicePath) const
{
    // A link such as /dev/serial/by-id/... names the tty it leads to.
    std::error_code error;
    std::filesystem::path device = std::filesystem::canonical(devicePath, error);
    if (error)
        device = devicePath;
    if (device.parent_path() != "/dev" || device.filename().empty())
        return std::nullopt;
    std::ifstream file(SysfsRoot / "class" / "tty" / device.filename() / "device" /
                       "latency_timer");
    std::string text;
    if (!std::getline(file, text))
        return std::nullopt;
    int value = 0;
    const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failed != std::errc() || end == text.data() || value < 0 || value > 255)
        return std::nullopt;
    return value;
}
