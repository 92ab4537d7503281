#include "serial/adapterlocator.h"

#include "serial/commsport.h"
#include "serial/ft_portid.h"
#include "serial/ftdilibrary.h"

#include <cctype>

TAdapterLocator adapterLocator;

std::string TAdapterLocator::NotFoundText()
{
    return std::string("No adapter found: no FTDI device whose description contains \"") +
           SearchText + "\".";
}

void TAdapterLocator::UseDevice(const std::string& devicePath)
{
    NamedDevice = devicePath;
}

int32_t TAdapterLocator::ComPortNumber(const std::string& name)
{
    constexpr int32_t HighestPort = 255;
    std::string text = name;
    if (text.rfind("\\\\.\\", 0) == 0)
        text.erase(0, 4);
    if (!text.empty() && text.back() == ':')
        text.pop_back();
    if (text.size() < 4 || text.size() > 6)
        return 0;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return 0;
    int32_t number = 0;
    for (size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
        number = number * 10 + (text[i] - '0');
    }
    return text[3] != '0' && number <= HighestPort ? number : 0;
}

TAdapterLocation TAdapterLocator::Locate() const
{
    TAdapterLocation where;
#ifdef _WIN32
    // A COM port named by the user is opened and shown as the adapter's port would be.
    if (const int32_t named = ComPortNumber(NamedDevice)) {
        where.Found = true;
        where.PortNumber = named;
        where.DevicePath = TCommsPort::DeviceNameFor(named);
        where.DisplayName = "COM " + std::to_string(named);
        return where;
    }
#endif
    if (DeviceNamed()) {
        where.Found = true;
        where.PortNumber = 0;
        where.DevicePath = NamedDevice;
        where.DisplayName = NamedDevice;
        return where;
    }
    where.PortNumber = FindAdapterPort(DeviceLibrary(), SearchText);
    where.Found = where.PortNumber >= 1;
    if (!where.Found) {
        where.Problem = DeviceLibrary().Problem();
        if (where.Problem.empty())
            where.Problem = NotFoundText() + " Plug the adapter in and try again.";
        return where;
    }
    where.DevicePath = TCommsPort::DeviceNameFor(where.PortNumber);
#ifdef _WIN32
    where.DisplayName = "COM " + std::to_string(where.PortNumber);
#else
    where.DisplayName = where.DevicePath;
#endif
    return where;
}

TFtdiLibrary& TAdapterLocator::DeviceLibrary() const
{
    return Library ? *Library : SystemFtdiLibrary();
}

std::vector<TAdapterInfo> TAdapterLocator::Adapters() const
{
    if (DeviceNamed())
        return {};
    return TAdapterList::Find(DeviceLibrary(), SearchText);
}

int TAdapterLocator::TakenIndex(const std::vector<TAdapterInfo>& adapters) const
{
    if (adapters.size() > 1)
        return static_cast<int>(adapters.size()) - 1;
    // One listed: Connect keeps the search's rule, which looks at the last matching device,
    // also when that one has no COM port and was left out of the list.
    const TAdapterLocation where = Locate();
    if (where.Found && adapters.size() == 1 && adapters.front().PortNumber == where.PortNumber)
        return 0;
    return -1;
}

TAdapterLocation TAdapterLocator::LocationOf(const TAdapterInfo& adapter)
{
    TAdapterLocation where;
    where.Found = true;
    where.PortNumber = adapter.PortNumber;
    where.DevicePath = adapter.DevicePath;
    where.DisplayName = adapter.DisplayName;
    return where;
}

bool TAdapterLocator::AdapterPresent() const
{
    const TAdapterLocation where = Locate();
    return where.Found && TCommsPort::DeviceExists(where.DevicePath);
}

void TAdapterLocator::Open(TCommsPort& port, const TAdapterLocation& where, int32_t baudRate)
{
    if (where.PortNumber >= 1)
        port.OpenPort(where.PortNumber, baudRate);
    else
        port.OpenDevice(where.DevicePath, baudRate);
}
