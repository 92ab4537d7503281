#pragma once

#include "serial/ftdilibrary.h"

#include <filesystem>
#include <map>
#include <vector>

// The FTDI device list read from sysfs alone, for platforms without the vendor library. Every
// ttyUSB<k> that belongs to a USB device of vendor 0403 is one device, listed by ascending k;
// its description is the USB device's product text and its COM port number is k+1, the
// number under which the serial port opens /dev/ttyUSB<k>. Opening a device does not touch
// the tty; it only hands out a handle for the number query.
class TFtdiSysfs : public TFtdiLibrary
{
public:
    explicit TFtdiSysfs(std::filesystem::path sysfsRoot);

    FtStatus CreateDeviceInfoList(uint32_t* count) override;
    FtStatus GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count) override;
    FtStatus Open(int32_t index, FtHandle* handle) override;
    FtStatus GetComPortNumber(FtHandle handle, int32_t* port) override;
    FtStatus Close(FtHandle handle) override;

private:
    struct Device
    {
        uint32_t TtyNumber;
        TFtDeviceListInfoNode Node;
    };

    std::filesystem::path TtyEntry(uint32_t ttyNumber) const;
    bool ReadDevice(uint32_t ttyNumber, const std::filesystem::path& root, Device* device) const;

    std::filesystem::path Root;
    std::vector<Device> Devices;
    std::map<FtHandle, uint32_t> OpenDevices; // handle -> tty number
    FtHandle NextHandle = 1;
};
