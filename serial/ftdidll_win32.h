#pragma once

#include "serial/ftdilibrary.h"

#include <string>
#include <utility>

#include <windows.h>

// The vendor's FTD2XX.DLL, loaded on first use and bound by ordinal. Without the DLL the
// device list is simply empty, so the program starts and runs on machines that lack it, and
// the next use looks for it again. A library that does not export the documented function at
// each ordinal is never called.
class TFtdiDll : public TFtdiLibrary
{
public:
    // From the program's folder or the system folder, never the current one.
    static constexpr const char* DefaultPath = "FTD2XX.DLL";

    explicit TFtdiDll(std::string path = DefaultPath) : Path(std::move(path)) {}
    ~TFtdiDll() override;
    TFtdiDll(const TFtdiDll&) = delete;
    TFtdiDll& operator=(const TFtdiDll&) = delete;

    FtStatus CreateDeviceInfoList(uint32_t* count) override;
    FtStatus GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count) override;
    FtStatus Open(int32_t index, FtHandle* handle) override;
    FtStatus GetComPortNumber(FtHandle handle, int32_t* port) override;
    FtStatus Close(FtHandle handle) override;
    std::string Problem() const override { return LoadProblem; }

private:
    bool Load();
    bool BindEntries();

    std::string Path;
    HMODULE Module = nullptr;
    bool Refused = false; // a library that failed the check; never loaded again
    std::string LoadProblem;
    FARPROC CreateListEntry = nullptr;
    FARPROC GetListEntry = nullptr;
    FARPROC OpenEntry = nullptr;
    FARPROC ComPortEntry = nullptr;
    FARPROC CloseEntry = nullptr;
    DWORD ListedCount = 0; // devices in the list the DLL built last
};
