#include "serial/latencycheck.h"

#include <cstdio>

namespace {

// One read command and its reply on the wire at 115200 baud: about 19 bytes of 86.8 us.
constexpr double ExchangeWireMs = 1.65;

std::string ApproximateSeconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, seconds >= 2.5 ? "%.0f" : "%.1f", seconds);
    return text;
}

// The device's last path element: "ttyUSB0" of "/dev/ttyUSB0".
std::string DeviceName(const std::string& devicePath)
{
    const std::size_t slash = devicePath.find_last_of("/\\");
    return slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
}

} // namespace

TLatencyCheck::TLatencyCheck(std::filesystem::path sysfsRoot) : SysfsRoot(std::move(sysfsRoot)) {}

double TLatencyCheck::FullReadSeconds(int timerMs)
{
    return FullReadExchanges * (timerMs + ExchangeWireMs) / 1000.0;
}

std::string TLatencyCheck::AdviceFor(int timerMs, const std::string& ttyName)
{
    if (timerMs <= LongestGoodMs)
        return {};
    const std::string told = "latency timer " + std::to_string(timerMs) +
                             " ms: a full read takes about " +
                             ApproximateSeconds(FullReadSeconds(timerMs)) + " s; ";
#ifdef _WIN32
    (void)ttyName;
    return told + "set 1 ms under Port Settings > Advanced in Device Manager";
#else
    return told + "set 1 ms with \"echo 1 | sudo tee /sys/bus/usb-serial/devices/" + ttyName +
           "/latency_timer\", or for good with the udev rule in the manual";
#endif
}

std::string TLatencyCheck::Advice(const std::string& devicePath, bool portOpen) const
{
#ifndef _WIN32
    if (!portOpen)
        return {}; // the open asks for 1 ms: the timer at rest says nothing
#else
    (void)portOpen;
#endif
    const std::optional<int> timer = TimerMs(devicePath);
    return timer ? AdviceFor(*timer, DeviceName(devicePath)) : std::string();
}

std::string TLatencyCheck::AddedTo(const std::string& tip, const std::string& devicePath) const
{
    const std::string advice = Advice(devicePath, true);
    if (advice.empty())
        return tip;
    return tip.empty() ? advice : tip + "\n" + advice;
}
