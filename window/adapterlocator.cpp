#include "window/adapterlocator.h"

#include "driver/sdi12d.h"
#include "serial/ft_portid.h"

TAdapterLocator adapterLocator;

void TAdapterLocator::UseDevice(const std::string& devicePath)
{
    NamedDevice = devicePath;
}

AdapterLocation TAdapterLocator::Locate() const
{
    AdapterLocation where;
    if (DeviceNamed()) {
        where.Found = true;
        where.PortNumber = 0;
        where.DevicePath = NamedDevice;
        where.DisplayName = NamedDevice;
        return where;
    }
    where.PortNumber = FindAdapterPort(SearchText);
    where.Found = where.PortNumber >= 1;
    if (!where.Found)
        return where;
    where.DevicePath = TCommsPort::DeviceNameFor(where.PortNumber);
#ifdef _WIN32
    where.DisplayName = "COM " + std::to_string(where.PortNumber);
#else
    where.DisplayName = where.DevicePath;
#endif
    return where;
}

bool TAdapterLocator::AdapterPresent() const
{
    const AdapterLocation where = Locate();
    return where.Found && TCommsPort::DeviceExists(where.DevicePath);
}

void TAdapterLocator::Open(Tsdi12d& driver, const AdapterLocation& where, int32_t baudRate)
{
    if (where.PortNumber >= 1)
        driver.OpenPort(where.PortNumber, baudRate);
    else
        driver.OpenDevice(where.DevicePath, baudRate);
}
