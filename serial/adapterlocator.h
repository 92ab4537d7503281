#pragma once

#include "serial/adapterlist.h"

#include <cstdint>
#include <string>
#include <vector>

class TCommsPort;
class TFtdiLibrary;

// Where Connect finds the instrument.
struct TAdapterLocation
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

    TAdapterLocation Locate() const;
    // Every adapter the search considers, the one Locate takes last; none when a device was
    // named (the user has chosen).
    std::vector<TAdapterInfo> Adapters() const;
    // Which of `adapters` (as Adapters() lists them) Connect opens: the last when there are
    // several (it is preselected when Connect asks), else the one the search takes; -1 when
    // the search takes none of them (NoneTakenText says why).
    int TakenIndex(const std::vector<TAdapterInfo>& adapters) const;
    static constexpr const char* NoneTakenText =
        "Connect takes none of these: the last matching FTDI device has no COM port number, so "
        "Connect says NOT IDENTIFIED. Unplug that device, or enable its virtual COM port (Windows "
        "Device Manager, the adapter's Advanced properties: Load VCP), or name the port with "
        "--port.";
    // Where Connect finds the adapter the user chose.
    static TAdapterLocation LocationOf(const TAdapterInfo& adapter);
    // The device library the search asks; the system's unless a test gives another.
    void UseLibrary(TFtdiLibrary& library) { Library = &library; }
    // The number of a COM port name ("COM5", "com12", "COM5:", "\\.\COM12"); 0 for any other name.
    static int32_t ComPortNumber(const std::string& name);
    // Whether Connect would find a device now: the search finds the adapter and its device is
    // there, or the named device exists.
    bool AdapterPresent() const;
    // Opens the located port; GUI thread, driver idle.
    static void Open(TCommsPort& port, const TAdapterLocation& where, int32_t baudRate);

private:
    TFtdiLibrary& DeviceLibrary() const;

    std::string NamedDevice;
    TFtdiLibrary* Library = nullptr;
};

// The program's one locator, set up by the entry function from its options.
extern TAdapterLocator adapterLocator;
