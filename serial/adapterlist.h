#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TFtdiLibrary;

// One attached adapter that the search would consider.
struct TAdapterInfo
{
    int32_t PortNumber = -1;
    std::string DevicePath;   // what is opened: /dev/ttyUSB4, or COM5: on Windows
    std::string DisplayName;  // how the status bar names it
    std::string PortOption;   // the --port value that selects it
    std::string Description;  // the adapter's product text
    std::string SerialNumber; // empty when the adapter has none
};

// Every attached FTDI adapter whose description contains the search text, in the library's
// list order, with what the user needs to tell them apart. The search takes the last one.
class TAdapterList
{
public:
    static std::vector<TAdapterInfo> Find(TFtdiLibrary& library, const std::string& searchText);
    // One line for the user: port, device, description and serial number.
    static std::string Describe(const TAdapterInfo& adapter);
    // The product and serial number, for a tooltip.
    static std::string Identity(const TAdapterInfo& adapter);
};
