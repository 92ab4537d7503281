#pragma once

#include <cstdint>
#include <string>

class TCommsPort;

// Where Connect finds the instrument.
struct AdapterLocation
{
    bool Found = false;
    int32_t PortNumber = -1; // from the adapter search; 0 when a device was named
    std::string DevicePath;  // the device that is opened
    std::string DisplayName; // how the status bar names it: "COM 5" on Windows, else the path
    std::string Problem;     // when not found: why, and what to do
};

// Connect searches for the FTDI adapter unless a device was named on the command line (or the
// built-in simulated instrument stands in for it).
class TAdapterLocator
{
public:
    static constexpr const char* SearchText = "FT";

    // What the user is told when the search finds no adapter: one sentence, ending in ".".
    static std::string NotFoundText();

    void UseDevice(const std::string& devicePath);
    bool DeviceNamed() const { return !NamedDevice.empty(); }

    AdapterLocation Locate() const;
    // The number of a COM port name ("COM5", "com12", "COM5:", "\\.\COM12"); 0 for any other name.
    static int32_t ComPortNumber(const std::string& name);
    // Whether Connect would find a device now: the search finds the adapter and its device is
    // there, or the named device exists.
    bool AdapterPresent() const;
    // Opens the located port; GUI thread, driver idle.
    static void Open(TCommsPort& port, const AdapterLocation& where, int32_t baudRate);

private:
    std::string NamedDevice;
};

// The program's one locator, set up by the entry function from its options.
extern TAdapterLocator adapterLocator;
