#pragma once

#include "serial/ftdilibrary.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One programmable device of FakeFtdi.
struct FakeFtdiDevice
{
    std::string Description;  // copied as it is, up to 64 bytes; a NUL follows if there is room
    std::string SerialNumber; // copied as it is, up to 16 bytes
    int32_t ComPort = 0;
    bool OpenFails = false;
    bool QueryFails = false; // fails without writing the number
    uint32_t NodeHandle = 0; // the node's ftHandle field, to see that nothing reads into it
};

// Stands in for the vendor library. Logs every call: "create", "list <capacity>", "open <index>",
// "query <handle>", "close <handle>"; a handle that is not open is logged with " !open" and
// refused. Never writes more nodes than the capacity it is given. Handles count up from
// FirstHandle.
class FakeFtdi : public TFtdiLibrary
{
public:
    static constexpr FtHandle FirstHandle = 101;

    std::vector<FakeFtdiDevice> Devices;
    std::vector<std::string> Log;
    bool CreateFails = false;
    bool ListFails = false;

    FtStatus CreateDeviceInfoList(uint32_t* count) override;
    FtStatus GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count) override;
    FtStatus Open(int32_t index, FtHandle* handle) override;
    FtStatus GetComPortNumber(FtHandle handle, int32_t* port) override;
    FtStatus Close(FtHandle handle) override;

    std::size_t OpenCount() const { return OpenDevices.size(); }

private:
    std::map<FtHandle, std::size_t> OpenDevices; // handle -> device index
    FtHandle NextHandle = FirstHandle;
};
