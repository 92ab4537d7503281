#include "tests/serial/fakeftdi.h"

#include <algorithm>
#include <cstring>

FtStatus FakeFtdi::CreateDeviceInfoList(uint32_t* count)
{
    Log.push_back("create");
    if (CreateFails) {
        return FtOtherError;
    }
    *count = static_cast<uint32_t>(Devices.size());
    return FtOk;
}

FtStatus FakeFtdi::GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count)
{
    Log.push_back("list " + std::to_string(*count));
    if (ListFails) {
        return FtOtherError;
    }
    const std::size_t written = std::min<std::size_t>(*count, Devices.size());
    for (std::size_t i = 0; i < written; ++i) {
        TFtDeviceListInfoNode& node = nodes[i];
        std::memset(&node, 0, sizeof node);
        const std::string& text = Devices[i].Description;
        std::memcpy(node.Description, text.data(), std::min(text.size(), sizeof node.Description));
        const std::string& serial = Devices[i].SerialNumber;
        std::memcpy(node.SerialNumber, serial.data(),
                    std::min(serial.size(), sizeof node.SerialNumber));
        node.ftHandle = Devices[i].NodeHandle;
    }
    *count = static_cast<uint32_t>(written);
    return FtOk;
}

FtStatus FakeFtdi::Open(int32_t index, FtHandle* handle)
{
    Log.push_back("open " + std::to_string(index));
    if (index < 0 || static_cast<std::size_t>(index) >= Devices.size()) {
        return FtDeviceNotFound;
    }
    if (Devices[static_cast<std::size_t>(index)].OpenFails) {
        return FtDeviceNotOpened;
    }
    *handle = NextHandle++;
    OpenDevices[*handle] = static_cast<std::size_t>(index);
    return FtOk;
}

FtStatus FakeFtdi::GetComPortNumber(FtHandle handle, int32_t* port)
{
    const auto open = OpenDevices.find(handle);
    if (open == OpenDevices.end()) {
        Log.push_back("query " + std::to_string(handle) + " !open");
        return FtInvalidHandle;
    }
    Log.push_back("query " + std::to_string(handle));
    const FakeFtdiDevice& device = Devices[open->second];
    if (device.QueryFails) {
        return FtOtherError;
    }
    *port = device.ComPort;
    return FtOk;
}

FtStatus FakeFtdi::Close(FtHandle handle)
{
    if (OpenDevices.erase(handle) == 0) {
        Log.push_back("close " + std::to_string(handle) + " !open");
        return FtInvalidHandle;
    }
    Log.push_back("close " + std::to_string(handle));
    return FtOk;
}
