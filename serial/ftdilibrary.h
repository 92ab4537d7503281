#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Status of a device-library call, with the values the FTDI D2XX library uses.
using FtStatus = uint32_t;
constexpr FtStatus FtOk = 0;
constexpr FtStatus FtInvalidHandle = 1;
constexpr FtStatus FtDeviceNotFound = 2;
constexpr FtStatus FtDeviceNotOpened = 3;
constexpr FtStatus FtInvalidParameter = 6;
constexpr FtStatus FtOtherError = 18;

// Handle of an opened device. Pointer-sized, because the vendor library hands out pointers on
// 64-bit Windows; it is 32 bits wide wherever the node layout below is the native one.
using FtHandle = std::uintptr_t;

// One entry of the device list, in the vendor's published 100-byte layout.
struct TFtDeviceListInfoNode
{
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64]; // ends at its first NUL, or fills all 64 bytes
    uint32_t ftHandle;
};
static_assert(sizeof(TFtDeviceListInfoNode) == 100);
static_assert(offsetof(TFtDeviceListInfoNode, Description) == 32);

// The few calls of the FTDI device library that the adapter lookup needs. Implemented over
// the vendor's DLL on Windows and over sysfs on Linux, so the lookup itself is the same code.
class TFtdiLibrary
{
public:
    virtual ~TFtdiLibrary() = default;

    // Builds the library's device list and writes the number of devices into count.
    virtual FtStatus CreateDeviceInfoList(uint32_t* count) = 0;
    // On entry count is the capacity of nodes; never writes more nodes than that. Fills the
    // nodes in list order and leaves the number written in count.
    virtual FtStatus GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count) = 0;
    // Opens device index of the list last built and writes its handle.
    virtual FtStatus Open(int32_t index, FtHandle* handle) = 0;
    virtual FtStatus GetComPortNumber(FtHandle handle, int32_t* port) = 0;
    virtual FtStatus Close(FtHandle handle) = 0;

    // Why the library cannot be used at all, and what to do about it; empty when it can be.
    virtual std::string Problem() const { return {}; }
};
