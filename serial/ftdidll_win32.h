#pragma once

#include "serial/ftdilibrary.h"

#include <windows.h>

// The vendor's FTD2XX.DLL, loaded on first use and bound by ordinal. Without the DLL the
// device list is simply empty, so the program starts and runs on machines that lack it.
class FtdiDll : public FtdiLibrary
{
public:
    FtdiDll() = default;
    ~FtdiDll() override;
    FtdiDll(const FtdiDll&) = delete;
    FtdiDll& operator=(const FtdiDll&) = delete;

    FtStatus CreateDeviceInfoList(uint32_t* count) override;
    FtStatus GetDeviceInfoList(FtDeviceListInfoNode* nodes, uint32_t* count) override;
    FtStatus Open(int32_t index, FtHandle* handle) override;
    FtStatus GetComPortNumber(FtHandle handle, int32_t* port) override;
    FtStatus Close(FtHandle handle) override;

private:
    bool Load();

    HMODULE Module = nullptr;
    bool LoadTried = false;
    FARPROC CreateListEntry = nullptr;
    FARPROC GetListEntry = nullptr;
    FARPROC OpenEntry = nullptr;
    FARPROC ComPortEntry = nullptr;
    FARPROC CloseEntry = nullptr;
    DWORD ListedCount = 0; // devices in the list the DLL built last
};
